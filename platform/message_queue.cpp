// One mutex guards every queue, the window registry and the semaphores; each
// thread sleeps on its own condition variable. The platform has few threads
// and short critical sections, and one lock keeps the wake-up rules (a post,
// a send, a semaphore release, a timer) free of lost-wakeup races.
#include "platform/message_queue.h"

#include "platform/mutex.h"
#include "platform/window_messages.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace morvex::platform {

namespace {

using Clock = std::chrono::steady_clock;

// The one mutex of the messaging state. Constant-initialised and never torn
// down in a way that matters (std::mutex has nothing to free), so threads may
// post until the process ends.
constinit Mutex g_mutex;

struct SentRecord {
    Message message;
    WindowTarget target;
    intptr_t result MORVEX_GUARDED_BY(g_mutex) = 0;
    bool done MORVEX_GUARDED_BY(g_mutex) = false;
    std::shared_ptr<struct ThreadQueue> sender; // kept alive until the answer is signalled
};

struct Timer {
    WindowHandle window;
    uintptr_t id;
    Clock::duration interval;
    Clock::time_point due;
};

struct ThreadQueue {
    ThreadKey key = 0; // set before the queue is shared
    std::condition_variable wake;
    std::deque<Message> posted MORVEX_GUARDED_BY(g_mutex);
    std::deque<SentRecord*> sent MORVEX_GUARDED_BY(g_mutex);
    std::vector<Timer> timers MORVEX_GUARDED_BY(g_mutex);
    bool quit MORVEX_GUARDED_BY(g_mutex) = false;
    int quit_code MORVEX_GUARDED_BY(g_mutex) = 0;
    bool alive MORVEX_GUARDED_BY(g_mutex) = true;
    // Set when a window of this thread may need painting; cleared when the
    // paint source, asked without a filter, has none.
    bool paint_pending MORVEX_GUARDED_BY(g_mutex) = false;
    // Set while the thread sleeps in get_message or wait_message.
    bool waiting_for_messages MORVEX_GUARDED_BY(g_mutex) = false;
};

} // namespace

// Shared by the queues and Semaphore (a friend): everything under g_mutex.
struct MessagingState {
    std::unordered_map<ThreadKey, std::shared_ptr<ThreadQueue>> queues MORVEX_GUARDED_BY(g_mutex);
    std::unordered_map<WindowHandle, WindowTarget> windows MORVEX_GUARDED_BY(g_mutex);
    std::vector<ThreadQueue*> semaphore_waiters MORVEX_GUARDED_BY(g_mutex);
    // The timers' clock: the steady clock, or a manual one that stands
    // still until advanced (scripts and tests).
    bool manual_clock MORVEX_GUARDED_BY(g_mutex) = false;
    Clock::time_point manual_now MORVEX_GUARDED_BY(g_mutex){};
    // Read by blocking waits without the mutex; set once by the runtime.
    std::atomic<void (*)()> release_hook{nullptr};
    std::atomic<void (*)()> acquire_hook{nullptr};
    std::atomic<PaintSource> paint_source{nullptr};
    std::atomic<KeyboardTarget> keyboard_target{nullptr};
    std::atomic<ThreadKey> next_key{1};

    // A semaphore's count is guarded by the same mutex.
    static int& count(Semaphore& s) MORVEX_REQUIRES(g_mutex) { return s.m_count; }
    static int maximum(const Semaphore& s) { return s.m_maximum; }
};

