// morvex show: opens a window of a window definition source with an accept
// loop that records every event, and runs a script of inputs against it
// (window/script_driver.h). Without a script it shows the window until it
// is closed (x11) or renders it once (headless, with --shots).
#include "files/csv.h"
#include "platform/backend.h"
#include "platform/backend_choice.h"
#include "platform/charset.h"
#include "platform/headless_backend.h"
#include "platform/resources.h"
#include "platform/windows.h"
#include "platform/x11_backend.h"
#include "platform/x11_scripted_input.h"
#include "runtime/queue.h"
#include "runtime/threads.h"
#include "tools/command.h"
#include "window/accept.h"
#include "window/application_frame.h"
#include "window/bound_value.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/list_format.h"
#include "window/painter/font_matcher.h"
#include "window/script_driver.h"
#include "window/scripted_run.h"
#include "window/window.h"
#include "window/window_registry.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <thread>

namespace morvex::tools {

namespace {

constexpr std::string_view ShowUsage =
    "usage: morvex show FILE.wnd [--procedure NAME] [--window LABEL] [--script FILE]\n"
    "                   [--shots DIR] [--backend headless|x11] [--font FILE] [--frame]\n"
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
    "  --frame           open the window as the application frame (MDI children\n"
    "                    of the procedure then open inside it with `open`)\n"
    "  --help            this text\n"
    "\n"
    "Script lines ('#' starts a comment):\n"
    "  key KEYS                   Tab, Shift+Tab, Alt+N, Ctrl+Home, Enter, Escape, F4, a\n"
    "  type TEXT                  the rest of the line as typed characters\n"
    "  click|dblclick|rclick FIELD [X Y]   at the control's centre or (X, Y) inside it\n"
    "  press|release FIELD [X Y]  the left button alone (hold it, let it go)\n"
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
    "  echo TEXT                  prints the text\n"
    "  open LABEL                 opens another window of the procedure on a thread of its own\n"
    "  menu PATH, popup TEXT      choose File|Exit from the menu bar, or from an open popup\n"
    "  rows FIELD, text FIELD     what a list or an entry shows\n"
    "  fill FIELD FILE.csv        fills a list's queue from a CSV file\n"
    "  var FIELD [VALUE], queue FIELD TEXT...   a control's variable, a queue of texts\n"
    "  var FIELD [VALUE]          prints the control's variable, or sets it and displays the control\n"
    "  queue FIELD \"TEXT\"...      binds a queue of those texts to the control (drop lists, spin boxes)\n"
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

// A queue of text fields for a list that has no program behind it: as many
// STRING(ShowFieldSize) fields as its format takes.
constexpr uint32_t ShowFieldSize = 64;

struct ShowQueue {
    std::vector<uint8_t> buffer;
    std::unique_ptr<Queue> queue;

    explicit ShowQueue(int32_t fields) {
        std::vector<FieldDescription> descriptions;
        for (int32_t f = 0; f < fields; ++f)
            descriptions.push_back(FieldDescription::Sized(FieldType::String, "F" + std::to_string(f + 1),
                                                           static_cast<uint32_t>(f) * ShowFieldSize,
                                                           ShowFieldSize));
        buffer.assign(static_cast<std::size_t>(fields) * ShowFieldSize, ' ');
        queue = std::make_unique<Queue>(RecordDescription(static_cast<uint32_t>(buffer.size()), descriptions),
                                        buffer.data());
    }
};

// Storage for the variables a definition names, so that controls bound to
// them work without a program behind the window.
struct Variables {
    std::vector<std::unique_ptr<uint8_t[]>> storage;
    std::map<int32_t, std::unique_ptr<ShowQueue>> queues; // of the list boxes
    std::map<int32_t, BoundVariable> bound;

    void bind_all(Window& window, const wdf::ProcedureSource& procedure, std::size_t window_index) {
        for (const wdf::ControlSource& control : procedure.windows[window_index].controls) {
            const bool drops =
                std::any_of(control.fields.begin(), control.fields.end(), [](const wdf::FieldSource& f) {
                    return f.field_spec && f.field_spec->id == wdf::Field::DropCount && f.integer != 0;
                });
            if (control.format && control.type == wdf::ListControl && !drops) {
                const auto layout = ParseListFormat(*control.format, ListUnits{});
                auto shown = std::make_unique<ShowQueue>(layout ? std::max(1, layout->fields_used) : 1);
                window.Bind(control.feq, *shown->queue);
                queues[control.feq] = std::move(shown);
            }
            if (!control.variable)
                continue;
            const uint8_t type = control.variable->data_type;
            const uint32_t size =
                type == wdf::StringDataType ? std::max<uint32_t>(control.variable->data_size, 1) : 4;
            if (type != wdf::LongDataType && type != wdf::StringDataType)
                continue;
            storage.push_back(std::make_unique<uint8_t[]>(size));
            std::memset(storage.back().get(), type == wdf::StringDataType ? ' ' : 0, size);
            const BoundVariable variable{type == wdf::StringDataType ? FieldType::String : FieldType::Long,
                                         storage.back().get(), size, 0, 1};
            bound[control.feq] = variable;
            window.Bind(control.feq, variable);
        }
    }

