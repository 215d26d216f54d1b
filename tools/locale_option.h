// The locale that eval, format and deformat run under, as the program sets
// it up: the "intl" values and the environment file beside the program, or
// with --env FILE that file instead.
#pragma once

#include <iosfwd>
#include <optional>
#include <string_view>

namespace morvex::tools {

// Without a file the one beside the program is applied when it can be read
// and skipped otherwise, as at the program's start. A given file that cannot
// be read is a usage error: the message is written and the result is 2;
// otherwise the result is 0.
int SetUpLocale(std::optional<std::string_view> environment_file, std::string_view command,
                std::ostream& err);

} // namespace morvex::tools
