// One registry for the process, guarded by a mutex: registrations run from
// static initialisers of any translation unit, look-ups from any thread.
#include "platform/resources.h"

#include <algorithm>
#include <mutex>

namespace morvex::platform {

namespace {

struct Resource {
    std::string type;
    std::string name;
    std::span<const uint8_t> bytes;
};

struct Module {
    std::string name;
    std::vector<Resource> resources;
};

struct Registry {
    std::mutex mutex;
    std::vector<Module> modules;
};

Registry& registry() {
    static Registry* instance = new Registry; // used by static initialisers; never destroyed
    return *instance;
}

bool same_name(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        return upper(x) == upper(y);
    });
}

Module* find_module(Registry& r, std::string_view module) {
    auto it = std::ranges::find_if(r.modules, [&](const Module& m) { return same_name(m.name, module); });
    return it == r.modules.end() ? nullptr : &*it;
}

Resource* find_in(Module& m, std::string_view type, std::string_view name) {
    auto it = std::ranges::find_if(m.resources, [&](const Resource& res) {
        return same_name(res.type, type) && same_name(res.name, name);
    });
    return it == m.resources.end() ? nullptr : &*it;
}

} // namespace

void register_resource(std::string_view module, std::string_view type, std::string_view name,
                       std::span<const uint8_t> bytes) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Module* m = find_module(r, module);
    if (m == nullptr)
        m = &r.modules.emplace_back(Module{std::string(module), {}});
    if (Resource* existing = find_in(*m, type, name))
        existing->bytes = bytes;
    else
        m->resources.push_back(Resource{std::string(type), std::string(name), bytes});
}

void unregister_resource(std::string_view module, std::string_view type, std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (Module* m = find_module(r, module))
        std::erase_if(m->resources, [&](const Resource& res) {
            return same_name(res.type, type) && same_name(res.name, name);
        });
}

std::vector<std::string> resource_modules() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::string> names;
    names.reserve(r.modules.size());
    for (const Module& m : r.modules)
        names.push_back(m.name);
    return names;
}

std::optional<std::span<const uint8_t>> find_resource(std::string_view module, std::string_view type,
                                                      std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    Module* m = find_module(r, module);
    if (m == nullptr)
        return std::nullopt;
    if (Resource* res = find_in(*m, type, name))
        return res->bytes;
    return std::nullopt;
}

} // namespace morvex::platform
