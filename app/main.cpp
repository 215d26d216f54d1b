// tavemon: the calendar demonstration program. Without options it runs as a
// desktop program; the options run it under a script, take the guided tour,
// pick one date for a shell script, or let a monkey loose on it.
#include "app/calendar_procedure.h"
#include "app/monkey.h"
#include "app/program.h"
#include "app/program_script.h"
#include "app/tour.h"
#include "platform/backend.h"
#include "platform/backend_choice.h"
#include "platform/charset.h"
#include "platform/local_clock.h"
#include "platform/message_queue.h"
#include "platform/x11_backend.h"
#include "platform/x11_scripted_input.h"
#include "runtime/date.h"
#include "runtime/picture.h"
#include "runtime/threads.h"
#include "window/painter/font_matcher.h"
#include "window/scripted_run.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace tavemon {
namespace {

constexpr std::string_view Usage =
    "usage: tavemon [--backend headless|x11] [--font FILE]\n"
    "       tavemon --script FILE [--shots DIR] [--backend headless|x11]\n"
    "       tavemon --tour [--shots DIR]\n"
    "       tavemon --pick-date [--sunday] [--date YYYY-MM-DD] [--at X,Y] [--format PICTURE]\n"
    "       tavemon --monkey N [--seed S]\n"
    "\n"
    "The calendar demonstration program. Without options it opens its frame and the\n"
    "demonstration page on the display ($DISPLAY).\n"
    "\n"
    "  --script FILE     drives the program with a script of inputs and checks (the\n"
    "                    commands of `morvex show --help`, plus `procedures`, `start NAME`,\n"
    "                    `responses`, `wait-for NAME`, `active`, `activate NAME`,\n"
    "                    `ini FILE SECTION KEY` and `memory`); exit status 1 when a line\n"
    "                    fails\n"
    "  --shots DIR       where `shot` (and the tour) write their PNG files (default: .)\n"
    "  --tour            drives every window and action of the program, headless, with\n"
    "                    a screenshot after each step\n"
    "  --pick-date       opens one calendar alone and prints the date picked with Select\n"
    "                    (ISO 8601, or through --format PICTURE); exit status 1 when it\n"
    "                    is closed without one\n"
    "    --sunday        the calendar with Sunday first\n"
    "    --date D        the date it opens on (YYYY-MM-DD; default today)\n"
    "    --at X,Y        where it opens, in its own units (default: where it was last)\n"
    "  --monkey N        N random inputs over every window, headless; prints what it did\n"
    "    --seed S        the random seed (default 1)\n"
    "  --backend NAME    headless or x11 (default: x11 when $DISPLAY is set)\n"
    "  --font FILE       draw every typeface with this font file (pixel-exact shots)\n"
    "  --today DATE      the program takes DATE (YYYY-MM-DD) for today (scripts, shots)\n"
    "  --help            this text\n";

struct Options {
    enum class Mode { Desktop, Script, Tour, PickDate, Monkey } mode = Mode::Desktop;
    std::string script_path, shots, backend, font, date, format, today;
    bool sunday = false;
    int32_t x = 0, y = 0;
    long monkey_inputs = 0;
    unsigned long seed = 1;
};

int usage_error(const std::string& message) {
    std::cerr << "tavemon: " << message << "\nTry 'tavemon --help'.\n";
    return 2;
}

template <typename T>
bool parse_number(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Fills `options`; an error message for a bad command line.
std::optional<std::string> parse(int argc, char** argv, Options& options, bool& help) {
    bool script = false, tour = false, pick = false, monkey = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string& target) {
            if (i + 1 >= argc)
                return false;
            target = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--script") {
            if (!value(options.script_path))
                return "--script needs a FILE";
            script = true;
        } else if (arg == "--shots") {
            if (!value(options.shots))
                return "--shots needs a DIR";
        } else if (arg == "--backend") {
            if (!value(options.backend))
                return "--backend needs headless or x11";
        } else if (arg.starts_with("--backend=")) {
            options.backend = std::string(arg.substr(10));
        } else if (arg == "--font") {
            if (!value(options.font))
                return "--font needs a FILE";
        } else if (arg == "--tour") {
            tour = true;
        } else if (arg == "--pick-date") {
            pick = true;
        } else if (arg == "--sunday") {
            options.sunday = true;
        } else if (arg == "--date") {
            if (!value(options.date))
                return "--date needs YYYY-MM-DD";
        } else if (arg == "--today") {
            if (!value(options.today))
                return "--today needs YYYY-MM-DD";
        } else if (arg == "--format") {
            if (!value(options.format))
                return "--format needs a PICTURE";
        } else if (arg == "--at") {
            if (!value(text))
                return "--at needs X,Y";
            const std::size_t comma = text.find(',');
            if (comma == std::string::npos ||
                !parse_number(std::string_view(text).substr(0, comma), options.x) ||
                !parse_number(std::string_view(text).substr(comma + 1), options.y))
                return "--at needs X,Y as two whole numbers";
        } else if (arg == "--monkey") {
            if (!value(text) || !parse_number(text, options.monkey_inputs) || options.monkey_inputs < 0)
                return "--monkey needs a number of inputs";
            monkey = true;
        } else if (arg == "--seed") {
            if (!value(text) || !parse_number(text, options.seed))
                return "--seed needs a whole number";
        } else {
            return "unknown argument '" + std::string(arg) + "'";
        }
    }
    // A script may drive the picked date; the other modes go alone.
    if (int(tour) + int(pick) + int(monkey) + int(script && !pick) > 1)
        return "--script, --tour, --pick-date and --monkey go alone (a script may drive --pick-date)";
    options.mode = tour     ? Options::Mode::Tour
                   : pick   ? Options::Mode::PickDate
                   : monkey ? Options::Mode::Monkey
                   : script ? Options::Mode::Script
                            : Options::Mode::Desktop;
    if (!pick && (options.sunday || !options.date.empty() || !options.format.empty() || options.x != 0 ||
                  options.y != 0))
        return "--sunday, --date, --at and --format go with --pick-date";
    return std::nullopt;
}

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// YYYY-MM-DD as a standard date; nothing for text that is no such date.
std::optional<int32_t> iso_date(std::string_view text) {
    int32_t year = 0, month = 0, day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !parse_number(text.substr(0, 4), year) ||
        !parse_number(text.substr(5, 2), month) || !parse_number(text.substr(8, 2), day))
        return std::nullopt;
    const int32_t date = morvex::DATE(month, day, year);
    if (date <= 0 || morvex::DAY(date) != day || morvex::MONTH(date) != month)
        return std::nullopt;
    return date;
}

