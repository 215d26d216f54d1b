#include "tests/support/child_process.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace morvex::testing {

ChildProcess::ChildProcess(const std::function<int()>& body) {
    m_pid = fork();
    if (m_pid != 0)
        return;
    int code = 127;
    try {
        code = body();
    } catch (...) {
    }
    _exit(code);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(other.m_pid), m_ended(other.m_ended), m_exit_code(other.m_exit_code), m_signal(other.m_signal) {
    other.m_pid = -1;
    other.m_ended = false;
}

ChildProcess::~ChildProcess() {
    kill();
}

void ChildProcess::reaped(bool waited, int status) {
    m_pid = -1;
    m_ended = true;
    if (!waited) // reaped elsewhere: it ended, how is unknown
        return;
    if (WIFEXITED(status))
        m_exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        m_signal = WTERMSIG(status);
}

bool ChildProcess::ended() {
    if (m_pid <= 0)
        return m_ended;
    int status = 0;
    pid_t got;
    while ((got = waitpid(m_pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (got == 0)
        return false;
    reaped(got == m_pid, status);
    return true;
}

bool ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ended()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void ChildProcess::kill() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    pid_t got;
    while ((got = waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
    }
    reaped(got == m_pid, status);
}

} // namespace morvex::testing
