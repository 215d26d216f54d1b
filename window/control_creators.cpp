#include "window/control_creators.h"

#include "window/definition_loader.h"

#include <array>
#include <atomic>

namespace morvex {

namespace {

// Registered at start-up and read while windows open; atomics keep a late
// registration from another thread well-defined.
std::array<std::atomic<ControlCreator>, 256>& creators() {
    static std::array<std::atomic<ControlCreator>, 256> table{};
    return table;
}

} // namespace

void RegisterControlCreator(uint8_t type, ControlCreator creator) {
    creators()[type].store(creator);
}

std::unique_ptr<Control> CreateControl(const ControlDefinition& definition, Window& window) {
    const ControlCreator creator = creators()[definition.type].load();
    return creator ? creator(definition, window) : nullptr;
}

std::unique_ptr<Control> CreateControl(uint32_t offset, PositionUnit unit, const UnitMetrics& metrics,
                                       Window& window) {
    return CreateControl(WindowDefinitionLoader().ReadControl(offset, unit, metrics), window);
}

} // namespace morvex
