// Record images and their code page conversion. The text fields are listed
// once per file, element by element, without overlaps (a field declared over
// another is converted once), so a round trip restores the buffer exactly.
#include "files/qvd/record_image.h"

#include "platform/charset.h"

#include <algorithm>
#include <cstring>

namespace morvex::qvd {

RecordImage::RecordImage(const RecordDescription& description, uint32_t record_length, TextPage page)
    : m_record_length(record_length), m_page(page) {
    if (page == TextPage::Windows)
        return;
    std::vector<bool> claimed(record_length, false);
    for (const FieldDescription& field : description.fields()) {
        TextKind kind;
        switch (field.type) {
        case FieldType::String:
            kind = TextKind::Fixed;
            break;
        case FieldType::CString:
            kind = TextKind::Terminated;
            break;
        case FieldType::PString:
            kind = TextKind::Counted;
            break;
        default:
            continue;
        }
        for (uint32_t i = 0; i < field.dimension; ++i) {
            const uint64_t offset = uint64_t{field.offset} + uint64_t{i} * field.size;
            if (field.size == 0 || offset + field.size > record_length)
                break;
            const auto first = claimed.begin() + static_cast<std::ptrdiff_t>(offset);
            const auto last = first + field.size;
            if (std::any_of(first, last, [](bool b) { return b; }))
                continue;
            std::fill(first, last, true);
            m_texts.push_back({static_cast<uint32_t>(offset), field.size, kind});
        }
    }
}

void RecordImage::convert(uint8_t* record, uint32_t length, bool to_oem) const {
    for (const TextField& text : m_texts) {
        if (text.offset + text.size > length)
            continue;
        uint8_t* p = record + text.offset;
        uint32_t count = text.size;
        if (text.kind == TextKind::Terminated) {
            const void* end = std::memchr(p, 0, text.size);
            count = end ? static_cast<uint32_t>(static_cast<const uint8_t*>(end) - p) : text.size;
        } else if (text.kind == TextKind::Counted) {
            count = std::min<uint32_t>(p[0], text.size - 1);
            ++p;
        }
        ConvertText({p, count}, to_oem);
    }
}

std::vector<uint8_t> RecordImage::FromBuffer(const uint8_t* buffer) const {
    std::vector<uint8_t> image(buffer, buffer + m_record_length);
    if (m_page == TextPage::Oem)
        convert(image.data(), m_record_length, true);
    return image;
}

void RecordImage::ToBuffer(std::span<const uint8_t> image, uint8_t* buffer) const {
    const uint32_t covered = static_cast<uint32_t>(std::min<size_t>(image.size(), m_record_length));
    if (covered != 0)
        std::memcpy(buffer, image.data(), covered);
    std::memset(buffer + covered, 0, m_record_length - covered);
    if (m_page == TextPage::Oem)
        convert(buffer, covered, false);
}

void ConvertText(std::span<uint8_t> text, bool to_oem) {
    for (uint8_t& c : text)
        c = to_oem ? platform::windows_to_oem(c) : platform::oem_to_windows(c);
}

} // namespace morvex::qvd
