#include "window/accept.h"

#include "platform/backend.h"
#include "platform/input.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "runtime/threads.h"
#include "window/control_family.h"
#include "window/engine_messages.h"
#include "window/key_codes.h"
#include "window/message_box_window.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace morvex {

namespace {

// The events being handled on this thread, innermost last (deliveries nest).
thread_local std::vector<const EventRecord*> t_events;
thread_local uint32_t t_last_key_code = 0;

std::atomic<void (*)()> g_idle_hook{nullptr};
std::atomic<EventObserver> g_observer{nullptr};
std::atomic<void (*)()> g_wait_hook{nullptr};
// The platform thread whose window had the focus at the last accept step,
// and the runtime slot whose program code ran last (for EVENT:Suspend).
std::atomic<platform::ThreadKey> g_focus_thread{0};
std::atomic<int> g_last_code_slot{-1};
// Raised while a window is built and during synchronous deliveries: the
// runtime refuses to start threads meanwhile.
std::atomic<int> g_nesting{0};

void release_dropped(const platform::Message& message) {
    if (message.number == MsgDeliverEvent || message.number == MsgDeliverNow)
        delete reinterpret_cast<EventRecord*>(message.lparam);
}

void close_thread_windows(int slot) {
    const std::vector<Window*> windows = OpenWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->thread_slot() == slot)
            (*it)->Close();
    platform::destroy_thread_windows();
}

// Delivers one event: registered handlers first, then the loop body.
LoopOutcome deliver(Window& window, const EventRecord& record) {
    for (auto& handler : HandlersOf(window))
        if ((handler.event == 0 || handler.event == record.code()) &&
            (handler.control == 0 || handler.control == record.control) && handler.handler(record))
            return LoopOutcome::Completed;
    Window::AcceptState& state = window.accept_state();
    if (state.body == nullptr)
        return LoopOutcome::Left;
    // Another thread's code ran last: its window is suspended, this one
    // resumed. Those two deliveries are not code of their own that ran.
    const bool switch_event = record.code() == Event::Suspend || record.code() == Event::Resume;
    const int last = switch_event ? window.thread_slot() : g_last_code_slot.exchange(window.thread_slot());
    if (last != window.thread_slot() && last >= 0) {
        if (Window* other = CurrentWindowOfSlot(last); other && other != &window && other->IsOpen()) {
            other->accept_state().suspended = true;
            DeliverNow(*other, Event::Suspend);
        }
        if (state.suspended) {
            state.suspended = false;
            DeliverNow(window, Event::Resume);
        }
    }
    const LoopBody body = *state.body; // the loop may end (and its body go) while it runs
    if (const EventObserver observer = g_observer.load())
        observer(record);
    t_events.push_back(&record);
    ++state.sync_depth;
    const LoopOutcome outcome = body();
    --state.sync_depth;
    t_events.pop_back();
    return outcome;
}

enum class StepResult { Wait, Return };

// The thread that has the focus changed: the old one's current window loses
// it, the new one's gains it.
void note_focus_thread() {
    const platform::WindowHandle active = platform::active_window();
    const platform::ThreadKey now = active ? platform::window_thread(active) : 0;
    const platform::ThreadKey before = g_focus_thread.exchange(now);
    if (now == before)
        return;
    for (Window* window : OpenWindows()) {
        if (window->platform_thread() == before && before != 0 &&
            window == CurrentWindowOfSlot(window->thread_slot())) {
            DeliverNow(*window, Event::LoseFocus);
            break;
        }
    }
    for (Window* window : OpenWindows()) {
        if (window->platform_thread() == now && now != 0 &&
            window == CurrentWindowOfSlot(window->thread_slot())) {
            DeliverNow(*window, Event::GainFocus);
            break;
        }
    }
}

// The next record of accept-all mode, or nullopt when the mode ended.
std::optional<EventRecord> next_to_accept(Window& window) {
    Window::AcceptState& state = window.accept_state();
    const auto& controls = window.controls();
    while (state.next_to_accept < controls.size()) {
        Control& control = *controls[state.next_to_accept++];
        if (!control.accepts_in_accept_all() || !control.effectively_visible() ||
            !control.effectively_enabled())
            continue;
        if (!control.validate()) {
            state.accept_all = false;
            control.focus();
            return std::nullopt;
        }
        control.update();
        EventRecord record;
        record.window = &window;
        record.message = EventMessage(Event::Accepted);
        record.control = control.feq();
        record.key_code = t_last_key_code;
        return record;
    }
    state.accept_all = false;
    PostEvent(window, Event::Completed);
    return std::nullopt;
}

bool has_mdi_children(const Window& window) {
    return std::any_of(window.owned().begin(), window.owned().end(),
                       [](const Window* w) { return w->kind() == Window::Kind::MdiChild; });
}

