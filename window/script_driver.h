// The script driver: runs a script of inputs and checks against windows of
// the engine, from a thread of its own, while the program's threads run
// their accept loops. Before each command it waits until every other thread
// is idle, so that each command sees the effect of the one before; reads
// and changes of windows run on the window's own thread.
//
// Script lines (`#` starts a comment):
//   key KEYS          "Tab", "Shift+Tab", "Alt+N", "Ctrl+Home", "Enter", "a"
//   type TEXT         the rest of the line as typed characters
//   click FIELD [X Y], dblclick FIELD [X Y], rclick FIELD [X Y]
//   press FIELD [X Y], release FIELD [X Y]   the left button alone
//   drag FIELD X1 Y1 X2 Y2, wheel FIELD N
//   hover FIELD [X Y] the pointer moves there without a click
//   move X Y          the window to (X, Y) in its position units
//   get FIELD PROP [INDEX], set FIELD PROP [INDEX] VALUE
//   events            the events delivered since the last `events`
//   wait MS           timers see MS milliseconds pass
//   answer BUTTON     the next message box is answered with the button
//   shot NAME         a PNG of the window, frame and open popups included
//   close             the system close of the window
//   echo TEXT         prints the text
// Commands act on the active window (a frame's active MDI child). FIELD is a control number (negative for
// toolbar controls, 0 for the window). Programs add commands of their own.
#pragma once

#include "platform/geometry.h"
#include "platform/input.h"
#include "platform/message_queue.h"
#include "platform/scripted_input.h"

#include <chrono>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class Window;

struct ScriptOptions {
    std::string name = "script";              // for error messages: NAME:LINE: message
    std::string shots_directory;              // where `shot` writes; empty = the current directory
    platform::ScriptedInput* input = nullptr; // nullptr = straight into the platform's input
    std::chrono::milliseconds idle_timeout{5000};
};

class ScriptDriver {
public:
    ScriptDriver(ScriptOptions options, std::ostream& out, std::ostream& err);
    ~ScriptDriver();

    // A command of the program's own: it gets the rest of the line and
    // returns an error message, or nothing when it succeeded.
    using Command = std::function<std::optional<std::string>(std::string_view arguments)>;
    void AddCommand(std::string name, Command command);

    // Runs the whole script; 0 when every line succeeded, 1 after the first
    // failing line (reported on the error stream as NAME:LINE: message).
    int Run(std::string_view script);

    // For commands: waits until the program is idle (false on timeout).
    bool WaitIdle();
    // Runs `call` on the thread of the active window with that window (the
    // runtime lock held); false when there is no active window.
    bool WithActiveWindow(const std::function<void(Window&)>& call);
    std::ostream& out() { return m_out; }
    platform::ScriptedInput& input() { return *m_input; }

    // The events delivered to loop bodies since the last call, as "Name FIELD" lines.
    static std::vector<std::string> TakeEvents();
    // Starts recording delivered events (the driver does this itself).
    static void RecordEvents();

private:
    std::optional<std::string> execute(std::string_view line);
    // Activates the topmost window that can be when no window is active;
    // false when the program did not become idle afterwards.
    bool activate_when_none_is();
    std::optional<std::string> press_keys(std::string_view keys);
    std::optional<std::string> mouse(std::string_view command, std::string_view arguments);

    ScriptOptions m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    std::unique_ptr<platform::ScriptedInput> m_own_input;
    platform::ScriptedInput* m_input;
    std::map<std::string, Command, std::less<>> m_commands;
};

// Runs `call` on the thread that owns `window_handle`, waiting for it; false
// when the window is gone.
bool RunOnWindowThread(platform::WindowHandle window_handle, const std::function<void()>& call);

} // namespace morvex
