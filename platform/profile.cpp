// Profile files on disk: where they live, reading them, and replacing them
// atomically under a lock. The text itself is ProfileDocument's business.
//
// A write holds an exclusive open-file-description lock on a sidecar file,
// "<profile>.lock", for the whole read-modify-write: the profile itself cannot
// carry the lock, because every write replaces it by a new file (a new inode)
// through rename, and a lock on the old one would no longer exclude anyone.
// OFD locks exclude other processes and other descriptors of this process
// alike, so threads serialise through the same lock.
//
// Reads take no lock. Nothing ever changes a profile in place: a writer fills
// a temporary file, syncs it and renames it over the profile, so open() sees
// either the whole old file or the whole new one. Readers thus never wait
// behind a writer, and need no write access to create the lock file (a
// profile in a read-only directory can still be read).
#include "platform/profile.h"

#include "platform/profile_document.h"
#include "platform/profile_fault_injection.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvex::platform {

namespace {

// --- System calls, each with the test hook's chance to fail -----------------

std::atomic<long> g_calls_before_failure{-1}; // negative: never fail
std::atomic<int> g_injected_error{EIO};

bool injected_failure() {
    if (g_calls_before_failure.load(std::memory_order_relaxed) < 0)
        return false;
    if (g_calls_before_failure.fetch_sub(1, std::memory_order_relaxed) != 0)
        return false;
    errno = g_injected_error.load(std::memory_order_relaxed);
    return true;
}

int sys_open(const char* path, int flags, mode_t mode = 0) {
    if (injected_failure())
        return -1;
    int fd;
    do
        fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int sys_close(int fd) {
    if (injected_failure()) {
        const int error = errno;
        ::close(fd); // the descriptor must not leak even when the test says close failed
        errno = error;
        return -1;
    }
    // Linux releases the descriptor even when close reports EINTR, so it is not retried.
    return ::close(fd);
}

int sys_fstat(int fd, struct stat& status) {
    return injected_failure() ? -1 : ::fstat(fd, &status);
}

int sys_lstat(const char* path, struct stat& status) {
    return injected_failure() ? -1 : ::lstat(path, &status);
}

ssize_t sys_read(int fd, char* buffer, size_t size) {
    if (injected_failure())
        return -1;
    ssize_t done;
    do
        done = ::read(fd, buffer, size);
    while (done < 0 && errno == EINTR);
    return done;
}

ssize_t sys_write(int fd, const char* buffer, size_t size) {
    if (injected_failure())
        return -1;
    ssize_t done;
    do
        done = ::write(fd, buffer, size);
    while (done < 0 && errno == EINTR);
    return done;
}

int sys_fsync(int fd) {
    return injected_failure() ? -1 : ::fsync(fd);
}

int sys_fchmod(int fd, mode_t mode) {
    return injected_failure() ? -1 : ::fchmod(fd, mode);
}

int sys_fchown(int fd, uid_t owner, gid_t group) {
    return injected_failure() ? -1 : ::fchown(fd, owner, group);
}

int sys_rename(const char* from, const char* to) {
    return injected_failure() ? -1 : ::rename(from, to);
}

int sys_mkdir(const char* path, mode_t mode) {
    return injected_failure() ? -1 : ::mkdir(path, mode);
}

int sys_lock(int fd, short type) {
    if (injected_failure())
        return -1;
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET; // start 0, length 0: the whole file; l_pid must be 0 for OFD locks
    int result;
    do
        result = ::fcntl(fd, F_OFD_SETLKW, &lock);
    while (result != 0 && errno == EINTR);
    return result;
}

// Closes the descriptor it owns. Closing a descriptor that was only read or
// locked cannot lose data, so the destructor has nothing to report; it keeps
// errno, which tells the caller why an operation failed.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            const int error = errno;
            ::close(m_fd);
            errno = error;
        }
    }

    bool valid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    // Takes a descriptor when it holds none.
    void adopt(int fd) { m_fd = fd; }

    // Closes now and says whether the system reported a failure (a delayed write error, say).
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return sys_close(fd) == 0;
    }

