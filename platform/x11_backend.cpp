#include "platform/x11_backend.h"

#include "platform/x11_clipboard.h"
#include "platform/x11_cursors.h"
#include "platform/x11_error_trap.h"
#include "platform/x11_events.h"
#include "platform/x11_input_method.h"
#include "platform/x11_presenter.h"
#include "platform/x11_window_properties.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace morvex::platform {

namespace {

// Benchmarks time a start to its first frame: with MORVEX_FIRST_FRAME_FD set
// to an open descriptor, one byte is written there once the first frame has
// reached the server.
void report_first_frame(Display* display) {
    static std::atomic<bool> reported{false};
    const char* fd_text = std::getenv("MORVEX_FIRST_FRAME_FD");
    if (fd_text == nullptr || reported.exchange(true))
        return;
    XSync(display, False);
    const int fd = std::atoi(fd_text);
    if (fd > 2)
        (void)!::write(fd, "1", 1);
}

constexpr long EventMask = ExposureMask | StructureNotifyMask | FocusChangeMask | KeyPressMask |
                           KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                           LeaveWindowMask;

struct TopLevel {
    WindowHandle handle = 0;
    ::Window window = 0;
    std::mutex mutex; // guards what follows
    Rect rect;
    unsigned long requested_serial = 0; // of the window layer's latest move
    std::unique_ptr<X11Presenter> presenter;
    MouseCursor cursor = MouseCursor::Arrow;
    bool mapped = false; // as the server last reported; guarded by State::focus_mutex
};

// The X window's size for a rectangle: X has no empty windows.
unsigned extent(int length) {
    return static_cast<unsigned>(length > 0 ? length : 1);
}

} // namespace

struct X11Backend::State final : X11WindowLookup, X11ClipboardHost {
    State(Display* display, InputSink& input) : display(display), input(input) {}

    Display* display;
    InputSink& input;
    ::Window root = 0;
    int screen = 0;
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = 0;
    bool own_colormap = false;
    X11Atoms atoms;
    std::atomic<bool> shared_memory{false};
    // An unmapped window of our own: it owns the selections and receives
    // their data and the markers the backend sends itself.
    ::Window helper_window = 0;
    std::unique_ptr<X11Cursors> cursors;
    std::unique_ptr<X11InputMethod> input_method; // used on the event thread
    std::unique_ptr<X11Clipboard> clipboard;
    std::atomic<Time> latest_input_time{CurrentTime};

    // The keyboard focus. `x_focus` is the window that has it as the server
    // last told us; a focus report older than our latest request for the
    // focus (`focus_serial`) is stale and not passed on. A window activated
    // before it is mapped gets the focus once it is (`pending_focus`).
    std::atomic<WindowHandle> x_focus{0};
    std::atomic<unsigned long> focus_serial{0};
    std::mutex focus_mutex;
    WindowHandle pending_focus = 0;

    // Work that must run on the event thread (the input method's), queued
    // by other threads, which wait for it.
    std::mutex tasks_mutex;
    std::condition_variable tasks_done;
    std::deque<std::function<void()>> tasks;
    unsigned long tasks_queued = 0;
    unsigned long tasks_run = 0;
    bool accepting_tasks = true;

    // Markers the backend sends itself to know when the events before them were handled.
    std::mutex markers_mutex;
    std::condition_variable markers_seen_changed;
    unsigned long markers_sent = 0;
    unsigned long markers_seen = 0;

    mutable std::mutex windows_mutex;
    std::unordered_map<WindowHandle, std::shared_ptr<TopLevel>> windows;
    std::unordered_map<::Window, WindowHandle> handles;

