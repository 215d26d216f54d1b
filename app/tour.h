// tavemon --tour: the program driven through every window and action of its
// demonstration, headless, with a screenshot after each step.
#pragma once

#include <iosfwd>
#include <string>

namespace tavemon {

// 0 when every step ran; the screenshots go to `shots`.
int RunTour(const std::string& shots, std::ostream& out, std::ostream& err);

} // namespace tavemon
