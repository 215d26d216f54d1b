// The description of a record's fields: the one type behind queue buffers,
// groups and the record descriptors of declared files.
//
// A field has a type code, an offset in the record, the size of one element
// and a dimension (element count, 1 for a plain field). Field numbers are
// 1-based, as keys refer to them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvex {

// The runtime's field type codes, as file declarations store them.
enum class FieldType : uint8_t {
    End = 0,
    Byte = 1,
    Short = 2,
    UShort = 3,
    Date = 4,
    Time = 5,
    Long = 6,
    ULong = 7,
    SReal = 8,
    Real = 9,
    Decimal = 10,
    PDecimal = 11,
    Dum1 = 12,
    BFloat4 = 13,
    BFloat8 = 14,
    Any = 15,
    TempUfo = 16,
    Unnamed17 = 17,
    String = 18,
    CString = 19,
    PString = 20,
    Memo = 21,
    Group = 22,
    Class = 23,
    Array = 24,
    Field = 25,
    Queue = 26,
    Blob = 27,
    StackStr = 28,
    Picture = 29,
    StdNum = 30,
};

// The byte size of a type that has one fixed size, else 0 (the sized types
// STRING, CSTRING, PSTRING, DECIMAL and PDECIMAL take theirs from the declaration).
uint32_t NaturalSize(FieldType type);
bool IsTextType(FieldType type);

struct FieldDescription {
    FieldType type = FieldType::End;
    uint32_t offset = 0;
    uint32_t size = 0;      // bytes of one element
    uint32_t dimension = 1; // elements
    std::string label;      // such as "CLD:DAY1"

    uint32_t total_size() const { return size * dimension; }

    // A field of a fixed-size type; its size is the type's natural size.
    static FieldDescription Of(FieldType type, std::string label, uint32_t offset, uint32_t dimension = 1);
    // A field of a sized type (text or decimal) of `size` bytes per element.
    static FieldDescription Sized(FieldType type, std::string label, uint32_t offset, uint32_t size,
                                  uint32_t dimension = 1);
};

class RecordDescription {
public:
    RecordDescription() = default;
    RecordDescription(uint32_t record_size, std::vector<FieldDescription> fields);

    uint32_t record_size() const { return m_record_size; }
    int32_t field_count() const { return static_cast<int32_t>(m_fields.size()); }
    // Field `number`, 1-based; the caller checks the number against field_count().
    const FieldDescription& field(int32_t number) const { return m_fields[static_cast<size_t>(number - 1)]; }
    const std::vector<FieldDescription>& fields() const { return m_fields; }

    // Every field has a size and lies inside the record.
    bool valid() const;

private:
    uint32_t m_record_size = 0;
    std::vector<FieldDescription> m_fields;
};

} // namespace morvex
