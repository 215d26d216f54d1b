// The X11 backend: one X window per top-level window, frame buffers shown
// with XPutImage (MIT-SHM when the server can share memory with us), and
// keyboard and mouse input read from X events on a thread of its own and
// handed to an InputSink (the platform's windows in the program). It also
// gives windows the keyboard focus when the window layer activates them,
// tells the window manager what it needs to know (names, class, icon,
// dialogs), shows cursor shapes, and offers the CLIPBOARD and PRIMARY
// selections as its clipboard.
//
// Every operation may be called from any thread; Xlib is opened with
// XInitThreads. Geometry is the X window's: a top-level window's screen
// rectangle is the X window's position on the root window and its size, and
// the frame buffer covers the X window.
#pragma once

#include "platform/backend.h"
#include "platform/input_sink.h"

#include <memory>
#include <string>

namespace morvex::platform {

struct X11Options {
    enum class SharedMemory { WhenAvailable, Never };
    SharedMemory shared_memory = SharedMemory::WhenAvailable;
    // Keys through the user's input method (x11_input_method.h), or looked
    // up by Xlib alone (no dead keys or compose sequences).
    enum class InputMethod { WhenAvailable, Never };
    InputMethod input_method = InputMethod::WhenAvailable;
};

class X11Backend final : public Backend {
public:
    // Opens the display (nullptr: $DISPLAY) and starts the event thread;
    // nullptr, with the reason on stderr, when the display cannot be opened
    // or has no TrueColor visual. `input` must outlive the backend.
    static std::unique_ptr<X11Backend> open(const char* display_name, InputSink& input,
                                            const X11Options& options = {});
    ~X11Backend() override; // shut_down()
    // Stops the event thread, destroys the remaining X windows and closes
    // the display; later calls do nothing. For a backend that stays alive
    // after it was replaced (set_backend keeps it); no other thread may be
    // calling it meanwhile.
    void shut_down();

    void top_level_created(WindowHandle window, const Rect& screen_rect, std::string_view caption) override;
    void top_level_destroyed(WindowHandle window) override;
    void top_level_shown(WindowHandle window, bool visible) override;
    void top_level_moved(WindowHandle window, const Rect& screen_rect) override;
    void top_level_caption(WindowHandle window, std::string_view caption) override;
    void present(WindowHandle window, const FrameBuffer& pixels, const Rect& dirty) override;
    void beep() override;
    void top_level_activated(WindowHandle window) override;
    void top_level_dialog(WindowHandle window, WindowHandle owner) override;
    void top_level_icon(WindowHandle window, std::span<const IconImage> images) override;
    void set_cursor(WindowHandle top_level, MouseCursor shape) override;
    Clipboard& clipboard() override;
    std::optional<FrameBuffer> capture(WindowHandle window) override;

    // Whether frame buffers go through shared memory: the server has MIT-SHM,
    // the options allow it and no attach has failed.
    bool uses_shared_memory() const;
    // The X window of a top-level window (0: none), for tests and screenshots.
    unsigned long x_window(WindowHandle window) const;
    // Returns once the server has handled every request made so far.
    void sync();
    // Returns once every event the server sent before this call has been
    // handed to the input sink (or after five seconds). With sync() on a
    // connection that made input (XTEST), the input has then reached the
    // platform's queues.
    void drain_events();
    // The display's name, for another connection to the same server.
    std::string display_name() const;
    // Whether keys go through an input method.
    bool uses_input_method() const;

private:
    struct State;
    explicit X11Backend(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

// The X11 backend feeding the platform's windows.
std::unique_ptr<Backend> make_x11_backend(const char* display_name);

} // namespace morvex::platform
