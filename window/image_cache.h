// Icons, cursors and pictures of window definitions as handles the engine
// keeps (uintptr_t, 0 = none), each standing for a decoded painter Image.
// Images are loaded once per source and kept for the program's life: a
// second load of the same file, resource or system image returns the same
// handle, so that reopening windows costs nothing and handles never dangle.
// A load that fails is not remembered, so a file that appears later loads.
//
// Sources: linked ("~") images are resources of type "IMAGE" named as the
// definition names them ("WIZOK_ICO"), looked up in the module where the
// definition was found and then in every module; numbered resources are
// "IMAGE" resources named "#<number>"; files are read relative to the base
// directory (the current directory until one is set).
#pragma once

#include "window/image_reference.h"
#include "window/painter/image.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

// The resource type of images linked into the program.
constexpr std::string_view ImageResourceType = "IMAGE";

class ImageCache {
public:
    // An icon: 0 when the reference names nothing that can be read, or a
    // file that holds no icon. A file's icon is the one its name selects
    // ("name[2]"), else `index`.
    uintptr_t LoadIcon(const ImageReference& image, int32_t index = 0);
    // A cursor: whatever cannot be loaded is the standard arrow (0 only for
    // a reference to nothing).
    uintptr_t LoadCursor(const ImageReference& image);
    // A picture (wallpaper, image control) in any format: a file name, or a
    // "~" name linked into `module`; of an icon file, the icon nearest
    // `icon_size` pixels. 0 when it cannot be read.
    uintptr_t LoadPicture(std::string_view name, std::string_view module, int icon_size = 32);

    // The image of a handle; nullptr for 0 or a handle this cache never gave.
    // The image lives as long as the cache.
    const painter::Image* Get(uintptr_t handle) const;

    // Where relative file names are read from ("" = the current directory).
    void SetBaseDirectory(std::string directory);
    // How many distinct images are held.
    std::size_t Count() const;

private:
    // The path a file name is read from.
    std::string resolve(std::string_view name) const;
    uintptr_t remember(const std::string& key, std::optional<painter::Image> image);
    std::optional<uintptr_t> known(const std::string& key) const;

    mutable std::mutex m_mutex;
    std::string m_base_directory;
    std::map<std::string, uintptr_t> m_by_source;
    std::vector<std::unique_ptr<painter::Image>> m_images; // handle = index + 1
};

// The program's image cache, which the default definition services use.
ImageCache& ProgramImages();

// The bytes of a linked image: `name` in `module` first, then in every module.
std::optional<std::span<const uint8_t>> FindLinkedImage(std::string_view module, std::string_view name);

} // namespace morvex
