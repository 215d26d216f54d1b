#include "tests/support/xvfb_server.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Under ThreadSanitizer: when a test stops an X server under a client,
// libX11's own I/O-error path unlocks the display's mutex twice (once in
// _XIOError, once in the call that met the error).
extern "C" const char* __tsan_default_suppressions() {
    return "mutex:libX11.so\n";
}

namespace morvex::testing {

namespace {

std::string find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream directories(path ? path : "/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

void stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

std::unique_ptr<XvfbServer> XvfbServer::start(std::string& error,
                                              const std::vector<std::string>& extra_arguments) {
    const std::string program = find_program("Xvfb");
    if (program.empty()) {
        error = "Xvfb is not installed (Debian package xvfb; scripts/deps installs it)";
        return nullptr;
    }
    int display_pipe[2];
    if (pipe2(display_pipe, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return nullptr;
    }
    std::vector<std::string> arguments = {program,     "-displayfd", std::to_string(display_pipe[1]),
                                          "-screen",   "0",          "1280x1024x24",
                                          "-nolisten", "tcp",        "-noreset"};
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        close(display_pipe[0]);
        close(display_pipe[1]);
        return nullptr;
    }
    if (pid == 0) {
        // The server goes with the test process, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        fcntl(display_pipe[1], F_SETFD, 0);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(display_pipe[1]);

    // Xvfb writes the display number it took, then a newline, once it accepts connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (number.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{display_pipe[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            error = "Xvfb did not start within ten seconds";
            break;
        }
        char buffer[16];
        const ssize_t got = read(display_pipe[0], buffer, sizeof buffer);
        if (got <= 0) {
            error = "Xvfb stopped before it accepted connections";
            break;
        }
        number.append(buffer, static_cast<std::size_t>(got));
    }
    close(display_pipe[0]);
    if (number.find('\n') == std::string::npos) {
        stop(pid);
        return nullptr;
    }
    return std::unique_ptr<XvfbServer>(new XvfbServer(pid, std::atoi(number.c_str())));
}

XvfbServer::~XvfbServer() {
    stop(m_pid);
}

} // namespace morvex::testing
