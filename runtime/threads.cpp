// The thread table, the runtime lock and the per-thread state switch.
//
// Two locks guard the table, and the thread-safety analysis checks which
// holds what (under Clang):
// - the runtime lock guards everything a slot holds for its thread and the
//   switcher's state (current slot, context owner, active thread);
// - `g_slots_mutex` guards a slot's thread id and start phase, which are
//   also read by threads that do not hold the runtime lock (the start
//   handshake, WaitForOtherThreads); reserving and freeing a slot take both.
#include "runtime/threads.h"

#include "platform/message_queue.h"
#include "platform/mutex.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "runtime/string_stack.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <new>
#include <pthread.h>
#include <string>

namespace morvex {

RuntimeLockCapability RuntimeLock;

namespace {

constexpr std::size_t StateKinds = 3;
constexpr std::size_t WorkingMemorySize = 4096;

constinit platform::Mutex g_slots_mutex;
// Signalled when a slot's start phase changes or a slot is freed. Like the
// mutex it lives as long as the process, so neither side of a handshake can
// be left inside an object the other has destroyed.
std::condition_variable g_slots_changed;

// The start handshake: the starter reserves the slot, creates the thread,
// tells the window engine and lets the thread go (Resumed); the thread
// records its platform key and answers (Running).
enum class StartPhase : uint8_t { Reserved, Resumed, Running };

struct ThreadSlot {
    uint32_t thread_id MORVEX_GUARDED_BY(g_slots_mutex) = 0; // 0 = free
    StartPhase phase MORVEX_GUARDED_BY(g_slots_mutex) = StartPhase::Reserved;
    platform::ThreadKey platform_thread MORVEX_GUARDED_BY(g_slots_mutex) = 0;
    pthread_t handle MORVEX_GUARDED_BY(RuntimeLock){};
    ThreadProcedure procedure MORVEX_GUARDED_BY(RuntimeLock) = nullptr;
    ThreadProcedureWithStrings procedure_with_strings MORVEX_GUARDED_BY(RuntimeLock) = nullptr;
    // The two string parameters, taken off the starter's string stack before
    // the thread exists and handed to the procedure.
    std::array<std::string, 2> parameters MORVEX_GUARDED_BY(RuntimeLock);
    uint32_t start_argument MORVEX_GUARDED_BY(RuntimeLock) = 0;
    ThreadOwned* objects MORVEX_GUARDED_BY(RuntimeLock) = nullptr;
    std::unique_ptr<uint8_t[]> working_memory MORVEX_GUARDED_BY(RuntimeLock);
    std::unique_ptr<uint8_t[]> saved_strings MORVEX_GUARDED_BY(RuntimeLock);
    std::array<std::shared_ptr<void>, StateKinds> saved_state MORVEX_GUARDED_BY(RuntimeLock);
    int32_t stack_size MORVEX_GUARDED_BY(RuntimeLock) = 0;
};

thread_local uint32_t t_thread_id = 0;
thread_local int t_slot = -1;
thread_local int t_system_depth = 0;

// Code above the runtime runs under the runtime lock by design and carries
// no annotations; the runtime's entry points say so to the analysis here.
void runs_under_runtime_lock() MORVEX_ASSERT_CAPABILITY(RuntimeLock) {}

} // namespace

struct ThreadTable {
    std::array<ThreadSlot, MaxThreadSlots> slots;
    platform::Semaphore lock{0, 1};
    // Read by any thread to tell whether it holds the lock itself.
    std::atomic<uint32_t> owner{0};
    int current MORVEX_GUARDED_BY(RuntimeLock) = 0;
    int context_owner MORVEX_GUARDED_BY(RuntimeLock) = 0;
    int active MORVEX_GUARDED_BY(RuntimeLock) = -1;
    std::array<ThreadStateHooks, StateKinds> state_hooks MORVEX_GUARDED_BY(RuntimeLock);
    ThreadWindowHooks window_hooks MORVEX_GUARDED_BY(RuntimeLock);
    uint32_t next_id MORVEX_GUARDED_BY(g_slots_mutex) = 1;

    static void end_objects(ThreadSlot& slot) MORVEX_REQUIRES(RuntimeLock) {
        for (ThreadOwned* object = slot.objects; object;) {
            ThreadOwned* next = object->m_next;
            object->m_next = nullptr;
            object->ThreadEnded();
            object = next;
        }
        slot.objects = nullptr;
    }
};

namespace {

// The lock hooks of the messaging layer: it gives the lock up around a
// blocking wait only when the waiting thread holds it, which is known only
// when it runs.
void release_for_wait() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    if (HoldsRuntimeLock())
        ReleaseRuntimeLock();
}

void acquire_after_wait() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    if (t_slot >= 0)
        ReacquireAndResume();
}

