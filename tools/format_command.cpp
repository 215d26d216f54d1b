// morvex format and morvex deformat: a value through a picture and back, with
// the locale and environment file the runtime would use.
#include "runtime/picture.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/locale_option.h"
#include "tools/text_arguments.h"

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
    "  --          ends the options (for a text that starts with '-')\n"
    "\n"
    "Text is read and printed as UTF-8 and held as Windows-1252: a character\n"
    "outside that set is refused.\n"
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
    "  --          ends the options (for a text that starts with '-')\n"
    "\n"
    "Text is read and printed as UTF-8 and held as Windows-1252: a character\n"
    "outside that set is refused.\n"
    "Exit status: 0 done, 1 invalid picture, 2 bad usage.\n";

struct Invocation {
    std::string_view command;
    std::string_view usage;
    std::string subject; // VALUE or TEXT, in Windows-1252
    std::string picture;
};

constexpr OptionSpec FormatOptions[] = {{"--env", true, "an environment file"}};

// Reads the command line and sets the locale up; -1 to go on, else the exit
// status.
int prepare(Arguments args, Invocation& run, CompiledPicture& picture, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, FormatOptions, problem);
    if (!line)
        return UsageError(err, run.command, problem);
    if (line->help) {
        out << run.usage;
        return 0;
    }
    if (line->operands.size() < 2)
        return UsageError(err, run.command,
                          run.command == "format" ? "VALUE and PICTURE are required"
                                                  : "TEXT and PICTURE are required");
    if (line->operands.size() > 2)
        return UsageError(err, run.command, "too many arguments");
    std::optional<std::string> subject = WindowsText(line->operands[0], problem);
    std::optional<std::string> picture_text =
        subject ? WindowsText(line->operands[1], problem) : std::nullopt;
    if (!picture_text)
        return UsageError(err, run.command, problem);
    run.subject = std::move(*subject);
    run.picture = std::move(*picture_text);
    if (const int status = SetUpLocale(line->value("--env"), run.command, err); status != 0)
        return status;
    CompilePicture(picture, run.picture);
    return -1;
}

void report_invalid_picture(const Invocation& run, std::ostream& err) {
    err << "morvex " << run.command << ": invalid picture '" << Utf8Text(run.picture) << "'\n";
}

} // namespace

int run_format(Arguments args, std::ostream& out, std::ostream& err) {
    Invocation run{"format", FormatUsage, {}, {}};
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
        return UsageError(err, run.command,
                          "VALUE must be a decimal number, not '" + Utf8Text(run.subject) + "'");
    char text[MaxPictureWidth];
    const std::size_t width = FORMAT(run.subject, picture, text);
    out << '[' << Utf8Text(std::string_view(text, width)) << "]\n";
    return 0;
}

int run_deformat(Arguments args, std::ostream& out, std::ostream& err) {
    Invocation run{"deformat", DeformatUsage, {}, {}};
    CompiledPicture picture;
    if (const int status = prepare(args, run, picture, out, err); status >= 0)
        return status;
    if (!picture.valid()) {
        out << "\n";
        report_invalid_picture(run, err);
        return 1;
    }
    out << Utf8Text(DEFORMAT(run.subject, picture)) << "\n";
    return 0;
}

} // namespace morvex::tools
