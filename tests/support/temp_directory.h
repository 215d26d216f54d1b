// A fresh directory for one test or fixture, removed with everything in it
// when the object goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace morvex::testing {

class TempDirectory {
public:
    explicit TempDirectory(std::string_view prefix = "morvex_test") {
        std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "_XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort(); // no test can run without it
        m_path = pattern;
    }
    ~TempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(std::string_view name) const { return m_path + "/" + std::string(name); }

private:
    std::string m_path;
};

} // namespace morvex::testing
