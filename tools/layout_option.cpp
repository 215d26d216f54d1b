#include "tools/layout_option.h"

#include "app/dictionary.h"
#include "files/file_declaration.h"
#include "files/input_file.h"
#include "runtime/ascii_case.h"
#include "runtime/error_state.h"

#include <ostream>

namespace morvex::tools {

std::optional<RecordLayout> BuiltInLayout(std::string_view name) {
    if (EqualsIgnoringAsciiCase(name, "Customer"))
        return RecordLayout::Of(FileDeclaration(tavemon::CustomerSpec(nullptr, nullptr)));
    if (EqualsIgnoringAsciiCase(name, "Goods"))
        return RecordLayout::Of(FileDeclaration(tavemon::GoodsSpec(nullptr, nullptr)));
    return std::nullopt;
}

std::optional<RecordLayout> LayoutFromOptions(const CommandLine& line, std::string_view command,
                                              std::ostream& err, int& exit_code) {
    if (const auto file_name = line.value("--layout-file")) {
        std::string text;
        std::string reason;
        exit_code = 1;
        if (!ReadInputFile(std::string(*file_name), text, reason)) {
            err << "morvex " << command << ": cannot read layout file " << *file_name << ": " << reason
                << "\n";
            return std::nullopt;
        }
        LayoutParse parse = ParseRecordLayout(text);
        if (!parse.ok) {
            err << "morvex " << command << ": " << *file_name << ": " << parse.error << "\n";
            return std::nullopt;
        }
        return std::move(parse.layout);
    }
    const auto name = line.value("--layout");
    if (!name) {
        exit_code = UsageError(err, command, "give --layout NAME or --layout-file F");
        return std::nullopt;
    }
    std::optional<RecordLayout> layout = BuiltInLayout(*name);
    if (!layout)
        exit_code =
            UsageError(err, command, "unknown layout '" + std::string(*name) + "' (Customer or Goods)");
    return layout;
}

std::string RuntimeErrorText() {
    std::string text = std::to_string(ErrorCode()) + " " + std::string(ErrorText());
    if (!ErrorExtraText().empty())
        text += ": " + std::string(ErrorExtraText());
    return text;
}

} // namespace morvex::tools
