// PLACEHOLDER: replaced by the picture work in progress.
#include "runtime/picture.h"

namespace morvex {
void BuildLocaleTimePicture(CompiledPicture& picture, bool, int, int, char) { picture = CompiledPicture{}; }
void BuildShortDatePicture(CompiledPicture& picture, std::string_view) { picture = CompiledPicture{}; }
void BuildLongDatePicture(CompiledPicture& picture, std::string_view) { picture = CompiledPicture{}; }
} // namespace morvex