namespace {

MessagingState& state() {
    static MessagingState* instance = new MessagingState; // lives until the process ends
    return *instance;
}

// The timers' time.
Clock::time_point timer_now() MORVEX_REQUIRES(g_mutex) {
    return state().manual_clock ? state().manual_now : Clock::now();
}

// Ends the thread's queue when the thread ends: senders waiting on it get 0.
struct QueueOwner {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueOwner() {
        if (!queue)
            return;
        MessagingState& s = state();
        MutexLock lock(g_mutex);
        queue->alive = false;
        for (SentRecord* record : queue->sent) {
            record->done = true;
            record->sender->wake.notify_all();
        }
        queue->sent.clear();
        s.queues.erase(queue->key);
    }
};

thread_local QueueOwner t_owner;
// Set while this layer has given the runtime lock up for a blocking wait.
thread_local bool t_lock_released = false;

ThreadQueue& own_queue() {
    if (!t_owner.queue) {
        MessagingState& s = state();
        auto queue = std::make_shared<ThreadQueue>();
        queue->key = s.next_key++;
        MutexLock lock(g_mutex);
        s.queues.emplace(queue->key, queue);
        t_owner.queue = std::move(queue);
    }
    return *t_owner.queue;
}

ThreadQueue* queue_of(ThreadKey key) MORVEX_REQUIRES(g_mutex) {
    auto found = state().queues.find(key);
    return found == state().queues.end() ? nullptr : found->second.get();
}

bool matches(const Message& message, const MessageFilter& filter) {
    if (filter.window != 0 && message.window != filter.window)
        return false;
    return (filter.first == 0 && filter.last == 0) ||
           (message.number >= filter.first && message.number <= filter.last);
}

// Gives the lock up before a blocking wait, takes it back after.
class BlockingSection {
public:
    BlockingSection() : m_released(!t_lock_released) {
        if (m_released) {
            t_lock_released = true;
            call(state().release_hook);
        }
    }
    ~BlockingSection() {
        if (m_released) {
            call(state().acquire_hook);
            t_lock_released = false;
        }
    }
    static void call(const std::atomic<void (*)()>& hook) {
        if (void (*const function)() = hook.load())
            function();
    }

private:
    bool m_released;
};

// Runs one sent message's procedure. g_mutex is held on entry and on return
// and let go around the call (the caller's lock object holds it again by then).
void serve_one(ThreadQueue& queue) MORVEX_REQUIRES(g_mutex) {
    SentRecord* record = queue.sent.front();
    queue.sent.pop_front();
    g_mutex.unlock();
    const bool needs_lock = t_lock_released;
    if (needs_lock) {
        BlockingSection::call(state().acquire_hook);
        t_lock_released = false;
    }
    const intptr_t result =
        record->target.procedure ? record->target.procedure(record->target.context, record->message) : 0;
    if (needs_lock) {
        t_lock_released = true;
        BlockingSection::call(state().release_hook);
    }
    g_mutex.lock();
    record->result = result;
    record->done = true;
    // Wake the sender after letting the mutex go, so it does not wake only to
    // wait for it.
    const std::shared_ptr<ThreadQueue> sender = record->sender;
    g_mutex.unlock();
    sender->wake.notify_all();
    g_mutex.lock();
}

void serve_all(ThreadQueue& queue) MORVEX_REQUIRES(g_mutex) {
    while (!queue.sent.empty())
        serve_one(queue);
}

bool find_posted_or_quit(ThreadQueue& queue, Message& message, const MessageFilter& filter, Removal removal)
    MORVEX_REQUIRES(g_mutex) {
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (matches(*it, filter)) {
            message = *it;
            if (removal == Removal::Remove)
                queue.posted.erase(it);
            return true;
        }
    }
    if (queue.quit && matches(Message{0, MsgQuit, 0, 0}, filter)) {
        message = Message{0, MsgQuit, static_cast<uintptr_t>(queue.quit_code), 0};
        if (removal == Removal::Remove)
            queue.quit = false;
        return true;
    }
    return false;
}

bool is_unfiltered(const MessageFilter& filter) {
    return filter.window == 0 && filter.first == 0 && filter.last == 0;
}

