// Registers the creators of the engine's control family with the control
// creator table, one per type code.
#pragma once

namespace morvex {

void RegisterStandardControls();

} // namespace morvex
