// morvex browse: a browse window over any QVD file, read-only, or with
// --edit its rows inserted, changed and deleted in the list itself. The list
// shows the records in a key's order a page at a time (the framework's
// BrowseManager over a view); typing finds records by the key's first free
// component, the toolbar and the keys page through the file, and the Query
// button asks for a query by example.
#include "files/file_statements.h"
#include "files/input_file.h"
#include "files/qvd/qvd_driver.h"
#include "files/record_layout.h"
#include "framework/browse_manager.h"
#include "framework/edit_in_place_manager.h"
#include "framework/error_reporter.h"
#include "framework/file_manager.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "platform/backend.h"
#include "platform/backend_choice.h"
#include "platform/headless_backend.h"
#include "platform/resources.h"
#include "platform/x11_backend.h"
#include "platform/x11_scripted_input.h"
#include "runtime/error_state.h"
#include "runtime/queue.h"
#include "runtime/threads.h"
#include "tools/browse_window.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/layout_option.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/definition_compiler.h"
#include "window/definition_encoder.h"
#include "window/painter/font_matcher.h"
#include "window/scripted_run.h"
#include "window/window.h"

#include <ostream>

namespace morvex::tools {

namespace {

constexpr std::string_view Usage =
    "usage: morvex browse FILE (--layout NAME | --layout-file F) [--key LABEL] [--locator KIND]\n"
    "                     [--edit] [--script FILE] [--shots DIR] [--backend headless|x11]\n"
    "                     [--font FILE]\n\n"
    "Opens a browse window over a QVD file, read-only: the records in the key's order,\n"
    "a page at a time. Typing finds records by the key's first component (Backspace\n"
    "takes a character back); Up, Down, Page Up, Page Down, Home, End, the wheel, the\n"
    "scroll bar and the toolbar move through the file; Query asks for a query by example.\n\n"
    "  --layout NAME     a built-in layout: Customer or Goods\n"
    "  --layout-file F   a layout described in a text file (docs/qvd.md, Layouts)\n"
    "  --key LABEL       the key whose order the list shows (default: the first key)\n"
    "  --locator KIND    how typing finds records: incremental (default: the text typed so\n"
    "                    far), step (one character; again: the next row) or filtered (only\n"
    "                    the records that begin with the text typed)\n"
    "  --edit            Insert, Change and Delete edit the rows in the list itself: Tab and\n"
    "                    Shift+Tab move between the cells, Enter saves the row, Escape\n"
    "                    leaves it unchanged; Delete asks first. Each change is written at\n"
    "                    once, and a record another station changed meanwhile is not\n"
    "                    overwritten\n"
    "  --script FILE     drive the window from a script (the commands of `morvex show`)\n"
    "  --shots DIR       where the script's `shot` writes its PNG files\n"
    "  --backend NAME    headless or x11 (default: x11 when $DISPLAY is set)\n"
    "  --font FILE       draw every typeface with this font file (pixel-exact shots)\n";

const OptionSpec Options[] = {
    {"--layout", true, "a layout name"},
    {"--layout-file", true, "a file name"},
    {"--key", true, "a key label"},
    {"--script", true, "a file name"},
    {"--shots", true, "a directory"},
    {"--backend", true, "a name"},
    {"--font", true, "a file name"},
    {"--locator", true, "a kind"},
    {"--edit", false, ""},
};

} // namespace

int run_browse(Arguments args, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, Options, problem);
    if (!line)
        return UsageError(err, "browse", problem);
    if (line->help) {
        out << Usage;
        return 0;
    }
    if (line->operands.size() != 1)
        return UsageError(err, "browse", "give one FILE");
    const std::string path(line->operands[0]);

