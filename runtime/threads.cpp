// The thread table, the runtime lock and the per-thread state switch.
//
// Slot fields change only under the runtime lock, except a slot's thread id,
// which is also read by WaitForOtherThreads while it does not hold the lock:
// reserving and freeing a slot take `slots_mutex` as well.
#include "runtime/threads.h"

#include "platform/message_queue.h"
#include "runtime/fatal_error.h"
#include "runtime/string_stack.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <pthread.h>
#include <string>
#include <vector>

namespace morvex {

namespace {

constexpr std::size_t StateKinds = 3;
constexpr std::size_t WorkingMemorySize = 4096;

// The start handshake: the starter reserves the slot, creates the thread,
// tells the window engine and lets the thread go (Resumed); the thread
// records its platform key and answers (Running). Both wait on the table's
// condition variable, which lives as long as the process, so neither side
// can be left inside an object the other has destroyed.
enum class StartPhase : uint8_t { Reserved, Resumed, Running };

struct ThreadSlot {
    uint32_t thread_id = 0; // 0 = free
    StartPhase phase = StartPhase::Reserved;
    pthread_t handle{};
    ThreadProcedure procedure = nullptr;
    ThreadProcedureWithStrings procedure_with_strings = nullptr;
    // The two string parameters, taken off the starter's string stack before
    // the thread exists and handed to the procedure.
    std::array<std::string, 2> parameters;
    uint32_t start_argument = 0;
    ThreadOwned* objects = nullptr;
    std::unique_ptr<uint8_t[]> working_memory;
    std::unique_ptr<uint8_t[]> saved_strings;
    std::array<std::shared_ptr<void>, StateKinds> saved_state;
    int32_t stack_size = 0;
    platform::ThreadKey platform_thread = 0;
};

thread_local uint32_t t_thread_id = 0;
thread_local int t_slot = -1;
thread_local int t_system_depth = 0;

} // namespace

struct ThreadTable {
    std::array<ThreadSlot, MaxThreadSlots> slots;
    platform::Semaphore lock{0, 1};
    // Read by any thread to tell whether it holds the lock itself.
    std::atomic<uint32_t> owner{0};
    int current = 0;
    int context_owner = 0;
    int active = -1;
    std::array<ThreadStateHooks, StateKinds> state_hooks;
    ThreadWindowHooks window_hooks;
    std::mutex slots_mutex;
    // Signalled when a slot's start phase changes or a slot is freed.
    std::condition_variable slots_changed;
    uint32_t next_id = 1;

    static void end_objects(ThreadSlot& slot) {
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

ThreadTable& table() {
    static ThreadTable* instance = [] {
        auto* created = new ThreadTable; // lives until the process ends
        t_thread_id = created->next_id++;
        t_slot = 0;
        created->slots[0].thread_id = t_thread_id;
        created->slots[0].handle = pthread_self();
        created->slots[0].platform_thread = platform::current_thread();
        created->owner = t_thread_id; // the first thread holds the lock from the start
        platform::set_lock_hooks(platform::LockHooks{[] {
                                                         if (HoldsRuntimeLock())
                                                             ReleaseRuntimeLock();
                                                     },
                                                     [] {
                                                         if (t_slot >= 0)
                                                             ReacquireAndResume();
                                                     }});
        return created;
    }();
    return *instance;
}

void discard_strings(int count) {
    for (int i = 0; i < count && !Strings().empty(); ++i)
        Strings().pop();
}

void* thread_entry(void* argument) {
    const int n = static_cast<int>(reinterpret_cast<intptr_t>(argument));
    ThreadTable& t = table();
    ThreadSlot& slot = t.slots[static_cast<std::size_t>(n)];
    {
        std::unique_lock lock(t.slots_mutex);
        t.slots_changed.wait(lock, [&slot] { return slot.phase == StartPhase::Resumed; });
        t_thread_id = slot.thread_id;
    }
    t_slot = n;
    const platform::ThreadKey key = platform::current_thread();
    {
        std::lock_guard lock(t.slots_mutex);
        slot.platform_thread = key;
        slot.phase = StartPhase::Running;
    }
    t.slots_changed.notify_all();

    AcquireRuntimeLock();
    SwitchContext(n);
    ActivateThread(n);

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
        std::lock_guard lock(t.slots_mutex);
        slot = ThreadSlot{};
    }
    t.slots_changed.notify_all();
    t.context_owner = -1;
    t.active = -1;
    t_slot = -1;
    ReleaseRuntimeLock();
    pthread_detach(pthread_self());
    return nullptr;
}

// Frees a slot that was reserved for a start that failed.
void release_reservation(ThreadTable& t, ThreadSlot& slot) {
    {
        std::lock_guard lock(t.slots_mutex);
        slot = ThreadSlot{};
    }
    t.slots_changed.notify_all();
}

// Everything that can fail (taking the parameters, reserving the slot, its
// memory, creating the thread) happens before the thread exists, and each
// failure gives the slot back; the parameters belong to the start, so a
// start that fails drops them as a refused one does.
int32_t start(ThreadProcedure procedure, ThreadProcedureWithStrings with_strings, int32_t stack_size,
              int string_count) {
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
        std::lock_guard lock(t.slots_mutex);
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
        release_reservation(t, slot);
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
        release_reservation(t, slot);
        return 0;
    }

