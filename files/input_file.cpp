#include "files/input_file.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace morvex {

bool OpenInputFile(const std::string& path, std::ifstream& in, std::string& error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        error = std::strerror(EISDIR);
        return false;
    }
    errno = 0;
    in.open(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

bool ReadInputFile(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in;
    if (!OpenInputFile(path, in, error))
        return false;
    text.clear();
    char chunk[64 * 1024];
    try {
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            text.append(chunk, static_cast<size_t>(in.gcount()));
    } catch (const std::exception&) {
        // The library's buffer throws on a failed read whatever the stream's
        // exception mask says.
        in.setstate(std::ios::badbit);
    }
    if (in.bad()) {
        error = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

} // namespace morvex
