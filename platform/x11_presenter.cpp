#include "platform/x11_presenter.h"

#include "platform/x11_error_trap.h"

#include <X11/Xutil.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace morvex::platform {

namespace {

PixelLayout layout_of(const XImage& image) {
    return {image.bits_per_pixel, image.byte_order == MSBFirst, static_cast<uint32_t>(image.red_mask),
            static_cast<uint32_t>(image.green_mask), static_cast<uint32_t>(image.blue_mask)};
}

// Copies (converting as needed) `area` of the frame buffer into an image
// whose origin is at (origin_x, origin_y) of the frame buffer.
void copy_into(const FrameBuffer& pixels, const Rect& area, const PixelLayout& layout, XImage& image,
               int origin_x, int origin_y) {
    const int bytes_per_pixel = image.bits_per_pixel / 8;
    for (int y = area.top; y < area.bottom; ++y) {
        auto* target =
            reinterpret_cast<uint8_t*>(image.data) +
            static_cast<std::size_t>(y - origin_y) * static_cast<std::size_t>(image.bytes_per_line) +
            static_cast<std::size_t>(area.left - origin_x) * static_cast<std::size_t>(bytes_per_pixel);
        convert_pixels(pixels.row(y) + area.left, area.width(), layout, target);
    }
}

} // namespace

X11Presenter::X11Presenter(Display* display, ::Window window, Visual* visual, int depth, Transfer transfer)
    : m_display(display), m_window(window), m_visual(visual), m_depth(depth), m_transfer(transfer),
      m_gc(XCreateGC(display, window, 0, nullptr)) {
    // The server's layout for this visual and depth, read off an image header.
    XImage* probe =
        XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, 1, 1, 32, 0);
    if (probe) {
        m_layout = layout_of(*probe);
        XDestroyImage(probe);
    }
}

X11Presenter::~X11Presenter() {
    release_shared_image();
    XFreeGC(m_display, m_gc);
}

void X11Presenter::present(const FrameBuffer& pixels, const Rect& dirty) {
    const Rect area = dirty.intersect(Rect{0, 0, pixels.width(), pixels.height()});
    if (area.empty())
        return;
    // A shared image costs a round trip to the server each time (its memory
    // is reused), while XPutImage's requests stream; below this size the
    // round trip costs more than the copy through the connection saves.
    constexpr int64_t SharedMemoryMinimumPixels = 64 * 1024;
    const bool large = int64_t{area.width()} * area.height() >= SharedMemoryMinimumPixels;
    if (large && m_transfer == Transfer::SharedMemory) {
        const bool fits = m_shared_image && m_shared_image->width == pixels.width() &&
                          m_shared_image->height == pixels.height();
        if (!fits && !attach_shared_image(pixels.width(), pixels.height()))
            m_transfer = Transfer::Protocol;
    }
    if (large && m_transfer == Transfer::SharedMemory)
        present_shared(pixels, area);
    else
        present_protocol(pixels, area);
}

bool X11Presenter::attach_shared_image(int width, int height) {
    release_shared_image();
    XImage* image = XShmCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, nullptr,
                                    &m_segment, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image)
        return false;
    const std::size_t bytes =
        static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height);
    m_segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (m_segment.shmid < 0) {
        std::fprintf(stderr,
                     "morvex: no shared memory for window pixels (%s); sending them over the X connection\n",
                     std::strerror(errno));
        XDestroyImage(image);
        return false;
    }
    m_segment.shmaddr = static_cast<char*>(shmat(m_segment.shmid, nullptr, 0));
    if (m_segment.shmaddr == reinterpret_cast<char*>(-1)) {
        std::fprintf(stderr, "morvex: cannot map shared memory for window pixels (%s)\n",
                     std::strerror(errno));
        shmctl(m_segment.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        return false;
    }
    m_segment.readOnly = False;
    image->data = m_segment.shmaddr;
    // A server on another machine, or one without access to our segments,
    // refuses the attach with an X error rather than a status.
    const int error = x11_request_error(m_display, [&] { XShmAttach(m_display, &m_segment); });
    // Once both sides have it mapped, the segment goes away with the last detach.
    shmctl(m_segment.shmid, IPC_RMID, nullptr);
    if (error != 0) {
        std::fprintf(stderr,
                     "morvex: the X server cannot attach shared memory (X error %d); "
                     "sending window pixels over the X connection\n",
                     error);
        shmdt(m_segment.shmaddr);
        image->data = nullptr;
        XDestroyImage(image);
        m_segment = {};
        return false;
    }
    m_shared_image = image;
    return true;
}

void X11Presenter::release_shared_image() {
    if (!m_shared_image)
        return;
    XShmDetach(m_display, &m_segment);
    // The server must have let go before the memory is unmapped here.
    XSync(m_display, False);
    shmdt(m_segment.shmaddr);
    m_shared_image->data = nullptr;
    XDestroyImage(m_shared_image);
    m_shared_image = nullptr;
    m_segment = {};
}

void X11Presenter::present_shared(const FrameBuffer& pixels, const Rect& area) {
    copy_into(pixels, area, m_layout, *m_shared_image, 0, 0);
    XShmPutImage(m_display, m_window, m_gc, m_shared_image, area.left, area.top, area.left, area.top,
                 static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()), False);
    // The next present writes into the same memory, so the server has to be
    // done reading it first.
    XSync(m_display, False);
}

void X11Presenter::present_protocol(const FrameBuffer& pixels, const Rect& area) {
    if (matches_frame_buffer(m_layout)) {
        // XPutImage only reads the image, so the frame buffer goes out as it is.
        XImage* image =
            XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0,
                         const_cast<char*>(reinterpret_cast<const char*>(pixels.pixels().data())),
                         static_cast<unsigned>(pixels.width()), static_cast<unsigned>(pixels.height()), 32,
                         pixels.width() * static_cast<int>(sizeof(Pixel)));
        if (!image)
            return;
        XPutImage(m_display, m_window, m_gc, image, area.left, area.top, area.left, area.top,
                  static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()));
        image->data = nullptr;
        XDestroyImage(image);
        return;
    }
    XImage* image =
        XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0, nullptr,
                     static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()), 32, 0);
    if (!image)
        return;
    m_scratch.resize(static_cast<std::size_t>(image->bytes_per_line) *
                     static_cast<std::size_t>(area.height()));
    image->data = reinterpret_cast<char*>(m_scratch.data());
    copy_into(pixels, area, m_layout, *image, area.left, area.top);
    XPutImage(m_display, m_window, m_gc, image, 0, 0, area.left, area.top,
              static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()));
    image->data = nullptr;
    XDestroyImage(image);
}

} // namespace morvex::platform
