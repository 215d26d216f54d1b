// The toolbar (type 23, class "MvxToolBar"): the band across the frame below
// its caption that holds the controls with negative numbers, placed as the
// toolbar's running layout put them (window/definition_loader.h). The window
// creates it as a child of its frame and its controls inside it; it draws the
// raised band with the drawn controls (images, shapes) on it, and takes
// neither the focus nor events of its own: its controls post theirs with
// their negative numbers.
#pragma once

#include "window/control.h"

namespace morvex {

class Toolbar : public Control {
public:
    using Control::Control;

    std::string_view class_name() const override { return "MvxToolBar"; }
    bool takes_focus() const override { return false; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
};

} // namespace morvex
