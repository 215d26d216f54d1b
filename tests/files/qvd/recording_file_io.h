// A FileIo for tests: forwards to the real file and counts what reaches it
// (reads, writes, reader slots), and can skip flushes for speed. Crashes and
// failing calls are tests/support/crash_file_io.h.
#pragma once

#include "files/qvd/file_io.h"

#include <functional>
#include <memory>

namespace morvex::qvd {

class RecordingFileIo : public FileIo {
public:
    explicit RecordingFileIo(std::shared_ptr<FileIo> inner) : m_inner(std::move(inner)) {}

    int64_t read_at(uint64_t offset, void* buffer, size_t length) override {
        ++reads;
        whole_blocks = whole_blocks && length % 64 == 0;
        return m_inner->read_at(offset, buffer, length);
    }
    int64_t write_at(uint64_t offset, const void* buffer, size_t length) override {
        ++writes;
        written += length;
        whole_blocks = whole_blocks && length % 64 == 0;
        return m_inner->write_at(offset, buffer, length);
    }
    int flush() override { return skip_flush ? 0 : m_inner->flush(); }
    int64_t size() override { return m_inner->size(); }
    int truncate(uint64_t length) override { return m_inner->truncate(length); }
    int lock(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override {
        if (length == 1 && offset >= ReaderSlotsStart && offset < ReaderSlotsStart + 1023) {
            ++reader_locks;
            if (before_reader_lock) {
                const auto run = std::move(before_reader_lock);
                before_reader_lock = nullptr;
                run();
            }
        }
        return m_inner->lock(offset, length, kind, wait);
    }
    int unlock(uint64_t offset, uint64_t length) override { return m_inner->unlock(offset, length); }
    int test_lock(uint64_t offset, uint64_t length) override { return m_inner->test_lock(offset, length); }
    // The inner file's mapped header only when asked for: by default every
    // look at the header is a counted read.
    const uint8_t* mapped_header() override { return forward_mapping ? m_inner->mapped_header() : nullptr; }

    static constexpr uint64_t ReaderSlotsStart = uint64_t{1} << 31;
    size_t reader_locks = 0;                  // one reader slot taken
    std::function<void()> before_reader_lock; // runs once, before the next one is taken
    size_t reads = 0;
    bool whole_blocks = true; // every read and write a multiple of 64 bytes
    size_t writes = 0;
    uint64_t written = 0;    // bytes
    bool skip_flush = false; // speed for tests that do not look at durability
    bool forward_mapping = false;

private:
    std::shared_ptr<FileIo> m_inner;
};

} // namespace morvex::qvd
