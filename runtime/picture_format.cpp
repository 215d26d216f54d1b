// PLACEHOLDER: replaced by the picture work in progress.
#include "runtime/picture.h"

namespace morvex {
PictureNumber PictureNumber::FromInteger(int64_t) { return {}; }
PictureNumber PictureNumber::FromReal(double) { return {}; }
bool PictureNumber::FromText(std::string_view, PictureNumber&) { return false; }
std::size_t FORMAT(const PictureNumber&, const CompiledPicture&, char*) { return 0; }
std::size_t FORMAT(int64_t, const CompiledPicture&, char*) { return 0; }
std::size_t FORMAT(double, const CompiledPicture&, char*) { return 0; }
std::size_t FORMAT(std::string_view, const CompiledPicture&, char*) { return 0; }
std::string FormatText(int64_t, std::string_view) { return {}; }
} // namespace morvex
