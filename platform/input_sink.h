// Where a backend delivers the input it receives: the platform's windows
// (platform_input(), which calls the functions of platform/input.h) or, in a
// backend's own tests, a recorder.
#pragma once

#include "platform/geometry.h"
#include "platform/input.h"
#include "platform/message_queue.h"

#include <cstdint>

namespace morvex::platform {

class InputSink {
public:
    virtual ~InputSink() = default;
    virtual void key(uint32_t virtual_key, bool down) = 0;
    virtual void character(uint8_t character) = 0;
    virtual void mouse_move(WindowHandle top_level, Point point) = 0;
    virtual void mouse_button(WindowHandle top_level, Point point, MouseButton button, bool down) = 0;
    virtual void mouse_wheel(WindowHandle top_level, Point point, int delta) = 0;
    virtual void mouse_left(WindowHandle) {}
    virtual void close_request(WindowHandle top_level) = 0;
    virtual void top_level_moved(WindowHandle top_level, const Rect& screen_rect) = 0;
    virtual void top_level_activated(WindowHandle top_level, bool active) = 0;
    virtual void expose(WindowHandle top_level, const Rect& dirty) = 0;
};

// The sink that feeds the platform's windows.
InputSink& platform_input();

} // namespace morvex::platform