    // `var FIELD` prints the value of the control's variable; `var FIELD
    // VALUE` sets it and displays the control, as a program would.
    std::optional<std::string> command(ScriptDriver& driver, std::string_view arguments) {
        const std::size_t blank = arguments.find(' ');
        const std::string field_text(arguments.substr(0, blank));
        int32_t field = 0;
        const auto [end, error] =
            std::from_chars(field_text.data(), field_text.data() + field_text.size(), field);
        if (field_text.empty() || error != std::errc() || end != field_text.data() + field_text.size())
            return "var needs FIELD [VALUE]";
        const auto found = bound.find(field);
        if (found == bound.end())
            return "control " + field_text + " has no variable";
        const bool setting = blank != std::string_view::npos;
        std::string value;
        if (setting) {
            const auto converted = platform::utf8_to_windows1252_exact(arguments.substr(blank + 1));
            if (!converted)
                return "the value holds characters the Windows character set cannot hold";
            value = *converted;
        }
        driver.WithActiveWindow([&](Window& window) {
            if (setting) {
                SetVariableText(found->second, value);
                window.Display(field, field);
            } else {
                value = VariableText(found->second);
            }
        });
        if (!setting)
            driver.out() << platform::windows1252_to_utf8(value) << "\n";
        return std::nullopt;
    }
};

// Queues for the controls that show one, filled by the script's `queue`
// command: one STRING field as wide as the longest text.
struct Queues {
    struct Entry {
        std::vector<char> buffer;
        std::unique_ptr<Queue> queue;
    };
    std::vector<std::unique_ptr<Entry>> entries;

