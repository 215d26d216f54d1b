// The test for positions held elsewhere: one answer for all positions while
// the hold counter stands still, the kernel per position otherwise.
#include "files/qvd/held_positions.h"

#include <algorithm>
#include <ctime>
#include <thread>

namespace morvex::qvd {

namespace {

// More ranges held elsewhere than this and the answer is not kept: every
// position is asked for on its own.
constexpr size_t MaxHeldRanges = 64;
constexpr uint32_t LastPosition = 0xFFFFFFFFu;

// The coarse monotonic clock: a memory read, a tick (at most 10 ms) behind
// at worst, which the margin of FirstHoldDelayNs over HeldAnswerNs covers.
// It stops while the machine sleeps, but so does every open that could hold
// against an answer made here: an open with a counter is on the machine
// whose kernel keeps the file's locks, and every other open of the file
// (another container, a network client served from here) goes through it.
int64_t clock_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

bool HeldPositions::join(HoldAbility ability) {
    FileIdentity identity;
    if (m_io.local_identity(identity))
        m_counter = HoldCounter::Open(identity, ability == HoldAbility::MayHold ? CounterAccess::Raise
                                                                                : CounterAccess::Read);
    if (m_counter) {
        const uint64_t byte = DomainLocks + m_counter->domain();
        if (m_io.lock(byte, 1, LockKind::Shared, LockWait::No) == 0)
            m_domain_byte = byte;
        else
            m_counter.reset(); // not announced: this open goes without
    }
    if (!m_counter && ability == HoldAbility::MayHold) {
        if (m_io.lock(DomainLocks, 1, LockKind::Shared, LockWait::No) != 0)
            return false;
        m_domain_byte = DomainLocks;
    }
    // Announced first, looked second: of this open and a reader of another
    // domain, at least the later one to look sees the other. When this open
    // sees one, that reader may still trust an answer given before this
    // open's byte was there; it stops trusting it within HeldAnswerNs.
    if (ability == HoldAbility::MayHold && other_domain_present())
        m_first_hold_at = clock_ns() + FirstHoldDelayNs;
    return true;
}

void HeldPositions::leave() {
    if (m_domain_byte != 0)
        m_io.unlock(m_domain_byte, 1);
    m_domain_byte = 0;
    m_counter.reset();
    m_answered = false;
    m_held.clear();
}

void HeldPositions::before_hold() {
    if (m_first_hold_at == 0)
        return;
    for (int64_t now = clock_ns(); now < m_first_hold_at; now = clock_ns())
        std::this_thread::sleep_for(std::chrono::nanoseconds(m_first_hold_at - now));
    m_first_hold_at = 0;
}

bool HeldPositions::held_elsewhere(uint32_t position, uint64_t access) {
    if (!m_counter)
        return test(position);
    if (access == 0 || access != m_checked_in) {
        // The counter is read before the clock and before any test of a
        // renewed answer: a hold whose raise this read misses moves the
        // counter later.
        const uint64_t generation = m_counter->value();
        const int64_t now = clock_ns();
        if (!m_answered || generation != m_generation || now >= m_valid_until)
            renew(generation, now);
        m_checked_in = access;
    }
    if (m_direct)
        return test(position);
    auto after =
        std::upper_bound(m_held.begin(), m_held.end(), position,
                         [](uint32_t p, const std::pair<uint32_t, uint32_t>& r) { return p < r.first; });
    if (after == m_held.begin() || std::prev(after)->second < position)
        return false;
    return test(position); // listed: the hold may have ended since
}

bool HeldPositions::test(uint32_t position) {
    return m_io.test_lock(m_positions + position, 1) == 1;
}

void HeldPositions::renew(uint64_t generation, int64_t now) {
    m_answered = true;
    m_generation = generation;
    m_valid_until = now + HeldAnswerNs;
    m_held.clear();
    m_direct = other_domain_present() || !list_held(1, LastPosition);
    if (m_direct)
        m_held.clear();
}

bool HeldPositions::other_domain_present() {
    const uint64_t own = m_domain_byte;
    const uint64_t end = DomainLocks + DomainSpan;
    // A failed test counts as a presence: the kernel is asked per position.
    if (own > DomainLocks && m_io.test_lock(DomainLocks, own - DomainLocks) != 0)
        return true;
    return own + 1 < end && m_io.test_lock(own + 1, end - own - 1) != 0;
}

// Lists the ranges of positions in [first, last] that other opens lock: a
// lock found splits the range around it, until no part holds another.
bool HeldPositions::list_held(uint64_t first, uint64_t last) {
    std::vector<std::pair<uint64_t, uint64_t>> todo{{first, last}};
    while (!todo.empty()) {
        const auto [a, b] = todo.back();
        todo.pop_back();
        uint64_t found = 0, length = 0;
        const int result = m_io.find_lock(m_positions + a, b - a + 1, found, length);
        if (result < 0)
            return false;
        if (result == 0)
            continue;
        if (m_held.size() == MaxHeldRanges)
            return false;
        const uint64_t start = std::clamp(found, m_positions + a, m_positions + b) - m_positions;
        const uint64_t end =
            std::clamp(found + std::max<uint64_t>(length, 1) - 1, m_positions + start, m_positions + b) -
            m_positions;
        m_held.emplace_back(static_cast<uint32_t>(start), static_cast<uint32_t>(end));
        if (start > a)
            todo.emplace_back(a, start - 1);
        if (end < b)
            todo.emplace_back(end + 1, b);
    }
    std::sort(m_held.begin(), m_held.end());
    return true;
}

} // namespace morvex::qvd
