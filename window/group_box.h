// A group box: an etched frame around related controls with its text set
// into the top border. It takes no input: its platform window stays
// disabled so that clicks reach the controls inside it, and its mnemonic
// moves the focus into the group.
#pragma once

#include "window/control.h"

namespace morvex {

class GroupBox : public Control {
public:
    using Control::Control;

    std::string_view class_name() const override { return "MvxGroup"; }
    void create(platform::WindowHandle parent) override;
    void paint(painter::Painter& painter) override;
    bool takes_focus() const override { return false; }
    void activate_mnemonic() override;

protected:
    void attributes_changed(uint32_t changed) override;
    void paint_frame(painter::Painter& painter);
};

} // namespace morvex