    // `FIELD "TEXT" "TEXT" ...` (a text without blanks may go unquoted).
    std::optional<std::string> command(ScriptDriver& driver, std::string_view arguments) {
        std::vector<std::string> texts;
        std::string field_text;
        std::size_t at = 0;
        const auto skip_blanks = [&] {
            while (at < arguments.size() && arguments[at] == ' ')
                ++at;
        };
        skip_blanks();
        while (at < arguments.size() && arguments[at] != ' ')
            field_text.push_back(arguments[at++]);
        int32_t field = 0;
        const auto [end, error] =
            std::from_chars(field_text.data(), field_text.data() + field_text.size(), field);
        if (field_text.empty() || error != std::errc() || end != field_text.data() + field_text.size())
            return "queue needs FIELD and texts";
        for (skip_blanks(); at < arguments.size(); skip_blanks()) {
            std::string word;
            if (arguments[at] == '"') {
                const std::size_t close = arguments.find('"', at + 1);
                if (close == std::string_view::npos)
                    return "a text lacks its closing quote";
                word = std::string(arguments.substr(at + 1, close - at - 1));
                at = close + 1;
            } else {
                while (at < arguments.size() && arguments[at] != ' ')
                    word.push_back(arguments[at++]);
            }
            const auto text = platform::utf8_to_windows1252_exact(word);
            if (!text)
                return "the text holds characters the Windows character set cannot hold";
            texts.push_back(*text);
        }
        std::size_t width = 1;
        for (const std::string& text : texts)
            width = std::max(width, text.size());
        auto entry = std::make_unique<Entry>();
        entry->buffer.assign(width, ' ');
        entry->queue = std::make_unique<Queue>(
            RecordDescription(
                static_cast<uint32_t>(width),
                {FieldDescription::Sized(FieldType::String, "Q:TEXT", 0, static_cast<uint32_t>(width))}),
            entry->buffer.data());
        bool found = false;
        Entry& filled = *entry;
        driver.WithActiveWindow([&](Window& window) {
            for (const std::string& text : texts) {
                std::fill(filled.buffer.begin(), filled.buffer.end(), ' ');
                std::copy(text.begin(), text.end(), filled.buffer.begin());
                filled.queue->Add();
            }
            if (window.control(field)) {
                found = true;
                window.Bind(field, *filled.queue);
            }
        });
        entries.push_back(std::move(entry));
        if (!found)
            return "the window has no control " + std::to_string(field);
        return std::nullopt;
    }
};

} // namespace

// Windows the script opens on threads of their own: each runs an accept
// loop that records its events until it is closed.
struct ShownWindows {
    static inline std::pair<std::string, std::string> next; // procedure, label
    static void run() {
        const auto [procedure, label] = next;
        Window window;
        if (!window.TryLoad(procedure, label))
            return;
        window.Open();
        ACCEPT(window, [] { return LoopOutcome::Completed; });
        window.Close();
    }
};

int run_show(Arguments args, std::ostream& out, std::ostream& err) {
    std::string source_path, procedure_name, window_label, script_path, shots, backend_name, font_file;
    bool frame = false;
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
        } else if (!options_ended && arg == "--frame") {
            frame = true;
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
    std::unique_ptr<Window> opened =
        frame ? std::make_unique<ApplicationFrame>() : std::make_unique<Window>();
    Window& window = *opened;
    if (!window.TryLoad(procedure->name, procedure->windows[window_index].label)) {
        err << "morvex show: cannot find window \"" << procedure->windows[window_index].label << "\"\n";
        return 1;
    }
    Variables variables;
    variables.bind_all(window, *procedure, window_index);
    Queues queues;
    window.Open();
    ScriptDriver::RecordEvents();
    const auto add_commands = [&](ScriptDriver& run) {
        // open LABEL: another window of the procedure, on a thread of its own
        // (an MDI child of the frame when its definition says so).
        run.AddCommand("open", [&](std::string_view arguments) -> std::optional<std::string> {
            const std::string label(arguments);
            if (std::none_of(procedure->windows.begin(), procedure->windows.end(),
                             [&](const wdf::WindowSource& w) { return w.label == label; }))
                return "procedure \"" + procedure->name + "\" has no window \"" + label + "\"";
            bool started = false;
            std::size_t before = 0;
            run.WithActiveWindow([&](Window&) {
                before = OpenWindows().size();
                ShownWindows::next = {procedure->name, label};
                started = START(ShownWindows::run, 0) != 0;
            });
            if (!started)
                return "no thread could be started";
            // The window opens on the new thread: the next line waits for it.
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            for (std::size_t open = before; open <= before;) {
                if (std::chrono::steady_clock::now() > give_up)
                    return "window \"" + label + "\" did not open";
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                run.WithActiveWindow([&](Window&) { open = OpenWindows().size(); });
            }
            return std::nullopt;
        });
        // fill FIELD FILE.csv: the rows of a CSV file into the list's queue.
        run.AddCommand("fill", [&](std::string_view arguments) -> std::optional<std::string> {
            std::istringstream words{std::string(arguments)};
            int32_t field = 0;
            std::string path;
            if (!(words >> field >> path))
                return "fill needs FIELD FILE.csv";
            const auto found = variables.queues.find(field);
            if (found == variables.queues.end())
                return "control " + std::to_string(field) + " shows no queue";
            std::ifstream in(path, std::ios::binary);
            if (!in)
                return "cannot read " + path + ": " + std::strerror(errno);
            std::optional<std::string> error;
            run.WithActiveWindow([&](Window& active) {
                ShowQueue& shown = *found->second;
                const RecordDescription& description = shown.queue->description();
                CsvReader reader(in);
                std::vector<std::string> fields;
                while (reader.next(fields)) {
                    std::fill(shown.buffer.begin(), shown.buffer.end(), ' ');
                    for (int32_t f = 0;
                         f < description.field_count() && static_cast<std::size_t>(f) < fields.size(); ++f)
                        SetVariableText(FieldVariable(description.field(f + 1), shown.buffer.data()),
                                        platform::utf8_to_windows1252(fields[static_cast<std::size_t>(f)]));
                    shown.queue->Add();
                }
                if (!reader.error().empty())
                    error = path + ":" + std::to_string(reader.record_line()) + ": " + reader.error();
                active.Display();
            });
            return error;
        });
    };

    // Under x11 the script's input goes through the X server.
    std::unique_ptr<platform::ScriptedInput> x11_input;
    if (auto* x11 = dynamic_cast<platform::X11Backend*>(&platform::backend()); x11 && scripted) {
        x11_input = platform::make_x11_scripted_input(*x11);
        if (!x11_input) {
            err << "morvex show: the X server cannot take scripted input (no XTEST)\n";
            return 1;
        }
    }
    const auto run_window = [&] {
        ACCEPT(window, [] { return LoopOutcome::Completed; });
        window.Close();
    };
    if (scripted) {
        ScriptOptions options;
        options.name = script_path;
        options.shots_directory = shots;
        options.input = x11_input.get();
        return RunUnderScript(
            options, script, out, err,
            [&](ScriptDriver& run) {
                add_commands(run);
                run.AddCommand("var",
                               [&](std::string_view arguments) { return variables.command(run, arguments); });
                run.AddCommand("queue",
                               [&](std::string_view arguments) { return queues.command(run, arguments); });
            },
            run_window);
    }
    int status = 0;
    std::thread driver;
    if (platform::headless_backend() != nullptr) {
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
    run_window();
    WaitForOtherThreads(); // windows the script opened on threads of their own
    if (driver.joinable())
        driver.join();
    return status;
}

} // namespace morvex::tools
