// The artwork compiler run as the build runs it: what each drawing statement
// paints, the formats read back by our own decoders (a GIF long enough to
// refill its code table, icons with alpha and mask), and every kind of bad
// input named by file and line.
#include "tests/support/command_runner.h"
#include "tests/support/temp_directory.h"
#include "window/painter/image.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace morvex {
namespace {

using painter::Image;
using testing::CommandResult;
using testing::RunCommand;
using testing::TempDirectory;

CommandResult artc(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {MORVEX_ARTC};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv);
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// Compiles `text` as `name` (ending in ".art") and decodes the result.
std::optional<Image> compiled(const TempDirectory& dir, const std::string& name, const std::string& text,
                              painter::IconChoice choice = {}) {
    write(dir.file(name), text);
    const CommandResult result = artc({"-d", dir.path(), dir.file(name)});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return painter::load_image(dir.file(name.substr(0, name.size() - 4)), choice);
}

// Each case draws on a 5x5 black image; the rows are the pixels expected,
// in the legend's colours.
constexpr const char* Legend = "colour . none\ncolour k 000000\ncolour w ffffff\ncolour r ff0000\n"
                               "colour 1 404040\ncolour 2 808080\ncolour 3 bfbfbf\n"
                               "image 5 5\nfill k\n";
struct DrawingCase {
    const char* label;
    const char* statements;
    const char* expected;
};

class Drawing : public ::testing::TestWithParam<DrawingCase> {};

TEST_P(Drawing, PaintsTheExpectedPixels) {
    const TempDirectory dir("artc_test");
    const std::optional<Image> image =
        compiled(dir, "d.bmp.art", std::string(Legend) + GetParam().statements);
    ASSERT_TRUE(image);
    const std::map<char, painter::ArgbPixel> legend = {{'k', 0xFF000000}, {'w', 0xFFFFFFFF},
                                                       {'r', 0xFFFF0000}, {'1', 0xFF404040},
                                                       {'2', 0xFF808080}, {'3', 0xFFBFBFBF}};
    std::string actual;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            const auto found = std::find_if(legend.begin(), legend.end(), [&](const auto& entry) {
                return entry.second == image->at(x, y);
            });
            actual += found == legend.end() ? '?' : found->first;
        }
        actual += y < 4 ? "/" : "";
    }
    EXPECT_EQ(actual, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Artc, Drawing,
    ::testing::Values(
        DrawingCase{"Box", "box 0 0 5 5 w", "wwwww/wkkkw/wkkkw/wkkkw/wwwww"},
        DrawingCase{"RectClippedAtTheEdge", "rect 3 3 4 4 r", "kkkkk/kkkkk/kkkkk/kkkrr/kkkrr"},
        DrawingCase{"HugeRectClippedToTheImage", "rect -60000 -9 60004 65536 r\nrect 4 -60000 65536 60004 w",
                    "rrrrw/rrrrw/rrrrw/rrrrw/rrrrk"},
        DrawingCase{"LineWithBothEnds", "line 0 4 4 0 r", "kkkkr/kkkrk/kkrkk/krkkk/rkkkk"},
        DrawingCase{"EllipseInsideItsRectangle", "ellipse 0 0 5 5 w", "kwwwk/wwwww/wwwww/wwwww/kwwwk"},
        DrawingCase{"PolygonByPixelCentres", "polygon r 0 0 5 0 0 5", "rrrrk/rrrkk/rrkkk/rkkkk/kkkkk"},
        DrawingCase{"RowsPlacedWithNoneLeftAlone", "rows 1 1\n r.\n .r\nend",
                    "kkkkk/krkkk/kkrkk/kkkkk/kkkkk"},
        DrawingCase{"TileRepeatedFromTheCorner", "tile\n r.\n .w\nend", "rkrkr/kwkwk/rkrkr/kwkwk/rkrkr"},
        DrawingCase{"GradientFromColourToColour", "gradient right k w", "k123w/k123w/k123w/k123w/k123w"},
        DrawingCase{"GradientInARectangle", "gradient down w k 1 1 1 3", "kkkkk/kwkkk/k2kkk/kkkkk/kkkkk"},
        DrawingCase{"HalfAlphaOverBlack", "fill ffffff/128", "22222/22222/22222/22222/22222"},
        DrawingCase{"NoiseOfNothingChangesNothing", "fill w\nnoise 9 0 1", "wwwww/wwwww/wwwww/wwwww/wwwww"}),
    [](const auto& info) { return std::string(info.param.label); });

