// A top-level platform window built from a window definition alone: sized
// and captioned by the window record, painted with its background colour,
// its tiled wallpaper and a preview of its controls (control_preview.h).
// Tests, tools and the engine's first windows use it until the control
// engine builds real controls.
//
// A DefinitionWindow object is the window object of the open-window
// registry: opening it while it is open halts with 535; it counts as closed
// again once its platform window is destroyed, however that happens.
#pragma once

#include "platform/message_queue.h"
#include "window/definition_loader.h"
#include "window/definition_services.h"
#include "window/window_definition.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

namespace painter {
class Painter;
}

// The platform window class of definition windows.
constexpr std::string_view DefinitionWindowClass = "MvxDefinitionWindow";

class DefinitionWindow {
public:
    DefinitionWindow() = default;
    ~DefinitionWindow(); // closes the window
    DefinitionWindow(const DefinitionWindow&) = delete;
    DefinitionWindow& operator=(const DefinitionWindow&) = delete;

    // Finds the definition of `label` in `procedure`'s resource (through the
    // engine's loader, which then remembers the module), creates the window
    // visible on the calling thread and releases the definition block.
    // Halts with 535 when this object is already open; false, with nothing
    // open, when no definition is found or the window cannot be created.
    bool Open(std::string_view procedure, std::string_view label,
              const DefinitionServices& services = DefaultDefinitionServices());
    // Destroys the platform window; nothing when it is not open.
    void Close();

    bool IsOpen() const;
    platform::WindowHandle Handle() const { return m_handle; }
    const WindowDefinition& Definition() const { return m_window; }
    const std::vector<ControlDefinition>& Controls() const { return m_controls; }
    // The module the definition was found in (where "~" images come from).
    const std::string& Module() const { return m_module; }
    // Image cache handles (0 = none).
    uintptr_t Icon() const { return m_icon; }
    uintptr_t Wallpaper() const { return m_wallpaper; }

    // Paints the whole window (the paint procedure does this on MsgPaint).
    void Paint(painter::Painter& painter) const;

    // The class's window procedure (user data: the DefinitionWindow).
    static intptr_t Dispatch(void* user_data, const platform::Message& message);

private:
    platform::Rect initial_rect(const UnitMetrics& metrics, bool& default_position, bool& default_size) const;

    platform::WindowHandle m_handle = 0;
    WindowDefinition m_window;
    std::vector<ControlDefinition> m_controls;
    std::string m_module;
    uintptr_t m_icon = 0;
    uintptr_t m_wallpaper = 0;
};

} // namespace morvex
