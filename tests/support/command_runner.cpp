#include "tests/support/command_runner.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morvex::testing {

namespace {

void close_both(int (&fds)[2]) {
    for (int& fd : fds)
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
}

} // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extra_environment) {
    CommandResult result;
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        result.err = std::string("pipe: ") + std::strerror(errno);
        close_both(in), close_both(out), close_both(err);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> environment_strings;
    for (char** e = environ; *e; ++e)
        environment_strings.emplace_back(*e);
    for (const std::string& extra : extra_environment)
        environment_strings.push_back(extra);
    std::vector<char*> environment;
    for (std::string& e : environment_strings)
        environment.push_back(e.data());
    environment.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]), close(out[1]), close(err[1]);
    in[0] = out[1] = err[1] = -1;
    if (spawned != 0) {
        result.err = "cannot start " + argv[0] + ": " + std::strerror(spawned);
        close_both(in), close_both(out), close_both(err);
        return result;
    }
    // Standard input goes in whole (small inputs), then the pipes are drained together.
    std::size_t written = 0;
    signal(SIGPIPE, SIG_IGN);
    while (written < input.size()) {
        const ssize_t n = write(in[1], input.data() + written, input.size() - written);
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    close(in[1]);
    in[1] = -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            result.timed_out = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && !result.timed_out)
        result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

CommandResult RunToolCommand(const ToolCommand& command, std::span<const std::string_view> args) {
    std::ostringstream out, err;
    CommandResult result;
    result.exit_code = command(args, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

CommandResult RunToolCommand(const ToolCommand& command, const std::vector<std::string>& args) {
    const std::vector<std::string_view> views(args.begin(), args.end());
    return RunToolCommand(command, std::span<const std::string_view>(views));
}

} // namespace morvex::testing
