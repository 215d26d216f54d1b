// An image control: a picture (wallpaper-like file or linked image) or an
// icon drawn by its window. The mode byte places it: 0 at the top-left
// corner, 1 stretched over the control, 2 tiled, 3 centred.
#pragma once

#include "window/control.h"

namespace morvex {

class ImageControl : public Control {
public:
    ImageControl(Window& window, const ControlDefinition& definition);

    std::string_view class_name() const override { return {}; }
    void paint(painter::Painter& painter) override;
    bool takes_focus() const override { return false; }
    std::optional<std::string> get_property(uint32_t number) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    enum Mode : uint8_t { TopLeft = 0, Stretched = 1, Tiled = 2, Centred = 3 };

private:
    void load(std::string_view name);

    uintptr_t m_image = 0;
    std::string m_name;
    uint8_t m_mode = TopLeft;
};

} // namespace morvex
