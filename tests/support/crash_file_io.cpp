#include "tests/support/crash_file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace morvex::qvd {

CrashFileIo::CrashFileIo(Bytes image, std::shared_ptr<SharedPower> power)
    : m_durable(image), m_current(std::move(image)), m_power(std::move(power)) {}

bool CrashFileIo::refuse(IoCall call, bool changes_disk) {
    if (m_power && m_power->failed)
        m_crashed = true;
    if (m_crashed) {
        errno = EIO;
        return true;
    }
    const size_t n = ++m_calls[static_cast<size_t>(call)];
    const size_t changes = m_power ? m_power->changes : m_changes;
    const std::optional<size_t> crash_at = m_power ? m_power->crash_at : m_crash_at;
    if (changes_disk && crash_at && changes + 1 >= *crash_at) {
        m_crashed = true;
        if (m_power)
            m_power->failed = true;
        m_crash_call = call;
        errno = EIO;
        return true;
    }
    if (m_fault && !m_fault_fired && m_fault->call == call && m_fault->at == n) {
        m_fault_fired = true;
        if (!m_fault->short_write) {
            errno = m_fault->error;
            return true;
        }
        m_short_now = true;
    }
    if (changes_disk) {
        ++m_changes;
        if (m_power)
            ++m_power->changes;
    }
    return false;
}

void CrashFileIo::fail_call(IoCall call, size_t k, int error, bool short_write) {
    m_fault = Fault{call, m_calls[static_cast<size_t>(call)] + k, error, short_write};
    m_fault_fired = false;
}

int64_t CrashFileIo::read_at(uint64_t offset, void* buffer, size_t length) {
    if (refuse(IoCall::Read, false))
        return -1;
    if (offset >= m_current.size())
        return 0;
    const size_t n = std::min<uint64_t>(length, m_current.size() - offset);
    std::memcpy(buffer, m_current.data() + offset, n);
    return static_cast<int64_t>(n);
}

int64_t CrashFileIo::write_at(uint64_t offset, const void* buffer, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const bool was_crashed = m_crashed;
    if (refuse(IoCall::Write, true)) {
        // The write under way when the power failed: the policy decides what of it lands.
        if (!was_crashed && m_crashed) {
            m_unflushed.push_back(Change{false, offset, Bytes(bytes, bytes + length)});
            m_log.push_back(Call{IoCall::Write, offset, length});
        }
        return -1;
    }
    if (m_short_now) {
        m_short_now = false;
        length /= 2;
    }
    m_log.push_back(Call{IoCall::Write, offset, length});
    Change change{false, offset, Bytes(bytes, bytes + length)};
    apply(change, m_current);
    m_unflushed.push_back(std::move(change));
    return static_cast<int64_t>(length);
}

int CrashFileIo::flush() {
    if (refuse(IoCall::Flush, true))
        return -1;
    m_log.push_back(Call{IoCall::Flush, 0, 0});
    m_durable = m_current;
    m_unflushed.clear();
    return 0;
}

int64_t CrashFileIo::size() {
    if (m_crashed) {
        errno = EIO;
        return -1;
    }
    return static_cast<int64_t>(m_current.size());
}

int CrashFileIo::truncate(uint64_t length) {
    if (refuse(IoCall::Truncate, true))
        return -1;
    m_log.push_back(Call{IoCall::Truncate, length, 0});
    Change change{true, length, {}};
    apply(change, m_current);
    m_unflushed.push_back(std::move(change));
    return 0;
}

int CrashFileIo::lock(uint64_t, uint64_t, LockKind, LockWait) {
    return refuse(IoCall::Lock, false) ? -1 : 0;
}

int CrashFileIo::unlock(uint64_t, uint64_t) {
    return m_crashed ? (errno = EIO, -1) : 0;
}

void CrashFileIo::apply(const Change& change, Bytes& disk) const {
    if (change.truncation) {
        disk.resize(change.offset);
        return;
    }
    if (disk.size() < change.offset + change.data.size())
        disk.resize(change.offset + change.data.size());
    std::copy(change.data.begin(), change.data.end(), disk.begin() + static_cast<ptrdiff_t>(change.offset));
}

SurvivorImage CrashFileIo::survivor(const CrashPolicy& policy) const {
    SurvivorImage out;
    out.bytes = m_durable;
    if (policy.fate == UnflushedFate::Dropped)
        return out;
    if (policy.fate == UnflushedFate::Kept) {
        for (const Change& change : m_unflushed)
            apply(change, out.bytes);
        return out;
    }
    std::mt19937_64 random(policy.seed);
    const bool torn = policy.fate == UnflushedFate::SectorsTorn;
    for (const Change& change : m_unflushed) {
        if (change.truncation) {
            if (random() % 2 == 0)
                apply(change, out.bytes);
            continue;
        }
        // Sector by sector, at the disk's own 512-byte boundaries.
        uint64_t at = change.offset;
        const uint64_t end = change.offset + change.data.size();
        while (at < end) {
            const uint64_t sector_end = std::min(end, (at / SectorSize + 1) * SectorSize);
            // Torn: 45 % kept, 45 % dropped, 10 % garbage; otherwise half kept, half dropped.
            const unsigned roll = static_cast<unsigned>(random() % 100);
            const bool keep = torn ? roll < 45 : roll < 50;
            const bool garble = torn && roll >= 90;
            if (keep || garble) {
                Change piece{false, at,
                             Bytes(change.data.begin() + static_cast<ptrdiff_t>(at - change.offset),
                                   change.data.begin() + static_cast<ptrdiff_t>(sector_end - change.offset))};
                if (garble) {
                    for (uint8_t& b : piece.data)
                        b = static_cast<uint8_t>(random());
                    out.torn_sectors.push_back(at / SectorSize * SectorSize);
                }
                apply(piece, out.bytes);
            }
            at = sector_end;
        }
    }
    return out;
}

std::string PolicyName(const CrashPolicy& policy) {
    switch (policy.fate) {
    case UnflushedFate::Dropped:
        return "dropped";
    case UnflushedFate::Kept:
        return "kept";
    case UnflushedFate::Sectors:
        return "sectors/" + std::to_string(policy.seed);
    case UnflushedFate::SectorsTorn:
        return "torn/" + std::to_string(policy.seed);
    }
    return "?";
}

} // namespace morvex::qvd