// The same drawing as a GIF and as a BMP decodes to the same pixels; the
// noisy one fills the GIF's code table several times over.
TEST(Artc, GifMatchesTheBmpOfTheSameDrawing) {
    const TempDirectory dir("artc_test");
    for (const std::string text :
         {"image 1 1\nfill 123456\n", "image 9 3\nfill 000000\ntile\n w.\nend\n",
          "image 200 150\nfill 808080\nnoise 7 120\n", "image 64 64\nfill 4060a0\nnoise 3 9 2\n"}) {
        const std::optional<Image> gif =
            compiled(dir, "a.gif.art", "colour . none\ncolour w ffffff\n" + text);
        const std::optional<Image> bmp =
            compiled(dir, "a.bmp.art", "colour . none\ncolour w ffffff\n" + text);
        ASSERT_TRUE(gif && bmp) << text;
        EXPECT_EQ(gif->pixels, bmp->pixels) << text;
    }
}

TEST(Artc, GifKeepsTransparency) {
    const TempDirectory dir("artc_test");
    const std::optional<Image> gif = compiled(dir, "t.gif.art", "image 3 1\nrect 1 0 1 1 ff0000\n");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->pixels, (std::vector<painter::ArgbPixel>{0, 0xFFFF0000, 0}));
}

TEST(Artc, IconHoldsEveryImageWithAlphaAndMask) {
    const TempDirectory dir("artc_test");
    const std::string text = "colour . none\ncolour r ff0000\ncolour h 00ff00/128\n"
                             "image 4 2\nrows\n r.hr\n .rr.\nend\nimage 8 8\nfill 0000ff\n";
    const std::optional<Image> small = compiled(dir, "i.ico.art", text, {0, 32});
    ASSERT_TRUE(small);
    EXPECT_EQ(small->pixels, (std::vector<painter::ArgbPixel>{0xFFFF0000, 0, 0x8000FF00, 0xFFFF0000, 0,
                                                              0xFFFF0000, 0xFFFF0000, 0}));
    const std::optional<Image> large = painter::load_image(dir.file("i.ico"), {1, 32});
    ASSERT_TRUE(large);
    EXPECT_EQ(large->width, 8);
    EXPECT_EQ(large->at(7, 7), 0xFF0000FFu);
}

struct ErrorCase {
    const char* label;
    const char* name; // the source's name; "part.art" is there to include
    const char* text;
    const char* message;
};

