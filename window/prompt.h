// A prompt (or string): text drawn over the window's background, with a
// mnemonic that moves the focus to the next control that takes it.
#pragma once

#include "window/control.h"

namespace morvex {

class Prompt : public Control {
public:
    using Control::Control;

    std::string_view class_name() const override { return "MvxPrompt"; }
    void paint(painter::Painter& painter) override;
    bool takes_focus() const override { return false; }
    void activate_mnemonic() override;
};

} // namespace morvex
