// Order-preserving key bytes: a record's key components turned into bytes
// whose unsigned byte order (shorter first on a tie) is the order in which
// the runtime compares the components, so that key entries of a QVD file
// sort as the program's keys do. docs/qvd.md ("Key encoding") gives the
// encoding of every type.
#pragma once

#include "runtime/record_description.h"

#include <cstdint>
#include <vector>

namespace morvex::qvd {

struct KeyPart {
    FieldDescription field;
    bool descending = false;
};

// The components of a key in key order, and whether its text components
// compare without case.
struct KeyShape {
    std::vector<KeyPart> parts;
    bool nocase = false;
};

// Appends the encoding of one component's value in `record`. Every
// component's encoding is self-delimiting (no value's bytes are a proper
// prefix of another value's), so encodings can be concatenated.
void AppendComponentBytes(const FieldDescription& field, bool descending, bool nocase, const uint8_t* record,
                          std::vector<uint8_t>& out);

// Appends the encoding of the whole key's value in `record`.
void AppendKeyBytes(const KeyShape& key, const uint8_t* record, std::vector<uint8_t>& out);
std::vector<uint8_t> KeyBytes(const KeyShape& key, const uint8_t* record);

// True when every component holds its type's empty value: blank text (as
// compared, so an empty CSTRING or PSTRING counts), zero numbers, a zero
// DATE or TIME. An OPT key stores no entry for such a record.
bool KeyValueIsBlank(const KeyShape& key, const uint8_t* record);

// Bytes that sort after every encoding of any key value whose encoding starts
// with `prefix`: the prefix followed by 0xFF bytes is not enough for variable
// lengths, so this is the prefix with its last non-0xFF byte raised and the
// rest cut. Empty when no such bytes exist (the prefix is all 0xFF).
std::vector<uint8_t> KeyPrefixSuccessor(std::vector<uint8_t> prefix);

} // namespace morvex::qvd