class BadInput : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BadInput, IsNamedByFileAndLineAndWritesNothing) {
    const TempDirectory dir("artc_test");
    write(dir.file("part.art"), "colour x 000000\nfill x\n");
    write(dir.file(GetParam().name), GetParam().text);
    const CommandResult result = artc({"-d", dir.path(), dir.file(GetParam().name)});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    const std::string output =
        dir.file(std::string(GetParam().name).substr(0, std::strlen(GetParam().name) - 4));
    EXPECT_FALSE(std::ifstream(output)) << "no image from bad input";
    EXPECT_FALSE(std::ifstream(output + ".tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Artc, BadInput,
    ::testing::Values(
        ErrorCase{"UnknownStatement", "a.ico.art", "image 4 4\nblur 2\n",
                  "a.ico.art:2: unknown statement 'blur'"},
        ErrorCase{"BadColour", "a.ico.art", "colour x 12345g\n", "a.ico.art:1: '12345g' is not a colour"},
        ErrorCase{"AlphaOutOfRange", "a.ico.art", "colour x 112233/300\n", ":1: alpha 300 is outside 0-255"},
        ErrorCase{"LongKey", "a.ico.art", "colour xy 000000\n", ":1: a palette key is one character"},
        ErrorCase{"UnknownKey", "a.ico.art", "image 2 2\nfill z\n", ":2: no colour 'z' in the palette"},
        ErrorCase{"DrawingBeforeImage", "a.ico.art", "\n# first\nrect 0 0 1 1 000000\n",
                  ":3: drawing before any 'image'"},
        ErrorCase{"UnknownKeyInRows", "a.ico.art", "colour x 000000\nimage 2 1\nrows\n xy\nend\n",
                  ":4: column 2: no colour 'y' in the palette"},
        ErrorCase{"RowOfAnotherWidth", "a.ico.art", "colour x 000000\nimage 2 2\nrows\n xx\n x\nend\n",
                  ":5: row of 1 pixels; the first row has 2"},
        ErrorCase{"RowsWithoutEnd", "a.ico.art", "colour x 000000\nimage 1 1\nrows\n x\n",
                  ":3: 'rows' without 'end'"},
        ErrorCase{"RowsOfAnotherSize", "a.ico.art", "colour x 000000\nimage 2 2\nrows\n xx\nend\n",
                  ":3: 2x1 rows for a 2x2 image"},
        ErrorCase{"RowsOutside", "a.ico.art", "colour x 000000\nimage 2 2\nrows 1 1\n xx\nend\n",
                  ":3: the rows run outside the image"},
        ErrorCase{"ArgumentCount", "a.ico.art", "image 4\n", ":1: 'image' takes 2 arguments, not 1"},
        ErrorCase{"NotANumber", "a.ico.art", "image 4 four\n", ":1: 'four' is not a number"},
        ErrorCase{"NumberOutOfRange", "a.ico.art", "image 2 2\nline 0 0 70000 0 000000\n",
                  ":2: 70000 is outside"},
        ErrorCase{"NoiseRadius", "a.ico.art", "image 2 2\nnoise 1 2 17\n", ":2: a noise radius is 0 to 16"},
        ErrorCase{"TooLarge", "a.ico.art", "image 2000 2\n", ":1: an image is 1 to 1024 pixels a side"},
        ErrorCase{"BadGradient", "a.ico.art", "image 2 2\ngradient up 000000 ffffff\n",
                  ":2: a gradient runs down"},
        ErrorCase{"ShortPolygon", "a.ico.art", "image 2 2\npolygon 000000 0 0 1 1\n",
                  ":2: 'polygon' takes a colour"},
        ErrorCase{"TransparentBmp", "b.bmp.art", "\nimage 2 2\n", "b.bmp.art:2: pixel 0,0 is not opaque"},
        ErrorCase{"TwoImagesInABmp", "b.bmp.art", "image 1 1\nfill 000000\nimage 1 1\n",
                  "b.bmp.art:3: a bmp file holds one image"},
        ErrorCase{"HalfTransparentGif", "c.gif.art", "image 1 1\nfill 000000/100\n",
                  "c.gif.art:1: a GIF pixel is fully transparent or opaque, not alpha 100"},
        ErrorCase{"TooManyColoursForAGif", "c.gif.art",
                  "image 32 32\ngradient right 000000 ff0000\n"
                  "gradient down 00ff00/0 00ff00/255\n",
                  "c.gif.art:1: more than 256 colours"},
        ErrorCase{"IconTooLarge", "d.ico.art", "image 300 2\n", "d.ico.art:1: an icon image is at most 256"},
        ErrorCase{"UnknownFormat", "e.png.art", "image 1 1\n", "e.png.art: cannot write 'e.png'"},
        ErrorCase{"NoImage", "a.ico.art", "colour x 000000\n", "a.ico.art: no image"},
        ErrorCase{"MissingInclude", "a.ico.art", "\ninclude \"nothere.art\"\n", "a.ico.art:2: cannot read '"},
        ErrorCase{"ErrorInsideAnInclude", "a.ico.art", "include \"part.art\"\n",
                  "part.art:2: drawing before any"},
        ErrorCase{"NotAnArtFile", "a.ico.txt", "image 1 1\n", "a.ico.txt: not an .art file"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Artc, CommandLine) {
    EXPECT_EQ(artc({}).exit_code, 2);
    EXPECT_EQ(artc({"-x", "a.art"}).exit_code, 2);
    const CommandResult missing_directory = artc({"-d"});
    EXPECT_EQ(missing_directory.exit_code, 2);
    EXPECT_NE(missing_directory.err.find("-d needs a directory"), std::string::npos);
    const CommandResult help = artc({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind("usage: artc", 0), 0u);
    EXPECT_EQ(artc({"/nonexistent/a.ico.art"}).exit_code, 1);
}

} // namespace
} // namespace morvex