std::string iso_text(int32_t date) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", static_cast<int>(morvex::YEAR(date)),
                  static_cast<int>(morvex::MONTH(date)), static_cast<int>(morvex::DAY(date)));
    return buffer;
}

std::string formatted(int32_t date, const morvex::CompiledPicture& picture) {
    char buffer[morvex::MaxPictureWidth + 1];
    std::size_t length = morvex::FORMAT(date, picture, buffer);
    // The picture's width is padding, not part of the date.
    while (length > 0 && buffer[length - 1] == ' ')
        --length;
    return morvex::platform::windows1252_to_utf8(std::string_view(buffer, length));
}

// The calendar alone: the date picked with Select, or nothing.
std::optional<int32_t> pick_date(const Options& options, int32_t prime) {
    std::optional<int32_t> picked;
    ProgramObjects objects;
    int32_t chosen = 0;
    const CalendarArguments arguments{.date = &chosen, .prime = prime, .x = options.x, .y = options.y};
    options.sunday ? LookupDateSunday(arguments) : LookupDate(arguments);
    if (chosen != 0)
        picked = chosen;
    return picked;
}

int run(const Options& options) {
    if (options.mode == Options::Mode::Tour || options.mode == Options::Mode::Monkey) {
        if (!morvex::platform::install_backend("headless"))
            return 2;
    } else if (!morvex::platform::install_backend(options.backend)) {
        return 2;
    }
    if (!options.font.empty())
        morvex::painter::set_fixed_font_file(options.font);
    std::optional<int32_t> prime;
    if (!options.date.empty() && !(prime = iso_date(options.date)))
        return usage_error("--date needs a date as YYYY-MM-DD");
    if (!options.today.empty()) {
        const std::optional<int32_t> today = iso_date(options.today);
        if (!today)
            return usage_error("--today needs a date as YYYY-MM-DD");
        morvex::platform::set_local_clock([date = *today] {
            return morvex::platform::LocalDateTime{
                morvex::YEAR(date), morvex::MONTH(date), morvex::DAY(date), 12, 0, 0, 0};
        });
        morvex::ResetCurrentYearCache();
    }
    std::unique_ptr<morvex::CompiledPicture> picture;
    if (!options.format.empty()) {
        picture = std::make_unique<morvex::CompiledPicture>();
        morvex::CompilePicture(*picture, options.format);
        if (!picture->valid())
            return usage_error("'" + options.format + "' is not a picture");
    }
    std::string script;
    if (options.mode == Options::Mode::Script ||
        (options.mode == Options::Mode::PickDate && !options.script_path.empty())) {
        const std::optional<std::string> text = read_file(options.script_path);
        if (!text) {
            std::cerr << "tavemon: cannot read " << options.script_path << "\n";
            return 2;
        }
        script = *text;
    }

    if (!StartProgram())
        EndProgram(0);
    RegisterProgramProcedures();

    switch (options.mode) {
    case Options::Mode::Desktop:
        ProgramCode();
        EndProgram(0);
    case Options::Mode::Tour:
        EndProgram(RunTour(options.shots.empty() ? "." : options.shots, std::cout, std::cerr));
    case Options::Mode::Monkey:
        EndProgram(RunMonkey(options.monkey_inputs, options.seed, std::cout, std::cerr));
    case Options::Mode::Script:
    case Options::Mode::PickDate: {
        std::optional<int32_t> picked;
        const auto program = [&] {
            if (options.mode == Options::Mode::PickDate)
                picked = pick_date(options, prime.value_or(0));
            else
                ProgramCode();
        };
        int status = 0;
        if (options.script_path.empty()) {
            program();
        } else {
            morvex::platform::use_manual_timer_clock();
            morvex::ScriptOptions script_options;
            script_options.name = options.script_path;
            script_options.shots_directory = options.shots;
            std::unique_ptr<morvex::platform::ScriptedInput> x11_input;
            if (auto* x11 = dynamic_cast<morvex::platform::X11Backend*>(&morvex::platform::backend())) {
                x11_input = morvex::platform::make_x11_scripted_input(*x11);
                if (!x11_input) {
                    std::cerr << "tavemon: the X server cannot take scripted input (no XTEST)\n";
                    EndProgram(2);
                }
                script_options.input = x11_input.get();
            }
            status = morvex::RunUnderScript(script_options, script, std::cout, std::cerr,
                                            AddProgramScriptCommands, program);
        }
        if (options.mode == Options::Mode::PickDate) {
            if (picked)
                std::cout << (picture ? formatted(*picked, *picture) : iso_text(*picked)) << "\n";
            else if (status == 0)
                status = 1;
        }
        EndProgram(status);
    }
    }
    return 0;
}

} // namespace
} // namespace tavemon

int main(int argc, char** argv) {
    tavemon::Options options;
    bool help = false;
    if (const auto error = tavemon::parse(argc, argv, options, help))
        return tavemon::usage_error(*error);
    if (help) {
        std::cout << tavemon::Usage;
        return 0;
    }
    return tavemon::run(options);
}
