// A child process forked from the test to run code of the test itself: a
// second writer to be killed mid-write, a second process that holds a lock
// or writes at the same time. (A program run as a child is RunCommand in
// tests/support/command_runner.h.)
//
// The child runs the body and ends with its result as exit status; it never
// returns into the test framework (an exception ends it with status 127).
// A child still running when the object goes is killed and reaped.
#pragma once

#include <chrono>
#include <functional>
#include <sys/types.h>

namespace morvex::testing {

class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body);
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the fork failed.
    bool started() const { return m_pid > 0 || m_ended; }
    pid_t pid() const { return m_pid; }

    // Whether the child has ended (reaping it if so), without waiting.
    bool ended();
    // Waits until the child ends, at most `timeout`; whether it ended.
    bool wait(std::chrono::milliseconds timeout = std::chrono::hours(1));
    // Kills the child (SIGKILL) unless it ended already, and reaps it.
    void kill();

    // How it ended: the exit status, or -1 when it did not exit normally
    // (killed, or not ended yet); the signal that ended it, or 0.
    int exit_code() const { return m_exit_code; }
    int signal() const { return m_signal; }

private:
    void reaped(bool waited, int status);

    pid_t m_pid = -1;
    bool m_ended = false;
    int m_exit_code = -1;
    int m_signal = 0;
};

} // namespace morvex::testing
