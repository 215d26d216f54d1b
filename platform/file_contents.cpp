#include "platform/file_contents.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace morvex::platform {

namespace {

// Closes the descriptor without disturbing errno, which tells the caller why
// the read failed.
class ReadDescriptor {
public:
    explicit ReadDescriptor(int fd) : m_fd(fd) {}
    ReadDescriptor(const ReadDescriptor&) = delete;
    ReadDescriptor& operator=(const ReadDescriptor&) = delete;
    ~ReadDescriptor() {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool read_all(int fd, std::string& contents, std::size_t expected, std::size_t limit) {
    constexpr std::size_t Chunk = 64 * 1024;
    std::size_t used = 0;
    contents.clear();
    for (;;) {
        if (contents.size() < used + Chunk) {
            const std::size_t want = used + Chunk > expected + 1 ? used + Chunk : expected + 1;
            contents.resize(want > limit + 1 ? limit + 1 : want);
        }
        ssize_t got;
        do
            got = ::read(fd, contents.data() + used, contents.size() - used);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        used += static_cast<std::size_t>(got);
        if (used > limit) {
            errno = EFBIG;
            return false;
        }
    }
    contents.resize(used);
    return true;
}

} // namespace

bool read_file_contents(const std::string& path, std::string& contents, std::size_t limit) {
    int opened;
    // O_NONBLOCK keeps a FIFO in the file's place from blocking the open.
    do
        opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (opened < 0 && errno == EINTR);
    if (opened < 0)
        return false;
    const ReadDescriptor fd(opened);
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return false;
    if (!S_ISREG(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (static_cast<unsigned long long>(status.st_size) > limit) {
        errno = EFBIG;
        return false;
    }
    try {
        return read_all(fd.get(), contents, static_cast<std::size_t>(status.st_size), limit);
    } catch (const std::bad_alloc&) {
        contents.clear();
        errno = ENOMEM;
        return false;
    }
}

} // namespace morvex::platform
