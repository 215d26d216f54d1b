// morvex show: opens a window of a window definition source with an accept
// loop that records every event, and runs a script of inputs against it
// (window/script_driver.h). Without a script it shows the window until it
// is closed (x11) or renders it once (headless, with --shots).
#include "platform/backend.h"
#include "platform/backend_choice.h"
#include "platform/charset.h"
#include "platform/headless_backend.h"
#include "platform/resources.h"
#include "platform/windows.h"
#include "runtime/threads.h"
#include "tools/command.h"
#include "window/accept.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/painter/font_matcher.h"
#include "window/script_driver.h"
#include "window/window.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>
#include <thread>

namespace morvex::tools {

namespace {

constexpr std::string_view ShowUsage =
    "usage: morvex show FILE.wnd [--procedure NAME] [--window LABEL] [--script FILE]\n"
    "                   [--shots DIR] [--backend headless|x11] [--font FILE]\n"
    "\n"
    "Compiles a window definition source and opens one of its windows with an accept\n"
    "loop that records every event, then runs a script of inputs against it.\n"
    "\n"
    "  --procedure NAME  the procedure of the source (default: the first)\n"
    "  --window LABEL    the window of the procedure (default: the first)\n"
    "  --script FILE     the script to run (see below); without one the window stays\n"
    "                    open until it is closed (x11), or is drawn once (headless)\n"
    "  --shots DIR       where `shot` writes its PNG files (default: the current directory)\n"
    "  --backend NAME    headless or x11 (default: x11 when $DISPLAY is set)\n"
    "  --font FILE       draw every typeface with this font file (pixel-exact shots)\n"
    "  --help            this text\n"
    "\n"
    "Script lines ('#' starts a comment):\n"
    "  key KEYS                   Tab, Shift+Tab, Alt+N, Ctrl+Home, Enter, Escape, F4, a\n"
    "  type TEXT                  the rest of the line as typed characters\n"
    "  click|dblclick|rclick FIELD [X Y]   at the control's centre or (X, Y) inside it\n"
    "  drag FIELD X1 Y1 X2 Y2     wheel FIELD N\n"
    "  hover FIELD [X Y]          the pointer moves there without a click\n"
    "  move X Y                   the window to (X, Y) in its position units\n"
    "  get FIELD PROP [INDEX]     prints a property (PROP: hex number or name)\n"
    "  set FIELD PROP [INDEX] VALUE\n"
    "  events                     prints the events since the last `events`\n"
    "  wait MS                    timers see MS milliseconds pass\n"
    "  answer BUTTON              the next message box takes Ok, Cancel, Yes, No, ...\n"
    "  shot NAME                  writes DIR/NAME.png of the active window\n"
    "  close                      the system close of the active window\n"
    "Errors are reported as SCRIPT:LINE: message (exit status 1).\n";

int usage_error(std::ostream& err, std::string_view message) {
    err << "morvex show: " << message << "\nTry 'morvex show --help'.\n";
    return 2;
}

bool read_file(const std::string& path, std::string& content, std::ostream& err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << "morvex show: cannot read " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        err << "morvex show: cannot read " << path << "\n";
        return false;
    }
    content = buffer.str();
    return true;
}

// Storage for the variables a definition names, so that controls bound to
// them work without a program behind the window.
struct Variables {
    std::vector<std::unique_ptr<uint8_t[]>> storage;

    void bind_all(Window& window, const wdf::ProcedureSource& procedure, std::size_t window_index) {
        for (const wdf::ControlSource& control : procedure.windows[window_index].controls) {
            if (!control.variable)
                continue;
            const uint8_t type = control.variable->data_type;
            const uint32_t size = type == wdf::StringDataType ? std::max<uint32_t>(control.variable->data_size, 1) : 4;
            if (type != wdf::LongDataType && type != wdf::StringDataType)
                continue;
            storage.push_back(std::make_unique<uint8_t[]>(size));
            std::memset(storage.back().get(), type == wdf::StringDataType ? ' ' : 0, size);
            window.Bind(control.feq, BoundVariable{type == wdf::StringDataType ? FieldType::String : FieldType::Long,
                                                   storage.back().get(), size, 0, 1});
        }
    }
};

} // namespace

