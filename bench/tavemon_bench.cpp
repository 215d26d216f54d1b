// The program's costs. On a private Xvfb: from the process start to its
// first frame reaching the server, for the program and for --pick-date. In
// the process, headless: a calendar window opened to its first frame and
// closed, and the redraw of a calendar after a change of month. And the
// resident memory with the frame, three demonstration pages and a calendar
// open.
#include "app/calendar_class.h"
#include "platform/backend_choice.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tests/support/xvfb_server.h"
#include "window/accept.h"
#include "window/definition_services.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace morvex;
using Clock = std::chrono::steady_clock;

// Starts tavemon with `arguments` and the display, and times it to the byte
// it writes when its first frame has reached the server.
double seconds_to_first_frame(const std::string& display, const std::vector<std::string>& arguments) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    std::vector<std::string> environment{"DISPLAY=" + display,
                                         "MORVEX_FIRST_FRAME_FD=" + std::to_string(fds[1]),
                                         "MORVEX_INIDIR=/tmp", "HOME=/tmp"};
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv_text{TAVEMON};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, TAVEMON, nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    close(fds[1]);
    pollfd waiting{fds[0], POLLIN, 0};
    const bool arrived = poll(&waiting, 1, 10000) == 1;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fds[0]);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return arrived ? seconds : -1;
}

struct Server {
    std::unique_ptr<testing::XvfbServer> xvfb;
    std::string error;
    Server() : xvfb(testing::XvfbServer::start(error)) {}
};

void time_to_first_frame(benchmark::State& state, const std::vector<std::string>& arguments) {
    static Server server;
    if (!server.xvfb) {
        state.SkipWithError(("no Xvfb: " + server.error).c_str());
        return;
    }
    for (auto _ : state) {
        const double seconds = seconds_to_first_frame(server.xvfb->display_name(), arguments);
        if (seconds < 0) {
            state.SkipWithError("tavemon showed no frame");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_ProgramStartToFirstFrame(benchmark::State& state) {
    time_to_first_frame(state, {});
}
BENCHMARK(BM_ProgramStartToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_PickDateStartToFirstFrame(benchmark::State& state) {
    time_to_first_frame(state, {"--pick-date"});
}
BENCHMARK(BM_PickDateStartToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// LookupDate's window over a calendar model, headless, in this process.
class CalendarWindow : public tavemon::CalendarView {
public:
    CalendarWindow() : calendar(tavemon::WeekLayout::MondayFirst, *this) {
        InitializeThreads();
        calendar.FillMonthNames();
    }
    void open() {
        window.Load("tavemon$taven002", "P1$WINDOW");
        window.Bind(2, calendar.MonthGrid);
        window.Bind(7, calendar.Day);
        window.Bind(8, calendar.MonthName);
        window.Bind(8, calendar.MonthNameList);
        window.Bind(9, calendar.Year);
        window.Open();
        calendar.Init(73284); // 20 August 2001
        platform::update_window(window.handle());
    }
    void SelectCell(int32_t row, int32_t column) override {
        SetProperty(&window, 2, Prop::Selection, std::to_string(row));
        SetProperty(&window, 2, Prop::Column, std::to_string(column));
    }
    void SetDayRange(int32_t, int32_t) override {}
    void Redisplay() override { window.Display(); }

    tavemon::CalendarClass calendar;
    Window window;
};

void BM_CalendarOpenToFirstFrame(benchmark::State& state) {
    platform::install_backend("headless");
    for (auto _ : state) {
        CalendarWindow calendar;
        calendar.open();
        calendar.window.Close();
    }
}
BENCHMARK(BM_CalendarOpenToFirstFrame)->Unit(benchmark::kMicrosecond);

void BM_RedrawAfterMonthChange(benchmark::State& state) {
    platform::install_backend("headless");
    CalendarWindow calendar;
    calendar.open();
    int month = 0;
    for (auto _ : state) {
        calendar.calendar.MonthName.assign(
            tavemon::CalendarClass::MonthNames[static_cast<std::size_t>(month++ % 12)]);
        calendar.calendar.FillMonth();
        calendar.calendar.SelectDay();
        platform::update_window(calendar.window.handle());
    }
    calendar.window.Close();
}
BENCHMARK(BM_RedrawAfterMonthChange)->Unit(benchmark::kMicrosecond);

// The program under a script that opens three pages and a calendar, then
// prints its resident memory.
void BM_ResidentMemoryFramePagesAndCalendar(benchmark::State& state) {
    const std::string script = "/tmp/tavemon_bench_memory.script";
    std::ofstream(script)
        << "wait-for aWindow\nactivate Main\nclick -1\nwait-for aWindow\nactivate Main\nclick -1\n"
           "wait-for aWindow\nclick 36\nwait-for LookupDate\nmemory\n";
    long kilobytes = 0;
    for (auto _ : state) {
        const std::string command =
            std::string(TAVEMON) + " --backend headless --script " + script + " 2>/dev/null";
        FILE* out = popen(("MORVEX_INIDIR=/tmp " + command).c_str(), "r");
        if (!out) {
            state.SkipWithError("cannot run tavemon");
            return;
        }
        char line[64] = {};
        if (std::fgets(line, sizeof line, out))
            kilobytes = std::atol(line);
        pclose(out);
    }
    state.counters["resident_MB"] = static_cast<double>(kilobytes) / 1024.0;
}
BENCHMARK(BM_ResidentMemoryFramePagesAndCalendar)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