// The next message for the filter, taken or kept; the order is posted
// messages, then quit, then paint, then due timers. g_mutex is let go while
// the paint source is asked.
bool find_message(ThreadQueue& queue, Message& message, const MessageFilter& filter, Removal removal)
    MORVEX_REQUIRES(g_mutex) {
    if (find_posted_or_quit(queue, message, filter, removal))
        return true;
    const PaintSource paint_source = state().paint_source.load();
    const bool paint_wanted =
        matches(Message{0, MsgPaint, 0, 0}, MessageFilter{0, filter.first, filter.last});
    // Asked again while a window was invalidated during the asking, so that
    // no paint request is lost before the caller goes to sleep.
    while (queue.paint_pending && paint_source && paint_wanted) {
        const bool unfiltered = is_unfiltered(filter);
        if (unfiltered)
            queue.paint_pending = false;
        g_mutex.unlock();
        const bool found = paint_source(queue.key, filter, message);
        g_mutex.lock();
        // A message sent meanwhile would otherwise wait for the next wake-up.
        serve_all(queue);
        if (found) {
            queue.paint_pending = true;
            return true;
        }
        // Something may have been posted while the lock was free.
        if (find_posted_or_quit(queue, message, filter, removal))
            return true;
        if (!unfiltered)
            break;
    }
    const Clock::time_point now = timer_now();
    for (Timer& timer : queue.timers) {
        const Message tick{timer.window, MsgTimer, timer.id, 0};
        if (timer.due <= now && matches(tick, filter)) {
            message = tick;
            // Ticks missed while nobody asked are not made up for.
            if (removal == Removal::Remove)
                timer.due = now + timer.interval;
            return true;
        }
    }
    return false;
}

std::optional<Clock::time_point> next_timer(const ThreadQueue& queue) MORVEX_REQUIRES(g_mutex) {
    std::optional<Clock::time_point> next;
    for (const Timer& timer : queue.timers) {
        if (!next || timer.due < *next)
            next = timer.due;
    }
    return next;
}

// Sleeps until woken or until the next timer of `queue` is due (or the
// deadline); with the manual clock only advancing it, or a message, wakes
// the thread.
void sleep_for_messages(UniqueMutexLock& lock, ThreadQueue& queue,
                        std::optional<Clock::time_point> deadline = std::nullopt) MORVEX_REQUIRES(g_mutex) {
    queue.waiting_for_messages = true;
    std::optional<Clock::time_point> until = state().manual_clock ? std::nullopt : next_timer(queue);
    if (deadline && (!until || *deadline < *until))
        until = deadline;
    if (until)
        lock.wait_until(queue.wake, *until);
    else
        lock.wait(queue.wake);
    queue.waiting_for_messages = false;
}

// Appends under the mutex; the caller wakes the returned queue after letting
// the mutex go. A post that finds no memory fails like a post to a queue that
// is gone.
std::shared_ptr<ThreadQueue> post_to(const std::shared_ptr<ThreadQueue>& queue, const Message& message,
                                     bool first) MORVEX_REQUIRES(g_mutex) {
    if (!queue || !queue->alive)
        return nullptr;
    try {
        if (first)
            queue->posted.push_front(message);
        else
            queue->posted.push_back(message);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return queue;
}

std::shared_ptr<ThreadQueue> shared_queue_of(ThreadKey key) MORVEX_REQUIRES(g_mutex) {
    auto found = state().queues.find(key);
    return found == state().queues.end() ? nullptr : found->second;
}

bool wake(const std::shared_ptr<ThreadQueue>& queue) {
    if (!queue)
        return false;
    queue->wake.notify_all();
    return true;
}

} // namespace

ThreadKey current_thread() {
    return own_queue().key;
}

void register_window(WindowHandle window, const WindowTarget& target) {
    MessagingState& s = state();
    MutexLock lock(g_mutex);
    s.windows[window] = target;
}

std::vector<Message> unregister_window(WindowHandle window) {
    MessagingState& s = state();
    MutexLock lock(g_mutex);
    std::vector<Message> removed;
    auto found = s.windows.find(window);
    if (found == s.windows.end())
        return removed;
    if (ThreadQueue* queue = queue_of(found->second.thread)) {
        for (auto it = queue->posted.begin(); it != queue->posted.end();) {
            if (it->window == window) {
                removed.push_back(*it);
                it = queue->posted.erase(it);
            } else {
                ++it;
            }
        }
        std::erase_if(queue->timers, [window](const Timer& t) { return t.window == window; });
        // A send the window will never serve now returns 0, as a send to a
        // window that is gone does.
        for (auto it = queue->sent.begin(); it != queue->sent.end();) {
            if ((*it)->message.window != window) {
                ++it;
                continue;
            }
            SentRecord* record = *it;
            it = queue->sent.erase(it);
            removed.push_back(record->message);
            record->result = 0;
            record->done = true;
            record->sender->wake.notify_all();
        }
    }
    s.windows.erase(found);
    return removed;
}