StepResult accept_step(Window& window) {
    Window::AcceptState& state = window.accept_state();
    if (CurrentWindow() != &window)
        return StepResult::Wait;
    note_focus_thread();
    while (window.IsOpen() && (!state.queue.empty() || state.accept_all)) {
        EventRecord record;
        if (!state.queue.empty()) {
            record = state.queue.front();
            state.queue.pop_front();
        } else {
            const auto next = next_to_accept(window);
            if (!next)
                break;
            record = *next;
        }
        const uint16_t code = record.code();
        if (code == Event::Selected && record.control != state.focus_feq)
            continue;
        if (code == Event::Timer) {
            state.timer_pending = false;
            if (state.timer_interval == 0)
                continue;
        }
        const LoopOutcome outcome = deliver(window, record);
        if (code == Event::BuildFile || code == Event::BuildKey || code == Event::BuildDone)
            return StepResult::Return;
        if (code == Event::CloseDown) {
            if (Window* frame = window.owner(); frame && frame->accept_state().closing == 1) {
                // A child that refuses abandons the frame's close; one that
                // agrees lets the frame go on with the next. Either way the
                // frame's loop, waiting on its own thread, must look again.
                const bool refused = outcome == LoopOutcome::Cycled;
                frame->accept_state().closing = refused ? 0 : 2;
                if (refused)
                    platform::backend().beep();
                if (frame->handle())
                    platform::post_message({frame->handle(), platform::MsgNull, 0, 0});
            }
        }
        if ((code == Event::CloseWindow || code == Event::CloseDown) && outcome == LoopOutcome::Completed)
            state.closing = 2;
        if (code == Event::OpenFailed)
            return StepResult::Return;
        if (code == Event::Selected)
            state.selected_feq = record.control;
        if (outcome == LoopOutcome::Left || state.loop_ended)
            return StepResult::Return;
    }
    if (!window.IsOpen())
        return StepResult::Return;
    if (state.closing != 2)
        return StepResult::Wait;
    if (!has_mdi_children(window)) {
        state.closing = 0;
        return StepResult::Return;
    }
    for (Window* child : window.owned()) {
        if (child->kind() == Window::Kind::MdiChild && child->accept_state().closing == 0) {
            state.closing = 1;
            PostEvent(*child, Event::CloseDown);
            return StepResult::Wait;
        }
    }
    // Every child is closing already: the frame's close is abandoned.
    platform::backend().beep();
    state.closing = 0;
    return StepResult::Wait;
}

} // namespace

namespace {
void post_event(Window& window, uint16_t event, int32_t control, bool front, uintptr_t parameter);
} // namespace

std::vector<Window::RegisteredHandler>& HandlersOf(Window& window) {
    return window.m_handlers;
}

void InitializeWindowEngine() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::set_discarded_message_handler(release_dropped);
        ThreadWindowHooks hooks;
        hooks.nesting = [] { return g_nesting.load(); };
        hooks.close_windows = close_thread_windows;
        SetThreadWindowHooks(hooks);
        RegisterStandardControls();
        InstallDrawnMessageBoxes();
    });
}

uint16_t EVENT() {
    return t_events.empty() ? 0 : t_events.back()->code();
}

int32_t FIELD() {
    if (t_events.empty())
        return 0;
    const EventRecord& record = *t_events.back();
    if (record.control == 0 || record.window == nullptr)
        return 0;
    const Control* control = record.window->control(record.control);
    return control && !control->is_event_source() ? 0 : record.control;
}

int32_t ACCEPTED() {
    return EVENT() == Event::Accepted ? FIELD() : 0;
}

uint32_t KEYCODE() {
    return (t_events.empty() ? t_last_key_code : t_events.back()->key_code) & KeyCodeMask;
}

void SETKEYCODE(uint32_t key_code) {
    t_last_key_code = key_code & KeyCodeMask;
}

void PostEvent(Window& window, uint16_t event, int32_t control, bool front) {
    post_event(window, event, control, front, 0);
}

void PostEventWithParameter(Window& window, uint16_t event, int32_t control, uintptr_t parameter) {
    post_event(window, event, control, false, parameter);
}

uintptr_t EventParameter() {
    return t_events.empty() ? 0 : t_events.back()->wparam;
}

namespace {

void post_event(Window& window, uint16_t event, int32_t control, bool front, uintptr_t parameter) {
    // An MDI child takes the events of the frame's toolbar (negative numbers).
    const bool frame_toolbar = control < 0 && window.kind() == Window::Kind::MdiChild;
    if (control != 0 && !window.is_menu_use(control) && !frame_toolbar) {
        const Control* target = window.control(control);
        if (target == nullptr || !target->is_event_source())
            return;
    }
    EventRecord record;
    record.window = &window;
    record.message = EventMessage(event);
    record.control = control;
    record.key_code = t_last_key_code;
    record.wparam = parameter;
    Window::AcceptState& state = window.accept_state();
    if (front || window.handle() == 0) {
        if (event == Event::Timer)
            state.timer_pending = true;
        state.queue.push_front(record);
        if (window.handle())
            platform::post_message({window.handle(), platform::MsgNull, 0, 0});
        return;
    }
    auto* posted = new EventRecord(record);
    if (event == Event::Timer)
        state.timer_pending = true; // set now: a second tick must not queue another
    if (!platform::post_message({window.handle(), MsgDeliverEvent, 0, reinterpret_cast<intptr_t>(posted)}))
        delete posted;
}

} // namespace

