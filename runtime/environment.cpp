// PLACEHOLDER: the environment file reader comes next.
#include "runtime/locale.h"

namespace morvex {
IntlSettings ReadIntlSettings() { return {}; }
void LoadLocaleAndEnvironment() {}
bool ApplyEnvironmentFile(const std::string&) { return false; }
void ApplyEnvironmentText(std::string_view) {}
std::string EnvironmentFilePath() { return {}; }
} // namespace morvex
