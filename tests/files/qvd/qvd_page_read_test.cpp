// The QVD driver's page read (files/page_read.h) against NEXT and PREVIOUS:
// in every order and both directions, from the start, from a position and
// across the store accesses a long read is split into, it shows the records
// NEXT or PREVIOUS would read, with the positions POSITION would give, and
// leaves the reading position where they would; a held record is shown held.
#include "files/file_statements.h"
#include "files/page_read.h"
#include "files/qvd/qvd_driver.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/support/temp_directory.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

RecordDescription row_record() {
    return RecordDescription(12, {FieldDescription::Of(FieldType::Long, "R:ID", 0),
                                  FieldDescription::Of(FieldType::Long, "R:GROUP", 4),
                                  FieldDescription::Of(FieldType::Long, "R:AMOUNT", 8)});
}

std::vector<KeyDeclaration> row_keys() {
    return {{.label = "R:BYID", .attributes = KeyPrimary, .components = {1}},
            {.label = "R:BYGROUP", .attributes = KeyDup, .components = {2, -3}}};
}

class Rows {
public:
    explicit Rows(const std::string& path)
        : file(FileSpec{.label = "ROWS",
                        .driver = QvdDriver,
                        .record = row_record(),
                        .keys = row_keys(),
                        .options = {.name = path}}) {}
    int32_t id() {
        int32_t v;
        std::memcpy(&v, file.buffer(), 4);
        return v;
    }
    void put(int32_t id) {
        const int32_t fields[3] = {id, id % 7, (id * 37) % 11};
        std::memcpy(file.buffer(), fields, sizeof fields);
    }
    FileDeclaration file;
};

// What a page read showed: ids, positions, held marks; stops after `limit`.
class Collector final : public PageReader {
public:
    Collector(Rows& rows, bool forward, size_t limit) : PageReader(forward), m_rows(rows), m_limit(limit) {}
    bool visit(const PageRecord& record) override {
        ids.push_back(m_rows.id());
        positions.push_back(record.position());
        held.push_back(record.held());
        return ids.size() < m_limit;
    }
    std::vector<int32_t> ids;
    std::vector<std::string> positions;
    std::vector<bool> held;

private:
    Rows& m_rows;
    size_t m_limit;
};

constexpr int32_t Count = 1300; // more than one store access shows

class QvdPageReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        CREATE(rows.file);
        OPEN(rows.file, AccessReadWrite | ShareDenyNone);
        LOGOUT(rows.file);
        for (int32_t id = 1; id <= Count; ++id) {
            rows.put(id);
            ADD(rows.file);
        }
        COMMIT(rows.file);
        ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    }

    // Positions the reading at the start of `order` (0: record order).
    void start(int order) { order ? SET(*rows.file.key(order)) : SET(rows.file); }
    std::string position(int order) { return order ? POSITION(*rows.file.key(order)) : POSITION(rows.file); }

    // The records and positions NEXT (PREVIOUS) reads from the start, at most `limit`.
    void by_steps(int order, bool forward, size_t limit, std::vector<int32_t>& ids,
                  std::vector<std::string>& positions) {
        start(order);
        while (ids.size() < limit) {
            forward ? NEXT(rows.file) : PREVIOUS(rows.file);
            if (ErrorCode() != 0)
                break;
            ids.push_back(rows.id());
            positions.push_back(position(order));
        }
    }

    testing::TempDirectory dir{"page_read"};
    Rows rows{dir.file("Rows")};
};

TEST_F(QvdPageReadTest, APageShowsWhatNextAndPreviousReadAndLeavesThemThere) {
    for (int order : {0, 1, 2}) {
        for (bool forward : {true, false}) {
            for (size_t limit : {size_t{1}, size_t{20}, size_t{700}, size_t{Count}, size_t{Count + 5}}) {
                SCOPED_TRACE("order " + std::to_string(order) + (forward ? " forwards" : " backwards") +
                             " limit " + std::to_string(limit));
                std::vector<int32_t> ids;
                std::vector<std::string> positions;
                by_steps(order, forward, limit + 1, ids, positions);
                start(order);
                Collector page(rows, forward, limit);
                ASSERT_EQ(ReadPage(rows.file, page), 0) << ErrorText();
                const size_t shown = std::min<size_t>(limit, Count);
                ASSERT_EQ(page.ids.size(), shown);
                EXPECT_TRUE(std::equal(page.ids.begin(), page.ids.end(), ids.begin()));
                EXPECT_TRUE(std::equal(page.positions.begin(), page.positions.end(), positions.begin()));
                EXPECT_EQ(std::count(page.held.begin(), page.held.end(), true), 0);
                // The reading position is on the last record shown, or past the end.
                forward ? NEXT(rows.file) : PREVIOUS(rows.file);
                if (shown < static_cast<size_t>(Count)) {
                    ASSERT_EQ(ErrorCode(), 0);
                    EXPECT_EQ(rows.id(), ids[shown]);
                } else {
                    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
                    forward ? PREVIOUS(rows.file) : NEXT(rows.file);
                    ASSERT_EQ(ErrorCode(), 0);
                    EXPECT_EQ(rows.id(), ids.back());
                }
                // From a position: RESET, then the page starts there.
                order ? RESET(*rows.file.key(order), positions[shown / 2])
                      : RESET(rows.file, positions[shown / 2]);
                Collector from(rows, forward, 3);
                ASSERT_EQ(ReadPage(rows.file, from), 0);
                ASSERT_FALSE(from.ids.empty());
                EXPECT_EQ(from.ids.front(), ids[shown / 2]);
            }
        }
    }
}

TEST_F(QvdPageReadTest, AHeldRecordIsShownHeldAndAnArmedHoldFallsBackToNext) {
    Rows other(dir.file("Rows"));
    OPEN(other.file, AccessReadWrite | ShareDenyNone);
    other.put(40);
    HOLD(other.file);
    GET(other.file, *other.file.key(1));
    ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    start(1);
    Collector page(rows, true, 50);
    ASSERT_EQ(ReadPage(rows.file, page), 0);
    ASSERT_EQ(page.ids.size(), 50u);
    for (size_t i = 0; i < page.ids.size(); ++i)
        EXPECT_EQ(page.held[i], page.ids[i] == 40) << page.ids[i];
    // The page read concerns plain reads only: an armed HOLD is NEXT's.
    HOLD(rows.file);
    Collector armed(rows, true, 5);
    EXPECT_EQ(ReadPage(rows.file, armed), ErrUnsupportedDriverFunction);
    EXPECT_TRUE(armed.ids.empty());
    CLOSE(other.file);
}

} // namespace
} // namespace morvex
