// A private Xvfb for tests and benchmarks that need an X server: started on
// a display number it picks itself (-displayfd), so that runs in parallel
// never collide, and stopped when the object goes.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace morvex::testing {

class XvfbServer {
public:
    // Starts Xvfb with a 1280x1024 24-bit screen and any extra arguments;
    // nullptr with the reason in `error` when Xvfb is missing or does not
    // come up within ten seconds.
    static std::unique_ptr<XvfbServer> start(std::string& error,
                                             const std::vector<std::string>& extra_arguments = {});
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    int display_number() const { return m_display_number; }
    // ":N", for XOpenDisplay.
    std::string display_name() const { return ":" + std::to_string(m_display_number); }

private:
    XvfbServer(pid_t pid, int display_number) : m_pid(pid), m_display_number(display_number) {}
    pid_t m_pid;
    int m_display_number;
};

} // namespace morvex::testing
