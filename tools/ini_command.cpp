// morvex ini: read and repair the program's INI files by hand, with the
// program's own name rules (a name without a directory lives in the INI
// directory, the empty name is win.ini there).
#include "platform/profile.h"
#include "runtime/ini_access.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/text_arguments.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace morvex::tools {

namespace {

constexpr std::string_view IniUsage =
    "usage: morvex ini get FILE SECTION ENTRY [DEFAULT]\n"
    "       morvex ini set FILE SECTION ENTRY [VALUE]\n"
    "       morvex ini set --section-only FILE SECTION\n"
    "\n"
    "Reads or writes one entry of an INI file as the program does. A FILE without\n"
    "a directory lives in the INI directory ($MORVEX_INIDIR, else\n"
    "$XDG_CONFIG_HOME/morvex, else ~/.config/morvex); an empty FILE (\"\") is the\n"
    "Windows profile win.ini there. Texts are clipped of trailing blanks and cut\n"
    "like the program's (section and entry 63 characters, value 1023).\n"
    "\n"
    "  get        prints the entry's value, or DEFAULT (empty) when it is missing\n"
    "  set        sets the entry; without VALUE the entry is deleted\n"
    "  --section-only  deletes the whole SECTION\n"
    "  --help     this text\n"
    "  --         ends the options (for a FILE or text that starts with '-')\n"
    "\n"
    "Sections, entries and values are read and printed as UTF-8 and held as\n"
    "Windows-1252 in the file: a character outside that set is refused.\n";

int usage_error(std::ostream& err, std::string_view message) {
    return UsageError(err, "ini", message);
}

constexpr OptionSpec IniOptions[] = {{"--section-only"}};

std::string clipped(std::string_view text, std::size_t limit) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text.substr(0, limit));
}

} // namespace

int run_ini(Arguments args, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, IniOptions, problem);
    if (!line)
        return usage_error(err, problem);
    if (line->help) {
        out << IniUsage;
        return 0;
    }
    if (line->operands.empty())
        return usage_error(err, "say get or set");
    const std::string_view verb = line->operands[0];
    const std::span<const std::string_view> rest = std::span(line->operands).subspan(1);
    const bool section_only = line->has("--section-only");
    if (verb != "get" && verb != "set")
        return usage_error(err, "unknown action '" + std::string(verb) + "'");
    if (verb == "get" && section_only)
        return usage_error(err, "--section-only belongs to set");
    if (section_only ? rest.size() != 2 : (rest.size() < 3 || rest.size() > 4))
        return usage_error(err, verb == "get"  ? "get needs FILE SECTION ENTRY [DEFAULT]"
                                : section_only ? "set --section-only needs FILE SECTION"
                                               : "set needs FILE SECTION ENTRY [VALUE]");
    // FILE is a file name; the rest is text of the INI file, in Windows-1252.
    std::vector<std::string> texts;
    for (const std::string_view operand : rest.subspan(1)) {
        std::optional<std::string> text = WindowsText(operand, problem);
        if (!text)
            return usage_error(err, problem);
        texts.push_back(std::move(*text));
    }

    if (verb == "get") {
        out << Utf8Text(
                   GETINI(texts[0], texts[1], texts.size() == 3 ? texts[2] : std::string_view(), rest[0]))
            << "\n";
        return 0;
    }
    const std::string file = clipped(rest[0], IniFileLimit);
    const std::string section = clipped(texts[0], IniSectionLimit);
    std::optional<std::string> entry;
    std::optional<std::string> value;
    if (!section_only) {
        entry = clipped(texts[1], IniEntryLimit);
        if (texts.size() == 3)
            value = clipped(texts[2], IniValueLimit);
    }
    if (!platform::write_profile_string(file, section,
                                        entry ? std::optional<std::string_view>(*entry) : std::nullopt,
                                        value ? std::optional<std::string_view>(*value) : std::nullopt)) {
        err << "morvex ini: cannot write " << platform::profile_path(file) << ": " << std::strerror(errno)
            << "\n";
        return 1;
    }
    return 0;
}

} // namespace morvex::tools