std::optional<WindowTarget> window_target(WindowHandle window) {
    MessagingState& s = state();
    MutexLock lock(g_mutex);
    auto found = s.windows.find(window);
    return found == s.windows.end() ? std::nullopt : std::optional<WindowTarget>(found->second);
}

bool post_thread_message(ThreadKey thread, const Message& message) {
    own_queue();
    std::shared_ptr<ThreadQueue> receiver;
    {
        MutexLock lock(g_mutex);
        receiver = post_to(shared_queue_of(thread), message, false);
    }
    return wake(receiver);
}

namespace {

bool post_to_window(const Message& message, bool first) {
    own_queue();
    MessagingState& s = state();
    std::shared_ptr<ThreadQueue> receiver;
    {
        MutexLock lock(g_mutex);
        auto found = s.windows.find(message.window);
        if (found != s.windows.end())
            receiver = post_to(shared_queue_of(found->second.thread), message, first);
    }
    return wake(receiver);
}

} // namespace

bool post_message(const Message& message) {
    return post_to_window(message, false);
}

bool post_message_coalesced(const Message& message) {
    own_queue();
    MessagingState& s = state();
    std::shared_ptr<ThreadQueue> receiver;
    {
        MutexLock lock(g_mutex);
        auto found = s.windows.find(message.window);
        if (found == s.windows.end())
            return false;
        std::shared_ptr<ThreadQueue> queue = shared_queue_of(found->second.thread);
        if (queue && queue->alive && !queue->posted.empty() &&
            queue->posted.back().window == message.window && queue->posted.back().number == message.number) {
            queue->posted.back() = message;
            return true; // the receiver was woken for the message it replaces
        }
        receiver = post_to(queue, message, false);
    }
    return wake(receiver);
}

void set_keyboard_target(KeyboardTarget target) {
    state().keyboard_target = target;
}

void set_paint_source(PaintSource source) {
    state().paint_source = source;
}

void notify_paint_needed(ThreadKey thread) {
    std::shared_ptr<ThreadQueue> receiver;
    {
        MutexLock lock(g_mutex);
        receiver = shared_queue_of(thread);
        if (!receiver || !receiver->alive)
            return;
        receiver->paint_pending = true;
    }
    wake(receiver);
}

bool post_message_first(const Message& message) {
    return post_to_window(message, true);
}

intptr_t dispatch_message(const Message& message) {
    const std::optional<WindowTarget> target = window_target(message.window);
    return target && target->procedure ? target->procedure(target->context, message) : 0;
}

intptr_t send_message(const Message& message) {
    ThreadQueue& own = own_queue();
    const std::optional<WindowTarget> target = window_target(message.window);
    if (!target || !target->procedure)
        return 0;
    if (target->thread == own.key)
        return target->procedure(target->context, message);

    SentRecord record{message, *target, 0, false, t_owner.queue};
    std::shared_ptr<ThreadQueue> receiver;
    {
        MutexLock lock(g_mutex);
        receiver = shared_queue_of(target->thread);
        if (!receiver || !receiver->alive)
            return 0;
        receiver->sent.push_back(&record);
    }
    receiver->wake.notify_all();
    BlockingSection blocking;
    UniqueMutexLock lock(g_mutex);
    while (!record.done) {
        if (!own.sent.empty()) {
            serve_one(own);
            continue;
        }
        lock.wait(own.wake);
    }
    return record.result;
}

