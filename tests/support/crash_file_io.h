// A FileIo over an in-memory disk for crash and fault tests of the QVD
// container. It keeps what a real disk would have made durable (the state at
// the last flush) apart from the writes since, so that a simulated power loss
// can decide what of those unflushed writes survives: all, none, or each
// 512-byte sector on its own (kept, dropped or torn into garbage). It can also
// make the k-th write, flush, lock or read fail with a chosen errno.
#pragma once

#include "files/qvd/file_io.h"
#include "files/qvd/qvd_store.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvex::qvd {

enum class IoCall { Write, Flush, Lock, Read, Truncate };

// What a power loss does with the writes (and truncations) not yet flushed.
enum class UnflushedFate {
    Dropped,     // none of them reached the disk
    Kept,        // all of them did, in order
    Sectors,     // each 512-byte sector kept or dropped on its own (the disk reorders)
    SectorsTorn, // as Sectors, and a sector may also come back as garbage
};

struct CrashPolicy {
    UnflushedFate fate = UnflushedFate::Dropped;
    uint64_t seed = 0; // for the sector policies
};

struct SurvivorImage {
    Bytes bytes;
    std::vector<uint64_t> torn_sectors; // offsets of the sectors left as garbage
};

constexpr size_t SectorSize = 512;

// One power supply for several files: their disk-changing calls are counted
// together, and the power loss at the k-th of them stops every one.
struct SharedPower {
    size_t changes = 0;
    std::optional<size_t> crash_at;
    bool failed = false;
};

class CrashFileIo : public FileIo {
public:
    explicit CrashFileIo(Bytes image = {}, std::shared_ptr<SharedPower> power = nullptr);

    int64_t read_at(uint64_t offset, void* buffer, size_t length) override;
    int64_t write_at(uint64_t offset, const void* buffer, size_t length) override;
    int flush() override;
    int64_t size() override;
    int truncate(uint64_t length) override;
    int lock(uint64_t offset, uint64_t length, LockKind kind, LockWait wait) override;
    int unlock(uint64_t offset, uint64_t length) override;
    int test_lock(uint64_t, uint64_t) override { return 0; } // one open: nobody else holds anything

    // The power fails at the k-th disk-changing call (write, flush or
    // truncation, counted from 1 since construction): that call and every
    // later call of any kind fail with EIO. An interrupted write counts as
    // unflushed, so the policy decides what of it lands.
    void crash_at_change(size_t k) { m_crash_at = k; }
    bool crashed() const { return m_crashed; }
    // Disk-changing calls so far (those refused after a crash excluded).
    size_t changes() const { return m_changes; }

    // The k-th call of `call` (counted from 1 from now on) fails with `error`;
    // with `short_write` a write instead stores and reports only half its bytes.
    void fail_call(IoCall call, size_t k, int error, bool short_write = false);
    size_t calls(IoCall call) const { return m_calls[static_cast<size_t>(call)]; }
    bool fault_fired() const { return m_fault_fired; }

    // Every disk-changing call that took effect or was cut off by the power loss, in order.
    struct Call {
        IoCall call;
        uint64_t offset; // write: where; truncation: the new length
        size_t length;
    };
    const std::vector<Call>& log() const { return m_log; }
    // The kind of call at which the power failed.
    std::optional<IoCall> crash_call() const { return m_crash_call; }

    // What reads see now: the durable state with every unflushed change applied.
    const Bytes& image() const { return m_current; }
    // The disk after a power loss at this moment.
    SurvivorImage survivor(const CrashPolicy& policy) const;

private:
    struct Change {
        bool truncation = false;
        uint64_t offset = 0; // truncation: the new length
        Bytes data;
    };
    bool refuse(IoCall call, bool changes_disk);
    void apply(const Change& change, Bytes& disk) const;

    Bytes m_durable;
    Bytes m_current;
    std::vector<Change> m_unflushed;
    std::vector<Call> m_log;
    std::optional<IoCall> m_crash_call;
    std::array<size_t, 5> m_calls{};
    size_t m_changes = 0;
    std::optional<size_t> m_crash_at;
    bool m_crashed = false;
    std::shared_ptr<SharedPower> m_power;
    struct Fault {
        IoCall call;
        size_t at; // value of the call counter that fails
        int error;
        bool short_write;
    };
    std::optional<Fault> m_fault;
    bool m_fault_fired = false;
    bool m_short_now = false; // the current write is the short one
};

// Text for test messages: "dropped", "kept", "sectors/7", "torn/7".
std::string PolicyName(const CrashPolicy& policy);

} // namespace morvex::qvd
