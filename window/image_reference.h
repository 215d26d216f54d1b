// Image references of window definitions (icons, cursors, button images),
// decoded into what to load and from where. Loading the image itself is the
// painter's; this says which file, linked resource or system image is meant.
#pragma once

#include "window/definition_format.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

enum class ImageUse { Icon, Cursor, Picture };

// The standard images of the system-image kind.
constexpr uint32_t ApplicationIconId = 32512;
constexpr uint32_t ArrowCursorId = 32512;

struct ImageReference {
    enum class Kind {
        None,     // no image
        File,     // `name` is a file name; `index` selects the icon inside it
        Linked,   // `name` is a resource of `module` ("WIZOK_ICO")
        System,   // a standard system icon or cursor by `id`
        Resource, // an icon or cursor resource of `module` by number `id`
    };
    Kind kind = Kind::None;
    std::string name;
    int32_t index = 0;
    uint32_t id = 0;
    std::string module;

    bool operator==(const ImageReference&) const = default;
};

// Decodes the reference at `offset` of a block (0 = none). `module` is the
// module where the definition was found: linked images load from there.
// `linked` treats a name as linked even without its "~".
ImageReference ResolveImageReference(const wdf::ByteView& block, uint32_t offset, ImageUse use,
                                     std::string_view module, bool linked = false);

// The same for a reference given as a name ("~WIZOK.ICO", "app.ico[1]"), as
// properties set images.
ImageReference ImageReferenceOfName(std::string_view name, ImageUse use, std::string_view module,
                                    bool linked = false);

// The resource name of a linked image: "." becomes "_", upper case through
// the runtime's character tables ("wizok.ico" -> "WIZOK_ICO").
std::string LinkedImageName(std::string_view name);

} // namespace morvex
