// The POSIX file seam's mapped header: absent until the file holds a header,
// current with every write through any descriptor, and given up before the
// file is cut below it.
#include "files/qvd/file_io.h"
#include "tests/support/temp_directory.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace morvex::qvd {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
protected:
    std::shared_ptr<FileIo> Open() {
        auto io = OpenPosixFile(m_path.string(), FileAccess::ReadWrite, FileCreation::CreateIfMissing);
        EXPECT_TRUE(io);
        return io;
    }

    testing::TempDirectory m_dir{"qvd_file_io"};
    fs::path m_path = m_dir.file("data.qvd");
};

void WriteHeader(FileIo& io, uint8_t fill) {
    const std::vector<uint8_t> header(MappedHeaderBytes, fill);
    ASSERT_EQ(io.write_at(0, header.data(), header.size()), static_cast<int64_t>(header.size()));
}

TEST_F(FileIoTest, HeaderIsMappedOnlyOnceTheFileHoldsIt) {
    auto io = Open();
    EXPECT_EQ(io->mapped_header(), nullptr) << "an empty file has nothing to map";
    const std::vector<uint8_t> part(MappedHeaderBytes - 64, 7);
    ASSERT_EQ(io->write_at(0, part.data(), part.size()), static_cast<int64_t>(part.size()));
    EXPECT_EQ(io->mapped_header(), nullptr) << "a file shorter than a header";
    WriteHeader(*io, 9);
    const uint8_t* mapped = io->mapped_header();
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped[0], 9);
    EXPECT_EQ(mapped[MappedHeaderBytes - 1], 9);
}

TEST_F(FileIoTest, MappedHeaderShowsWritesThroughAnotherDescriptor) {
    auto reader = Open();
    auto writer = Open();
    WriteHeader(*writer, 0);
    const uint8_t* mapped = reader->mapped_header();
    ASSERT_NE(mapped, nullptr);
    for (uint8_t value : {1, 2, 250}) {
        const uint8_t counter[4] = {value, 0, 0, value};
        ASSERT_EQ(writer->write_at(24, counter, 4), 4);
        EXPECT_EQ(mapped[24], value);
        EXPECT_EQ(mapped[27], value);
        EXPECT_EQ(mapped[25], 0);
    }
}

// Another open's mapping of the header would fault on its next look (a bus
// error), so the header stays whatever is cut.
TEST_F(FileIoTest, AFileIsNeverCutBelowItsMappedHeader) {
    auto io = Open();
    auto other = Open();
    WriteHeader(*io, 3);
    const uint8_t* mapped = other->mapped_header();
    ASSERT_NE(mapped, nullptr);
    ASSERT_EQ(io->truncate(MappedHeaderBytes), 0) << "down to the header is allowed";
    EXPECT_EQ(io->truncate(0), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(io->size(), static_cast<int64_t>(MappedHeaderBytes));
    EXPECT_EQ(mapped[100], 3) << "the other open still reads its mapping";
}

} // namespace
} // namespace morvex::qvd
