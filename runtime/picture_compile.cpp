// PLACEHOLDER: replaced by the picture work in progress.
#include "runtime/picture.h"

namespace morvex {
void CompilePicture(CompiledPicture& picture, const char*, std::size_t) { picture = CompiledPicture{}; }
void CompilePicture(CompiledPicture& picture, std::string_view text) { CompilePicture(picture, text.data(), text.size()); }
} // namespace morvex
