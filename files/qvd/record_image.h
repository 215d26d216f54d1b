// The record image kept in a QVD data record: the record buffer as declared,
// every field at its declared offset. A file declared with the OEM attribute
// holds its text in the OEM code page: STRING fields whole, CSTRING fields up
// to their terminating zero and PSTRING fields as far as their length byte
// says are converted on the way in and back on the way out.
#pragma once

#include "runtime/record_description.h"

#include <cstdint>
#include <span>
#include <vector>

namespace morvex::qvd {

enum class TextPage : uint8_t { Windows, Oem };

class RecordImage {
public:
    RecordImage() = default;
    RecordImage(const RecordDescription& description, uint32_t record_length, TextPage page);

    uint32_t record_length() const { return m_record_length; }

    // The image to store for the record buffer (record_length() bytes).
    std::vector<uint8_t> FromBuffer(const uint8_t* buffer) const;
    // Fills the record buffer from a stored image. An image of another length
    // (a file written under another declaration) fills what it covers; the
    // rest of the buffer is cleared to zeros.
    void ToBuffer(std::span<const uint8_t> image, uint8_t* buffer) const;

private:
    enum class TextKind : uint8_t { Fixed, Terminated, Counted };
    struct TextField {
        uint32_t offset;
        uint32_t size;
        TextKind kind;
    };

    void convert(uint8_t* record, uint32_t length, bool to_oem) const;

    uint32_t m_record_length = 0;
    TextPage m_page = TextPage::Windows;
    std::vector<TextField> m_texts; // elements of text fields, overlaps removed
};

// Converts memo and blob content between the program's code page and the OEM one.
void ConvertText(std::span<uint8_t> text, bool to_oem);

} // namespace morvex::qvd
