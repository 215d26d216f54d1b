// tavemon --monkey: random inputs over every window of the program, headless
// (keys, clicks on controls, double and right clicks, the wheel, moves of
// windows, presses of the frame's toolbar, closes), with the program started
// again whenever its frame has been closed. It must neither crash nor hang;
// at the end it prints what it did, in counts.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace tavemon {

// 0 when every input was taken; 1 when the program stopped answering.
int RunMonkey(long inputs, unsigned long seed, std::ostream& out, std::ostream& err);

} // namespace tavemon