void POST(uint16_t event, int32_t control, int32_t thread, bool front) {
    Window* window = thread == 0 ? CurrentWindow() : CurrentWindowOfSlot(thread - 1);
    if (window)
        PostEvent(*window, event, control, front);
}

void SELECT(int32_t control, int32_t row, int32_t column) {
    Window* window = CurrentWindow();
    if (window == nullptr)
        return;
    Window::AcceptState& state = window->accept_state();
    if (control == 0) {
        state.accept_all = true;
        state.next_to_accept = 0;
        if (window->handle())
            platform::post_message({window->handle(), platform::MsgNull, 0, 0});
        return;
    }
    if (state.accept_all) {
        if (t_events.empty() || t_events.back()->control != control)
            return;
        state.accept_all = false;
    }
    Control* target = window->control(control);
    if (target == nullptr)
        return;
    target->select(row, column);
    target->focus();
    target->after_select(row, column);
}

LoopOutcome DeliverNow(Window& window, uint16_t event, int32_t control) {
    if (!window.IsOpen())
        return LoopOutcome::Left;
    EventRecord record;
    record.window = &window;
    record.message = EventMessage(event);
    record.control = control;
    record.key_code = t_last_key_code;
    if (window.platform_thread() != platform::current_thread()) {
        // Delivered on the window's own thread, which serves the send.
        auto* sent = new EventRecord(record);
        const intptr_t outcome =
            platform::send_message({window.handle(), MsgDeliverNow, 0, reinterpret_cast<intptr_t>(sent)});
        return static_cast<LoopOutcome>(outcome);
    }
    ++g_nesting;
    const LoopOutcome outcome = deliver(window, record);
    --g_nesting;
    return outcome;
}

std::optional<intptr_t> HandleEngineMessage(Window& window, const platform::Message& message) {
    switch (message.number) {
    case MsgDeliverEvent: {
        std::unique_ptr<EventRecord> record(reinterpret_cast<EventRecord*>(message.lparam));
        if (record && record->window == &window && window.IsOpen())
            window.accept_state().queue.push_back(*record);
        return 0;
    }
    case MsgDeliverNow: {
        std::unique_ptr<EventRecord> record(reinterpret_cast<EventRecord*>(message.lparam));
        if (!record || record->window != &window || !window.IsOpen())
            return static_cast<intptr_t>(LoopOutcome::Left);
        ++g_nesting;
        const LoopOutcome outcome = deliver(window, *record);
        --g_nesting;
        return static_cast<intptr_t>(outcome);
    }
    case MsgRunOnWindowThread:
        if (auto* call = reinterpret_cast<std::function<void()>*>(message.lparam))
            (*call)();
        return 0;
    case platform::MsgTimer:
        if (message.wparam == 1 && window.accept_state().timer_interval != 0 &&
            !window.accept_state().timer_pending)
            PostEvent(window, Event::Timer);
        return 0;
    case MsgBringActiveToTop:
        if (const platform::WindowHandle active = platform::active_window())
            platform::bring_to_top(active);
        return 0;
    case platform::MsgNull:
        return 0;
    default:
        return std::nullopt;
    }
}

void SetIdleHook(void (*hook)()) {
    g_idle_hook = hook;
}
void SetEventObserver(EventObserver observer) {
    g_observer = observer;
}
void SetWaitHook(void (*hook)()) {
    g_wait_hook = hook;
}

void ACCEPT(const LoopBody& body) {
    Window* window = CurrentWindow();
    if (window == nullptr)
        FatalError(ErrAcceptWithoutWindow, {});
    ACCEPT(*window, body);
}

void ACCEPT(Window& window, const LoopBody& body) {
    if (!window.IsOpen())
        FatalError(ErrAcceptWithoutWindow, {});
    Window::AcceptState& state = window.accept_state();
    LoopBody* outer = state.body;
    LoopBody own = body;
    state.body = &own;
    state.loop_ended = false;
    while (window.IsOpen()) {
        if (accept_step(window) == StepResult::Return)
            break;
        platform::Message message;
        if (!platform::peek_message(message, {}, platform::Removal::Keep))
            if (auto idle = g_idle_hook.load())
                idle();
        if (auto wait = g_wait_hook.load())
            wait();
        if (!platform::get_message(message)) {
            platform::post_quit_message(0); // outer loops end too
            break;
        }
        if (message.number == MsgBringActiveToTop && message.window == 0) {
            if (const platform::WindowHandle active = platform::active_window())
                platform::bring_to_top(active);
            continue;
        }
        platform::dispatch_message(message);
    }
    state.body = outer;
    state.loop_ended = false;
}

} // namespace morvex
