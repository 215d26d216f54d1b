// The byte form of a record descriptor, in which declarations are exchanged:
//
//   header  kind (16-bit, 22 = GROUP), record size (32-bit), field count
//           (32-bit), total length of the descriptor (32-bit); little-endian
//   field   type code (byte), flags (byte); for STRING, CSTRING, PSTRING,
//           DECIMAL and PDECIMAL the size in one byte, or in two when the
//           first is 0x20 or more (size = (first - 0x20) * 256 + second); the
//           label, NUL-terminated; one offset byte when flag 8 is set.
//
// A field without flag 8 follows the previous one directly (the first starts
// at 0), so the encoder sets flag 8 only where a field starts elsewhere.
#pragma once

#include "runtime/record_description.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace morvex {

constexpr uint16_t DescriptorGroupKind = 22;
constexpr uint8_t DescriptorExplicitOffset = 0x08;
constexpr std::size_t DescriptorHeaderSize = 14;
// The largest size the two-byte form holds.
constexpr uint32_t DescriptorMaxSize = (0xFF - 0x20) * 256 + 0xFF;

struct DescriptorResult {
    bool ok = false;
    std::string error; // what is wrong, when not ok
};

// Appends the byte form of `description` to `out`. Fails (out unchanged) for
// what the form cannot carry: dimensioned fields, sizes above
// DescriptorMaxSize, a field off its running position at an offset above 255,
// a label with a NUL.
DescriptorResult EncodeRecordDescriptor(const RecordDescription& description, std::vector<uint8_t>& out);

// Reads a descriptor from the start of `bytes` (trailing bytes are ignored:
// the header says how long it is). Every field must have a known size and lie
// inside the record.
DescriptorResult DecodeRecordDescriptor(std::span<const uint8_t> bytes, RecordDescription& description);

} // namespace morvex
