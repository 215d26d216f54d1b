// The text format: errors with file and line, and compile -> dump -> compile
// giving the same bytes for every test window.
#include "platform/resources.h"
#include "window/definition_compiler.h"
#include "window/definition_dumper.h"
#include "window/definition_encoder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace morvex::wdf {
namespace {

std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::filesystem::path> test_windows() {
    std::vector<std::filesystem::path> paths;
    for (const char* directory : {MORVEX_WINDOW_TEST_DATA, MORVEX_WINDOW_TEST_CASES})
        for (const auto& entry : std::filesystem::directory_iterator(directory))
            if (entry.path().extension() == ".wnd")
                paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(DefinitionCompilerTest, EveryTestWindowSurvivesDumpAndCompileByteForByte) {
    const std::vector<std::filesystem::path> paths = test_windows();
    ASSERT_GE(paths.size(), 15u);
    for (const auto& path : paths) {
        SCOPED_TRACE(path.filename().string());
        const CompileResult first = ParseWindowDefinitions(read(path), path.string());
        ASSERT_TRUE(first.ok()) << first.error;
        ASSERT_EQ(first.procedures.size(), 1u);
        const std::vector<uint8_t> bytes = EncodeProcedure(first.procedures[0]);
        const DecodeResult decoded = DecodeResource(bytes);
        ASSERT_TRUE(decoded.ok()) << decoded.error;
        const std::string dump = PrintProcedure(decoded.procedure);
        const CompileResult second = ParseWindowDefinitions(dump, "dump");
        ASSERT_TRUE(second.ok()) << second.error << "\n" << dump;
        EXPECT_EQ(EncodeProcedure(second.procedures[0]), bytes) << dump;
    }
}

TEST(DefinitionCompilerTest, TheBuildRegisteredTheSameBytes) {
    const CompileResult result = ParseWindowDefinitions(
        read(std::filesystem::path(MORVEX_WINDOW_TEST_DATA) / "calendar.wnd"), "calendar");
    ASSERT_TRUE(result.ok()) << result.error;
    const std::vector<uint8_t> expected = EncodeProcedure(result.procedures[0]);
    const auto linked = platform::find_resource("tavemon", "DABDUMP", "taven002_rsc");
    ASSERT_TRUE(linked.has_value());
    EXPECT_TRUE(std::equal(linked->begin(), linked->end(), expected.begin(), expected.end()));
}

TEST(DefinitionCompilerTest, ResourceContentStartsWithTheProcedureName) {
    const CompileResult result = ParseWindowDefinitions("procedure \"p$Q\"\nwindow \"W\"\nend\n", "t");
    ASSERT_TRUE(result.ok()) << result.error;
    const std::vector<uint8_t> bytes = EncodeProcedure(result.procedures[0]);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), std::string("p$Q\0", 4));
    // Block offset k is resource byte k + n - 1: the first window follows the 4-byte head at offset 6.
    EXPECT_EQ(bytes[4], 6);
    EXPECT_EQ(bytes[4 + 6 - 2], WindowRecordType);
    EXPECT_EQ(ResourceNameOf("p$q"), "Q_RSC");
    EXPECT_EQ(ResourceNameOf("fwEIP"), "FWEIP_RSC");
}

struct BadSource {
    const char* label;
    std::string text;
    const char* message; // expected, after "bad.wnd:"
};

class DefinitionCompilerErrorTest : public ::testing::TestWithParam<BadSource> {};

TEST_P(DefinitionCompilerErrorTest, NamesFileAndLine) {
    const CompileResult result = ParseWindowDefinitions(GetParam().text, "bad.wnd");
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.procedures.empty());
    EXPECT_EQ(result.error, std::string("bad.wnd:") + GetParam().message);
}

constexpr const char* Head = "procedure \"p$q\"\nwindow \"W\"\n";

