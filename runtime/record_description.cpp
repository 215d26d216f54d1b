#include "runtime/record_description.h"

#include <utility>

namespace morvex {

uint32_t NaturalSize(FieldType type) {
    switch (type) {
    case FieldType::Byte:
        return 1;
    case FieldType::Short:
    case FieldType::UShort:
        return 2;
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Long:
    case FieldType::ULong:
    case FieldType::SReal:
    case FieldType::BFloat4:
        return 4;
    case FieldType::Real:
    case FieldType::BFloat8:
        return 8;
    default:
        return 0;
    }
}

bool IsTextType(FieldType type) {
    return type == FieldType::String || type == FieldType::CString || type == FieldType::PString;
}

FieldDescription FieldDescription::Of(FieldType type, std::string label, uint32_t offset,
                                      uint32_t dimension) {
    return FieldDescription{type, offset, NaturalSize(type), dimension, std::move(label)};
}

FieldDescription FieldDescription::Sized(FieldType type, std::string label, uint32_t offset, uint32_t size,
                                         uint32_t dimension) {
    return FieldDescription{type, offset, size, dimension, std::move(label)};
}

RecordDescription::RecordDescription(uint32_t record_size, std::vector<FieldDescription> fields)
    : m_record_size(record_size), m_fields(std::move(fields)) {}

bool RecordDescription::valid() const {
    for (const FieldDescription& field : m_fields) {
        if (field.size == 0 || field.dimension == 0)
            return false;
        const uint64_t end = uint64_t{field.offset} + uint64_t{field.size} * field.dimension;
        if (end > m_record_size)
            return false;
    }
    return true;
}

} // namespace morvex
