// A fresh INI directory for one test: MORVEX_INIDIR points at it while the
// object lives, and it is removed with its files afterwards.
#pragma once

#include "tests/support/temp_directory.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace morvex::testing {

class TempIniDir {
public:
    TempIniDir() { setenv("MORVEX_INIDIR", m_directory.path().c_str(), 1); }
    ~TempIniDir() { unsetenv("MORVEX_INIDIR"); }
    TempIniDir(const TempIniDir&) = delete;
    TempIniDir& operator=(const TempIniDir&) = delete;

    const std::string& path() const { return m_directory.path(); }
    std::string file(const std::string& name) const { return m_directory.file(name); }
    std::string contents(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    TempDirectory m_directory{"morvex_ini"};
};

} // namespace morvex::testing
