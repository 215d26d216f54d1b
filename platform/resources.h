// Resources linked into the program: byte arrays registered at start-up under
// a module name, a type and a name, and found again by module, type and name
// (names compared without regard to ASCII case). Stands in for the resource
// section of an executable and its libraries: the window engine looks up its
// "DABDUMP" definitions here, module by module.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::platform {

// Registers (or replaces) a resource. The bytes are not copied: they must
// outlive the registration, as static arrays linked into the program do.
// The module joins the module list on its first registration.
void register_resource(std::string_view module, std::string_view type, std::string_view name,
                       std::span<const uint8_t> bytes);

// Removes one resource; the module stays in the list. Tests and tools only.
void unregister_resource(std::string_view module, std::string_view type, std::string_view name);

// The modules in the order of their first registration.
std::vector<std::string> resource_modules();

// The bytes of a resource, or nothing when the module holds no such resource.
std::optional<std::span<const uint8_t>> find_resource(std::string_view module, std::string_view type,
                                                      std::string_view name);

} // namespace morvex::platform
