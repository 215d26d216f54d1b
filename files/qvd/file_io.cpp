// POSIX implementation of the QVD file seam: pread/pwrite at 64-bit offsets,
// fdatasync, open-file-description byte-range locks, and a shared read-only
// mapping of the header.
#include "files/qvd/file_io.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace morvex::qvd {

namespace {

// File systems whose shared mappings are not kept coherent with writes made
// by other machines (or other processes going through a user-space server):
// the header is read with pread there.
bool MappingMayBeStale(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE
    case 0x01021997UL: // 9P
    case 0x00C36400UL: // Ceph
    case 0x5346414FUL: // AFS
        return true;
    default:
        return false;
    }
}

class PosixFileIo final : public FileIo {
public:
    explicit PosixFileIo(int fd) : m_fd(fd) {}
    ~PosixFileIo() override {
        unmap();
        ::close(m_fd);
    }

    // Mapped on first use once the file holds its header; a shared mapping
    // sees every write to the file's pages at once, from any process.
    const uint8_t* mapped_header() override {
        if (m_map || m_no_map)
            return m_map;
        if (MappingMayBeStale(m_fd)) {
            m_no_map = true;
            return nullptr;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || st.st_size < static_cast<off_t>(MappedHeaderBytes))
            return nullptr; // not yet: a new file gets its header with its first commit
        void* map = ::mmap(nullptr, MappedHeaderBytes, PROT_READ, MAP_SHARED, m_fd, 0);
        if (map == MAP_FAILED) {
            m_no_map = true;
            return nullptr;
        }
        m_map = static_cast<const uint8_t*>(map);
        return m_map;
    }

    int64_t read_at(uint64_t offset, void* buffer, size_t length) override {
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(m_fd, static_cast<char*>(buffer) + done, length - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        return static_cast<int64_t>(done);
    }

    int64_t write_at(uint64_t offset, const void* buffer, size_t length) override {
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pwrite(m_fd, static_cast<const char*>(buffer) + done, length - done,
                                       static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        return static_cast<int64_t>(done);
    }

    int flush() override { return ::fdatasync(m_fd); }

    int64_t size() override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return -1;
        return st.st_size;
    }

    int truncate(uint64_t length) override {
        // Every open of the file, in this process or another, may have its
        // header mapped; a read of a mapped page past the end of the file
        // ends the process (SIGBUS). A file that holds its header is never
        // cut below it.
        if (length < MappedHeaderBytes && size() >= static_cast<int64_t>(MappedHeaderBytes)) {
            errno = EINVAL;
            return -1;
        }
        return ::ftruncate(m_fd, static_cast<off_t>(length));
    }

    int lock(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override {
        struct flock fl {};
        fl.l_type = kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length); // l_pid stays 0, as OFD locks require
        int result;
        do {
            result = ::fcntl(m_fd, wait == LockWait::Yes ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
        } while (result != 0 && errno == EINTR);
        return result;
    }

    int test_lock(uint64_t offset, uint64_t length) override {
        uint64_t found_offset = 0;
        uint64_t found_length = 0;
        return find_lock(offset, length, found_offset, found_length);
    }

    int find_lock(uint64_t offset, uint64_t length, uint64_t& found_offset, uint64_t& found_length) override {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length);
        if (::fcntl(m_fd, F_OFD_GETLK, &fl) != 0)
            return -1;
        if (fl.l_type == F_UNLCK)
            return 0;
        // Clipped to the range tested (a length of 0 reaches to the end).
        const uint64_t start = std::max(static_cast<uint64_t>(fl.l_start), offset);
        const uint64_t end = fl.l_len == 0
                                 ? offset + length
                                 : std::min(static_cast<uint64_t>(fl.l_start + fl.l_len), offset + length);
        found_offset = start;
        found_length = end > start ? end - start : 1;
        return 1;
    }

    bool local_identity(FileIdentity& identity) override {
        struct stat st {};
        if (MappingMayBeStale(m_fd) || ::fstat(m_fd, &st) != 0)
            return false;
        identity = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                                static_cast<uint32_t>(st.st_mode & 0777), static_cast<uint32_t>(st.st_uid)};
        return true;
    }

    int unlock(uint64_t offset, uint64_t length) override {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length);
        return ::fcntl(m_fd, F_OFD_SETLK, &fl);
    }

private:
    void unmap() {
        if (m_map)
            ::munmap(const_cast<uint8_t*>(m_map), MappedHeaderBytes);
        m_map = nullptr;
    }

    int m_fd;
    const uint8_t* m_map = nullptr;
    bool m_no_map = false; // mapping refused or unsuitable: never tried again
};

} // namespace

namespace {

std::string ParentDirectory(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Closes `fd` keeping errno, for the failure being reported.
void CloseKeepingErrno(int fd) {
    const int error = errno;
    ::close(fd);
    errno = error;
}

} // namespace

std::shared_ptr<FileIo> OpenPosixFile(const std::string& path, FileAccess access, FileCreation creation) {
    // O_NONBLOCK: a FIFO in the file's place must not hold the open up
    // waiting for a writer; it is refused below like any file that is not
    // regular. The flag means nothing to a regular file's reads and writes.
    const int flags = (access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(path.c_str(), flags);
    bool created = false;
    if (fd < 0 && errno == ENOENT && creation == FileCreation::CreateIfMissing) {
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
        created = fd >= 0;
        if (fd < 0 && errno == EEXIST) // another process made it meanwhile
            fd = ::open(path.c_str(), flags);
    }
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        CloseKeepingErrno(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : NotRegularFile;
        return nullptr;
    }
    if (created) {
        // The new name must survive a crash before any commit that goes
        // into the file is reported done.
        const int directory = ::open(ParentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced = directory >= 0 && ::fsync(directory) == 0;
        if (directory >= 0)
            CloseKeepingErrno(directory);
        if (!synced) {
            CloseKeepingErrno(fd);
            const int error = errno;
            ::unlink(path.c_str());
            errno = error;
            return nullptr;
        }
    }
    return std::make_shared<PosixFileIo>(fd);
}

std::shared_ptr<FileIo> AdoptPosixDescriptor(int fd) {
    return std::make_shared<PosixFileIo>(fd);
}

} // namespace morvex::qvd
