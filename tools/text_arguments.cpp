#include "tools/text_arguments.h"

#include "platform/charset.h"

namespace morvex::tools {

std::optional<std::string> WindowsText(std::string_view argument, std::string& problem) {
    std::size_t offset = 0;
    std::optional<std::string> text = platform::utf8_to_windows1252_exact(argument, &offset);
    if (text)
        return text;
    // The offending character: its lead byte tells its length.
    const auto lead = static_cast<unsigned char>(argument[offset]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    const std::string_view character = argument.substr(offset, length);
    if (platform::utf8_to_windows1252(character) == "?" && lead >= 0xC0 && character.size() == length)
        problem = "the argument \"" + std::string(argument) + "\" holds \"" + std::string(character) +
                  "\", which Windows-1252 cannot hold";
    else
        problem = "the argument \"" + platform::windows1252_to_utf8(platform::utf8_to_windows1252(argument)) +
                  "\" is not UTF-8 text (byte " + std::to_string(offset + 1) + ")";
    return std::nullopt;
}

std::string Utf8Text(std::string_view text) {
    return platform::windows1252_to_utf8(text);
}

} // namespace morvex::tools
