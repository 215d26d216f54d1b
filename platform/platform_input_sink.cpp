// The input sink that hands a backend's input to the platform's windows.
#include "platform/input.h"
#include "platform/input_sink.h"

namespace morvex::platform {

namespace {

class PlatformInput final : public InputSink {
public:
    void key(uint32_t virtual_key, bool down) override { input_key(virtual_key, down); }
    void character(uint8_t character) override { input_char(character); }
    void mouse_move(WindowHandle top_level, Point point) override { input_mouse_move(top_level, point); }
    void mouse_button(WindowHandle top_level, Point point, MouseButton button, bool down) override {
        input_mouse_button(top_level, point, button, down);
    }
    void mouse_wheel(WindowHandle top_level, Point point, int delta) override {
        input_mouse_wheel(top_level, point, delta);
    }
    void mouse_left(WindowHandle top_level) override { input_mouse_left(top_level); }
    void close_request(WindowHandle top_level) override { input_close_request(top_level); }
    void top_level_moved(WindowHandle top_level, const Rect& screen_rect) override {
        input_top_level_moved(top_level, screen_rect);
    }
    void top_level_activated(WindowHandle top_level, bool active) override {
        input_top_level_activated(top_level, active);
    }
    void expose(WindowHandle top_level, const Rect& dirty) override { input_expose(top_level, dirty); }
};

} // namespace

InputSink& platform_input() {
    static PlatformInput input;
    return input;
}

} // namespace morvex::platform