namespace {

// A key message goes to the window that has the focus when it is taken
// from the queue, as on Win32: keys typed after a Tab reach the control the
// Tab moved to, however fast they came.
void retarget_keyboard(Message& message) {
    if (message.number < MsgKeyDown || message.number > MsgSysDeadChar)
        return;
    if (const KeyboardTarget target = state().keyboard_target.load())
        message.window = target(message.window);
}

bool peek_locked(Message& message, const MessageFilter& filter, Removal removal) {
    ThreadQueue& own = own_queue();
    UniqueMutexLock lock(g_mutex);
    serve_all(own);
    return find_message(own, message, filter, removal);
}

} // namespace

bool peek_message(Message& message, const MessageFilter& filter, Removal removal) {
    const bool found = peek_locked(message, filter, removal);
    if (found)
        retarget_keyboard(message);
    return found;
}

bool wait_message(std::optional<std::chrono::milliseconds> timeout) {
    ThreadQueue& own = own_queue();
    const bool timed = timeout.has_value();
    const Clock::time_point deadline = timed ? Clock::now() + *timeout : Clock::time_point::max();
    {
        UniqueMutexLock lock(g_mutex);
        serve_all(own);
        Message ignored;
        if (find_message(own, ignored, {}, Removal::Keep))
            return true;
    }
    BlockingSection blocking;
    UniqueMutexLock lock(g_mutex);
    while (true) {
        serve_all(own);
        Message ignored;
        if (find_message(own, ignored, {}, Removal::Keep))
            return true;
        if (timed && Clock::now() >= deadline)
            return false;
        sleep_for_messages(lock, own, timed ? std::optional(deadline) : std::nullopt);
    }
}

namespace {

bool get_locked(Message& message, const MessageFilter& filter) {
    ThreadQueue& own = own_queue();
    {
        UniqueMutexLock lock(g_mutex);
        serve_all(own);
        if (find_message(own, message, filter, Removal::Remove))
            return message.number != MsgQuit;
    }
    BlockingSection blocking;
    UniqueMutexLock lock(g_mutex);
    while (true) {
        serve_all(own);
        if (find_message(own, message, filter, Removal::Remove))
            return message.number != MsgQuit;
        sleep_for_messages(lock, own);
    }
}

} // namespace

bool get_message(Message& message, const MessageFilter& filter) {
    const bool more = get_locked(message, filter);
    retarget_keyboard(message);
    return more;
}

void post_quit_message(int exit_code) {
    ThreadQueue& own = own_queue();
    MutexLock lock(g_mutex);
    own.quit = true;
    own.quit_code = exit_code;
}

