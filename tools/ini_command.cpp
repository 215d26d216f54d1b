// morvex ini: read and repair the program's INI files by hand, with the
// program's own name rules (a name without a directory lives in the INI
// directory, the empty name is win.ini there).
#include "platform/profile.h"
#include "runtime/ini_access.h"
#include "tools/command.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>

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
    "  --help     this text\n";

int usage_error(std::ostream& err, std::string_view message) {
    err << "morvex ini: " << message << "\nTry 'morvex ini --help'.\n";
    return 2;
}

std::string clipped(std::string_view text, std::size_t limit) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text.substr(0, limit));
}

} // namespace

int run_ini(Arguments args, std::ostream& out, std::ostream& err) {
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << IniUsage;
            return 0;
        }
    }
    if (args.empty())
        return usage_error(err, "say get or set");
    const std::string_view verb = args[0];
    Arguments rest = args.subspan(1);

    if (verb == "get") {
        if (rest.size() < 3 || rest.size() > 4)
            return usage_error(err, "get needs FILE SECTION ENTRY [DEFAULT]");
        out << GETINI(rest[1], rest[2], rest.size() == 4 ? rest[3] : std::string_view(), rest[0]) << "\n";
        return 0;
    }
    if (verb != "set")
        return usage_error(err, "unknown action '" + std::string(verb) + "'");

    const bool section_only = !rest.empty() && rest[0] == "--section-only";
    if (section_only)
        rest = rest.subspan(1);
    if (section_only ? rest.size() != 2 : (rest.size() < 3 || rest.size() > 4))
        return usage_error(err, section_only ? "set --section-only needs FILE SECTION"
                                             : "set needs FILE SECTION ENTRY [VALUE]");
    const std::string file = clipped(rest[0], IniFileLimit);
    const std::string section = clipped(rest[1], IniSectionLimit);
    std::optional<std::string> entry;
    std::optional<std::string> value;
    if (!section_only) {
        entry = clipped(rest[2], IniEntryLimit);
        if (rest.size() == 4)
            value = clipped(rest[3], IniValueLimit);
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
