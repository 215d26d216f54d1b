// Shows a frame buffer in one X window: large areas through a shared
// memory image (MIT-SHM) when the server can attach one, small ones and
// everything else with plain XPutImage; only the part that changed. Used by
// one thread at a time (the window's).
#pragma once

#include "platform/frame_buffer.h"
#include "platform/geometry.h"
#include "platform/x11_pixel_layout.h"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <vector>

namespace morvex::platform {

class X11Presenter {
public:
    enum class Transfer { SharedMemory, Protocol };

    X11Presenter(Display* display, ::Window window, Visual* visual, int depth, Transfer transfer);
    ~X11Presenter();
    X11Presenter(const X11Presenter&) = delete;
    X11Presenter& operator=(const X11Presenter&) = delete;

    // Sends the part `dirty` of `pixels` to the same place in the window;
    // through shared memory, returns once the server has copied it.
    void present(const FrameBuffer& pixels, const Rect& dirty);

    // SharedMemory until attaching a segment failed (then Protocol for good).
    Transfer transfer() const { return m_transfer; }

private:
    bool attach_shared_image(int width, int height);
    void release_shared_image();
    void present_shared(const FrameBuffer& pixels, const Rect& area);
    void present_protocol(const FrameBuffer& pixels, const Rect& area);

    Display* m_display;
    ::Window m_window;
    Visual* m_visual;
    int m_depth;
    Transfer m_transfer;
    GC m_gc;
    PixelLayout m_layout;
    XImage* m_shared_image = nullptr;
    XShmSegmentInfo m_segment{};
    std::vector<uint8_t> m_scratch;
};

} // namespace morvex::platform
