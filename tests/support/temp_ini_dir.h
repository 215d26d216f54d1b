// A fresh INI directory for one test: MORVEX_INIDIR points at it while the
// object lives, and it is removed with its files afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace morvex::testing {

class TempIniDir {
public:
    TempIniDir() {
        char pattern[] = "/tmp/morvex_ini_XXXXXX";
        m_path = mkdtemp(pattern);
        setenv("MORVEX_INIDIR", m_path.c_str(), 1);
    }
    ~TempIniDir() {
        unsetenv("MORVEX_INIDIR");
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempIniDir(const TempIniDir&) = delete;
    TempIniDir& operator=(const TempIniDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    std::string contents(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_path;
};

} // namespace morvex::testing