    int layout_error = 0;
    const std::optional<RecordLayout> layout = LayoutFromOptions(*line, "browse", err, layout_error);
    if (!layout)
        return layout_error;
    LocatorKind locator = LocatorKind::Incremental;
    if (const auto kind = line->value("--locator")) {
        if (*kind == "step")
            locator = LocatorKind::Step;
        else if (*kind == "filtered")
            locator = LocatorKind::Filtered;
        else if (*kind != "incremental")
            return UsageError(err, "browse",
                              "--locator is step, incremental or filtered, not '" + std::string(*kind) + "'");
    }
    if (layout->keys.empty()) {
        err << "morvex browse: the layout has no key to browse by\n";
        return 1;
    }

    FileSpec declared = layout->file_spec(QvdDriver);
    declared.options.name = path;
    FileDeclaration file(std::move(declared));
    KeyDeclaration* key = file.key(1);
    if (const auto label = line->value("--key")) {
        key = file.find_key(*label);
        if (!key) {
            std::string known;
            for (int32_t k = 1; k <= file.key_count(); ++k)
                known += (k > 1 ? ", " : "") + file.key(k)->label;
            return UsageError(err, "browse", "no key '" + std::string(*label) + "' (" + known + ")");
        }
    }
    // Opened once here, so that a missing or damaged file is told plainly.
    const bool editing = line->has("--edit");
    OPEN(file, (editing ? AccessReadWrite : AccessReadOnly) | ShareDenyNone);
    if (ErrorCode() != 0) {
        err << "morvex browse: cannot open " << path << ": " << RuntimeErrorText() << "\n";
        return 1;
    }
    CLOSE(file);

    std::string script;
    const std::string script_path(line->value("--script").value_or(""));
    if (!script_path.empty()) {
        std::string reason;
        if (!ReadInputFile(script_path, script, reason)) {
            err << "morvex browse: cannot read " << script_path << ": " << reason << "\n";
            return 1;
        }
    }
    if (!platform::install_backend(std::string(line->value("--backend").value_or(""))))
        return 2;
    if (const auto font = line->value("--font"))
        painter::set_fixed_font_file(std::string(*font));

    const BrowseWindowSource source =
        MakeBrowseWindow(file, *key, path, editing ? BrowseAccess::EditInPlace : BrowseAccess::ReadOnly);
    const wdf::CompileResult compiled = wdf::ParseWindowDefinitions(source.text, "browse");
    if (!compiled.ok() || compiled.procedures.empty()) {
        err << "morvex browse: " << compiled.error << "\n";
        return 1;
    }
    static std::vector<uint8_t> block;
    block = wdf::EncodeProcedure(compiled.procedures.front());
    platform::register_resource("browse", "DABDUMP", wdf::ResourceNameOf(compiled.procedures.front().name),
                                block);

    InitializeThreads();
    InitializeWindowEngine();
    if (editing)
        InstallEditInPlace();
    ErrorReporter errors;
    errors.Init();
    GlobalErrors = &errors;
    int status = 0;
    const auto program = [&] {
        FileBrowser browser(file, *key, source, locator);
        browser.Run();
    };
    // Headless with no script: the window is drawn and closed at once.
    if (!script_path.empty() || platform::headless_backend() != nullptr) {
        platform::use_manual_timer_clock();
        std::unique_ptr<platform::ScriptedInput> x11_input;
        if (auto* x11 = dynamic_cast<platform::X11Backend*>(&platform::backend())) {
            x11_input = platform::make_x11_scripted_input(*x11);
            if (!x11_input) {
                err << "morvex browse: the X server cannot take scripted input (no XTEST)\n";
                return 1;
            }
        }
        ScriptOptions options;
        options.name = script_path.empty() ? "browse" : script_path;
        options.shots_directory = std::string(line->value("--shots").value_or(""));
        options.input = x11_input.get();
        status = RunUnderScript(
            options, script, out, err, [](ScriptDriver&) {}, program);
    } else {
        program();
    }
    GlobalErrors = nullptr;
    errors.Kill();
    if (editing)
        ReleaseEditInPlace();
    return status;
}

} // namespace morvex::tools
