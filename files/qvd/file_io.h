// The disk seam under the QVD container: every read, write, flush, size query,
// truncation and byte-range lock of a QVD file goes through a FileIo, so that
// fault and crash tests can slide a recording or failing layer underneath.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace morvex::qvd {

enum class LockKind { Shared, Exclusive };
enum class LockWait { No, Yes };

// A file's device and inode, its permission bits and its owner.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t mode = 0;
    uint32_t owner = 0;
};

class FileIo {
public:
    virtual ~FileIo() = default;

    // Bytes read (short at the end of the file) or -1 with errno set.
    virtual int64_t read_at(uint64_t offset, void* buffer, size_t length) = 0;
    // Bytes written or -1 with errno set.
    virtual int64_t write_at(uint64_t offset, const void* buffer, size_t length) = 0;
    // 0 or -1 with errno set.
    virtual int flush() = 0;
    virtual int64_t size() = 0;
    // 0, or -1 with errno set. A file that holds its header (which every open
    // may have mapped) is never cut below it: EINVAL.
    virtual int truncate(uint64_t length) = 0;
    // Open-file-description locks: they exclude other processes and other
    // descriptors of this process. 0, or -1 with errno set (EAGAIN/EACCES when
    // the range is held elsewhere and `wait` is No).
    virtual int lock(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) = 0;
    virtual int unlock(uint64_t offset, uint64_t length) = 0;
    // 1 when another process or descriptor holds any part of the range, 0
    // when it is free, -1 with errno set. Takes nothing, not even for a moment:
    // a lock taken and given back to test would look, to another open testing
    // the same byte at that instant, like a lock held against it.
    virtual int test_lock(uint64_t offset, uint64_t length) = 0;
    // The same test that also says which range the lock found covers (within
    // the range tested): 1 with `found` set, 0 when the range is free, -1 with
    // errno set. Another process's lock reaching to the end of the file reads
    // as reaching to the end of the range. A FileIo that cannot tell reports
    // the whole range.
    virtual int find_lock(uint64_t offset, uint64_t length, uint64_t& found_offset, uint64_t& found_length) {
        const int result = test_lock(offset, length);
        found_offset = offset;
        found_length = length;
        return result;
    }
    // The file's first MappedHeaderBytes bytes mapped read-only into memory and
    // kept current by the system with every write to the file from any
    // process, so that a caller can look at the header without a system call;
    // nullptr when there is no such view (the file is still shorter than that,
    // the file system does not keep shared mappings coherent, or the FileIo
    // does not map at all): read through read_at then. The view lives as long
    // as the FileIo; the file is never cut below MappedHeaderBytes (reading a
    // page past the end of a file faults), see truncate.
    virtual const uint8_t* mapped_header() { return nullptr; }
    // Which file this is on this machine, for an object its opens share in
    // memory (the hold counter): false on a file system where opens on other
    // machines could share no memory with these (the same file systems that
    // get no header mapping), or for a FileIo that is no plain file.
    virtual bool local_identity(FileIdentity& identity) {
        (void)identity;
        return false;
    }
};

constexpr size_t MappedHeaderBytes = 512;

enum class FileAccess { ReadOnly, ReadWrite };
enum class FileCreation { OpenExisting, CreateIfMissing };

// The errno of OpenPosixFile for a path that names something other than a
// regular file or a directory (EISDIR): a FIFO, a device, a socket.
constexpr int NotRegularFile = EINVAL;

// Opens `path` with POSIX I/O. nullptr with errno set on failure. Only a
// regular file is opened (a FIFO is never waited on). A file it creates is
// made durable in its directory (the directory is synced) before it is used;
// when that fails, the new file is removed again and the open fails.
std::shared_ptr<FileIo> OpenPosixFile(const std::string& path, FileAccess access, FileCreation creation);

// Wraps a descriptor the caller already opened; the FileIo closes it.
std::shared_ptr<FileIo> AdoptPosixDescriptor(int fd);

} // namespace morvex::qvd
