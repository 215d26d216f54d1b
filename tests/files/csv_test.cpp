#include "files/csv.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace morvex {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct ReadCase {
    const char* label;
    std::string input;
    Rows rows;
};

Rows read_all(const std::string& input, std::string* error = nullptr, std::size_t* last_line = nullptr) {
    std::istringstream in(input);
    CsvReader reader(in);
    Rows rows;
    std::vector<std::string> fields;
    while (reader.next(fields))
        rows.push_back(fields);
    if (error)
        *error = reader.error();
    if (last_line)
        *last_line = reader.record_line();
    return rows;
}

class CsvReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(CsvReadTest, ReadsTheRecords) {
    std::string error;
    EXPECT_EQ(read_all(GetParam().input, &error), GetParam().rows);
    EXPECT_EQ(error, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvReadTest,
    ::testing::Values(ReadCase{"plain_lf", "a,b\n1,2\n", {{"a", "b"}, {"1", "2"}}},
                      ReadCase{"crlf", "a,b\r\n1,2\r\n", {{"a", "b"}, {"1", "2"}}},
                      ReadCase{"no_final_newline", "a,b\n1,2", {{"a", "b"}, {"1", "2"}}},
                      ReadCase{"empty_fields", ",x,\n", {{"", "x", ""}}},
                      ReadCase{"quoted_comma", "\"a,b\",c\n", {{"a,b", "c"}}},
                      ReadCase{"doubled_quote", "\"say \"\"hi\"\"\"\n", {{"say \"hi\""}}},
                      ReadCase{"embedded_newline",
                               "\"two\nlines\",x\r\n\"crlf\r\ninside\"\n",
                               {{"two\nlines", "x"}, {"crlf\r\ninside"}}},
                      ReadCase{"empty_quoted", "\"\",\"\"\n", {{"", ""}}},
                      ReadCase{"blank_middle_line", "a\n\nb\n", {{"a"}, {""}, {"b"}}},
                      ReadCase{"empty_input", "", {}},
                      ReadCase{"windows_1252_bytes_pass", "M\xFCller\n", {{"M\xFCller"}}}),
    [](const auto& info) { return std::string(info.param.label); });

struct BadCase {
    const char* label;
    std::string input;
    std::string error;
};

class CsvBadTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(CsvBadTest, NamesTheLine) {
    std::string error;
    read_all(GetParam().input, &error);
    EXPECT_EQ(error.substr(0, GetParam().error.size()), GetParam().error) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CsvBadTest,
    ::testing::Values(
        BadCase{"unclosed_quote", "a\nb\n\"open\nstill\n", "line 3: a quoted field is not closed"},
        BadCase{"text_after_quote", "a\n\"x\"y\n", "line 2: 'y' after the closing quote"},
        BadCase{"quote_in_unquoted", "a\nab\"c\n", "line 2: a quote inside an unquoted field"},
        BadCase{"lone_carriage_return", "a\rb\n", "line 1: a carriage return without"},
        BadCase{"line_counts_embedded_newlines", "\"a\nb\nc\",1\nx\"\n", "line 4: a quote inside"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CsvTest, RecordLineIsWhereTheRecordStarts) {
    std::istringstream in("h\n\"multi\nline\"\nnext\n");
    CsvReader reader(in);
    std::vector<std::string> fields;
    ASSERT_TRUE(reader.next(fields));
    EXPECT_EQ(reader.record_line(), 1u);
    ASSERT_TRUE(reader.next(fields));
    EXPECT_EQ(reader.record_line(), 2u);
    ASSERT_TRUE(reader.next(fields));
    EXPECT_EQ(reader.record_line(), 4u);
    EXPECT_EQ(fields, std::vector<std::string>{"next"});
}

TEST(CsvTest, WriterQuotesOnlyWhatNeedsItAndReadsBack) {
    const Rows rows{
        {"plain", "with,comma", "with \"quote\"", "two\nlines", " lead", "trail ", ""}, {""}, {"a", "\r\n"}};
    std::ostringstream out;
    CsvWriter writer(out);
    for (const auto& row : rows)
        writer.write(row);
    EXPECT_EQ(out.str().substr(0, 24), "plain,\"with,comma\",\"with");
    EXPECT_NE(out.str().find("\r\n\"\"\r\n"), std::string::npos) << "a lone empty field is quoted";
    EXPECT_EQ(read_all(out.str()), rows);
}

TEST(CsvTest, WriterWithLfEndsLinesWithLf) {
    std::ostringstream out;
    CsvWriter(out, CsvLineEnd::Lf).write({"a", "b"});
    EXPECT_EQ(out.str(), "a,b\n");
}

// A stream whose buffer throws on reading, as a file stream's does when the
// system refuses the read (a directory, an I/O error): an error, not an abort.
TEST(CsvTest, AnInputThatCannotBeReadIsAnErrorNotAnException) {
    std::ifstream directory(".", std::ios::binary);
    ASSERT_TRUE(directory.is_open()) << "the library opens a directory; reading it fails";
    CsvReader csv(directory);
    std::vector<std::string> row;
    EXPECT_FALSE(csv.next(row));
    EXPECT_EQ(csv.error(), "line 1: cannot read the input: Is a directory");
    EXPECT_FALSE(csv.next(row)) << "and it stays failed";
}

} // namespace
} // namespace morvex
