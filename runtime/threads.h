// Threads under one runtime lock.
//
// A procedure can run on a thread of its own, but only the thread holding the
// runtime lock executes runtime or program code. A thread gives the lock up
// only while it waits (for a message, in a system section, for other threads
// to end); whenever another thread takes it, that thread's per-thread state
// (string stack, decimal accumulator stack, evaluator scope and scope stack)
// is swapped into the globals. The thread table has 64 slots: slot 0 is the
// thread that started the runtime, slots 1..63 are for started procedures.
#pragma once

#include "platform/thread_annotations.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace morvex {

constexpr int MaxThreadSlots = 64;
constexpr int32_t MinimumThreadStack = 20000;
// The operating-system stack of a started procedure is never smaller.
constexpr std::size_t MinimumOsThreadStack = 1 << 20;
// Posted to a new thread, with its slot index, before its procedure runs.
constexpr uint32_t MsgStartThread = 0x2414;

using ThreadProcedure = void (*)();
using ThreadProcedureWithStrings = void (*)(const std::string& first, const std::string& second);

// Takes the calling thread as slot 0, holding the lock, unless the runtime's
// threads are set up already. Every function below does this on first use.
void InitializeThreads();

// Starts `procedure` on a new thread; the result is the thread number (slot
// index + 1), or 0 when no thread could be started. The second form moves
// the two string parameters the caller pushed from its string stack to the
// new thread's and hands them to the procedure.
int32_t START(ThreadProcedure procedure, int32_t stack_size);
int32_t START(ThreadProcedureWithStrings procedure, int32_t stack_size);

// The runtime lock as the thread-safety analysis sees it (Clang). The
// functions that take it or give it up say so; code above the runtime holds
// it by design and is not annotated further.
class MORVEX_CAPABILITY("runtime lock") RuntimeLockCapability {};
extern RuntimeLockCapability RuntimeLock;

// The runtime lock: a binary semaphore, never taken twice by one thread.
// Acquiring serves messages sent to the waiting thread.
void AcquireRuntimeLock() MORVEX_ACQUIRE(RuntimeLock);
// 0 when acquired, else 1 (the wait timed out).
int TryAcquireRuntimeLock(int32_t timeout_ms) MORVEX_TRY_ACQUIRE(0, RuntimeLock);
// Gives the lock up; a thread that does not own it changes nothing.
void ReleaseRuntimeLock() MORVEX_RELEASE(RuntimeLock);
// Acquires the lock and switches to the calling thread's own per-thread state.
void ReacquireAndResume() MORVEX_ACQUIRE(RuntimeLock);
bool HoldsRuntimeLock();

// Switches the per-thread state to slot n; returns the previous owner (-1 none).
int SwitchContext(int slot);
// Enables thread n's windows (and disables the previous active thread's).
void ActivateThread(int slot);

// Modal system calls are bracketed with these so that other threads run.
void EnterSystemSection();
void LeaveSystemSection();
// Releases the lock around the system's default processing of a frame message.
class WindowProcedureBracket {
public:
    WindowProcedureBracket();
    ~WindowProcedureBracket();
    WindowProcedureBracket(const WindowProcedureBracket&) = delete;
    WindowProcedureBracket& operator=(const WindowProcedureBracket&) = delete;
};

// Releases the lock until every started procedure has ended, then takes it back.
void WaitForOtherThreads();

// The calling thread's slot (-1 when it is not a runtime thread).
int CurrentThreadSlot();
// The calling thread's number: its slot + 1 (0 when it is not a runtime thread).
int32_t THREAD();
// Slots in use, slot 0 included.
int OccupiedThreadSlots();
// The stack size recorded for a slot (the request, raised to 20000).
int32_t RecordedStackSize(int slot);

// An object owned by a thread: its ThreadEnded runs when that thread ends.
class ThreadOwned {
public:
    virtual ~ThreadOwned() = default;
    virtual void ThreadEnded() = 0;

private:
    friend void RegisterThreadOwned(ThreadOwned& object);
    friend struct ThreadTable;
    ThreadOwned* m_next = nullptr;
};
// Puts the object on the calling thread's list.
void RegisterThreadOwned(ThreadOwned& object);

// Per-thread state that other modules keep in the globals: the thread
// switcher saves it into the switched-out thread's slot and restores it.
enum class ThreadStateKind { DecimalStack, BindingScope, ScopeStack };
struct ThreadStateHooks {
    std::shared_ptr<void> (*save)() = nullptr;              // takes the globals' state out
    void (*restore)(std::shared_ptr<void> state) = nullptr; // puts a saved state back (null = empty)
    void (*thread_ending)() = nullptr;                      // the thread's own state, before it ends
};
void SetThreadStateHooks(ThreadStateKind kind, const ThreadStateHooks& hooks);

// What the window engine is told about threads: mode 0 disable the thread's
// windows, 1 the thread exists, 2 enable its windows, 3 the thread is gone.
// `nesting` answers the engine's nesting counter (a start is refused while it
// is non-zero); `close_windows` closes the windows an ending thread owns.
struct ThreadWindowHooks {
    void (*notify)(int slot, int mode) = nullptr;
    int (*nesting)() = nullptr;
    void (*close_windows)(int slot) = nullptr;
    void (*thread_ended)(int slot) = nullptr; // the optional thread-end hook
};
void SetThreadWindowHooks(const ThreadWindowHooks& hooks);

} // namespace morvex
