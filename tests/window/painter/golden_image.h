// Golden-image comparison for drawing tests. A drawing is compared with a PNG
// under tests/window/painter/golden/; on a mismatch the actual image and a
// diff image (differing pixels red on a dimmed copy) are written to the
// build's output folder and their paths printed. Run the test binary with
// --rebaseline to rewrite the goldens from the current drawings.
#pragma once

#include "platform/frame_buffer.h"

#include <gtest/gtest.h>
#include <string>

namespace morvex::painter::testing {

struct Tolerance {
    int max_channel_difference = 0; // a pixel differs when any channel differs by more
    int max_differing_pixels = 0;
};

// Set from the command line by the test's main.
void set_rebaseline(bool rebaseline);
// The main of a test program with goldens: runs every test; `--rebaseline`
// writes the actual images as the new goldens.
int RunTestsWithGoldens(int argc, char** argv);

::testing::AssertionResult matches_golden(const platform::FrameBuffer& actual, const std::string& name,
                                          Tolerance tolerance);
// The same against a golden image kept elsewhere (`golden_path`); `name` names the output files.
::testing::AssertionResult matches_golden_file(const platform::FrameBuffer& actual,
                                               const std::string& golden_path, const std::string& name,
                                               Tolerance tolerance);

} // namespace morvex::painter::testing
