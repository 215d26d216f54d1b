// The hold counter of a QVD file: a small shared-memory object, one per file
// on this machine, that every open of the file maps. An open that takes a
// position lock (HOLD, LOCK) raises the counter after the lock is had, so
// that another open can test all positions at once and trust the answer for
// as long as the counter stays where it was (held_positions.h).
//
// The object is named after the file's device and inode. Every user keeps a
// shared lock on the object's first byte while it has it mapped; the last one
// to close (the one that gets that byte exclusively) removes the name, and an
// open that finds the name gone or renamed to a new object after it locked
// the byte starts again, so that all opens of the file always map the same
// object. A process that dies leaves the object and its counter as they were:
// the next last close removes it.
#pragma once

#include "files/qvd/file_io.h"

#include <cstdint>
#include <memory>
#include <string>

namespace morvex::qvd {

enum class CounterAccess { Read, Raise };

class HoldCounter {
public:
    // The file's counter, or nullptr when it cannot be had (no shared memory,
    // no permission to it, an object not made for this file's users).
    // CounterAccess::Raise: the open may take position locks, so it needs
    // to write the counter.
    static std::unique_ptr<HoldCounter> Open(const FileIdentity& file, CounterAccess access);
    ~HoldCounter();
    HoldCounter(const HoldCounter&) = delete;
    HoldCounter& operator=(const HoldCounter&) = delete;

    uint64_t value() const;
    void raise();
    // A random number fixed when the object was made, never 0: two opens with
    // the same domain share one counter. Opens on this machine that see
    // different shared memory (containers with their own) get different ones.
    uint64_t domain() const { return m_domain; }

    // The object's name for a file (for tests).
    static std::string NameFor(const FileIdentity& file);

private:
    HoldCounter(int fd, uint64_t* words, std::string name, bool writable, uint64_t domain);

    int m_fd;
    uint64_t* m_words; // [0] the counter, [1] the domain
    std::string m_name;
    bool m_writable;
    uint64_t m_domain;
    int m_process; // a child that inherited the object shares our lock: only we may remove it
};

} // namespace morvex::qvd
