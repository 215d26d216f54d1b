// Reading outside files whole: what is not a regular file is refused with
// the reason, without blocking or throwing, and the limit holds.
#include "platform/file_contents.h"
#include "tests/support/temp_directory.h"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace morvex::platform {
namespace {

TEST(FileContents, ReadsARegularFileWhole) {
    testing::TempDirectory directory;
    const std::string path = directory.file("text.ENV");
    const std::string written(200'000, 'x');
    std::ofstream(path, std::ios::binary) << written;
    std::string contents;
    ASSERT_TRUE(read_file_contents(path, contents));
    EXPECT_EQ(contents, written);
    ASSERT_TRUE(read_file_contents(path, contents, written.size()));
    EXPECT_FALSE(read_file_contents(path, contents, written.size() - 1));
    EXPECT_EQ(errno, EFBIG);
}

TEST(FileContents, RefusesWhatIsNotARegularFile) {
    testing::TempDirectory directory;
    ASSERT_EQ(mkfifo(directory.file("fifo").c_str(), 0600), 0);
    struct Row {
        std::string path;
        int error;
    };
    const Row rows[] = {
        {directory.path(), EISDIR},
        {directory.file("fifo"), EINVAL}, // would block, or never end
        {"/dev/zero", EINVAL},            // would never end
        {directory.file("missing"), ENOENT},
        {directory.file("missing/below"), ENOENT},
    };
    for (const Row& row : rows) {
        std::string contents = "unchanged?";
        errno = 0;
        EXPECT_FALSE(read_file_contents(row.path, contents)) << row.path;
        EXPECT_EQ(errno, row.error) << row.path;
    }
}

} // namespace
} // namespace morvex::platform
