// Declared file names split into the disk file and the table.
#include "files/qvd/qvd_store.h"

#include <gtest/gtest.h>
#include <set>

namespace morvex::qvd {
namespace {

struct NameCase {
    const char* name;
    const char* path;
    const char* table;
};

class SplitFileNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(SplitFileNameTest, SplitsAtTheFirstMarkAfterSomethingOtherThanADirectory) {
    const std::set<std::string> directories = {"data", "data/sub", "data\\", "x"};
    const SplitName split =
        SplitFileName(GetParam().name, [&](const std::string& p) { return directories.contains(p); });
    EXPECT_EQ(split.path, GetParam().path) << GetParam().name;
    EXPECT_EQ(split.table, GetParam().table) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitFileNameTest,
                         testing::Values(NameCase{"customer", "customer.QVD", "UNNAMED"},
                                         NameCase{"customer.dat", "customer.dat", "UNNAMED"},
                                         NameCase{"shop\\!orders", "shop.QVD", "orders"},
                                         NameCase{"shop.qvd\\!orders", "shop.qvd", "orders"},
                                         NameCase{"data\\!shop\\!orders", "data\\!shop.QVD", "orders"},
                                         NameCase{"x\\!y\\!z", "x\\!y.QVD", "z"},
                                         NameCase{"data/sub/file\\!t", "data/sub/file.QVD", "t"},
                                         NameCase{"dir.v2/file\\!t", "dir.v2/file.QVD", "t"},
                                         NameCase{"shop\\!", "shop.QVD", "UNNAMED"},
                                         NameCase{"data\\!", "data\\!.QVD", "UNNAMED"}));

TEST(SplitFileNameTest, AsksTheFileSystemByDefault) {
    const SplitName split = SplitFileName("/tmp\\!file");
    EXPECT_EQ(split.path, "/tmp\\!file.QVD");
    EXPECT_EQ(split.table, "UNNAMED");
}

} // namespace
} // namespace morvex::qvd
