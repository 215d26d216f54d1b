// Whether another open holds a position lock, answered for most records
// without a system call. Every open that may take position locks raises the
// file's hold counter (hold_counter.h) after it has one; a test asks the
// kernel once for every position held elsewhere, and that answer stands for
// as long as the counter has not moved, for at most a short validity. A
// position the answer lists as held is tested again on its own, since a
// hold may end (RELEASE, a holder's death) without moving the counter.
//
// Opens that share no counter with this one (a network file system, another
// machine, shared memory refused, another memory namespace) announce
// themselves with a domain byte: each open holds the byte of its counter's
// domain, and an open that may hold without a counter holds the byte of
// domain 0. While another domain's byte is held, tests go to the kernel
// record by record; an open that may hold and finds another domain present
// when it announces itself waits out the validity before its first position
// lock, so that no answer given before it was visible still stands. See
// docs/qvd.md, "Holds, watches and locks", for why no hold is missed.
#pragma once

#include "files/qvd/file_io.h"
#include "files/qvd/hold_counter.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace morvex::qvd {

// The domain bytes, far above the position locks (domain numbers have 40 bits).
constexpr uint64_t DomainLocks = uint64_t{1} << 48;
constexpr uint64_t DomainSpan = uint64_t{1} << 40;
// How long an answer for all positions stands, and how long an open that may
// hold waits before its first position lock when another domain is present.
constexpr int64_t HeldAnswerNs = 25'000'000;
constexpr int64_t FirstHoldDelayNs = 4 * HeldAnswerNs;

enum class HoldAbility { None, MayHold };

class HeldPositions {
public:
    // `positions`: the offset of position 0 in the lock area.
    HeldPositions(FileIo& io, uint64_t positions) : m_io(io), m_positions(positions) {}

    // Takes the file's counter and announces this open. False when an open
    // that may hold cannot announce itself: it must not go on, as its holds
    // would be unseen.
    bool join(HoldAbility ability);
    void leave();

    // Before a position lock is taken, and once it is had.
    void before_hold();
    void after_hold() {
        if (m_counter)
            m_counter->raise();
    }

    // Whether another open holds position `position` (> 0). `access`
    // (0: none) names the store access the test is made in: within one
    // access the counter and the clock are looked at once, at its first test.
    // Its reads are ordered at that moment: no commit reaches what an access
    // reads, so a hold that begins later in the access begins after them.
    bool held_elsewhere(uint32_t position, uint64_t access = 0);

    bool uses_counter() const { return m_counter != nullptr; }

private:
    bool test(uint32_t position);
    void renew(uint64_t generation, int64_t now);
    bool other_domain_present();
    bool list_held(uint64_t first, uint64_t last);

    FileIo& m_io;
    uint64_t m_positions;
    std::unique_ptr<HoldCounter> m_counter;
    uint64_t m_domain_byte = 0;  // 0: none held
    int64_t m_first_hold_at = 0; // the clock's time before which no position is taken

    // The answer for all positions, valid while the counter reads m_generation
    // and the clock is below m_valid_until.
    bool m_answered = false;
    bool m_direct = false; // another domain present or too many holds: ask per position
    uint64_t m_generation = 0;
    int64_t m_valid_until = 0;
    uint64_t m_checked_in = 0;                         // the access whose first test checked the answer
    std::vector<std::pair<uint32_t, uint32_t>> m_held; // sorted ranges [first, last]
};

} // namespace morvex::qvd