    int wake_pipe[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::atomic<bool> connection_lost{false};
    std::atomic<bool> closed{false};
    std::unique_ptr<X11EventTranslator> translator;
    std::thread event_thread;

    // Whether calls must leave Xlib alone.
    bool unusable() const { return connection_lost.load() || closed.load(); }
    bool usable() const override { return !unusable(); }
    bool on_event_thread() const override { return std::this_thread::get_id() == event_thread.get_id(); }
    Time last_input_time() const override { return latest_input_time.load(); }
    void input_time(Time time) override { latest_input_time = time; }

    std::shared_ptr<TopLevel> find(WindowHandle handle) const {
        std::lock_guard lock(windows_mutex);
        const auto found = windows.find(handle);
        return found == windows.end() ? nullptr : found->second;
    }

    WindowHandle handle_of(::Window window) override {
        std::lock_guard lock(windows_mutex);
        const auto found = handles.find(window);
        return found == handles.end() ? 0 : found->second;
    }

    bool take_geometry(WindowHandle handle, const Rect& screen_rect, unsigned long serial) override {
        const auto top_level = find(handle);
        if (!top_level)
            return false;
        std::lock_guard lock(top_level->mutex);
        if (serial < top_level->requested_serial || screen_rect == top_level->rect)
            return false;
        top_level->rect = screen_rect;
        return true;
    }

    bool take_focus(WindowHandle handle, bool focused, unsigned long serial) override {
        if (focused) {
            x_focus = handle;
        } else {
            WindowHandle expected = handle;
            x_focus.compare_exchange_strong(expected, 0);
        }
        return serial >= focus_serial.load();
    }

    void mapped(WindowHandle handle, bool is_mapped) override {
        const auto top_level = find(handle);
        if (!top_level)
            return;
        bool focus_now = false;
        {
            std::lock_guard lock(focus_mutex);
            top_level->mapped = is_mapped;
            if (is_mapped && pending_focus == handle) {
                pending_focus = 0;
                focus_now = true;
            }
        }
        if (focus_now)
            give_focus(*top_level);
    }

    bool handle_own_event(const XEvent& event) override {
        if (clipboard->handle(event))
            return true;
        if (event.type != ClientMessage || event.xclient.window != helper_window ||
            event.xclient.message_type != atoms.marker)
            return false;
        {
            std::lock_guard lock(markers_mutex);
            markers_seen = static_cast<unsigned long>(event.xclient.data.l[0]);
        }
        markers_seen_changed.notify_all();
        return true;
    }

    // Raises the window and gives it the keyboard focus. Without a window
    // manager nobody else would; a window manager hears the request too
    // (_NET_ACTIVE_WINDOW) and may follow its own focus rules.
    void give_focus(const TopLevel& top_level) {
        x11_request_error(display, [&] {
            focus_serial = NextRequest(display);
            XRaiseWindow(display, top_level.window);
            XSetInputFocus(display, top_level.window, RevertToParent, CurrentTime);
        });
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = top_level.window;
        event.xclient.message_type = atoms.net_active_window;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1; // from an application
        event.xclient.data.l[1] = static_cast<long>(latest_input_time.load());
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        flush();
    }

    // Runs `task` on the event thread and waits for it; at once when
    // called there or when the event thread has ended.
    void run_on_event_thread(const std::function<void()>& task) {
        if (on_event_thread()) {
            task();
            return;
        }
        std::unique_lock lock(tasks_mutex);
        if (!accepting_tasks) {
            lock.unlock();
            task();
            return;
        }
        tasks.push_back(task);
        const unsigned long ticket = ++tasks_queued;
        wake();
        tasks_done.wait(lock, [&] { return tasks_run >= ticket; });
    }

    void run_tasks(bool last) {
        std::unique_lock lock(tasks_mutex);
        while (!tasks.empty()) {
            const std::function<void()> task = std::move(tasks.front());
            tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
            ++tasks_run;
        }
        if (last)
            accepting_tasks = false;
        lock.unlock();
        tasks_done.notify_all();
    }

    void wake() const {
        const char byte = 1;
        // A full pipe already holds a wake-up.
        [[maybe_unused]] const ssize_t written = write(wake_pipe[1], &byte, 1);
    }

    // Sends what other threads asked for; if waiting for the server made
    // Xlib read events meanwhile, they sit in its queue where the event
    // thread's poll cannot see them, so it is woken to take them.
    void flush() override {
        XFlush(display);
        if (std::this_thread::get_id() != event_thread.get_id() &&
            XEventsQueued(display, QueuedAfterReading) > 0)
            wake();
    }

    // Called by Xlib, on whichever thread met the error, instead of ending
    // the process; later Xlib calls on the display do nothing. Xlib locks
    // the display for good before it gets here (so that the exiting thread
    // alone runs the exit handlers); as nobody exits, the lock is given
    // back, or every other thread's next call would wait forever.
    static void lost(Display* display, void* self) {
        auto* state = static_cast<State*>(self);
        state->connection_lost = true;
        XUnlockDisplay(display);
        state->wake();
    }

    // Without a display the windows cannot be seen or used any more, so
    // they are asked to close, as if the user had closed them.
    void close_all_windows() {
        std::vector<WindowHandle> open;
        {
            std::lock_guard lock(windows_mutex);
            for (const auto& [handle, top_level] : windows)
                open.push_back(handle);
        }
        for (WindowHandle handle : open)
            input.close_request(handle);
    }

    void run_events() {
        const int connection = ConnectionNumber(display);
        while (!stopping.load()) {
            while (!connection_lost.load() && XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                translator->handle(event);
            }
            run_tasks(false);
            if (connection_lost.load()) {
                run_tasks(true);
                close_all_windows();
                return;
            }
            pollfd fds[2] = {{connection, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR) {
                std::fprintf(stderr, "morvex: waiting for X events failed: %s\n", std::strerror(errno));
                return;
            }
            if (fds[1].revents & POLLIN) {
                char drain[64];
                while (read(wake_pipe[0], drain, sizeof drain) > 0) {
                }
            }
        }
        run_tasks(true);
    }

    void destroy(TopLevel& top_level) {
        if (input_method)
            run_on_event_thread([&] { input_method->remove_window(top_level.window); });
        {
            std::lock_guard lock(focus_mutex);
            if (pending_focus == top_level.handle)
                pending_focus = 0;
        }
        std::lock_guard lock(top_level.mutex);
        top_level.presenter.reset();
        XDestroyWindow(display, top_level.window);
    }
};

std::unique_ptr<X11Backend> X11Backend::open(const char* display_name, InputSink& input,
                                             const X11Options& options) {
    // Windows present from their own threads while the event thread reads.
    if (!XInitThreads()) {
        std::fprintf(stderr, "morvex: Xlib cannot be used from several threads\n");
        return nullptr;
    }
    install_x11_error_handler();
    Display* display = XOpenDisplay(display_name);
    if (!display) {
        std::fprintf(stderr, "morvex: cannot open the X display \"%s\"\n", XDisplayName(display_name));
        return nullptr;
    }
    auto state = std::make_unique<State>(display, input);
    XSetIOErrorExitHandler(display, &State::lost, state.get());
    state->screen = DefaultScreen(display);
    state->root = RootWindow(display, state->screen);

    Visual* visual = DefaultVisual(display, state->screen);
    if (visual->c_class == TrueColor) {
        state->visual = visual;
        state->depth = DefaultDepth(display, state->screen);
        state->colormap = DefaultColormap(display, state->screen);
    } else {
        XVisualInfo info{};
        if (!XMatchVisualInfo(display, state->screen, 24, TrueColor, &info)) {
            std::fprintf(stderr, "morvex: the X display \"%s\" has no TrueColor visual\n",
                         DisplayString(display));
            XCloseDisplay(display);
            return nullptr;
        }
        state->visual = info.visual;
        state->depth = info.depth;
        state->colormap = XCreateColormap(display, state->root, info.visual, AllocNone);
        state->own_colormap = true;
    }
    XImage* probe = XCreateImage(display, state->visual, static_cast<unsigned>(state->depth), ZPixmap, 0,
                                 nullptr, 1, 1, 32, 0);
    const int bits_per_pixel = probe ? probe->bits_per_pixel : 0;
    if (probe)
        XDestroyImage(probe);
    if (bits_per_pixel != 16 && bits_per_pixel != 24 && bits_per_pixel != 32) {
        std::fprintf(stderr, "morvex: the X display \"%s\" uses %d bits a pixel, which is not supported\n",
                     DisplayString(display), bits_per_pixel);
        if (state->own_colormap)
            XFreeColormap(display, state->colormap);
        XCloseDisplay(display);
        return nullptr;
    }

    state->shared_memory =
        options.shared_memory == X11Options::SharedMemory::WhenAvailable && XShmQueryExtension(display);
    // Held keys repeat as presses alone, as on Win32, not as release-press pairs.
    XkbSetDetectableAutoRepeat(display, True, nullptr);

    state->atoms = intern_x11_atoms(display);
    if (pipe2(state->wake_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::fprintf(stderr, "morvex: cannot make the X event thread's wake-up pipe: %s\n",
                     std::strerror(errno));
        if (state->own_colormap)
            XFreeColormap(display, state->colormap);
        XCloseDisplay(display);
        return nullptr;
    }
    state->helper_window =
        XCreateWindow(display, state->root, -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, nullptr);
    state->cursors = std::make_unique<X11Cursors>(display);
    state->clipboard = std::make_unique<X11Clipboard>(display, state->atoms, state->helper_window, *state);
    if (options.input_method == X11Options::InputMethod::WhenAvailable)
        state->input_method = X11InputMethod::open(display);
    state->translator =
        std::make_unique<X11EventTranslator>(display, state->atoms, *state, input, state->input_method.get());
    State* running = state.get();
    state->event_thread = std::thread([running] { running->run_events(); });
    return std::unique_ptr<X11Backend>(new X11Backend(std::move(state)));
}

X11Backend::X11Backend(std::unique_ptr<State> state) : m_state(std::move(state)) {}

X11Backend::~X11Backend() {
    shut_down();
}

void X11Backend::shut_down() {
    State& state = *m_state;
    if (state.closed.exchange(true))
        return;
    state.stopping = true;
    state.wake();
    state.event_thread.join();
    std::unordered_map<WindowHandle, std::shared_ptr<TopLevel>> windows;
    {
        std::lock_guard lock(state.windows_mutex);
        windows.swap(state.windows);
        state.handles.clear();
    }
    for (auto& [handle, top_level] : windows)
        state.destroy(*top_level);
    state.input_method.reset();
    state.cursors.reset();
    XDestroyWindow(state.display, state.helper_window);
    if (state.own_colormap)
        XFreeColormap(state.display, state.colormap);
    XCloseDisplay(state.display);
    close(state.wake_pipe[0]);
    close(state.wake_pipe[1]);
}

void X11Backend::top_level_created(WindowHandle window, const Rect& screen_rect, std::string_view caption) {
    State& state = *m_state;
    if (state.unusable())
        return;
    XSetWindowAttributes attributes{};
    // No background: the frame buffer covers the window, and clearing it
    // first would only flicker. Contents stay put when the window grows.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.bit_gravity = NorthWestGravity;
    attributes.colormap = state.colormap;
    attributes.event_mask = EventMask;
    attributes.cursor = state.cursors->cursor(MouseCursor::Arrow);
    auto top_level = std::make_shared<TopLevel>();
    top_level->handle = window;
    top_level->rect = screen_rect;
    top_level->window = XCreateWindow(
        state.display, state.root, screen_rect.left, screen_rect.top, extent(screen_rect.width()),
        extent(screen_rect.height()), 0, state.depth, InputOutput, state.visual,
        CWBackPixmap | CWBorderPixel | CWBitGravity | CWColormap | CWEventMask | CWCursor, &attributes);

    Atom protocols[] = {state.atoms.wm_delete_window};
    XSetWMProtocols(state.display, top_level->window, protocols, 1);
    XSizeHints size_hints{};
    size_hints.flags = PPosition | PSize;
    size_hints.x = screen_rect.left;
    size_hints.y = screen_rect.top;
    size_hints.width = static_cast<int>(extent(screen_rect.width()));
    size_hints.height = static_cast<int>(extent(screen_rect.height()));
    XSetWMNormalHints(state.display, top_level->window, &size_hints);
    XWMHints wm_hints{};
    wm_hints.flags = InputHint | StateHint;
    wm_hints.input = True;
    wm_hints.initial_state = NormalState;
    XSetWMHints(state.display, top_level->window, &wm_hints);
    set_x11_identity(state.display, top_level->window, state.atoms, application_class());
    set_x11_caption(state.display, top_level->window, state.atoms, caption);
    if (state.input_method) {
        const ::Window x_window = top_level->window;
        state.run_on_event_thread([&state, x_window] {
            // The input method may need to see events the window does not ask for itself.
            if (const long extra = state.input_method->add_window(x_window); (extra & ~EventMask) != 0)
                XSelectInput(state.display, x_window, EventMask | extra);
        });
    }
    std::shared_ptr<TopLevel> replaced;
    {
        std::lock_guard lock(state.windows_mutex);
        if (const auto old = state.windows.find(window); old != state.windows.end()) {
            // A handle the window layer reuses without having destroyed it.
            replaced = std::move(old->second);
            state.handles.erase(replaced->window);
        }
        state.handles[top_level->window] = window;
        state.windows[window] = std::move(top_level);
    }
    // Not under the lock: destroying waits for the event thread, which looks windows up.
    if (replaced)
        state.destroy(*replaced);
    state.flush();
}

void X11Backend::top_level_destroyed(WindowHandle window) {
    State& state = *m_state;
    if (state.closed)
        return;
    std::shared_ptr<TopLevel> top_level;
    {
        std::lock_guard lock(state.windows_mutex);
        const auto found = state.windows.find(window);
        if (found == state.windows.end())
            return;
        top_level = std::move(found->second);
        state.windows.erase(found);
        state.handles.erase(top_level->window);
    }
    state.destroy(*top_level);
    state.flush();
}

void X11Backend::top_level_shown(WindowHandle window, bool visible) {
    State& state = *m_state;
    if (state.unusable())
        return;
    const auto top_level = state.find(window);
    if (!top_level)
        return;
    if (visible) {
        XMapRaised(state.display, top_level->window);
    } else {
        XWithdrawWindow(state.display, top_level->window, state.screen);
        std::lock_guard lock(state.focus_mutex);
        if (state.pending_focus == window)
            state.pending_focus = 0;
    }
    state.flush();
}

void X11Backend::top_level_moved(WindowHandle window, const Rect& screen_rect) {
    State& state = *m_state;
    if (state.unusable())
        return;
    const auto top_level = state.find(window);
    if (!top_level)
        return;
    {
        std::lock_guard lock(top_level->mutex);
        top_level->rect = screen_rect;
        // Locked so that the serial is the move's own.
        XLockDisplay(state.display);
        top_level->requested_serial = NextRequest(state.display);
        XMoveResizeWindow(state.display, top_level->window, screen_rect.left, screen_rect.top,
                          extent(screen_rect.width()), extent(screen_rect.height()));
        XUnlockDisplay(state.display);
    }
    state.flush();
}

void X11Backend::top_level_caption(WindowHandle window, std::string_view caption) {
    State& state = *m_state;
    if (state.unusable())
        return;
    const auto top_level = state.find(window);
    if (!top_level)
        return;
    set_x11_caption(state.display, top_level->window, state.atoms, caption);
    state.flush();
}

void X11Backend::present(WindowHandle window, const FrameBuffer& pixels, const Rect& dirty) {
    State& state = *m_state;
    if (state.unusable())
        return;
    const auto top_level = state.find(window);
    if (!top_level)
        return;
    {
        std::lock_guard lock(top_level->mutex);
        if (!top_level->presenter) {
            const auto transfer =
                state.shared_memory ? X11Presenter::Transfer::SharedMemory : X11Presenter::Transfer::Protocol;
            top_level->presenter = std::make_unique<X11Presenter>(state.display, top_level->window,
                                                                  state.visual, state.depth, transfer);
        }
        top_level->presenter->present(pixels, dirty);
        // One failed attach is enough to know that this server cannot share memory with us.
        if (top_level->presenter->transfer() == X11Presenter::Transfer::Protocol)
            state.shared_memory = false;
    }
    state.flush();
    report_first_frame(state.display);
}

void X11Backend::beep() {
    if (m_state->unusable())
        return;
    XBell(m_state->display, 0);
    m_state->flush();
}

void X11Backend::top_level_activated(WindowHandle window) {
    State& state = *m_state;
    if (state.unusable() || state.x_focus.load() == window)
        return;
    const auto top_level = state.find(window);
    if (!top_level)
        return;
    {
        // A window that is not mapped yet cannot take the focus; it does
        // once the server reports it mapped.
        std::lock_guard lock(state.focus_mutex);
        if (!top_level->mapped) {
            state.pending_focus = window;
            return;
        }
        state.pending_focus = 0;
    }
    state.give_focus(*top_level);
}

void X11Backend::top_level_dialog(WindowHandle window, WindowHandle owner) {
    State& state = *m_state;
    if (state.unusable())
        return;
    const auto top_level = state.find(window);
    if (!top_level)
        return;
    const auto owner_window = state.find(owner);
    set_x11_dialog(state.display, top_level->window, state.atoms, owner_window ? owner_window->window : 0);
    state.flush();
}

void X11Backend::top_level_icon(WindowHandle window, std::span<const IconImage> images) {
    State& state = *m_state;
    if (state.unusable())
        return;
    if (const auto top_level = state.find(window)) {
        set_x11_icon(state.display, top_level->window, state.atoms, images);
        state.flush();
    }
}

void X11Backend::set_cursor(WindowHandle window, MouseCursor shape) {
    State& state = *m_state;
    if (state.unusable())
        return;
    const auto top_level = state.find(window);
    if (!top_level)
        return;
    {
        std::lock_guard lock(top_level->mutex);
        if (top_level->cursor == shape)
            return;
        top_level->cursor = shape;
        XDefineCursor(state.display, top_level->window, state.cursors->cursor(shape));
    }
    state.flush();
}

Clipboard& X11Backend::clipboard() {
    return *m_state->clipboard;
}

std::optional<FrameBuffer> X11Backend::capture(WindowHandle window) {
    State& state = *m_state;
    const auto top_level = state.find(window);
    if (!top_level || state.unusable())
        return std::nullopt;
    Rect rect;
    {
        std::lock_guard lock(top_level->mutex);
        rect = top_level->rect;
    }
    if (rect.empty())
        return std::nullopt;
    XImage* image = nullptr;
    // A window the user closed meanwhile is an X error, not a reason to stop.
    x11_request_error(state.display, [&] {
        image = XGetImage(state.display, top_level->window, 0, 0, static_cast<unsigned>(rect.width()),
                          static_cast<unsigned>(rect.height()), AllPlanes, ZPixmap);
    });
    if (!image)
        return std::nullopt;
    // Each channel scaled from its mask's width to 8 bits.
    const auto channel = [](unsigned long pixel, unsigned long mask) -> uint8_t {
        if (mask == 0)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1))
            ++shift;
        const unsigned long max = mask >> shift;
        return static_cast<uint8_t>((((pixel & mask) >> shift) * 255 + max / 2) / max);
    };
    FrameBuffer pixels(rect.width(), rect.height());
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < rect.width(); ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            pixels.at(x, y) = MakePixel(channel(pixel, image->red_mask), channel(pixel, image->green_mask),
                                        channel(pixel, image->blue_mask));
        }
    XDestroyImage(image);
    return pixels;
}

