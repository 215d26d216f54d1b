// PLACEHOLDER: replaced by the picture work in progress.
#include "runtime/picture.h"

namespace morvex {
std::string_view DEFORMAT(std::string_view, const CompiledPicture&) { return {}; }
} // namespace morvex