// The first thread takes slot 0 and holds the lock from the start; no other
// thread can see the table before it is returned.
ThreadTable& table() {
    static ThreadTable* instance = []() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
        auto* created = new ThreadTable; // lives until the process ends
        t_thread_id = created->next_id++;
        t_slot = 0;
        created->slots[0].thread_id = t_thread_id;
        created->slots[0].handle = pthread_self();
        created->slots[0].platform_thread = platform::current_thread();
        created->owner = t_thread_id;
        platform::set_lock_hooks(platform::LockHooks{&release_for_wait, &acquire_after_wait});
        return created;
    }();
    return *instance;
}

void discard_strings(int count) {
    for (int i = 0; i < count && !Strings().empty(); ++i)
        Strings().pop();
}

int switch_context(ThreadTable& t, int n) MORVEX_REQUIRES(RuntimeLock) {
    t.current = n;
    const int previous = t.context_owner;
    if (n == previous)
        return previous;
    if (previous >= 0) {
        ThreadSlot& out = t.slots[static_cast<std::size_t>(previous)];
        out.saved_strings = Strings().save();
        for (std::size_t k = 0; k < StateKinds; ++k) {
            if (t.state_hooks[k].save)
                out.saved_state[k] = t.state_hooks[k].save();
        }
    }
    ThreadSlot& in = t.slots[static_cast<std::size_t>(n)];
    Strings().restore(std::move(in.saved_strings));
    for (std::size_t k = 0; k < StateKinds; ++k) {
        if (t.state_hooks[k].restore)
            t.state_hooks[k].restore(std::move(in.saved_state[k]));
        in.saved_state[k].reset();
    }
    t.context_owner = n;
    return previous;
}

void activate_thread(ThreadTable& t, int n) MORVEX_REQUIRES(RuntimeLock) {
    if (n == t.active)
        return;
    if (t.window_hooks.notify) {
        if (t.active >= 0)
            t.window_hooks.notify(t.active, 0);
        bool occupied = false;
        if (n >= 0) {
            platform::MutexLock lock(g_slots_mutex);
            occupied = t.slots[static_cast<std::size_t>(n)].thread_id != 0;
        }
        if (occupied)
            t.window_hooks.notify(n, 2);
    }
    t.active = n;
}

void* thread_entry(void* argument) {
    const int n = static_cast<int>(reinterpret_cast<intptr_t>(argument));
    ThreadTable& t = table();
    ThreadSlot& slot = t.slots[static_cast<std::size_t>(n)];
    {
        platform::UniqueMutexLock lock(g_slots_mutex);
        while (slot.phase != StartPhase::Resumed)
            lock.wait(g_slots_changed);
        t_thread_id = slot.thread_id;
    }
    t_slot = n;
    const platform::ThreadKey key = platform::current_thread();
    {
        platform::MutexLock lock(g_slots_mutex);
        slot.platform_thread = key;
        slot.phase = StartPhase::Running;
    }
    g_slots_changed.notify_all();

    AcquireRuntimeLock();
    switch_context(t, n);
    activate_thread(t, n);

    if (slot.procedure_with_strings) {
        const std::array<std::string, 2> parameters = std::move(slot.parameters);
        slot.procedure_with_strings(parameters[0], parameters[1]);
    } else if (slot.procedure) {
        slot.procedure();
    }

    if (t.window_hooks.close_windows)
        t.window_hooks.close_windows(n);
    if (t.active == n)
        t.active = -1;
    if (t.window_hooks.notify)
        t.window_hooks.notify(n, 3);
    if (t.window_hooks.thread_ended)
        t.window_hooks.thread_ended(n);
    for (const ThreadStateHooks& hooks : t.state_hooks) {
        if (hooks.thread_ending)
            hooks.thread_ending();
    }
    ThreadTable::end_objects(slot);

    // The thread's own state goes with it.
    Strings().restore(nullptr);
    for (const ThreadStateHooks& hooks : t.state_hooks) {
        if (hooks.restore)
            hooks.restore(nullptr);
    }
    {
        platform::MutexLock lock(g_slots_mutex);
        slot = ThreadSlot{};
    }
    g_slots_changed.notify_all();
    t.context_owner = -1;
    t.active = -1;
    t_slot = -1;
    ReleaseRuntimeLock();
    pthread_detach(pthread_self());
    return nullptr;
}