private:
    int m_fd;
};

// A new file beside the profile that becomes the profile by rename; removed
// again unless commit() is called.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!m_path.empty()) {
            // Nothing more can be done if the removal fails; errno still tells why the write failed.
            const int error = errno;
            ::unlink(m_path.c_str());
            errno = error;
        }
    }

    // The name holds the process id and a per-process counter; a name left by
    // a crashed writer is skipped.
    bool create(const std::string& target) {
        static std::atomic<unsigned> counter{0};
        std::string path;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path = target + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
            const int fd = sys_open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                m_path = std::move(path);
                m_fd.adopt(fd);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    int fd() const { return m_fd.get(); }
    const std::string& path() const { return m_path; }
    bool close() { return m_fd.close(); }
    void commit() { m_path.clear(); }

private:
    std::string m_path;
    FileDescriptor m_fd{-1};
};

// --- Paths ------------------------------------------------------------------

std::string join(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string home_directory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0')
        return found->pw_dir;
    // No home at all (a stripped-down service account): the current directory.
    return ".";
}

std::string directory_of_profiles() {
    if (const char* directory = std::getenv("MORVEX_INIDIR"); directory != nullptr && *directory != '\0') {
        std::string path = directory;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        return path;
    }
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as the XDG rules ask.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/')
        return join(config, "morvex");
    return join(join(home_directory(), ".config"), "morvex");
}

bool has_directory(std::string_view file_name) {
    return file_name.find('/') != std::string_view::npos;
}

std::string path_of_profile(std::string_view file_name) {
    if (has_directory(file_name))
        return std::string(file_name);
    return join(directory_of_profiles(), file_name.empty() ? std::string_view("win.ini") : file_name);
}

