// The X11 backend: one X window per top-level window, frame buffers shown
// with XPutImage (MIT-SHM when the server can share memory with us), and
// keyboard and mouse input read from X events on a thread of its own and
// handed to an InputSink (the platform's windows in the program).
//
// Every operation may be called from any thread; Xlib is opened with
// XInitThreads. Geometry is the X window's: a top-level window's screen
// rectangle is the X window's position on the root window and its size, and
// the frame buffer covers the X window.
#pragma once

#include "platform/backend.h"
#include "platform/input_sink.h"

#include <memory>

namespace morvex::platform {

struct X11Options {
    enum class SharedMemory { WhenAvailable, Never };
    SharedMemory shared_memory = SharedMemory::WhenAvailable;
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

    // Whether frame buffers go through shared memory: the server has MIT-SHM,
    // the options allow it and no attach has failed.
    bool uses_shared_memory() const;
    // The X window of a top-level window (0: none), for tests and screenshots.
    unsigned long x_window(WindowHandle window) const;
    // Returns once the server has handled every request made so far.
    void sync();

private:
    struct State;
    explicit X11Backend(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

// The X11 backend feeding the platform's windows.
std::unique_ptr<Backend> make_x11_backend(const char* display_name);

} // namespace morvex::platform
