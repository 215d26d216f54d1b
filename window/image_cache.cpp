#include "window/image_cache.h"

#include "platform/file_contents.h"
#include "platform/resources.h"
#include "window/system_images.h"

#include <filesystem>

namespace morvex {

namespace {

using painter::IconChoice;
using painter::Image;

std::optional<Image> decode_linked(std::string_view module, std::string_view name, IconChoice choice) {
    const std::optional<std::span<const uint8_t>> bytes = FindLinkedImage(module, name);
    if (!bytes)
        return std::nullopt;
    return painter::decode_image(*bytes, choice);
}

std::optional<Image> decode_file(const std::string& path, IconChoice choice, bool icons_only) {
    std::string contents;
    if (!platform::read_file_contents(path, contents, painter::MaxImageFileBytes))
        return std::nullopt;
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(contents.data()), contents.size());
    if (icons_only) {
        const painter::ImageFormat format = painter::detect_image_format(bytes);
        if (format != painter::ImageFormat::Icon && format != painter::ImageFormat::Cursor)
            return std::nullopt;
    }
    return painter::decode_image(bytes, choice);
}

std::string numbered_name(uint32_t id) {
    return "#" + std::to_string(id);
}

} // namespace

std::optional<std::span<const uint8_t>> FindLinkedImage(std::string_view module, std::string_view name) {
    if (!module.empty())
        if (auto bytes = platform::find_resource(module, ImageResourceType, name))
            return bytes;
    for (const std::string& other : platform::resource_modules())
        if (other != module)
            if (auto bytes = platform::find_resource(other, ImageResourceType, name))
                return bytes;
    return std::nullopt;
}

std::string ImageCache::resolve(std::string_view name) const {
    std::filesystem::path path{std::string(name)};
    std::lock_guard lock(m_mutex);
    if (path.is_relative() && !m_base_directory.empty())
        path = std::filesystem::path(m_base_directory) / path;
    return path.string();
}

std::optional<uintptr_t> ImageCache::known(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_by_source.find(key);
    if (found == m_by_source.end())
        return std::nullopt;
    return found->second;
}

uintptr_t ImageCache::remember(const std::string& key, std::optional<Image> image) {
    if (!image || image->empty())
        return 0;
    std::lock_guard lock(m_mutex);
    // Another thread may have loaded the same source meanwhile.
    if (const auto found = m_by_source.find(key); found != m_by_source.end())
        return found->second;
    m_images.push_back(std::make_unique<Image>(std::move(*image)));
    const uintptr_t handle = m_images.size();
    m_by_source.emplace(key, handle);
    return handle;
}

uintptr_t ImageCache::LoadIcon(const ImageReference& image, int32_t index) {
    using Kind = ImageReference::Kind;
    std::string key;
    switch (image.kind) {
    case Kind::None:
        return 0;
    case Kind::File: {
        const int32_t chosen = image.index != 0 ? image.index : std::max(index, 0);
        const std::string path = resolve(image.name);
        key = "icon|file|" + std::to_string(chosen) + "|" + path;
        if (const auto handle = known(key))
            return *handle;
        return remember(key, decode_file(path, IconChoice{chosen, 32}, true));
    }
    case Kind::Linked:
        key = "icon|linked|" + image.module + "|" + image.name;
        if (const auto handle = known(key))
            return *handle;
        return remember(key, decode_linked(image.module, image.name, IconChoice{}));
    case Kind::Resource:
        key = "icon|resource|" + image.module + "|" + std::to_string(image.id);
        if (const auto handle = known(key))
            return *handle;
        return remember(key, decode_linked(image.module, numbered_name(image.id), IconChoice{}));
    case Kind::System:
        key = "icon|system|" + std::to_string(image.id);
        if (const auto handle = known(key))
            return *handle;
        return remember(key, DrawSystemIcon(image.id, 32));
    }
    return 0;
}

uintptr_t ImageCache::LoadCursor(const ImageReference& image) {
    using Kind = ImageReference::Kind;
    std::string key;
    std::optional<Image> cursor;
    switch (image.kind) {
    case Kind::None:
        return 0;
    case Kind::File: // cursors are never read from files
        break;
    case Kind::Linked:
        key = "cursor|linked|" + image.module + "|" + image.name;
        if (const auto handle = known(key))
            return *handle;
        cursor = decode_linked(image.module, image.name, IconChoice{});
        break;
    case Kind::Resource:
        key = "cursor|resource|" + image.module + "|" + std::to_string(image.id);
        if (const auto handle = known(key))
            return *handle;
        cursor = decode_linked(image.module, numbered_name(image.id), IconChoice{});
        break;
    case Kind::System:
        key = "cursor|system|" + std::to_string(image.id);
        if (const auto handle = known(key))
            return *handle;
        cursor = DrawSystemCursor(image.id);
        break;
    }
    if (const uintptr_t handle = key.empty() ? 0 : remember(key, std::move(cursor)))
        return handle;
    const std::string arrow_key = "cursor|system|" + std::to_string(SystemCursorArrow);
    if (const auto handle = known(arrow_key))
        return *handle;
    return remember(arrow_key, DrawSystemCursor(SystemCursorArrow));
}

uintptr_t ImageCache::LoadPicture(std::string_view name, std::string_view module, int icon_size) {
    if (name.empty())
        return 0;
    const IconChoice choice{-1, icon_size};
    const std::string size = "|" + std::to_string(icon_size);
    if (name.front() == '~') {
        const std::string resource = LinkedImageName(name.substr(1));
        const std::string key = "picture|linked|" + std::string(module) + "|" + resource + size;
        if (const auto handle = known(key))
            return *handle;
        return remember(key, decode_linked(module, resource, choice));
    }
    const std::string path = resolve(name);
    const std::string key = "picture|file|" + path + size;
    if (const auto handle = known(key))
        return *handle;
    return remember(key, decode_file(path, choice, false));
}

const Image* ImageCache::Get(uintptr_t handle) const {
    std::lock_guard lock(m_mutex);
    if (handle == 0 || handle > m_images.size())
        return nullptr;
    return m_images[handle - 1].get();
}

void ImageCache::SetBaseDirectory(std::string directory) {
    std::lock_guard lock(m_mutex);
    m_base_directory = std::move(directory);
}

std::size_t ImageCache::Count() const {
    std::lock_guard lock(m_mutex);
    return m_images.size();
}

ImageCache& ProgramImages() {
    static ImageCache cache;
    return cache;
}

} // namespace morvex