std::string parent_directory(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a directory and any missing parents, private to the user as the
// XDG rules ask for configuration directories.
bool make_directories(const std::string& directory) {
    if (sys_mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const std::string parent = parent_directory(directory);
    if (parent == directory || !make_directories(parent))
        return false;
    return sys_mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// A profile that is a symbolic link is changed where the link points, so that
// the link survives the rename (dotfile managers link configuration files).
bool resolve_link(std::string& path) {
    struct stat status {};
    if (sys_lstat(path.c_str(), status) != 0)
        return errno == ENOENT;
    if (!S_ISLNK(status.st_mode))
        return true;
    char* target = ::realpath(path.c_str(), nullptr);
    if (target == nullptr)
        return errno == ENOENT; // a dangling link: rename will replace the link itself
    path = target;
    std::free(target);
    return true;
}

// --- Reading and replacing --------------------------------------------------

struct ProfileFile {
    bool exists = false;
    struct stat status {};
    std::string text;
};

bool read_profile(const std::string& path, ProfileFile& file) {
    // O_NONBLOCK keeps a FIFO in the profile's place from blocking the open.
    const FileDescriptor fd(sys_open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        file.exists = false;
        return errno == ENOENT;
    }
    file.exists = true;
    if (sys_fstat(fd.get(), file.status) != 0)
        return false;
    if (!S_ISREG(file.status.st_mode)) {
        errno = S_ISDIR(file.status.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    constexpr size_t Chunk = 64 * 1024;
    size_t used = 0;
    file.text.clear();
    for (;;) {
        if (file.text.size() < used + Chunk)
            file.text.resize(std::max(used + Chunk, static_cast<size_t>(file.status.st_size) + 1));
        const ssize_t got = sys_read(fd.get(), file.text.data() + used, file.text.size() - used);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        used += static_cast<size_t>(got);
    }
    file.text.resize(used);
    return true;
}

bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t done = sys_write(fd, text.data(), text.size());
        if (done < 0)
            return false;
        text.remove_prefix(static_cast<size_t>(done));
    }
    return true;
}

// Replaces the profile by a file with `text`: written and synced beside it,
// then renamed over it. Until the rename nothing visible has changed.
bool replace_profile(const std::string& path, std::string_view text, const ProfileFile& old) {
    TemporaryFile temporary;
    if (!temporary.create(path))
        return false;
    if (old.exists) {
        // The new file keeps the old one's permissions and, where we may set it, its owner.
        if (sys_fchmod(temporary.fd(), old.status.st_mode & 07777) != 0)
            return false;
        struct stat created {};
        if (sys_fstat(temporary.fd(), created) != 0)
            return false;
        if (created.st_uid != old.status.st_uid || created.st_gid != old.status.st_gid) {
            // Only root (or the owner, for the group) may; otherwise the file becomes ours,
            // as it does with any editor that saves by rename.
            (void)sys_fchown(temporary.fd(), old.status.st_uid, old.status.st_gid);
        }
    }
    if (!write_all(temporary.fd(), text) || sys_fsync(temporary.fd()) != 0 || !temporary.close())
        return false;
    if (sys_rename(temporary.path().c_str(), path.c_str()) != 0)
        return false;
    temporary.commit();

    // Make the rename itself durable. The profile has been replaced by now, so
    // a failure here is not reported as a failed write.
    const FileDescriptor directory(
        sys_open(parent_directory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        (void)sys_fsync(directory.get());
    return true;
}

bool write_profile(std::string_view file_name, std::string_view section,
                   std::optional<std::string_view> entry, std::optional<std::string_view> value) {
    if (file_name.find('\0') != std::string_view::npos ||
        (entry && value && !ProfileDocument::can_store(section, *entry, *value))) {
        errno = EINVAL;
        return false;
    }
    std::string path = path_of_profile(file_name);
    if (!has_directory(file_name) && !make_directories(parent_directory(path)))
        return false;
    if (!resolve_link(path))
        return false;

    const FileDescriptor lock(sys_open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lock.valid() || sys_lock(lock.get(), F_WRLCK) != 0)
        return false;
    // From here to the rename no other writer can read or replace the profile.
    ProfileFile old;
    if (!read_profile(path, old))
        return false;
    ProfileDocument document(old.text);
    ProfileEdit edit = !entry   ? document.remove_section(section)
                       : !value ? document.remove_entry(section, *entry)
                                : document.set_value(section, *entry, *value);
    if (edit == ProfileEdit::Invalid) {
        errno = EINVAL;
        return false;
    }
    if (edit == ProfileEdit::Unchanged)
        return true;
    return replace_profile(path, document.text(), old);
    // The lock goes with the last descriptor of its open file description, closed here.
}

} // namespace

std::string ini_directory() {
    try {
        return directory_of_profiles();
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return {};
    }
}

std::string profile_path(std::string_view file_name) {
    try {
        return path_of_profile(file_name);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return {};
    }
}

std::string get_profile_string(std::string_view file_name, std::string_view section, std::string_view entry,
                               std::string_view default_value) {
    try {
        if (file_name.find('\0') == std::string_view::npos) {
            ProfileFile file;
            if (read_profile(path_of_profile(file_name), file)) {
                const ProfileDocument document(file.text);
                if (const std::optional<std::string_view> value = document.value(section, entry))
                    return std::string(*value);
            }
        }
        return std::string(default_value);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return {}; // not even the default fits
    }
}

bool write_profile_string(std::string_view file_name, std::string_view section,
                          std::optional<std::string_view> entry, std::optional<std::string_view> value) {
    try {
        return write_profile(file_name, section, entry, value);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
}

void fail_profile_system_call_after(long count, int error) {
    g_injected_error.store(error, std::memory_order_relaxed);
    g_calls_before_failure.store(count, std::memory_order_relaxed);
}

void stop_failing_profile_system_calls() {
    g_calls_before_failure.store(-1, std::memory_order_relaxed);
}

bool profile_system_call_failure_pending() {
    return g_calls_before_failure.load(std::memory_order_relaxed) >= 0;
}

} // namespace morvex::platform
