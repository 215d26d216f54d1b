// Messages and per-thread message queues, as the window engine and the
// runtime lock expect them.
//
// A message is (window, number, wparam, lparam). Every thread gets a queue
// the first time it uses any of these functions. Posting appends to the
// queue of a thread (or of a window's owning thread); sending calls the
// window's procedure directly on the same thread, and across threads hands
// the message to the owner and waits for its result, serving messages sent
// to the waiting thread meanwhile, so two threads sending to each other never
// deadlock. Timers produce at most one pending tick each. A semaphore wait
// that also wakes for sent messages serves the runtime lock.
//
// The runtime lock is not known here: the runtime installs LockHooks, which
// this layer calls to give the lock up before a thread blocks and to take it
// back afterwards (also around serving a sent message while blocked).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace morvex::platform {

using WindowHandle = uint32_t; // 0 = none
using ThreadKey = uint32_t;    // the platform's number of a thread, from 1

struct Message {
    WindowHandle window = 0;
    uint32_t number = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
};

enum MessageNumber : uint32_t {
    MsgNull = 0x0000,
    MsgQuit = 0x0012,
    MsgTimer = 0x0113,
};

// The calling thread's key (creating its queue on first use).
ThreadKey current_thread();

// What a window handle resolves to: the thread that owns the window and the
// procedure that handles its messages.
using WindowProcedure = intptr_t (*)(void* context, const Message& message);
struct WindowTarget {
    ThreadKey thread = 0;
    WindowProcedure procedure = nullptr;
    void* context = nullptr;
};

void register_window(WindowHandle window, const WindowTarget& target);
// Forgets the window and its timers; returns the posted messages that were
// still waiting for it (removed from its thread's queue) and the messages
// sent to it that it had not served (their senders get 0), so that the
// caller can release what they carry.
std::vector<Message> unregister_window(WindowHandle window);
std::optional<WindowTarget> window_target(WindowHandle window);

// False when the thread (or the window) has no queue.
bool post_thread_message(ThreadKey thread, const Message& message);
bool post_message(const Message& message);
// Front of the queue instead of the back.
bool post_message_first(const Message& message);
// The window procedure's result; 0 when the window is unknown or its thread
// ended before answering.
intptr_t send_message(const Message& message);
// Calls the window's procedure on this thread.
intptr_t dispatch_message(const Message& message);

// Which messages get and peek take: window 0 takes every window's and the
// thread's own; a range of 0..0 takes every number.
struct MessageFilter {
    WindowHandle window = 0;
    uint32_t first = 0;
    uint32_t last = 0;
};

// Waits for the next message (serving sent messages meanwhile); false when
// it is the quit message.
bool get_message(Message& message, const MessageFilter& filter = {});
enum class Removal { Keep, Remove };
// Serves sent messages, then looks for a message without waiting.
bool peek_message(Message& message, const MessageFilter& filter, Removal removal);
// Waits until a posted message, a timer tick or a sent message is there (or
// the timeout passes); sent messages are served. False on timeout.
bool wait_message(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
void post_quit_message(int exit_code);

// Posts a message, or, when the last message waiting in the receiving queue
// has the same window and number, replaces that one (mouse moves coalesce
// this way, so a busy thread sees only the latest position).
bool post_message_coalesced(const Message& message);

// The window layer's source of MsgPaint: asked, with no queue lock held, for
// a window of `thread` that matches `filter` and needs painting. Paint
// messages come after posted messages and quit, before timer ticks, and are
// never removed from a queue: they stop when the window has been painted.
using PaintSource = bool (*)(ThreadKey thread, const MessageFilter& filter, Message& message);
void set_paint_source(PaintSource source);
// The window layer's choice of the window a key or character message goes
// to, asked when the message is taken from the queue (the posted window is
// where the focus was when the key was pressed).
using KeyboardTarget = WindowHandle (*)(WindowHandle posted_to);
void set_keyboard_target(KeyboardTarget target);
// A window of `thread` may need painting now: its next get/peek asks the
// paint source again, and a thread waiting for messages wakes up.
void notify_paint_needed(ThreadKey thread);

// A timer of the calling thread (window 0) or of a window's thread; ticks
// arrive as MsgTimer with the id in wparam. Setting an existing id restarts it.
void set_timer(WindowHandle window, uintptr_t id, std::chrono::milliseconds interval);
void kill_timer(WindowHandle window, uintptr_t id);

// The timers' clock. Once the manual clock is in use, time stands still for
// timers until advance_timer_clock moves it on (scripts and tests); it
// cannot be switched back.
void use_manual_timer_clock();
void advance_timer_clock(std::chrono::milliseconds amount);

// Whether every thread but the caller sleeps waiting for messages with
// nothing to do: no posted or sent message, no window to paint, no timer due.
bool other_threads_idle();
// Waits until other_threads_idle() holds (checked twice, a moment apart);
// false when the timeout passes first.
bool wait_until_idle(std::chrono::milliseconds timeout);

// The runtime lock's hand-over around blocking waits.
struct LockHooks {
    void (*release)() = nullptr;
    void (*acquire)() = nullptr;
};
void set_lock_hooks(const LockHooks& hooks);

// A counting semaphore whose waits can also wake for sent messages.
class Semaphore {
public:
    Semaphore(int initial, int maximum);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // False (and no change) when the count would pass the maximum.
    bool release();
    bool try_acquire();

private:
    friend struct MessagingState;
    int m_count;
    int m_maximum;
};

enum class WaitResult { Acquired, MessageSent, TimedOut };

// Takes the semaphore, or returns MessageSent as soon as a message was sent
// to the calling thread (without serving it), or TimedOut.
WaitResult wait_semaphore_or_sent_message(Semaphore& semaphore,
                                          std::optional<std::chrono::milliseconds> timeout = std::nullopt);
// Serves the messages sent to the calling thread, without looking at posted ones.
void serve_sent_messages();

} // namespace morvex::platform
