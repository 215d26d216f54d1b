// Disk access of an open QVD file: block I/O in 64-byte multiples through the
// encryption hook; the first failed write or flush ends the open's writing.
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"
#include "platform/os_error.h"
#include "runtime/error_numbers.h"

namespace morvex::qvd {

StoreImpl::StoreImpl(std::shared_ptr<FileIo> io, const StoreOptions& options)
    : m_io(std::move(io)), m_options(options), m_locks(*m_io, m_options), m_header(*this),
      m_cache(options.cache_bytes), m_staged(options.staging_bytes, options.spill_directory), m_views(*this),
      m_commits(*this) {
    if (!options.encryption_owner.empty())
        m_cipher.emplace(options.encryption_owner);
}

StoreImpl::~StoreImpl() = default;

size_t StoreImpl::read_blocks(uint64_t offset, uint8_t* buffer, size_t length) {
    if (length % CipherBlock != 0)
        QvdCorruption(CorruptReadNotBlocks);
    const int64_t n = m_io->read_at(offset, buffer, length);
    if (n < 0)
        QvdCorruption(CorruptReadRefused);
    decrypt(offset, buffer, static_cast<size_t>(n) / CipherBlock * CipherBlock);
    return static_cast<size_t>(n);
}

void StoreImpl::read_exactly(uint64_t offset, uint8_t* buffer, size_t length) {
    if (read_blocks(offset, buffer, length) != length)
        QvdCorruption(CorruptShortRead);
}

void StoreImpl::decrypt(uint64_t offset, uint8_t* buffer, size_t length) {
    if (m_cipher)
        m_cipher->apply(offset, buffer, length);
}

void StoreImpl::write_blocks(uint64_t offset, const uint8_t* buffer, size_t length) {
    if (length % CipherBlock != 0)
        QvdCorruption(CorruptWriteNotBlocks);
    if (m_write_error != 0)
        return; // once a write failed, the rest of this open writes nothing
    Bytes transformed;
    if (m_cipher) {
        transformed.assign(buffer, buffer + length);
        m_cipher->apply(offset, transformed.data(), length);
        buffer = transformed.data();
    }
    const int64_t n = m_io->write_at(offset, buffer, length);
    if (n < 0)
        m_write_error = OsErrorNumber(platform::last_os_error());
    else if (static_cast<size_t>(n) < length)
        m_write_error = ErrAccessDenied;
}

void StoreImpl::flush_file() {
    if (m_write_error != 0)
        return;
    if (m_io->flush() != 0)
        m_write_error = OsErrorNumber(platform::last_os_error());
}

} // namespace morvex::qvd