namespace {

// The queue whose thread owns a timer: the caller's for window 0, else the
// window's owner. Called with the mutex held.
ThreadQueue* timer_queue(ThreadQueue& own, WindowHandle window) MORVEX_REQUIRES(g_mutex) {
    if (window == 0)
        return &own;
    auto found = state().windows.find(window);
    return found == state().windows.end() ? nullptr : queue_of(found->second.thread);
}

void remove_timer(ThreadQueue& queue, WindowHandle window, uintptr_t id) MORVEX_REQUIRES(g_mutex) {
    std::erase_if(queue.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
}

} // namespace

void set_timer(WindowHandle window, uintptr_t id, std::chrono::milliseconds interval) {
    ThreadQueue& own = own_queue();
    MutexLock lock(g_mutex);
    ThreadQueue* queue = timer_queue(own, window);
    if (!queue)
        return;
    const Clock::duration period = std::max<Clock::duration>(interval, std::chrono::milliseconds(1));
    remove_timer(*queue, window, id);
    queue->timers.push_back(Timer{window, id, period, timer_now() + period});
    queue->wake.notify_all();
}

void kill_timer(WindowHandle window, uintptr_t id) {
    ThreadQueue& own = own_queue();
    MutexLock lock(g_mutex);
    if (ThreadQueue* queue = timer_queue(own, window))
        remove_timer(*queue, window, id);
}

void use_manual_timer_clock() {
    MessagingState& s = state();
    MutexLock lock(g_mutex);
    if (s.manual_clock)
        return;
    s.manual_now = Clock::now();
    s.manual_clock = true;
}

void advance_timer_clock(std::chrono::milliseconds amount) {
    MessagingState& s = state();
    std::vector<std::shared_ptr<ThreadQueue>> queues;
    {
        MutexLock lock(g_mutex);
        if (!s.manual_clock)
            return;
        s.manual_now += amount;
        for (const auto& [key, queue] : s.queues)
            queues.push_back(queue);
    }
    for (const auto& queue : queues)
        wake(queue);
}

bool other_threads_idle() {
    MessagingState& s = state();
    const ThreadKey self = own_queue().key;
    MutexLock lock(g_mutex);
    const Clock::time_point now = timer_now();
    // Only threads with windows take part: a thread that has none (a main
    // thread waiting for the others to end) has nothing to show.
    std::vector<ThreadKey> with_windows;
    for (const auto& [window, target] : s.windows)
        with_windows.push_back(target.thread);
    for (const auto& [key, queue] : s.queues) {
        if (key == self || !queue->alive ||
            std::find(with_windows.begin(), with_windows.end(), key) == with_windows.end())
            continue;
        if (!queue->waiting_for_messages || !queue->posted.empty() || !queue->sent.empty() || queue->quit ||
            queue->paint_pending)
            return false;
        for (const Timer& timer : queue->timers)
            if (timer.due <= now)
                return false;
    }
    return true;
}

bool wait_until_idle(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    int calm = 0;
    while (Clock::now() < deadline) {
        // Idle twice in a row, a moment apart: a thread just woken has had
        // the time to mark itself busy.
        calm = other_threads_idle() ? calm + 1 : 0;
        if (calm >= 2)
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

void set_lock_hooks(const LockHooks& hooks) {
    MessagingState& s = state();
    s.release_hook = hooks.release;
    s.acquire_hook = hooks.acquire;
}

Semaphore::Semaphore(int initial, int maximum) : m_count(initial), m_maximum(maximum) {}

bool Semaphore::release() {
    MessagingState& s = state();
    std::vector<std::shared_ptr<ThreadQueue>> waiters;
    {
        MutexLock lock(g_mutex);
        int& count = MessagingState::count(*this);
        if (count >= m_maximum)
            return false;
        ++count;
        for (ThreadQueue* waiter : s.semaphore_waiters)
            waiters.push_back(shared_queue_of(waiter->key));
    }
    for (const std::shared_ptr<ThreadQueue>& waiter : waiters)
        wake(waiter);
    return true;
}

bool Semaphore::try_acquire() {
    MutexLock lock(g_mutex);
    int& count = MessagingState::count(*this);
    if (count == 0)
        return false;
    --count;
    return true;
}

WaitResult wait_semaphore_or_sent_message(Semaphore& semaphore,
                                          std::optional<std::chrono::milliseconds> timeout) {
    ThreadQueue& own = own_queue();
    MessagingState& s = state();
    const bool timed = timeout.has_value();
    const Clock::time_point deadline = timed ? Clock::now() + *timeout : Clock::time_point::max();
    UniqueMutexLock lock(g_mutex);
    s.semaphore_waiters.push_back(&own);
    WaitResult result;
    while (true) {
        if (MessagingState::count(semaphore) > 0) {
            --MessagingState::count(semaphore);
            result = WaitResult::Acquired;
            break;
        }
        if (!own.sent.empty()) {
            result = WaitResult::MessageSent;
            break;
        }
        if (timed) {
            if (lock.wait_until(own.wake, deadline) == std::cv_status::timeout && Clock::now() >= deadline &&
                MessagingState::count(semaphore) == 0 && own.sent.empty()) {
                result = WaitResult::TimedOut;
                break;
            }
        } else {
            lock.wait(own.wake);
        }
    }
    s.semaphore_waiters.erase(std::find(s.semaphore_waiters.begin(), s.semaphore_waiters.end(), &own));
    return result;
}

void serve_sent_messages() {
    ThreadQueue& own = own_queue();
    const bool was_released = t_lock_released;
    // The caller is waiting for the runtime lock: it does not hold it.
    t_lock_released = true;
    {
        UniqueMutexLock lock(g_mutex);
        serve_all(own);
    }
    t_lock_released = was_released;
}

} // namespace morvex::platform
