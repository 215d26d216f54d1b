#include "tests/window/painter/golden_image.h"

#include "platform/png_file.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace morvex::painter::testing {

namespace {

bool g_rebaseline = false;

int channel_difference(platform::Pixel a, platform::Pixel b) {
    int largest = 0;
    for (const int shift : {0, 8, 16})
        largest = std::max(
            largest, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return largest;
}

std::string output_path(const std::string& file) {
    std::filesystem::create_directories(MORVEX_GOLDEN_OUTPUT_DIR);
    return (std::filesystem::path(MORVEX_GOLDEN_OUTPUT_DIR) / file).string();
}

} // namespace

int RunTestsWithGoldens(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--rebaseline") == 0)
            set_rebaseline(true);
    return RUN_ALL_TESTS();
}

void set_rebaseline(bool rebaseline) {
    g_rebaseline = rebaseline;
}

::testing::AssertionResult matches_golden(const platform::FrameBuffer& actual, const std::string& name,
                                          Tolerance tolerance) {
    return matches_golden_file(actual, (std::filesystem::path(MORVEX_GOLDEN_DIR) / (name + ".png")).string(),
                               name, tolerance);
}

::testing::AssertionResult matches_golden_file(const platform::FrameBuffer& actual,
                                               const std::string& golden_path, const std::string& name,
                                               Tolerance tolerance) {
    if (g_rebaseline) {
        if (!platform::write_png(actual, golden_path))
            return ::testing::AssertionFailure() << "cannot write " << golden_path;
        return ::testing::AssertionSuccess() << "rebaselined " << golden_path;
    }
    const std::optional<platform::FrameBuffer> golden = platform::read_png(golden_path);
    const std::string actual_path = output_path(name + ".actual.png");
    if (!golden) {
        platform::write_png(actual, actual_path);
        return ::testing::AssertionFailure()
               << "no golden image " << golden_path << "; actual image: " << actual_path
               << " (run with --rebaseline to create it)";
    }
    if (golden->width() != actual.width() || golden->height() != actual.height()) {
        platform::write_png(actual, actual_path);
        return ::testing::AssertionFailure()
               << "size " << actual.width() << "x" << actual.height() << " differs from golden "
               << golden->width() << "x" << golden->height() << "; actual image: " << actual_path;
    }
    platform::FrameBuffer diff(actual.width(), actual.height());
    int differing = 0;
    int largest = 0;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const int difference = channel_difference(actual.at(x, y), golden->at(x, y));
            largest = std::max(largest, difference);
            if (difference > tolerance.max_channel_difference) {
                ++differing;
                diff.at(x, y) = 0xFF0000;
            } else {
                diff.at(x, y) = (golden->at(x, y) >> 2) & 0x3F3F3F;
            }
        }
    }
    if (differing <= tolerance.max_differing_pixels)
        return ::testing::AssertionSuccess();
    const std::string diff_path = output_path(name + ".diff.png");
    platform::write_png(actual, actual_path);
    platform::write_png(diff, diff_path);
    return ::testing::AssertionFailure()
           << name << ": " << differing << " pixels differ by more than " << tolerance.max_channel_difference
           << " (largest difference " << largest << ", allowed " << tolerance.max_differing_pixels
           << " pixels)\n  actual: " << actual_path << "\n  diff:   " << diff_path;
}

} // namespace morvex::painter::testing