    if (t.window_hooks.notify)
        t.window_hooks.notify(n, 1);
    platform::ThreadKey key = 0;
    {
        std::unique_lock lock(t.slots_mutex);
        slot.phase = StartPhase::Resumed;
        t.slots_changed.notify_all();
        t.slots_changed.wait(lock, [&slot] { return slot.phase == StartPhase::Running; });
        key = slot.platform_thread;
    }
    platform::post_thread_message(key, platform::Message{0, MsgStartThread, static_cast<uintptr_t>(n), 0});
    return n + 1;
}

} // namespace

void InitializeThreads() {
    table();
}

int32_t START(ThreadProcedure procedure, int32_t stack_size) {
    return start(procedure, nullptr, stack_size, 0);
}

int32_t START(ThreadProcedureWithStrings procedure, int32_t stack_size) {
    return start(nullptr, procedure, stack_size, 2);
}

void AcquireRuntimeLock() {
    ThreadTable& t = table();
    if (t.owner == t_thread_id && t_thread_id != 0)
        FatalError(501, "Runtime lock taken twice");
    while (true) {
        const platform::WaitResult result = platform::wait_semaphore_or_sent_message(t.lock);
        if (result == platform::WaitResult::Acquired)
            break;
        platform::serve_sent_messages();
    }
    t.owner = t_thread_id;
}

int TryAcquireRuntimeLock(int32_t timeout_ms) {
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

void ReleaseRuntimeLock() {
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

void ReacquireAndResume() {
    ThreadTable& t = table();
    AcquireRuntimeLock();
    for (int n = 0; n < MaxThreadSlots; ++n) {
        if (t.slots[static_cast<std::size_t>(n)].thread_id == t_thread_id) {
            SwitchContext(n);
            return;
        }
    }
}

int SwitchContext(int n) {
    ThreadTable& t = table();
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

void ActivateThread(int n) {
    ThreadTable& t = table();
    if (n == t.active)
        return;
    if (t.window_hooks.notify) {
        if (t.active >= 0)
            t.window_hooks.notify(t.active, 0);
        if (n >= 0 && t.slots[static_cast<std::size_t>(n)].thread_id != 0)
            t.window_hooks.notify(n, 2);
    }
    t.active = n;
}

void EnterSystemSection() {
    table();
    // Kept per thread: a thread that takes the lock while another one is in
    // a system section must still give it up for its own.
    if (t_system_depth++ == 0)
        ReleaseRuntimeLock();
}

void LeaveSystemSection() {
    if (t_system_depth == 0)
        return;
    if (--t_system_depth == 0) {
        ReacquireAndResume();
        ActivateThread(t_slot);
    }
}

WindowProcedureBracket::WindowProcedureBracket() {
    ReleaseRuntimeLock();
}

WindowProcedureBracket::~WindowProcedureBracket() {
    ReacquireAndResume();
}

void WaitForOtherThreads() {
    ThreadTable& t = table();
    ReleaseRuntimeLock();
    {
        std::unique_lock lock(t.slots_mutex);
        t.slots_changed.wait(lock, [&t] {
            return std::none_of(t.slots.begin() + 1, t.slots.end(),
                                [](const ThreadSlot& s) { return s.thread_id != 0; });
        });
    }
    ReacquireAndResume();
}

int CurrentThreadSlot() {
    table();
    return t_slot;
}

int OccupiedThreadSlots() {
    ThreadTable& t = table();
    std::lock_guard lock(t.slots_mutex);
    return static_cast<int>(
        std::count_if(t.slots.begin(), t.slots.end(), [](const ThreadSlot& s) { return s.thread_id != 0; }));
}

int32_t RecordedStackSize(int n) {
    return n >= 0 && n < MaxThreadSlots ? table().slots[static_cast<std::size_t>(n)].stack_size : 0;
}

void RegisterThreadOwned(ThreadOwned& object) {
    ThreadTable& t = table();
    if (t_slot < 0)
        return;
    ThreadSlot& slot = t.slots[static_cast<std::size_t>(t_slot)];
    object.m_next = slot.objects;
    slot.objects = &object;
}

void SetThreadStateHooks(ThreadStateKind kind, const ThreadStateHooks& hooks) {
    table().state_hooks[static_cast<std::size_t>(kind)] = hooks;
}

void SetThreadWindowHooks(const ThreadWindowHooks& hooks) {
    table().window_hooks = hooks;
}

} // namespace morvex
