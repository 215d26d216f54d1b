// The control creator table: one creator per control type code, registered
// by the control modules at start-up. A type without a creator builds
// nothing, and the window goes on with the next record.
#pragma once

#include "window/control.h"
#include "window/window_definition.h"

#include <cstdint>
#include <memory>

namespace morvex {

class Window;

// Builds the control of one record for `window`; nullptr when it builds nothing.
using ControlCreator = std::unique_ptr<Control> (*)(const ControlDefinition& definition, Window& window);

// Registers the creator of a type (nullptr restores "creates nothing").
void RegisterControlCreator(uint8_t type, ControlCreator creator);

// Reads the control record at `offset` of the current definition block and
// calls the creator of its type.
std::unique_ptr<Control> CreateControl(uint32_t offset, PositionUnit unit, const UnitMetrics& metrics,
                                       Window& window);
// The same for a record already read.
std::unique_ptr<Control> CreateControl(const ControlDefinition& definition, Window& window);

} // namespace morvex
