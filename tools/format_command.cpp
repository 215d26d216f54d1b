// morvex format and morvex deformat: a value through a picture and back, with
// the locale and environment file the runtime would use.
#include "runtime/locale.h"
#include "runtime/picture.h"
#include "tools/command.h"

#include <optional>
#include <ostream>
#include <string>

namespace morvex::tools {

namespace {

constexpr std::string_view FormatUsage =
    "usage: morvex format [--env FILE] VALUE PICTURE\n"
    "\n"
    "Prints FORMAT(VALUE, PICTURE) between brackets, so that its blanks show:\n"
    "  morvex format 1234.567 @N10.2     [  1,234.57]\n"
    "VALUE is a decimal number; a date or a time is its standard number\n"
    "(days since 28 December 1800; hundredths of a second since midnight plus\n"
    "one). For @S and @K pictures VALUE is the text itself.\n"
    "\n"
    "  --env FILE  apply this environment file (month names, AM/PM texts, ...)\n"
    "              instead of the one beside the program\n"
    "  --help      this text\n"
    "\n"
    "Exit status: 0 done, 1 invalid picture, 2 bad usage.\n";

constexpr std::string_view DeformatUsage =
    "usage: morvex deformat [--env FILE] TEXT PICTURE\n"
    "\n"
    "Prints DEFORMAT(TEXT, PICTURE): the value TEXT reads back as through\n"
    "PICTURE, a number text, or for a date or time its standard number:\n"
    "  morvex deformat 12:15AM @T3       90001\n"
    "\n"
    "  --env FILE  apply this environment file (month names, AM/PM texts, ...)\n"
    "              instead of the one beside the program\n"
    "  --help      this text\n"
    "\n"
    "Exit status: 0 done, 1 invalid picture, 2 bad usage.\n";

struct Invocation {
    std::string_view command;
    std::string_view usage;
    std::string_view subject; // VALUE or TEXT
    std::string_view picture;
    std::optional<std::string> environment_file;
};

int usage_error(const Invocation& run, std::ostream& err, const std::string& message) {
    err << "morvex " << run.command << ": " << message << "\n"
        << "Try 'morvex " << run.command << " --help'.\n";
    return 2;
}

// Reads the arguments; returns -1 to go on, else the exit status. Only
// "--" options are options, so a negative VALUE such as -5 needs no "--".
int parse(Arguments args, Invocation& run, std::ostream& out, std::ostream& err) {
    std::optional<std::string_view> positional[2];
    std::size_t given = 0;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (options && (arg == "--help" || arg == "-h")) {
            out << run.usage;
            return 0;
        }
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--env") {
            if (i + 1 == args.size())
                return usage_error(run, err, "--env needs an environment file");
            run.environment_file = std::string(args[++i]);
        } else if (options && arg.starts_with("--")) {
            return usage_error(run, err, "unknown option '" + std::string(arg) + "'");
        } else if (given < 2) {
            positional[given++] = arg;
        } else {
            return usage_error(run, err, "too many arguments");
        }
    }
    if (given < 2)
        return usage_error(run, err,
                           run.command == "format" ? "VALUE and PICTURE are required"
                                                   : "TEXT and PICTURE are required");
    run.subject = *positional[0];
    run.picture = *positional[1];
    return -1;
}

// The locale as the runtime would set it up; with --env, the "intl" values
// and then the given environment file in place of the one beside the program.
int prepare_locale(const Invocation& run, std::ostream& err) {
    if (!run.environment_file) {
        LoadLocaleAndEnvironment();
        return -1;
    }
    ApplyLocale(ReadIntlSettings());
    if (!ApplyEnvironmentFile(*run.environment_file)) {
        err << "morvex " << run.command << ": cannot open environment file '" << *run.environment_file
            << "'\n";
        return 2;
    }
    return -1;
}

int prepare(Arguments args, Invocation& run, CompiledPicture& picture, std::ostream& out, std::ostream& err) {
    if (const int status = parse(args, run, out, err); status >= 0)
        return status;
    if (const int status = prepare_locale(run, err); status >= 0)
        return status;
    CompilePicture(picture, run.picture);
    return -1;
}

void report_invalid_picture(const Invocation& run, std::ostream& err) {
    err << "morvex " << run.command << ": invalid picture '" << run.picture << "'\n";
}

} // namespace

int run_format(Arguments args, std::ostream& out, std::ostream& err) {
    Invocation run{"format", FormatUsage, {}, {}, {}};
    CompiledPicture picture;
    if (const int status = prepare(args, run, picture, out, err); status >= 0)
        return status;
    if (!picture.valid()) {
        out << "[]\n";
        report_invalid_picture(run, err);
        return 1;
    }
    PictureNumber number;
    if (picture.value_class() != PictureValueClass::Text && !PictureNumber::FromText(run.subject, number))
        return usage_error(run, err,
                           "VALUE must be a decimal number, not '" + std::string(run.subject) + "'");
    char text[MaxPictureWidth];
    const std::size_t width = FORMAT(run.subject, picture, text);
    out << '[' << std::string_view(text, width) << "]\n";
    return 0;
}

int run_deformat(Arguments args, std::ostream& out, std::ostream& err) {
    Invocation run{"deformat", DeformatUsage, {}, {}, {}};
    CompiledPicture picture;
    if (const int status = prepare(args, run, picture, out, err); status >= 0)
        return status;
    if (!picture.valid()) {
        out << "\n";
        report_invalid_picture(run, err);
        return 1;
    }
    out << DEFORMAT(run.subject, picture) << "\n";
    return 0;
}

} // namespace morvex::tools
