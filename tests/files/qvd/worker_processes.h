// Worker processes for the multi-process QVD tests: each forked worker runs
// a body and sends its report (first failure and tallies) back through a
// pipe; it never returns into the test framework. A worker that may be killed
// logs its commits as it goes instead.
#pragma once

#include "runtime/error_state.h"
#include "runtime/fatal_error.h"
#include "tests/support/child_process.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <poll.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace morvex::qvd {

using Clock = std::chrono::steady_clock;

// What a worker process sends its parent when it ends: the first failure it
// met (empty when none) and its tallies.
struct Report {
    char failure[256];
    std::array<int64_t, 16> tally;
};

// The child's report pipe, for the fatal-error hook.
inline int g_report_fd = -1;

inline void send_report(const Report& report) {
    const char* bytes = reinterpret_cast<const char*>(&report);
    size_t done = 0;
    while (done < sizeof report) {
        const ssize_t n = write(g_report_fd, bytes + done, sizeof report - done);
        if (n <= 0 && errno != EINTR)
            break;
        if (n > 0)
            done += static_cast<size_t>(n);
    }
}

// A writer that is killed at a moment of the parent's choosing cannot report
// at its end: it logs every committed transaction as it goes, and a failure
// as an entry of its own. Entries are whole (a pipe takes a write of less
// than PIPE_BUF bytes at once).
struct CommitLog {
    int64_t delta;
    int32_t count_delta;
    int32_t failed;
    char failure[112];
};

inline int g_commit_log_fd = -1; // in such a writer only

inline void send_log(const CommitLog& entry) {
    (void)!write(g_commit_log_fd, &entry, sizeof entry);
}

// A fatal runtime error in a worker (a corruption found by the container)
// ends it with the text as its failure instead of a message box.
inline void report_fatal_error(std::string_view text, int32_t) {
    if (g_commit_log_fd >= 0) {
        CommitLog entry{0, 0, 1, {}};
        std::snprintf(entry.failure, sizeof entry.failure, "fatal error: %.*s", static_cast<int>(text.size()),
                      text.data());
        send_log(entry);
        _exit(3);
    }
    Report report{};
    std::snprintf(report.failure, sizeof report.failure, "fatal error: %.*s", static_cast<int>(text.size()),
                  text.data());
    send_report(report);
    _exit(3);
}

inline void fail(Report& report, const char* format, ...) __attribute__((format(printf, 2, 3)));
inline void fail(Report& report, const char* format, ...) {
    if (report.failure[0])
        return; // the first failure is the one worth reading
    va_list args;
    va_start(args, format);
    std::vsnprintf(report.failure, sizeof report.failure, format, args);
    va_end(args);
}

inline bool failed(const Report& report) {
    return report.failure[0] != 0;
}

// Worker processes forked from the test, each running a body that returns
// its report; the report comes back through a pipe and the body never
// returns into the test framework. Workers still running when this ends are
// killed.
class Workers {
public:
    ~Workers() {
        for (Worker& w : m_workers) {
            w.process.kill();
            close(w.from_child);
        }
    }

    bool start(const std::function<Report()>& body) {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        testing::ChildProcess process([&] {
            close(fds[0]);
            g_report_fd = fds[1];
            SetFatalErrorHook(report_fatal_error);
            ClearError();
            const Report report = body();
            send_report(report);
            return failed(report) ? 1 : 0;
        });
        close(fds[1]);
        if (!process.started()) {
            close(fds[0]);
            return false;
        }
        m_workers.push_back(Worker{std::move(process), fds[0]});
        return true;
    }

    // Every worker's report, waiting until `deadline` at most; a worker that
    // ended without one (a crash) or ran late gets a failure of its own.
    std::vector<Report> collect(Clock::time_point deadline) {
        std::vector<Report> reports;
        for (Worker& w : m_workers) {
            Report report{};
            const size_t got = read_report(w.from_child, report, deadline);
            if (got < sizeof report && Clock::now() >= deadline) {
                w.process.kill();
                report = Report{};
                fail(report, "worker did not finish in time (killed)");
                reports.push_back(report);
                continue;
            }
            w.process.wait();
            if (got < sizeof report) {
                report = Report{};
                if (w.process.signal() != 0)
                    fail(report, "worker died of signal %d", w.process.signal());
                else
                    fail(report, "worker exited with %d and no report", w.process.exit_code());
            } else if (!failed(report) && w.process.exit_code() != 0) {
                fail(report, "worker ended with exit status %d, signal %d", w.process.exit_code(),
                     w.process.signal());
            }
            reports.push_back(report);
        }
        return reports;
    }

private:
    struct Worker {
        testing::ChildProcess process;
        int from_child;
    };

    static size_t read_report(int fd, Report& report, Clock::time_point deadline) {
        char* bytes = reinterpret_cast<char*>(&report);
        size_t done = 0;
        while (done < sizeof report) {
            // Past the deadline a report already sent is still taken.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            const ssize_t n = read(fd, bytes + done, sizeof report - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // the worker ended without a (whole) report
            done += static_cast<size_t>(n);
        }
        return done;
    }

    std::vector<Worker> m_workers;
};

// Time the parent allows the workers beyond their own run time before it
// counts them as hung (sanitizer builds are slow).
constexpr std::chrono::seconds HangMargin{60};

} // namespace morvex::qvd