// Frees a slot that was reserved for a start that failed.
void release_reservation(ThreadSlot& slot) MORVEX_REQUIRES(RuntimeLock) {
    {
        platform::MutexLock lock(g_slots_mutex);
        slot = ThreadSlot{};
    }
    g_slots_changed.notify_all();
}

// Everything that can fail (taking the parameters, reserving the slot, its
// memory, creating the thread) happens before the thread exists, and each
// failure gives the slot back; the parameters belong to the start, so a
// start that fails drops them as a refused one does.
int32_t start(ThreadProcedure procedure, ThreadProcedureWithStrings with_strings, int32_t stack_size,
              int string_count) MORVEX_REQUIRES(RuntimeLock) {
    ThreadTable& t = table();
    if (t.window_hooks.nesting && t.window_hooks.nesting() != 0) {
        discard_strings(string_count);
        return 0;
    }
    stack_size = std::max(stack_size, MinimumThreadStack);

    std::array<std::string, 2> parameters;
    int taken = 0;
    try {
        for (; taken < string_count && !Strings().empty(); ++taken)
            parameters[static_cast<std::size_t>(string_count - 1 - taken)] = Strings().take();
    } catch (const std::bad_alloc&) {
        discard_strings(string_count - taken);
        return 0;
    }

    int n = -1;
    {
        platform::MutexLock lock(g_slots_mutex);
        for (int i = 1; i < MaxThreadSlots && n < 0; ++i) {
            if (t.slots[static_cast<std::size_t>(i)].thread_id == 0)
                n = i;
        }
        if (n > 0) {
            ThreadSlot& reserved = t.slots[static_cast<std::size_t>(n)];
            reserved.thread_id = t.next_id++;
            reserved.phase = StartPhase::Reserved;
        }
    }
    if (n < 0)
        return 0;
    ThreadSlot& slot = t.slots[static_cast<std::size_t>(n)];
    slot.working_memory.reset(new (std::nothrow) uint8_t[WorkingMemorySize]());
    if (!slot.working_memory) {
        release_reservation(slot);
        return 0;
    }
    slot.procedure = procedure;
    slot.procedure_with_strings = with_strings;
    slot.parameters = std::move(parameters);
    slot.start_argument = 0;
    slot.stack_size = stack_size;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(
        &attributes, std::max<std::size_t>(MinimumOsThreadStack, static_cast<std::size_t>(stack_size)));
    const int created = pthread_create(&slot.handle, &attributes, thread_entry,
                                       reinterpret_cast<void*>(static_cast<intptr_t>(n)));
    pthread_attr_destroy(&attributes);
    if (created != 0) {
        release_reservation(slot);
        return 0;
    }

    if (t.window_hooks.notify)
        t.window_hooks.notify(n, 1);
    platform::ThreadKey key = 0;
    {
        platform::UniqueMutexLock lock(g_slots_mutex);
        slot.phase = StartPhase::Resumed;
        g_slots_changed.notify_all();
        while (slot.phase != StartPhase::Running)
            lock.wait(g_slots_changed);
        key = slot.platform_thread;
    }
    // The thread exists and waits for the lock: a post that fails for want
    // of memory cannot undo it, and the procedure runs without the message.
    platform::post_thread_message(key, platform::Message{0, MsgStartThread, static_cast<uintptr_t>(n), 0});
    return n + 1;
}

} // namespace

void InitializeThreads() {
    table();
}

int32_t START(ThreadProcedure procedure, int32_t stack_size) {
    runs_under_runtime_lock();
    return start(procedure, nullptr, stack_size, 0);
}

int32_t START(ThreadProcedureWithStrings procedure, int32_t stack_size) {
    runs_under_runtime_lock();
    return start(nullptr, procedure, stack_size, 2);
}

// The lock's own primitives: a semaphore and its owner, which the analysis
// takes on trust through their annotations in threads.h.
void AcquireRuntimeLock() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    ThreadTable& t = table();
    if (t.owner == t_thread_id && t_thread_id != 0)
        FatalError(ErrInternal01, "Runtime lock taken twice");
    while (true) {
        const platform::WaitResult result = platform::wait_semaphore_or_sent_message(t.lock);
        if (result == platform::WaitResult::Acquired)
            break;
        platform::serve_sent_messages();
    }
    t.owner = t_thread_id;
}

