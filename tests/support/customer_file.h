// A QVD file of the demo's Customer layout (five keys, the id numbered
// automatically through CUS:BYID), declared at a path of the caller's, for
// tests and benchmarks of the managers that work on files.
#pragma once

#include "files/file_declaration.h"
#include "files/qvd/qvd_driver.h"
#include "files/record_layout.h"

#include <memory>
#include <string>
#include <string_view>

namespace morvex::testing {

constexpr std::string_view CustomerLayout = R"(file CUSTOMER 68
field CUS:CUSID LONG 0
field CUS:NAME STRING(20) 4
field CUS:SUBURB STRING(20) 24
field CUS:PHONE STRING(20) 44
field CUS:STARTDATE LONG 64
key CUS:BYNAME OPT NOCASE : CUS:NAME
key CUS:BYSTARTDATENAME DUP OPT NOCASE : CUS:STARTDATE CUS:NAME
key CUS:BYPHONE DUP OPT NOCASE : CUS:PHONE
key CUS:BYSUBURB DUP OPT NOCASE : CUS:SUBURB
key CUS:BYID OPT NOCASE PRIMARY : CUS:CUSID
)";

// A QVD file of `layout` (the text form of files/record_layout.h) at `path`.
inline std::unique_ptr<FileDeclaration> DeclareQvdFile(std::string_view layout, const std::string& path,
                                                       uint8_t attributes = 0) {
    FileSpec declared = ParseRecordLayout(layout).layout.file_spec(QvdDriver);
    declared.options.name = path;
    declared.attributes = attributes;
    return std::make_unique<FileDeclaration>(std::move(declared));
}

} // namespace morvex::testing