int run_show(Arguments args, std::ostream& out, std::ostream& err) {
    std::string source_path, procedure_name, window_label, script_path, shots, backend_name, font_file;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto value = [&](std::string& target) {
            if (i + 1 >= args.size())
                return false;
            target = std::string(args[++i]);
            return true;
        };
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && (arg == "--help" || arg == "-h")) {
            out << ShowUsage;
            return 0;
        } else if (!options_ended && arg == "--procedure") {
            if (!value(procedure_name))
                return usage_error(err, "--procedure needs a NAME");
        } else if (!options_ended && arg == "--window") {
            if (!value(window_label))
                return usage_error(err, "--window needs a LABEL");
        } else if (!options_ended && arg == "--script") {
            if (!value(script_path))
                return usage_error(err, "--script needs a FILE");
        } else if (!options_ended && arg == "--shots") {
            if (!value(shots))
                return usage_error(err, "--shots needs a DIR");
        } else if (!options_ended && arg == "--backend") {
            if (!value(backend_name))
                return usage_error(err, "--backend needs headless or x11");
        } else if (!options_ended && arg.starts_with("--backend=")) {
            backend_name = std::string(arg.substr(10));
        } else if (!options_ended && arg == "--font") {
            if (!value(font_file))
                return usage_error(err, "--font needs a FILE");
        } else if (!options_ended && arg.starts_with("-") && arg.size() > 1) {
            return usage_error(err, "unknown option '" + std::string(arg) + "'");
        } else if (source_path.empty()) {
            source_path = std::string(arg);
        } else {
            return usage_error(err, "too many arguments");
        }
    }
    if (source_path.empty())
        return usage_error(err, "missing FILE.wnd");

    std::string text;
    if (!read_file(source_path, text, err))
        return 1;
    std::string script;
    if (!script_path.empty() && !read_file(script_path, script, err))
        return 1;
    const wdf::CompileResult compiled = wdf::ParseWindowDefinitions(text, source_path);
    if (!compiled.ok()) {
        err << compiled.error << "\n";
        return 1;
    }
    if (compiled.procedures.empty()) {
        err << "morvex show: " << source_path << " holds no procedure\n";
        return 1;
    }
    const wdf::ProcedureSource* procedure = &compiled.procedures.front();
    if (!procedure_name.empty()) {
        procedure = nullptr;
        for (const auto& p : compiled.procedures)
            if (p.name == procedure_name)
                procedure = &p;
        if (!procedure) {
            err << "morvex show: " << source_path << " has no procedure \"" << procedure_name << "\"\n";
            return 1;
        }
    }
    std::size_t window_index = 0;
    if (!window_label.empty()) {
        window_index = procedure->windows.size();
        for (std::size_t i = 0; i < procedure->windows.size(); ++i)
            if (procedure->windows[i].label == window_label)
                window_index = i;
    }
    if (window_index >= procedure->windows.size()) {
        err << "morvex show: procedure \"" << procedure->name << "\" has no window"
            << (window_label.empty() ? std::string() : " \"" + window_label + "\"") << "\n";
        return 1;
    }

    if (!platform::install_backend(backend_name))
        return 2;
    if (!font_file.empty())
        painter::set_fixed_font_file(font_file);
    // The compiled block stays registered for the window engine to find.
    static std::vector<uint8_t> block;
    block = wdf::EncodeProcedure(*procedure);
    platform::register_resource("show", "DABDUMP", wdf::ResourceNameOf(procedure->name), block);

    InitializeThreads();
    InitializeWindowEngine();
    const bool scripted = !script.empty() || !script_path.empty();
    if (scripted)
        platform::use_manual_timer_clock();
    Window window;
    if (!window.TryLoad(procedure->name, procedure->windows[window_index].label)) {
        err << "morvex show: cannot find window \"" << procedure->windows[window_index].label << "\"\n";
        return 1;
    }
    Variables variables;
    variables.bind_all(window, *procedure, window_index);
    window.Open();
    ScriptDriver::RecordEvents();

    int status = 0;
    std::thread driver;
    const bool headless = platform::headless_backend() != nullptr;
    if (scripted) {
        driver = std::thread([&] {
            ScriptOptions options;
            options.name = script_path;
            options.shots_directory = shots;
            ScriptDriver run(options, out, err);
            status = run.Run(script);
            // The script is over: every window still open is closed.
            for (int attempt = 0; attempt < 100 && platform::is_window(window.handle()); ++attempt) {
                const std::vector<platform::WindowHandle> windows = platform::top_level_windows();
                for (const platform::WindowHandle w : windows)
                    platform::input_close_request(w);
                platform::wait_until_idle(std::chrono::milliseconds(1000));
            }
        });
    } else if (headless) {
        // Nothing to wait for: draw once, keep a picture if asked, and close.
        driver = std::thread([&] {
            platform::wait_until_idle(std::chrono::milliseconds(5000));
            if (!shots.empty()) {
                const std::string path = shots + "/" + procedure->windows[window_index].label + ".png";
                if (!platform::save_window_png(window.handle(), path)) {
                    err << "morvex show: cannot write " << path << "\n";
                    status = 1;
                }
            }
            platform::input_close_request(window.handle());
        });
    }
    ACCEPT(window, [] { return LoopOutcome::Completed; });
    window.Close();
    if (driver.joinable())
        driver.join();
    return status;
}

} // namespace morvex::tools
