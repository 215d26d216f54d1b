// PLACEHOLDER: replaced by the profile work in progress.
#include "platform/profile.h"

namespace morvex::platform {
std::string ini_directory() { return {}; }
std::string profile_path(std::string_view file_name) { return std::string(file_name); }
std::string get_profile_string(std::string_view, std::string_view, std::string_view, std::string_view default_value) {
    return std::string(default_value);
}
bool write_profile_string(std::string_view, std::string_view, std::optional<std::string_view>,
                          std::optional<std::string_view>) {
    return false;
}
} // namespace morvex::platform
