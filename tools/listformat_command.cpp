// morvex listformat: how a list box format string parses, one line per
// column, or where the check fails.
#include "platform/charset.h"
#include "tools/command.h"
#include "window/definition_services.h"
#include "window/list_format.h"
#include "window/position_units.h"

#include <ostream>
#include <string>

namespace morvex::tools {

namespace {

constexpr std::string_view ListFormatUsage =
    "usage: morvex listformat [--] FORMAT\n"
    "\n"
    "Prints how a list box format string parses: one line per column with its\n"
    "number, queue field, width (window units and pixels in the system font's\n"
    "dialog units), justification, indent, picture, heading, flags and group;\n"
    "or 'error at N: reason' (exit status 1) when the check fails at position N.\n"
    "\n"
    "  --help   this text\n"
    "\n"
    "Example:\n"
    "  morvex listformat '20C~M~@s2@20C~T~@s2@'\n";

const char* justification_name(uint32_t justification) {
    switch (justification) {
    case 1:
        return "right";
    case 2:
        return "centre";
    case 3:
        return "decimal";
    default:
        return "left";
    }
}

std::string flags_of(const ListColumn& column) {
    std::string flags;
    const auto add = [&](bool present, const char* name) {
        if (present)
            flags += flags.empty() ? name : std::string(",") + name;
    };
    add(column.attributes_b & ListCellColours, "colours");
    add(column.attributes_a & ListIcon,
        (column.attributes_b & ListTransparentIcon) ? "icon(transparent)" : "icon");
    add(column.attributes_a & ListTree, "tree");
    add(column.attributes_b & ListCellStyle, "style");
    add(column.attributes_b & ListCellTip, "tip");
    add(column.attributes_a & ListResizable, "resizable");
    add(column.attributes_a & ListFixed, "fixed");
    add(column.attributes_a & ListRightBorder, "border");
    add(column.attributes_a & ListUnderline, "underline");
    add(column.attributes_a & ListLineBreak, "break");
    add(column.attributes_a & ListLocator, "locator");
    add(column.attributes_a & ListScrolled, "scrolled");
    add(column.colours[0] || column.colours[1] || column.colours[2] || column.colours[3], "E");
    add(column.style.has_value(), "Z");
    add(column.tip.has_value(), "Q");
    return flags.empty() ? "-" : flags;
}

} // namespace

int run_listformat(Arguments args, std::ostream& out, std::ostream& err) {
    std::string_view format;
    bool have_format = false;
    bool options_ended = false;
    for (const std::string_view arg : args) {
        if (!options_ended && arg == "--") {
            options_ended = true;
        } else if (!options_ended && (arg == "--help" || arg == "-h")) {
            out << ListFormatUsage;
            return 0;
        } else if (!options_ended && arg.starts_with("--")) {
            err << "morvex listformat: unknown option '" << arg << "'\nTry 'morvex listformat --help'.\n";
            return 2;
        } else if (!have_format) {
            format = arg;
            have_format = true;
        } else {
            err << "morvex listformat: too many arguments\nTry 'morvex listformat --help'.\n";
            return 2;
        }
    }
    if (!have_format) {
        err << "morvex listformat: missing FORMAT\nTry 'morvex listformat --help'.\n";
        return 2;
    }
    const auto converted = platform::utf8_to_windows1252_exact(format);
    if (!converted) {
        err << "morvex listformat: the format holds characters the Windows character set cannot hold\n";
        return 2;
    }
    const std::string text = *converted;
    std::string reason;
    if (const int position = CheckListFormat(text, &reason); position != 0) {
        out << "error at " << position << ": " << reason << "\n";
        return 1;
    }
    const UnitMetrics metrics = UnitMetricsOf(nullptr);
    ListUnits units;
    units.x = [&](int32_t v) { return ToPixelsX(v, PositionUnit::DialogUnits, metrics); };
    units.y = [&](int32_t v) { return ToPixelsY(v, PositionUnit::DialogUnits, metrics); };
    units.line_height = metrics.char_height;
    const auto layout = ParseListFormat(text, units);
    if (!layout) {
        out << "error at 1: the format is empty\n";
        return 1;
    }
    for (std::size_t g = 0; g < layout->groups.size(); ++g) {
        const ListGroup& group = layout->groups[g];
        for (std::size_t i = group.first_column; i < group.first_column + group.column_count; ++i) {
            const ListColumn& column = layout->columns[i];
            out << (i + 1) << ": field " << column.field << " width " << column.width_units << " ("
                << column.width << "px) " << justification_name(column.justification()) << " indent "
                << column.data_indent << " picture " << column.picture.value_or("-") << " heading "
                << (column.heading ? "\"" + platform::windows1252_to_utf8(*column.heading) + "\""
                                   : std::string("-"))
                << " " << justification_name(column.heading_justification()) << " flags " << flags_of(column)
                << " group " << (g + 1);
            if (group.bracketed && group.heading)
                out << " \"" << platform::windows1252_to_utf8(*group.heading) << "\"";
            out << "\n";
        }
    }
    out << "fields " << layout->fields_used << ", width " << layout->total_width << "px\n";
    return 0;
}

} // namespace morvex::tools
