#include "app/monkey.h"

#include "app/main_frame.h"
#include "app/program.h"
#include "app/program_script.h"
#include "platform/message_queue.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "window/application_frame.h"
#include "window/control.h"
#include "window/scripted_run.h"
#include "window/window.h"

#include <array>
#include <atomic>
#include <map>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tavemon {

namespace {

constexpr std::array<const char*, 24> Keys = {
    "Tab",   "Shift+Tab", "Enter",     "Escape",   "Up",     "Down",   "Left",      "Right",
    "PgUp",  "PgDn",      "Home",      "End",      "Space",  "Alt+O",  "Alt+C",     "Alt+T",
    "Alt+S", "F10",       "Ctrl+Home", "Ctrl+End", "Insert", "Delete", "Backspace", "F4",
};
constexpr std::array<const char*, 6> Texts = {"1", "2001", "August", "x", "20/08/2002", "Z"};

class Monkey {
public:
    Monkey(long inputs, unsigned long seed, std::ostream& err) : m_left(inputs), m_random(seed), m_err(err) {}

    // The driver's side: one random input at a time; false when the program stopped answering.
    bool run(morvex::ScriptDriver& driver) {
        for (; m_left > 0; --m_left) {
            const std::string line = next_input(driver);
            if (!driver.WaitIdle()) {
                m_err << "tavemon: the program stopped answering before \"" << line << "\"\n";
                return false;
            }
            // An input a window cannot take (a control that is gone) only counts.
            if (driver.Run(line) != 0)
                ++m_counts["refused"];
        }
        m_done = true;
        return true;
    }

    bool done() const { return m_done; }
    void count(const std::string& what) { ++m_counts[what]; }
    const std::map<std::string, long>& counts() const { return m_counts; }

private:
    std::string next_input(morvex::ScriptDriver& driver) {
        const int choice = std::uniform_int_distribution<int>(0, 99)(m_random);
        const auto pick = [&](auto& list) {
            return list[std::uniform_int_distribution<std::size_t>(0, list.size() - 1)(m_random)];
        };
        if (choice < 35) {
            ++m_counts["keys"];
            return std::string("key ") + pick(Keys);
        }
        if (choice < 40) {
            ++m_counts["typing"];
            return std::string("type ") + pick(Texts);
        }
        if (choice < 93) {
            const std::vector<int32_t> controls = active_controls(driver);
            if (!controls.empty()) {
                const int32_t control = pick(controls);
                if (choice < 80) {
                    ++m_counts["clicks"];
                    return "click " + std::to_string(control);
                }
                if (choice < 85) {
                    ++m_counts["double clicks"];
                    return "dblclick " + std::to_string(control);
                }
                if (choice < 88) {
                    ++m_counts["right clicks"];
                    return "rclick " + std::to_string(control);
                }
                ++m_counts["wheel turns"];
                return "wheel " + std::to_string(control) + (choice % 2 ? " 1" : " -1");
            }
        }
        if (choice < 96) {
            ++m_counts["moves"];
            return "move " + std::to_string(std::uniform_int_distribution<int>(0, 300)(m_random)) + " " +
                   std::to_string(std::uniform_int_distribution<int>(0, 200)(m_random));
        }
        if (choice < 98) {
            ++m_counts["toolbar presses"];
            return "press-toolbar " + std::to_string(std::uniform_int_distribution<int>(-3, -1)(m_random));
        }
        ++m_counts["closes"];
        return "close";
    }

    // The visible, enabled controls of the active window.
    static std::vector<int32_t> active_controls(morvex::ScriptDriver& driver) {
        std::vector<int32_t> controls;
        driver.WithActiveWindow([&](morvex::Window& window) {
            for (const auto& control : window.controls())
                if (control->feq() != 0 && control->effectively_visible() && control->effectively_enabled() &&
                    !control->rect().empty())
                    controls.push_back(control->feq());
        });
        return controls;
    }

    long m_left;
    std::mt19937 m_random;
    std::ostream& m_err;
    std::map<std::string, long> m_counts;
    std::atomic<bool> m_done{false};
};

} // namespace

int RunMonkey(long inputs, unsigned long seed, std::ostream& out, std::ostream& err) {
    morvex::platform::use_manual_timer_clock();
    Monkey monkey(inputs, seed, err);
    morvex::ScriptOptions options;
    options.name = "monkey";
    // Refused inputs are only counted: the driver's complaints go nowhere.
    std::ostream refusals(nullptr);
    const int status = morvex::RunUnderDriver(
        options, out, refusals,
        [&](morvex::ScriptDriver& driver) {
            // A press of the frame's toolbar, whichever window is active.
            driver.AddCommand(
                "press-toolbar", [&driver](std::string_view button) -> std::optional<std::string> {
                    morvex::platform::WindowHandle frame = 0;
                    driver.WithActiveWindow([&](morvex::Window&) {
                        if (morvex::ApplicationFrame* active = morvex::ApplicationFrame::Active())
                            frame = active->handle();
                    });
                    if (frame == 0 || !morvex::platform::is_window_enabled(frame))
                        return "the frame is not there to take it";
                    morvex::platform::activate_window(frame);
                    driver.WaitIdle();
                    return driver.Run("click " + std::string(button)) == 0
                               ? std::nullopt
                               : std::optional<std::string>("refused");
                });
            const bool answered = monkey.run(driver);
            return answered ? 0 : 1;
        },
        [&] {
            // The program starts again whenever its frame was closed.
            while (!monkey.done()) {
                ProgramCode();
                if (!monkey.done())
                    monkey.count("program restarts");
            }
        });
    for (const auto& [what, count] : monkey.counts())
        out << what << ": " << count << "\n";
    return status;
}

} // namespace tavemon
