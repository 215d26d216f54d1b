// A mutex the thread-safety analysis knows, and the two ways to hold it: for
// a scope (MutexLock), or for a scope that lets go in between and waits on a
// condition variable (UniqueMutexLock). std::mutex itself carries no
// annotations in libstdc++, so the platform's and the runtime's locks use these.
#pragma once

#include "platform/thread_annotations.h"

#include <condition_variable>
#include <mutex>

namespace morvex::platform {

class MORVEX_CAPABILITY("mutex") Mutex {
public:
    constexpr Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() MORVEX_ACQUIRE() { m_mutex.lock(); }
    void unlock() MORVEX_RELEASE() { m_mutex.unlock(); }

private:
    friend class UniqueMutexLock;
    std::mutex m_mutex;
};

class MORVEX_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) MORVEX_ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~MutexLock() MORVEX_RELEASE() { m_mutex.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& m_mutex;
};

// Held from construction to destruction, for waits on a condition variable:
// they give the mutex up while they sleep, as std::condition_variable does,
// and hold it again when they return.
class MORVEX_SCOPED_CAPABILITY UniqueMutexLock {
public:
    explicit UniqueMutexLock(Mutex& mutex) MORVEX_ACQUIRE(mutex) : m_lock(mutex.m_mutex) {}
    ~UniqueMutexLock() MORVEX_RELEASE() {}
    UniqueMutexLock(const UniqueMutexLock&) = delete;
    UniqueMutexLock& operator=(const UniqueMutexLock&) = delete;

    void wait(std::condition_variable& condition) { condition.wait(m_lock); }
    template <class Clock, class Duration>
    std::cv_status wait_until(std::condition_variable& condition,
                              const std::chrono::time_point<Clock, Duration>& deadline) {
        return condition.wait_until(m_lock, deadline);
    }

private:
    std::unique_lock<std::mutex> m_lock;
};

} // namespace morvex::platform