bool X11Backend::uses_shared_memory() const {
    return m_state->shared_memory;
}

unsigned long X11Backend::x_window(WindowHandle window) const {
    const auto top_level = m_state->find(window);
    return top_level ? top_level->window : 0;
}

void X11Backend::sync() {
    if (m_state->unusable())
        return;
    XSync(m_state->display, False);
    m_state->flush();
}

void X11Backend::drain_events() {
    State& state = *m_state;
    if (state.unusable() || state.on_event_thread())
        return;
    unsigned long ticket = 0;
    {
        std::lock_guard lock(state.markers_mutex);
        ticket = ++state.markers_sent;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = state.helper_window;
    event.xclient.message_type = state.atoms.marker;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(ticket);
    // Sent to our own window, it comes back after every event the server
    // sent us before it.
    XSendEvent(state.display, state.helper_window, False, NoEventMask, &event);
    state.flush();
    std::unique_lock lock(state.markers_mutex);
    state.markers_seen_changed.wait_for(lock, std::chrono::seconds(5),
                                        [&] { return state.markers_seen >= ticket || state.unusable(); });
}

std::string X11Backend::display_name() const {
    return m_state->closed ? std::string() : std::string(DisplayString(m_state->display));
}

bool X11Backend::uses_input_method() const {
    return m_state->input_method != nullptr;
}

} // namespace morvex::platform
