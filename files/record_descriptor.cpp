#include "files/record_descriptor.h"

#include <cstring>
#include <utility>

namespace morvex {

namespace {

bool is_sized(FieldType type) {
    switch (type) {
    case FieldType::String:
    case FieldType::CString:
    case FieldType::PString:
    case FieldType::Decimal:
    case FieldType::PDecimal:
        return true;
    default:
        return false;
    }
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void patch32(std::vector<uint8_t>& out, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get32(std::span<const uint8_t> bytes, std::size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

DescriptorResult failure(std::string error) {
    return {false, std::move(error)};
}

} // namespace

DescriptorResult EncodeRecordDescriptor(const RecordDescription& description, std::vector<uint8_t>& out) {
    std::vector<uint8_t> form;
    put16(form, DescriptorGroupKind);
    put32(form, description.record_size());
    put32(form, static_cast<uint32_t>(description.field_count()));
    put32(form, 0); // total length, patched below

    uint64_t running = 0;
    for (const FieldDescription& field : description.fields()) {
        const std::string where = "field " + field.label + ": ";
        if (field.dimension != 1)
            return failure(where + "a dimensioned field has no descriptor form");
        if (field.label.find('\0') != std::string::npos)
            return failure(where + "the label holds a NUL");
        const bool sized = is_sized(field.type);
        if (!sized && (NaturalSize(field.type) == 0 || field.size != NaturalSize(field.type)))
            return failure(where + "type " + std::to_string(static_cast<int>(field.type)) +
                           " has no size of its own");
        if (sized && (field.size == 0 || field.size > DescriptorMaxSize))
            return failure(where + "size " + std::to_string(field.size) + " is out of range");
        const bool explicit_offset = field.offset != running;
        if (explicit_offset && field.offset > 0xFF)
            return failure(where + "offset " + std::to_string(field.offset) +
                           " is off the running position and above 255");

        form.push_back(static_cast<uint8_t>(field.type));
        form.push_back(explicit_offset ? DescriptorExplicitOffset : 0);
        if (sized) {
            if (field.size < 0x20) {
                form.push_back(static_cast<uint8_t>(field.size));
            } else {
                form.push_back(static_cast<uint8_t>(0x20 + field.size / 256));
                form.push_back(static_cast<uint8_t>(field.size % 256));
            }
        }
        form.insert(form.end(), field.label.begin(), field.label.end());
        form.push_back(0);
        if (explicit_offset)
            form.push_back(static_cast<uint8_t>(field.offset));
        running = uint64_t{field.offset} + field.size;
    }
    patch32(form, 10, static_cast<uint32_t>(form.size()));
    out.insert(out.end(), form.begin(), form.end());
    return {true, {}};
}

DescriptorResult DecodeRecordDescriptor(std::span<const uint8_t> bytes, RecordDescription& description) {
    if (bytes.size() < DescriptorHeaderSize)
        return failure("shorter than its header");
    const uint32_t kind = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8;
    if (kind != DescriptorGroupKind)
        return failure("kind " + std::to_string(kind) + " is not a GROUP");
    const uint32_t record_size = get32(bytes, 2);
    const uint32_t field_count = get32(bytes, 6);
    const uint32_t total = get32(bytes, 10);
    if (total < DescriptorHeaderSize || total > bytes.size())
        return failure("total length " + std::to_string(total) + " does not fit the " +
                       std::to_string(bytes.size()) + " bytes given");
    // Each field takes at least three bytes: the descriptor bounds the count.
    if (field_count > (total - DescriptorHeaderSize) / 3)
        return failure("field count " + std::to_string(field_count) + " does not fit the descriptor");

    const std::span<const uint8_t> form = bytes.first(total);
    std::size_t at = DescriptorHeaderSize;
    std::vector<FieldDescription> fields;
    fields.reserve(field_count);
    uint64_t running = 0;
    for (uint32_t n = 1; n <= field_count; ++n) {
        const std::string where = "field " + std::to_string(n) + ": ";
        if (form.size() - at < 2)
            return failure(where + "cut short");
        const auto type = static_cast<FieldType>(form[at]);
        const uint8_t flags = form[at + 1];
        at += 2;
        uint32_t size = NaturalSize(type);
        if (is_sized(type)) {
            if (at >= form.size())
                return failure(where + "size cut short");
            size = form[at++];
            if (size >= 0x20) {
                if (at >= form.size())
                    return failure(where + "size cut short");
                size = (size - 0x20) * 256 + form[at++];
            }
        }
        if (size == 0)
            return failure(where + "type " + std::to_string(static_cast<int>(type)) + " has no size");
        const auto* label_start = form.data() + at;
        const auto* nul = static_cast<const uint8_t*>(std::memchr(label_start, 0, form.size() - at));
        if (!nul)
            return failure(where + "label without its terminating NUL");
        std::string label(reinterpret_cast<const char*>(label_start),
                          static_cast<std::size_t>(nul - label_start));
        at += label.size() + 1;
        uint64_t offset = running;
        if (flags & DescriptorExplicitOffset) {
            if (at >= form.size())
                return failure(where + "offset cut short");
            offset = form[at++];
        }
        if (offset + size > record_size)
            return failure(where + "ends beyond the record's " + std::to_string(record_size) + " bytes");
        fields.push_back(
            FieldDescription::Sized(type, std::move(label), static_cast<uint32_t>(offset), size));
        running = offset + size;
    }
    if (at != form.size())
        return failure("the total length leaves " + std::to_string(form.size() - at) + " bytes unread");
    description = RecordDescription(record_size, std::move(fields));
    return {true, {}};
}

} // namespace morvex
