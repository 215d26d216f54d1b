#include "runtime/ini_access.h"

#include "platform/profile.h"
#include "runtime/string_ops.h"
#include "runtime/string_stack.h"

namespace morvex {

namespace {

std::string clipped(std::string_view text, std::size_t limit) {
    return std::string(CLIP(text).substr(0, limit));
}

} // namespace

void PUTINI(std::string_view section, std::optional<std::string_view> entry,
            std::optional<std::string_view> value, std::string_view file) {
    const std::string section_text = clipped(section, IniSectionLimit);
    const std::string file_text = clipped(file, IniFileLimit);
    std::optional<std::string> entry_text;
    std::optional<std::string> value_text;
    if (entry) {
        entry_text = clipped(*entry, IniEntryLimit);
        if (value)
            value_text = clipped(*value, IniValueLimit);
    }
    platform::write_profile_string(file_text, section_text,
                                   entry_text ? std::optional<std::string_view>(*entry_text) : std::nullopt,
                                   value_text ? std::optional<std::string_view>(*value_text) : std::nullopt);
}

std::string GETINI(std::string_view section, std::string_view entry, std::string_view default_value,
                   std::string_view file) {
    std::string found =
        platform::get_profile_string(clipped(file, IniFileLimit), clipped(section, IniSectionLimit),
                                     clipped(entry, IniEntryLimit), clipped(default_value, IniValueLimit));
    if (found.size() > IniValueLimit)
        found.resize(IniValueLimit);
    return found;
}

void StackPUTINI(bool entry_omitted, bool value_omitted) {
    StringStack& stack = Strings();
    const std::string section = stack.take();
    const std::string entry = stack.take();
    const std::string value = stack.take();
    const std::string file = stack.take();
    PUTINI(section, entry_omitted ? std::nullopt : std::optional<std::string_view>(entry),
           value_omitted ? std::nullopt : std::optional<std::string_view>(value), file);
}

void StackGETINI() {
    StringStack& stack = Strings();
    const std::string section = stack.take();
    const std::string entry = stack.take();
    const std::string default_value = stack.take();
    const std::string file = stack.take();
    stack.push_copy(GETINI(section, entry, default_value, file));
}

} // namespace morvex
