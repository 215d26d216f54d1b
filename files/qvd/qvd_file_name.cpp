// Declared file names: "path\!table" selects the disk file and the table.
#include "files/qvd/qvd_store.h"

#include <filesystem>

namespace morvex::qvd {

namespace {

bool IsDirectoryOnDisk(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

std::string WithExtension(std::string path) {
    const size_t name_start = path.find_last_of("/\\");
    const size_t dot = path.find('.', name_start == std::string::npos ? 0 : name_start + 1);
    if (dot == std::string::npos && !path.empty())
        path += ".QVD";
    return path;
}

} // namespace

SplitName SplitFileName(std::string_view name, const std::function<bool(const std::string&)>& is_directory) {
    const auto directory = is_directory ? is_directory : IsDirectoryOnDisk;
    // A "\!" right after an existing directory's name belongs to the path
    // ("dir\!file"); the first one after anything else starts the table name.
    for (size_t pos = name.find("\\!"); pos != std::string_view::npos; pos = name.find("\\!", pos + 1)) {
        const std::string before(name.substr(0, pos));
        if (directory(before))
            continue;
        std::string table(name.substr(pos + 2));
        return SplitName{WithExtension(before), table.empty() ? std::string(DefaultTableName) : table};
    }
    return SplitName{WithExtension(std::string(name)), std::string(DefaultTableName)};
}

} // namespace morvex::qvd
