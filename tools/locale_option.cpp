#include "tools/locale_option.h"

#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/locale.h"
#include "tools/command_line.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace morvex::tools {

int SetUpLocale(std::optional<std::string_view> environment_file, std::string_view command,
                std::ostream& err) {
    if (!environment_file) {
        LoadLocaleAndEnvironment();
        return 0;
    }
    ApplyLocale(ReadIntlSettings());
    const std::string path(*environment_file);
    if (!ApplyEnvironmentFile(path)) {
        const int error = errno;
        const std::string reason =
            ErrorCode() == ErrInsufficientMemory ? std::string(ErrorText()) : std::strerror(error);
        ClearError();
        return UsageError(err, command, "cannot read the environment file '" + path + "': " + reason);
    }
    return 0;
}

} // namespace morvex::tools