INSTANTIATE_TEST_SUITE_P(
    Table, DefinitionCompilerErrorTest,
    ::testing::Values(
        BadSource{"WindowBeforeProcedure", "window \"W\"\nend\n",
                  "1: a window needs a 'procedure' statement before it"},
        BadSource{"MissingEnd", "procedure \"p$q\"\nwindow \"W\"\n", "2: window \"W\" has no 'end'"},
        BadSource{"UnknownStatement", "procedure \"p$q\"\n\nwindow \"W\"\n  colour 1\nend\n",
                  "4: unknown window statement 'colour'"},
        BadSource{"UnterminatedString", "procedure \"p$q\n", "1: unterminated string"},
        BadSource{"NulInText", "procedure \"p\\x00\"\n", "1: a text cannot hold a NUL character"},
        BadSource{"BadNumber", "procedure \"p$q\"\nwindow \"W\"\n at 1 2 x 4\nend\n",
                  "3: expected position value as a number, not 'x'"},
        BadSource{"OutOfRange", "procedure \"p$q\"\nwindow \"W\"\n button at 1 2 3 4 delay 70000\nend\n",
                  "3: delay 70000 is out of range (0 to 65535)"},
        BadSource{"UnknownOption",
                  "procedure \"p$q\"\nwindow \"W\"\n prompt at 1 2 3 4 picture \"s20\"\nend\n",
                  "3: unknown option 'picture' for a prompt"},
        BadSource{"NoVariable", "procedure \"p$q\"\nwindow \"W\"\n button var LONG 4\nend\n",
                  "3: a button has no variable"},
        BadSource{"TwiceGiven", "procedure \"p$q\"\nwindow \"W\"\n button text \"a\" text \"b\"\nend\n",
                  "3: 'text' is given twice"},
        BadSource{"BadUnit", "procedure \"p$q\"\nwindow \"W\"\n units cm\nend\n",
                  "3: unknown unit 'cm' (dialog, inch25, inch1000 or points)"},
        BadSource{"BadImage", "procedure \"p$q\"\nwindow \"W\"\n icon file 3\nend\n",
                  "3: expected an image: a quoted name, system ID, resource ID or numeric KIND VALUE"},
        BadSource{"ToolbarAsControl", "procedure \"p$q\"\nwindow \"W\"\n control 23\nend\n",
                  "3: a toolbar is given with the 'toolbar' statement"},
        BadSource{"MenuWithoutEnd", "procedure \"p$q\"\nwindow \"W\"\n menubar\n  item \"x\"\n",
                  "4: menu has no 'end'"},
        BadSource{"ProcedureWithoutWindow", "procedure \"p$q\"\n\n", "1: procedure \"p$q\" has no window"},
        BadSource{"TrailingWords", "procedure \"p$q\" extra\n", "1: unexpected 'extra'"},
        BadSource{"RawNulInText", std::string("procedure \"p\0q\"\n", 16),
                  "1: a text cannot hold a NUL character"},
        BadSource{"AttributesWithoutValue",
                  "procedure \"p$q\"\nwindow \"W\"\n button attributes text \"a\"\nend\n",
                  "3: expected attribute names or numbers"},
        BadSource{"VariableCutShort", "procedure \"p$q\"\nwindow \"W\"\n list at 1 2 3 4 var\nend\n",
                  "3: expected data type (LONG, STRING, QUEUE or a number)"}),
    [](const auto& info) { return std::string(info.param.label); });

// Attribute words on a line of their own (window words 1 and 2) or among a
// control's options, up to the first word that is neither a name nor a number.
struct NamedAttributes {
    const char* source; // one statement inside the window
    uint32_t window1;
    uint32_t window2;
    uint32_t control;   // of the first control
    const char* dumped; // the statement as the dumper writes it
};

class NamedAttributesTest : public ::testing::TestWithParam<NamedAttributes> {};

