// Record layouts for moving records in and out of text: which fields a file's
// record has (label, type, size, offset) and its keys. A layout is made from
// a file declaration, or read from a small text description:
//
//     # comment
//     file CUSTOMER 68                      label, record size (optional)
//     field CUS:CUSID LONG 0                label, type, offset (optional:
//     field CUS:NAME STRING(20)             right after the previous field)
//     key CUS:BYNAME OPT NOCASE : CUS:NAME  label, attributes, ':' components
//     key CUS:BYDATE DUP : CUS:STARTDATE -CUS:NAME   ('-' sorts descending)
//
// Types: BYTE SHORT USHORT LONG ULONG SREAL REAL DATE TIME, and STRING(n)
// CSTRING(n) PSTRING(n). Key attributes: DUP OPT NOCASE PRIMARY INDEX.
// Words are separated by blanks or tabs; labels and words compare without case.
#pragma once

#include "files/file_declaration.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvex {

struct RecordLayout {
    std::string label;
    RecordDescription record;
    std::vector<KeyDeclaration> keys; // without owning file

    // A declaration of this layout with a record buffer of its own.
    FileSpec file_spec(DriverEntry driver) const;
    static RecordLayout Of(const FileDeclaration& file);
};

struct LayoutParse {
    bool ok = false;
    std::string error; // "line 3: unknown type 'LNG'"
    RecordLayout layout;
};

LayoutParse ParseRecordLayout(std::string_view text);

// The layout as text that ParseRecordLayout reads back to the same layout.
std::string RecordLayoutText(const RecordLayout& layout);

// The type's name in layouts ("LONG", "STRING(20)"); empty for types that
// layouts do not carry.
std::string LayoutTypeName(const FieldDescription& field);

} // namespace morvex
