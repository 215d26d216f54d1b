#include "files/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morvex {

// Buffers the stream's bytes and writes them to the descriptor; the first
// failed write is kept (and everything after it refused) for commit to report.
class OutputFile::Buffer : public std::streambuf {
public:
    void attach(int fd) {
        m_fd = fd;
        m_bytes.resize(64 * 1024);
        setp(m_bytes.data(), m_bytes.data() + m_bytes.size());
    }
    // 0, or the errno of the first failed write.
    int drain() {
        write_out();
        return m_error;
    }

protected:
    int_type overflow(int_type c) override {
        if (!write_out())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return write_out() ? 0 : -1; }

private:
    bool write_out() {
        const char* from = pbase();
        while (m_error == 0 && from < pptr()) {
            const ssize_t done = ::write(m_fd, from, static_cast<size_t>(pptr() - from));
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                m_error = done < 0 ? errno : EIO;
            else
                from += done;
        }
        setp(m_bytes.data(), m_bytes.data() + m_bytes.size());
        return m_error == 0;
    }

    int m_fd = -1;
    int m_error = 0;
    std::vector<char> m_bytes;
};

namespace {

std::string ParentDirectory(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool IsOpenInThisProcess(const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return false;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        return false;
    bool open = false;
    while (const dirent* entry = ::readdir(descriptors)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat held {};
        if (end != entry->d_name && *end == '\0' && ::fstat(static_cast<int>(fd), &held) == 0 &&
            held.st_dev == target.st_dev && held.st_ino == target.st_ino) {
            open = true;
            break;
        }
    }
    ::closedir(descriptors);
    return open;
}

OutputFile::OutputFile() : m_buffer(std::make_unique<Buffer>()), m_stream(m_buffer.get()) {}

OutputFile::~OutputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

bool OutputFile::open(const std::string& path, std::string& error) {
    m_target = path;
    // A symbolic link survives: the file it names is the one replaced.
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        m_target = resolved;
        std::free(resolved);
    }
    struct stat existing {};
    if (::stat(m_target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        error = std::strerror(EISDIR);
        return false;
    }
    if (IsOpenInThisProcess(m_target)) {
        error = "it is open as an input";
        return false;
    }
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const std::string name =
            m_target + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
        m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            m_temporary = name;
        else if (errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // The new file keeps the permissions of the one it replaces.
    if (S_ISREG(existing.st_mode))
        (void)::fchmod(m_fd, existing.st_mode & 07777);
    m_buffer->attach(m_fd);
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (m_fd < 0) {
        error = "the output was not opened";
        return false;
    }
    m_stream.flush();
    int failure = m_buffer->drain();
    if (failure == 0 && ::fsync(m_fd) != 0)
        failure = errno;
    if (::close(m_fd) != 0 && failure == 0)
        failure = errno;
    m_fd = -1;
    if (failure == 0 && ::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        error = std::strerror(failure);
        return false;
    }
    m_temporary.clear();
    // The rename itself made durable; the file is in place already, so a
    // failure here is no failed write.
    const int directory = ::open(ParentDirectory(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        (void)::fsync(directory);
        ::close(directory);
    }
    return true;
}

} // namespace morvex
