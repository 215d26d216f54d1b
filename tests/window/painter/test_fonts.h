// The font files drawing tests pin, so that their output does not depend on
// which other fonts the machine has (fonts-dejavu-core is a build dependency).
#pragma once

namespace morvex::painter::testing {

constexpr const char* DejaVuSansPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* DejaVuSansBoldPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

} // namespace morvex::painter::testing
