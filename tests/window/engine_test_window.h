// A window built in the test itself (no resource) for tests of the engine
// core: N buttons in a row, numbered 1..N, on a plain window.
#pragma once

#include "window/definition_services.h"
#include "window/window.h"

#include <string>
#include <vector>

namespace morvex::testing {

inline void LoadButtonWindow(Window& window, int buttons, uint32_t timer = 0) {
    std::vector<ControlDefinition> controls;
    for (int i = 0; i < buttons; ++i) {
        ControlDefinition button;
        button.type = wdf::ButtonControl;
        button.feq = i + 1;
        button.x = 8 + 60 * i;
        button.y = 8;
        button.width = 56;
        button.height = 22;
        button.text = "B" + std::to_string(i + 1);
        controls.push_back(button);
    }
    WindowDefinition definition;
    definition.caption = "Engine test";
    definition.width = DefaultPosition;
    definition.height = DefaultPosition;
    definition.timer = timer;
    window.LoadDefinition(definition, std::move(controls), UnitMetricsOf(nullptr));
}

} // namespace morvex::testing
