// POSIX implementation of the QVD file seam: pread/pwrite at 64-bit offsets,
// fdatasync, open-file-description byte-range locks, and a shared read-only
// mapping of the header.
#include "files/qvd/file_io.h"

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
        if (length < MappedHeaderBytes)
            unmap(); // this process at least never touches a page past the end
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
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length);
        if (::fcntl(m_fd, F_OFD_GETLK, &fl) != 0)
            return -1;
        return fl.l_type == F_UNLCK ? 0 : 1;
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

int FileIo::test_lock(uint64_t offset, uint64_t length) {
    if (lock(offset, length, LockKind::Exclusive, LockWait::No) == 0) {
        unlock(offset, length);
        return 0;
    }
    return errno == EAGAIN || errno == EACCES ? 1 : -1;
}

std::shared_ptr<FileIo> OpenPosixFile(const std::string& path, FileAccess access, FileCreation creation) {
    int flags = (access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (creation == FileCreation::CreateIfMissing)
        flags |= O_CREAT;
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0)
        return nullptr;
    return std::make_shared<PosixFileIo>(fd);
}

std::shared_ptr<FileIo> AdoptPosixDescriptor(int fd) {
    return std::make_shared<PosixFileIo>(fd);
}

} // namespace morvex::qvd
