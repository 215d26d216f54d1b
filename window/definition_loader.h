// Finding a window definition among the program's resources and reading its
// records. One definition block is current at a time: from a successful
// FindWindowDefinition until ReleaseDefinitionBlock once the window and its
// controls are built. The module of the last successful look-up is searched
// first next time and is where linked ("~") images are loaded from.
//
// The engine calls this under the runtime lock; one loader is not meant to
// be used by two threads at once.
#pragma once

#include "window/window_definition.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

// What the loader needs from the painter and the runtime, supplied by the engine.
struct DefinitionServices {
    // Character metrics of a font record (nullptr = the system font) on the output device.
    std::function<UnitMetrics(const FontDefinition* font)> metrics;
    // Platform handles, 0 when the image cannot be loaded.
    std::function<uintptr_t(const ImageReference& image, int32_t index)> load_icon;
    std::function<uintptr_t(const ImageReference& image)> load_cursor;
    // The runtime's global option bit 4, which forces bit 1 of attribute word 2.
    std::function<bool()> global_option_bit4;
};

class DefinitionLoader {
public:
    // The offset of the window record labelled `label` in the resource of
    // `procedure`, or 0 when no module holds it (no block is current then).
    uint32_t TryFindWindowDefinition(std::string_view procedure, std::string_view label);
    // As above; when nothing is found the program halts with runtime error 502 from "WSLDIAL".
    uint32_t FindWindowDefinition(std::string_view procedure, std::string_view label);
    void ReleaseDefinitionBlock();

    bool HasBlock() const { return m_has_block; }
    wdf::ByteView Block() const { return wdf::ByteView(m_block); }
    // The module of the last successful look-up (empty before the first).
    const std::string& FoundModule() const { return m_module; }
    // The window records of the current block, in chain order.
    std::vector<uint32_t> WindowOffsets() const;

    WindowDefinition ReadWindow(uint32_t offset, const DefinitionServices& services) const;
    // The window's metrics for position conversion (its font, or the system font).
    UnitMetrics MetricsOf(const WindowDefinition& window, const DefinitionServices& services) const;
    ControlDefinition ReadControl(uint32_t offset, PositionUnit unit, const UnitMetrics& metrics) const;
    // The window's control chain (toolbar controls are not in it).
    std::vector<ControlDefinition> ReadControls(const WindowDefinition& window,
                                                const UnitMetrics& metrics) const;
    std::optional<ToolbarDefinition> ReadToolbar(const WindowDefinition& window,
                                                 const UnitMetrics& metrics) const;

    ImageReference Image(uint32_t offset, ImageUse use, bool linked = false) const;
    // Platform handles for image references: a file without icons gives 0; a
    // cursor that cannot be loaded is the standard arrow cursor.
    uintptr_t LoadIcon(const ImageReference& image, int32_t index, const DefinitionServices& services) const;
    uintptr_t LoadCursor(const ImageReference& image, const DefinitionServices& services) const;

private:
    bool load_from(const std::string& module, std::string_view procedure, std::string_view resource_name);
    uint32_t find_label(std::string_view label) const;
    std::optional<FontDefinition> font(uint32_t offset) const;
    std::optional<ColourDefinition> colours(uint32_t offset) const;
    std::vector<uint32_t> items(uint32_t offset) const;
    std::vector<MenuItemDefinition> menu_items(uint32_t offset, int depth, std::size_t& budget) const;
    std::optional<std::string> text(uint32_t offset) const;

    std::vector<uint8_t> m_block;
    bool m_has_block = false;
    std::string m_module;
};

// The window engine's loader.
DefinitionLoader& WindowDefinitionLoader();

// Margin below the tallest toolbar control, in pixels.
constexpr int32_t ToolbarMargin = 4;

} // namespace morvex