int TryAcquireRuntimeLock(int32_t timeout_ms) MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    ThreadTable& t = table();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const platform::WaitResult result =
            platform::wait_semaphore_or_sent_message(t.lock, std::max(left, std::chrono::milliseconds(0)));
        if (result == platform::WaitResult::Acquired) {
            t.owner = t_thread_id;
            return 0;
        }
        if (result == platform::WaitResult::TimedOut)
            return 1;
        platform::serve_sent_messages();
    }
}

void ReleaseRuntimeLock() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    ThreadTable& t = table();
    // Only the owner gives the lock away: a stray release from another
    // thread would let two threads run at once.
    if (t.owner != t_thread_id || t_thread_id == 0)
        return;
    t.owner = 0;
    t.lock.release();
}

bool HoldsRuntimeLock() {
    return t_thread_id != 0 && table().owner == t_thread_id;
}

// The calling thread's own slot is t_slot; a thread that is not one of the
// runtime's has no state to switch to.
void ReacquireAndResume() {
    ThreadTable& t = table();
    AcquireRuntimeLock();
    if (t_slot >= 0)
        switch_context(t, t_slot);
}

int SwitchContext(int n) {
    runs_under_runtime_lock();
    return switch_context(table(), n);
}

void ActivateThread(int n) {
    runs_under_runtime_lock();
    activate_thread(table(), n);
}

// The depth decides at run time whether the lock changes hands, which the
// analysis cannot follow.
void EnterSystemSection() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    table();
    // Kept per thread: a thread that takes the lock while another one is in
    // a system section must still give it up for its own.
    if (t_system_depth++ == 0)
        ReleaseRuntimeLock();
}

void LeaveSystemSection() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    if (t_system_depth == 0)
        return;
    if (--t_system_depth == 0) {
        ReacquireAndResume();
        ActivateThread(t_slot);
    }
}

// Given up in the constructor, taken back in the destructor.
WindowProcedureBracket::WindowProcedureBracket() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    ReleaseRuntimeLock();
}

WindowProcedureBracket::~WindowProcedureBracket() MORVEX_NO_THREAD_SAFETY_ANALYSIS {
    ReacquireAndResume();
}

namespace {

void wait_for_other_threads(ThreadTable& t) MORVEX_REQUIRES(RuntimeLock) {
    ReleaseRuntimeLock();
    {
        platform::UniqueMutexLock lock(g_slots_mutex);
        const auto others_running = [&t]() MORVEX_REQUIRES(g_slots_mutex) {
            return std::any_of(t.slots.begin() + 1, t.slots.end(),
                               [](const ThreadSlot& s)
                                   MORVEX_REQUIRES(g_slots_mutex) { return s.thread_id != 0; });
        };
        while (others_running())
            lock.wait(g_slots_changed);
    }
    ReacquireAndResume();
}

} // namespace

void WaitForOtherThreads() {
    runs_under_runtime_lock();
    wait_for_other_threads(table());
}

int CurrentThreadSlot() {
    table();
    return t_slot;
}

int32_t THREAD() {
    return CurrentThreadSlot() + 1;
}

int OccupiedThreadSlots() {
    ThreadTable& t = table();
    platform::MutexLock lock(g_slots_mutex);
    int occupied = 0;
    for (const ThreadSlot& slot : t.slots)
        occupied += slot.thread_id != 0;
    return occupied;
}

int32_t RecordedStackSize(int n) {
    runs_under_runtime_lock();
    return n >= 0 && n < MaxThreadSlots ? table().slots[static_cast<std::size_t>(n)].stack_size : 0;
}

void RegisterThreadOwned(ThreadOwned& object) {
    runs_under_runtime_lock();
    ThreadTable& t = table();
    if (t_slot < 0)
        return;
    ThreadSlot& slot = t.slots[static_cast<std::size_t>(t_slot)];
    object.m_next = slot.objects;
    slot.objects = &object;
}

void SetThreadStateHooks(ThreadStateKind kind, const ThreadStateHooks& hooks) {
    runs_under_runtime_lock();
    table().state_hooks[static_cast<std::size_t>(kind)] = hooks;
}

void SetThreadWindowHooks(const ThreadWindowHooks& hooks) {
    runs_under_runtime_lock();
    table().window_hooks = hooks;
}

} // namespace morvex
