// The hold counter's shared-memory object: making it, finding it again,
// and removing it with its last user.
#include "files/qvd/hold_counter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvex::qvd {

namespace {

constexpr size_t ObjectBytes = 64;
// Opens that meet an object being removed or half made start again; past
// this many rounds something keeps interfering and the open goes without.
constexpr int OpenRounds = 16;

static_assert(std::atomic_ref<uint64_t>::is_always_lock_free, "the counter is shared between processes");

int lock_first_byte(int fd, short type, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    int result;
    do {
        result = ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Opens the object by name, making it when missing with the file's
// permission bits (not narrowed by the umask: whoever may write the file
// must be able to write its counter). `writable` says how it was opened.
int open_object(const std::string& name, const FileIdentity& file, bool& writable) {
    const mode_t mode = static_cast<mode_t>(file.mode & 0666);
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
        writable = true;
        if (::fchmod(fd, mode) != 0) {
            ::close(fd);
            ::shm_unlink(name.c_str());
            return -1;
        }
        return fd;
    }
    if (errno != EEXIST)
        return -1;
    fd = ::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    writable = fd >= 0;
    if (fd < 0 && errno == EACCES)
        fd = ::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    return fd;
}

// An object someone else made is used only when it belongs to this user or
// to the file's owner and nobody may write it who may not write the file:
// anyone else could hold the counter still, or cut the object short under
// our mapping.
bool trusted(int fd, const FileIdentity& file) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_uid != ::geteuid() && st.st_uid != file.owner)
        return false;
    return (st.st_mode & ~file.mode & 0022) == 0;
}

// Whether the name still leads to the object open on `fd` (a last close may
// have removed it, and another open made a new one, before we locked it).
bool still_named(const std::string& name, int fd) {
    const int again = ::shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (again < 0)
        return false;
    struct stat a {
    }, b{};
    const bool same =
        ::fstat(fd, &a) == 0 && ::fstat(again, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    ::close(again);
    return same;
}

uint64_t new_domain() {
    uint64_t value = 0;
    while (value == 0) {
        if (::getrandom(&value, sizeof value, 0) != sizeof value)
            value = static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
                    static_cast<uint64_t>(::time(nullptr));
        value &= (uint64_t{1} << 40) - 1;
    }
    return value;
}

} // namespace

std::string HoldCounter::NameFor(const FileIdentity& file) {
    char name[64];
    std::snprintf(name, sizeof name, "/morvex-qvd-holds-%llx-%llx",
                  static_cast<unsigned long long>(file.device), static_cast<unsigned long long>(file.inode));
    return name;
}

std::unique_ptr<HoldCounter> HoldCounter::Open(const FileIdentity& file, CounterAccess access) {
    const std::string name = NameFor(file);
    for (int round = 0; round < OpenRounds; ++round) {
        bool writable = false;
        const int fd = open_object(name, file, writable);
        if (fd < 0)
            return nullptr;
        auto give_up = [&] {
            ::close(fd);
            return nullptr;
        };
        if (!trusted(fd, file) || (access == CounterAccess::Raise && !writable))
            return give_up();
        // Alone with the object (no other user holds its byte), an open may
        // make it whole; otherwise it waits for the byte shared, which an
        // open making it or a last close removing it keeps only briefly.
        const bool alone = writable && lock_first_byte(fd, F_WRLCK, false) == 0;
        if (!alone && lock_first_byte(fd, F_RDLCK, true) != 0)
            return give_up();
        if (!still_named(name, fd)) {
            ::close(fd);
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return give_up();
        if (st.st_size < static_cast<off_t>(ObjectBytes)) {
            if (!alone) { // its maker died before it was whole: make it ourselves
                ::close(fd);
                continue;
            }
            if (::ftruncate(fd, ObjectBytes) != 0)
                return give_up();
        }
        void* map = ::mmap(nullptr, ObjectBytes, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED, fd, 0);
        if (map == MAP_FAILED)
            return give_up();
        auto* words = static_cast<uint64_t*>(map);
        std::atomic_ref<uint64_t> domain(words[1]);
        if (domain.load() == 0) {
            if (!alone) {
                ::munmap(map, ObjectBytes);
                ::close(fd);
                continue;
            }
            domain.store(new_domain());
        }
        if (alone && lock_first_byte(fd, F_RDLCK, false) != 0) { // our own lock, made shared
            ::munmap(map, ObjectBytes);
            return give_up();
        }
        return std::unique_ptr<HoldCounter>(new HoldCounter(fd, words, name, writable, domain.load()));
    }
    return nullptr;
}

HoldCounter::HoldCounter(int fd, uint64_t* words, std::string name, bool writable, uint64_t domain)
    : m_fd(fd), m_words(words), m_name(std::move(name)), m_writable(writable), m_domain(domain),
      m_process(::getpid()) {}

HoldCounter::~HoldCounter() {
    ::munmap(m_words, ObjectBytes);
    // The last user (nobody else holds the byte) removes the name while it
    // holds the byte exclusively; an open that had found the name before
    // sees it gone once it has the byte, and starts again.
    if (m_writable && ::getpid() == m_process && lock_first_byte(m_fd, F_WRLCK, false) == 0)
        ::shm_unlink(m_name.c_str());
    ::close(m_fd);
}

uint64_t HoldCounter::value() const {
    return std::atomic_ref<uint64_t>(m_words[0]).load(std::memory_order_seq_cst);
}

void HoldCounter::raise() {
    std::atomic_ref<uint64_t>(m_words[0]).fetch_add(1, std::memory_order_seq_cst);
}

} // namespace morvex::qvd
