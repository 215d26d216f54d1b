// The application frame: the program's main window, whose client area (the
// MDI client) holds the MDI children of the procedures started on their own
// threads, with the frame's menu bar and toolbar shared by the children that
// have none of their own. At most one frame is open at a time.
//
// MDI children are windows whose definition has the mdi attribute (word 2,
// 0x400): opened while a frame is active, from another thread than the
// frame's, they live inside the frame's client area, drawn with their own
// caption and border, the active one in the active colours.
#pragma once

#include "window/window.h"

namespace morvex {

class ApplicationFrame : public Window {
public:
    ApplicationFrame();
    ~ApplicationFrame() override;

    // Opens the frame (runtime errors 526 a frame is already active, 527
    // the system is modal, 528 it cannot be created).
    void Open(Window* owner = nullptr) override;

    // The open frame, or nullptr.
    static ApplicationFrame* Active();
    // The MDI child shown active, or nullptr.
    Window* active_child() const { return m_active_child; }
    void activate_child(Window* child);
    void child_closed(Window* child);
    // The frame's window closed: no frame is active any more.
    void frame_closed();

protected:
    platform::WindowHandle create_platform_window(Window* owner) override;

private:
    Window* m_active_child = nullptr;
};

// The attribute of word 2 that makes a window an MDI child.
constexpr uint32_t WinMdiChild = 0x400;

} // namespace morvex
