// Output files that appear whole or not at all and never replace an open
// input, and input files whose failures are reasons, not exceptions.
#include "files/input_file.h"
#include "files/output_file.h"
#include "tests/support/temp_directory.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvex {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    std::string text;
    std::string error;
    EXPECT_TRUE(ReadInputFile(path, text, error)) << error;
    return text;
}

class OutputFileTest : public ::testing::Test {
protected:
    std::string file(const std::string& name, const std::string& content) {
        const std::string path = m_dir.file(name);
        std::ofstream(path) << content;
        return path;
    }
    testing::TempDirectory m_dir{"output_file_test"};
};

// The input, open while the output is written, under every name that reaches it.
TEST_F(OutputFileTest, AnOpenInputIsNeverReplaced) {
    const std::string input = file("Self.QVD", "records");
    const int held = ::open(input.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::symlink("Self.QVD", m_dir.file("link").c_str()), 0);
    ASSERT_EQ(::link(input.c_str(), m_dir.file("hard").c_str()), 0);
    const std::string cwd = fs::current_path();
    fs::current_path(m_dir.path());
    for (const std::string& target : {input, std::string("Self.QVD"), std::string("./Self.QVD"),
                                      m_dir.file("link"), m_dir.file("hard")}) {
        OutputFile out;
        std::string error;
        EXPECT_FALSE(out.open(target, error)) << target;
        EXPECT_EQ(error, "it is open as an input") << target;
    }
    fs::current_path(cwd);
    ::close(held);
    EXPECT_EQ(Read(input), "records");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path()), fs::directory_iterator()), 3)
        << "no temporary file left";
}

TEST_F(OutputFileTest, AppearsOnlyWhenCommitted) {
    const std::string target = file("out.csv", "old");
    {
        OutputFile out;
        std::string error;
        ASSERT_TRUE(out.open(target, error)) << error;
        out.stream() << "half";
        EXPECT_EQ(Read(target), "old") << "nothing visible before the commit";
    } // dropped: a failed run
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path()), fs::directory_iterator()), 1);

    ASSERT_EQ(::symlink("out.csv", m_dir.file("link.csv").c_str()), 0);
    OutputFile out;
    std::string error;
    ASSERT_TRUE(out.open(m_dir.file("link.csv"), error)) << error;
    out.stream() << std::string(100000, 'x');
    ASSERT_TRUE(out.commit(error)) << error;
    EXPECT_EQ(Read(target).size(), 100000u);
    EXPECT_TRUE(fs::is_symlink(m_dir.file("link.csv"))) << "the link is kept, the file it names replaced";
}

struct InputCase {
    const char* label;
    std::string path; // relative to the test's directory
    std::string error;
};

class InputFileTest : public OutputFileTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputFileTest, ARefusedReadGivesTheSystemsReason) {
    ASSERT_EQ(::mkdir(m_dir.file("dir").c_str(), 0700), 0);
    std::string text;
    std::string error;
    EXPECT_FALSE(ReadInputFile(m_dir.file(GetParam().path), text, error));
    EXPECT_EQ(error, GetParam().error);
    std::ifstream in;
    EXPECT_FALSE(OpenInputFile(m_dir.file(GetParam().path), in, error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputFileTest,
                         ::testing::Values(InputCase{"missing", "missing.csv", "No such file or directory"},
                                           InputCase{"directory", "dir", "Is a directory"},
                                           InputCase{"in_a_missing_directory", "dir/x/y.csv",
                                                     "No such file or directory"}),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace morvex