TEST_P(NamedAttributesTest, CompileToTheirBitsAndDumpAsTheirNames) {
    const NamedAttributes& row = GetParam();
    const CompileResult result = ParseWindowDefinitions(std::string(Head) + row.source + "\nend\n", "t");
    ASSERT_TRUE(result.ok()) << result.error;
    const WindowSource& w = result.procedures[0].windows[0];
    EXPECT_EQ(w.attributes1, row.window1);
    EXPECT_EQ(w.attributes2, row.window2);
    EXPECT_EQ(w.controls.empty() ? 0 : w.controls[0].attributes, row.control);
    const std::vector<uint8_t> bytes = EncodeProcedure(result.procedures[0]);
    const std::string text = PrintProcedure(DecodeResource(bytes).procedure);
    EXPECT_NE(text.find(row.dumped), std::string::npos) << text;
    EXPECT_EQ(EncodeProcedure(ParseWindowDefinitions(text, "t").procedures[0]), bytes) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, NamedAttributesTest,
    ::testing::Values(
        NamedAttributes{" attributes resize 0x4 sized", 0x814, 0, 0, "    attributes resize sized 0x4\n"},
        NamedAttributes{" attributes2 mdi center 0x1000 tool modal", 0, 0x1468, 0,
                        "    attributes2 modal center tool mdi 0x1000\n"},
        NamedAttributes{" button attributes default text \"OK\"", 0, 0, 0x40,
                        " attributes default text \"OK\""},
        NamedAttributes{" entry attributes readonly 0x80 skip var STRING 4 picture \"s4\"", 0, 0, 0x2082,
                        " attributes skip readonly 0x80 var STRING 4"},
        NamedAttributes{" list attributes disable transparent hide immediate flat", 0, 0, 0x1C21,
                        " attributes disable transparent hide immediate flat\n"},
        NamedAttributes{" prompt attributes 0x40 text \"x\"", 0, 0, 0x40, " attributes default text"}));

TEST(DefinitionCompilerTest, ControlCodesWithoutALayoutKeepTheirCode) {
    const CompileResult result = ParseWindowDefinitions(
        std::string(Head) + " control 0 at 1 2 3 4\n control 35 feq 9 at - - - -\nend\n", "t");
    ASSERT_TRUE(result.ok()) << result.error;
    const std::vector<uint8_t> bytes = EncodeProcedure(result.procedures[0]);
    const DecodeResult decoded = DecodeResource(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    const std::string text = PrintProcedure(decoded.procedure);
    EXPECT_NE(text.find("    control 0 at 1 2 3 4\n    control 35 feq 9 at - - - -\n"), std::string::npos)
        << text;
    EXPECT_EQ(EncodeProcedure(ParseWindowDefinitions(text, "t").procedures[0]), bytes);
}

TEST(DefinitionCompilerTest, ControlNumbersFollowThePreviousAndWrapAround) {
    const CompileResult result = ParseWindowDefinitions(
        std::string(Head) +
            " toolbar\n  button feq -7\n  button\n end\n prompt feq 2147483647\n prompt\nend\n",
        "t");
    ASSERT_TRUE(result.ok()) << result.error;
    const WindowSource& w = result.procedures[0].windows[0];
    EXPECT_EQ(w.toolbar->record.feq, 0);
    EXPECT_EQ(w.toolbar->controls[1].feq, -8);
    EXPECT_EQ(w.controls[1].feq, INT32_MIN);
    const std::vector<uint8_t> bytes = EncodeProcedure(result.procedures[0]);
    const std::string text = PrintProcedure(DecodeResource(bytes).procedure);
    EXPECT_EQ(EncodeProcedure(ParseWindowDefinitions(text, "t").procedures[0]), bytes) << text;
}

TEST(DefinitionDumperTest, RejectsDamagedContent) {
    EXPECT_FALSE(DecodeResource(std::vector<uint8_t>{'a', 'b'}).ok()) << "no NUL";
    // A window chain that points back at itself.
    std::vector<uint8_t> bytes =
        EncodeProcedure(ParseWindowDefinitions(std::string(Head) + "end\n", "t").procedures[0]);
    const std::size_t name = 4; // "p$q" and its NUL
    const uint32_t first = bytes[name];
    bytes[name + first - 2 + win::Next] = static_cast<uint8_t>(first);
    const DecodeResult looped = DecodeResource(bytes);
    EXPECT_EQ(looped.error, "the window chain runs in a circle");
    bytes.resize(name + 8);
    EXPECT_FALSE(DecodeResource(bytes).ok()) << "window record cut short";
}

} // namespace
} // namespace morvex::wdf
