// The thread table, the runtime lock and the per-thread state switch.
//
// Slot fields change only under the runtime lock, except a slot's thread id,
// which is also read by WaitForOtherThreads while it does not hold the lock:
// reserving and freeing a slot take `slots_mutex` as well.
#include "runtime/threads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <semaphore>
#include <string>
#include <vector>

#include "platform/message_queue.h"
#include "runtime/fatal_error.h"
#include "runtime/string_stack.h"

namespace morvex {

namespace {

constexpr std::size_t StateKinds = 3;
constexpr std::size_t WorkingMemorySize = 4096;

struct ThreadSlot {
    uint32_t thread_id = 0; // 0 = free
    pthread_t handle{};
    ThreadProcedure procedure = nullptr;
    ThreadProcedureWithStrings procedure_with_strings = nullptr;
    uint32_t start_argument = 0;
    ThreadOwned* objects = nullptr;
    std::unique_ptr<uint8_t[]> working_memory;
    std::unique_ptr<uint8_t[]> saved_strings;
    std::array<std::shared_ptr<void>, StateKinds> saved_state;
    int32_t stack_size = 0;
    platform::ThreadKey platform_thread = 0;
    std::unique_ptr<std::binary_semaphore> resume;
    std::unique_ptr<std::binary_semaphore> started;
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
    std::condition_variable slot_freed;
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
        platform::set_lock_hooks(platform::LockHooks{
            [] {
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
    t_thread_id = slot.thread_id;
    t_slot = n;
    slot.resume->acquire();
    slot.platform_thread = platform::current_thread();
    slot.started->release();

    AcquireRuntimeLock();
    SwitchContext(n);
    ActivateThread(n);

    if (slot.procedure_with_strings) {
        const std::string second = Strings().take();
        const std::string first = Strings().take();
        slot.procedure_with_strings(first, second);
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
    t.slot_freed.notify_all();
    t.context_owner = -1;
    t.active = -1;
    t_slot = -1;
    ReleaseRuntimeLock();
    pthread_detach(pthread_self());
    return nullptr;
}

int32_t start(ThreadProcedure procedure, ThreadProcedureWithStrings with_strings, int32_t stack_size,
              int string_count) {
    ThreadTable& t = table();
    if (t.window_hooks.nesting && t.window_hooks.nesting() != 0) {
        discard_strings(string_count);
        return 0;
    }
    stack_size = std::max(stack_size, MinimumThreadStack);

    int n = -1;
    {
        std::lock_guard lock(t.slots_mutex);
        for (int i = 1; i < MaxThreadSlots && n < 0; ++i) {
            if (t.slots[static_cast<std::size_t>(i)].thread_id == 0)
                n = i;
        }
        if (n > 0)
            t.slots[static_cast<std::size_t>(n)].thread_id = t.next_id++;
    }
    // The parameters belong to the start: a start that fails drops them too.
    if (n < 0) {
        discard_strings(string_count);
        return 0;
    }
    ThreadSlot& slot = t.slots[static_cast<std::size_t>(n)];
    slot.procedure = procedure;
    slot.procedure_with_strings = with_strings;
    slot.start_argument = 0;
    slot.stack_size = stack_size;
    slot.working_memory = std::make_unique<uint8_t[]>(WorkingMemorySize);
    slot.resume = std::make_unique<std::binary_semaphore>(0);
    slot.started = std::make_unique<std::binary_semaphore>(0);

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, std::max<std::size_t>(MinimumOsThreadStack, static_cast<std::size_t>(stack_size)));
    const int created = pthread_create(&slot.handle, &attributes, thread_entry, reinterpret_cast<void*>(static_cast<intptr_t>(n)));
    pthread_attr_destroy(&attributes);
    if (created != 0) {
        {
            std::lock_guard lock(t.slots_mutex);
            slot = ThreadSlot{};
        }
        discard_strings(string_count);
        return 0;
    }

    if (t.window_hooks.notify)
        t.window_hooks.notify(n, 1);
    slot.resume->release();
    slot.started->acquire();
    slot.started.reset();
    slot.resume.reset();
    platform::post_thread_message(slot.platform_thread,
                                  platform::Message{0, MsgStartThread, static_cast<uintptr_t>(n), 0});

    if (string_count > 0) {
        std::vector<std::string> holders;
        for (int i = 0; i < string_count && !Strings().empty(); ++i)
            holders.push_back(Strings().take());
        const int previous = SwitchContext(n);
        for (auto it = holders.rbegin(); it != holders.rend(); ++it)
            Strings().push_copy(*it);
        SwitchContext(previous);
    }
    return n + 1;
}

} // namespace

void InitializeThreads() { table(); }

int32_t START(ThreadProcedure procedure, int32_t stack_size) { return start(procedure, nullptr, stack_size, 0); }

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
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
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

bool HoldsRuntimeLock() { return t_thread_id != 0 && table().owner == t_thread_id; }

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

WindowProcedureBracket::WindowProcedureBracket() { ReleaseRuntimeLock(); }

WindowProcedureBracket::~WindowProcedureBracket() { ReacquireAndResume(); }

void WaitForOtherThreads() {
    ThreadTable& t = table();
    ReleaseRuntimeLock();
    {
        std::unique_lock lock(t.slots_mutex);
        t.slot_freed.wait(lock, [&t] {
            return std::none_of(t.slots.begin() + 1, t.slots.end(), [](const ThreadSlot& s) { return s.thread_id != 0; });
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
    return static_cast<int>(std::count_if(t.slots.begin(), t.slots.end(), [](const ThreadSlot& s) { return s.thread_id != 0; }));
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

void SetThreadWindowHooks(const ThreadWindowHooks& hooks) { table().window_hooks = hooks; }

} // namespace morvex
