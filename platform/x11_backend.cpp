#include "platform/x11_backend.h"

#include "platform/charset.h"
#include "platform/x11_error_trap.h"
#include "platform/x11_events.h"
#include "platform/x11_presenter.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace morvex::platform {

namespace {

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
};

// WM_NAME is Latin-1: what it cannot hold becomes '?'.
std::string latin1_of_utf8(std::string_view text) {
    std::string result = utf8_to_windows1252(text);
    for (char& c : result) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0)
            c = '?';
    }
    return result;
}

// The X window's size for a rectangle: X has no empty windows.
unsigned extent(int length) {
    return static_cast<unsigned>(length > 0 ? length : 1);
}

} // namespace

struct X11Backend::State final : X11WindowLookup {
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

    void wake() const {
        const char byte = 1;
        // A full pipe already holds a wake-up.
        [[maybe_unused]] const ssize_t written = write(wake_pipe[1], &byte, 1);
    }

    // Sends what other threads asked for; if waiting for the server made
    // Xlib read events meanwhile, they sit in its queue where the event
    // thread's poll cannot see them, so it is woken to take them.
    void flush() const {
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
            if (connection_lost.load()) {
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
    }

    void set_caption(::Window window, std::string_view caption) {
        XChangeProperty(display, window, atoms.net_wm_name, atoms.utf8_string, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(caption.data()),
                        static_cast<int>(caption.size()));
        const std::string latin1 = latin1_of_utf8(caption);
        XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(latin1.data()),
                        static_cast<int>(latin1.size()));
    }

    void destroy(TopLevel& top_level) {
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

    char wm_protocols[] = "WM_PROTOCOLS";
    char wm_delete_window[] = "WM_DELETE_WINDOW";
    char net_wm_name[] = "_NET_WM_NAME";
    char utf8_string[] = "UTF8_STRING";
    char* names[] = {wm_protocols, wm_delete_window, net_wm_name, utf8_string};
    Atom atoms[4] = {};
    XInternAtoms(display, names, 4, False, atoms);
    state->atoms = {atoms[0], atoms[1], atoms[2], atoms[3]};

    if (pipe2(state->wake_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::fprintf(stderr, "morvex: cannot make the X event thread's wake-up pipe: %s\n",
                     std::strerror(errno));
        if (state->own_colormap)
            XFreeColormap(display, state->colormap);
        XCloseDisplay(display);
        return nullptr;
    }
    state->translator = std::make_unique<X11EventTranslator>(display, state->atoms, *state, input);
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
    auto top_level = std::make_shared<TopLevel>();
    top_level->handle = window;
    top_level->rect = screen_rect;
    top_level->window = XCreateWindow(
        state.display, state.root, screen_rect.left, screen_rect.top, extent(screen_rect.width()),
        extent(screen_rect.height()), 0, state.depth, InputOutput, state.visual,
        CWBackPixmap | CWBorderPixel | CWBitGravity | CWColormap | CWEventMask, &attributes);

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
    char class_name[] = "Morvex";
    char instance_name[] = "morvex";
    XClassHint class_hint{instance_name, class_name};
    XSetClassHint(state.display, top_level->window, &class_hint);
    state.set_caption(top_level->window, caption);
    {
        std::lock_guard lock(state.windows_mutex);
        if (const auto old = state.windows.find(window); old != state.windows.end()) {
            // A handle the window layer reuses without having destroyed it.
            state.handles.erase(old->second->window);
            state.destroy(*old->second);
        }
        state.handles[top_level->window] = window;
        state.windows[window] = std::move(top_level);
    }
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
    if (visible)
        XMapRaised(state.display, top_level->window);
    else
        XWithdrawWindow(state.display, top_level->window, state.screen);
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
    state.set_caption(top_level->window, caption);
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
}

void X11Backend::beep() {
    if (m_state->unusable())
        return;
    XBell(m_state->display, 0);
    m_state->flush();
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

} // namespace morvex::platform
