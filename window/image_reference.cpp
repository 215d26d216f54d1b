#include "window/image_reference.h"

#include "runtime/char_tables.h"

#include <charconv>

namespace morvex {

namespace {

// Obsolete system cursors, as stored values (id + 1), and what they become.
constexpr uint16_t ObsoleteCursorA = 32641;
constexpr uint16_t ObsoleteCursorB = 32642;
constexpr uint16_t ReplacementCursorA = 32647;
constexpr uint16_t ReplacementCursorB = 32513;

ImageReference numeric(const wdf::ByteView& block, uint32_t offset, ImageUse use, std::string_view module) {
    ImageReference ref;
    const uint8_t kind = block.u8(offset + 1);
    uint16_t stored = block.u16(offset + 2);
    if (stored == 0)
        return ref;
    if (kind == wdf::SystemImageKind) {
        if (use == ImageUse::Cursor && stored == ObsoleteCursorA)
            stored = ReplacementCursorA;
        else if (use == ImageUse::Cursor && stored == ObsoleteCursorB)
            stored = ReplacementCursorB;
        ref.kind = ImageReference::Kind::System;
        ref.id = stored - 1u;
    } else if (kind == wdf::ResourceImageKind) {
        ref.kind = ImageReference::Kind::Resource;
        ref.id = stored - 1u;
        ref.module = module;
    }
    return ref;
}

// "name[3]" selects icon 3 of the file; a name without a well-formed index
// is taken whole, with icon 0.
void split_index(std::string_view text, ImageReference& ref) {
    ref.name = text;
    if (text.size() < 3 || text.back() != ']')
        return;
    const std::size_t open = text.rfind('[');
    if (open == std::string_view::npos || open == 0)
        return;
    int32_t index = 0;
    const char* first = text.data() + open + 1;
    const char* last = text.data() + text.size() - 1;
    const auto [end, ec] = std::from_chars(first, last, index);
    if (ec != std::errc() || end != last || first == last || index < 0)
        return;
    ref.name = text.substr(0, open);
    ref.index = index;
}

} // namespace

std::string LinkedImageName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = c == '.' ? '_' : static_cast<char>(ToUpperChar(static_cast<uint8_t>(c)));
    return out;
}

ImageReference ResolveImageReference(const wdf::ByteView& block, uint32_t offset, ImageUse use,
                                     std::string_view module, bool linked) {
    ImageReference ref;
    if (offset == 0 || !block.contains(offset, 1))
        return ref;
    if (block.u8(offset) == wdf::NumericImageMarker)
        return block.contains(offset, wdf::NumericImageSize) ? numeric(block, offset, use, module) : ref;
    return ImageReferenceOfName(block.text(offset), use, module, linked);
}

ImageReference ImageReferenceOfName(std::string_view name, ImageUse use, std::string_view module,
                                    bool linked) {
    ImageReference ref;
    if (!name.empty() && name.front() == '~') {
        name.remove_prefix(1);
        linked = true;
    }
    if (name.empty())
        return ref;
    if (linked) {
        ref.kind = ImageReference::Kind::Linked;
        ref.name = LinkedImageName(name);
        ref.module = module;
        return ref;
    }
    if (use == ImageUse::Cursor) { // a cursor is never read from a file
        ref.kind = ImageReference::Kind::System;
        ref.id = ArrowCursorId;
        return ref;
    }
    ref.kind = ImageReference::Kind::File;
    if (use == ImageUse::Icon)
        split_index(name, ref);
    else
        ref.name = name;
    return ref;
}

} // namespace morvex
