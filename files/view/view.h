// The VIEW engine: ordered, filtered, range-limited reading of a primary
// file through its driver. A view keeps an order (property 7CE6h, items of
// the evaluator's language), a filter (property 7CB8h, compiled once per
// change), page buffering, and a reading position; it plans each reading
// over the file's keys (view_plan.h) and reads through the file statements,
// so it works over any driver. Joined files are to come: the file list
// already holds the primary first, and filters and orders see the fields
// of every file in it.
//
// Errors are in the runtime error state: 33 at either end, 37 when the
// primary file is not open, 800/801 for an order or filter that does not
// compile, 8 when a sort would pass the view's memory bound.
#pragma once

#include "files/file_declaration.h"
#include "files/view/view_order.h"
#include "files/view/view_plan.h"
#include "runtime/evaluator.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

enum ViewProperty : int32_t {
    ViewPropertyFilter = 0x7CB8,
    ViewPropertyOrder = 0x7CE6,
};

class View {
public:
    explicit View(FileDeclaration& primary);
    ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    FileDeclaration& primary() { return *m_files.front(); }
    // The view's files, the primary first.
    const std::vector<FileDeclaration*>& files() const { return m_files; }

    // OPEN(view, mode): the primary file must be open (37 otherwise).
    void Open(int32_t access_mode);
    void Close();
    bool is_open() const { return m_open; }

    // The order and filter texts; a text that does not compile keeps the
    // previous one. Either change starts the reading over (SET(view)).
    void SetOrder(std::string_view text);
    void SetFilter(std::string_view text);
    const std::string& order() const { return m_order_text; }
    const std::string& filter() const { return m_filter_text; }
    const std::vector<OrderItem>& order_items() const { return m_order; }

    // BUFFER(view, page size, pages behind, pages ahead, time-out seconds).
    void SetBuffer(int32_t page_size, int32_t pages_behind, int32_t pages_ahead, int32_t timeout_seconds);
    // The most memory a sort may use (bytes).
    void SetSortMemory(size_t bytes) { m_sort_memory = bytes; }

    // SET(view, n): NEXT then reads the first record whose first n order
    // items are at or after the values the view's record buffers hold now
    // (n = 0: the first record), PREVIOUS the last one before them.
    void Set(int32_t items);
    void Next();
    void Previous();
    // The current record's position, by which Reset and Reget find it again.
    std::string Position();
    // NEXT then reads the record at the position (or the one after it, when
    // it has gone), PREVIOUS the one before.
    void Reset(std::string_view position);
    // Reads the record at the position into the buffers, leaving the reading
    // position alone.
    void Reget(std::string_view position);
    // Drops the buffered pages, so that the next read goes to the file.
    void Refresh();

    // How the view reads now, in words (which key, which bounds, or a sort).
    std::string Explain();
    // Records read from the file since the view was made (for tests and benchmarks).
    uint64_t records_read() const { return m_records_read; }

    struct Row {
        std::vector<uint8_t> image;
        std::string position; // the driver's position in the order walked
        bool held = false;    // held by another station when read: no image
    };

private:
    struct Anchor {
        enum class Kind : uint8_t { Start, Values, Row } kind = Kind::Start;
        std::vector<uint8_t> image; // Values: the record buffer's values
        int32_t items = 0;          // Values: how many order items count
        std::string position;       // Row: a record's position
        bool skip_forward = true;   // Row: NEXT reads past the record
        bool skip_backward = true;  // Row: PREVIOUS reads past the record
    };
    struct SortKey {
        ValueClass kind = ValueClass::Integer;
        int64_t integer = 0;
        double real = 0;
        std::string text;
    };
    struct SortedRow {
        std::vector<SortKey> keys;
        Row row;
    };

    bool compile(std::string_view text, std::unique_ptr<Expression>& into);
    void replan();
    // Clears the error; false (error 37) when the view is closed, else planned.
    bool begin_reading();
    KeyDeclaration* walked_key() const;
    uint32_t change_counter();
    bool timed_out() const;
    // Makes the row the current record (a held one is read again: 43 while
    // the hold lasts).
    void deliver(const Row& row);
    // The position of the last (first) buffered row that has one.
    const std::string& edge_position(bool last) const;

    // Reads rows in the view's direction `forward` from the anchor into
    // `sink` (which returns false to stop): 0, or the driver's error.
    int32_t walk(bool forward, const Anchor& anchor, const std::function<bool(Row&&)>& sink);
    int32_t fetch(bool forward, const Anchor& anchor, std::vector<Row>& rows);
    void step(bool forward);

    bool ensure_sorted();
    int32_t build_sort();
    void sort_keys_of_buffer(std::vector<SortKey>& keys, size_t count);
    int compare_keys(const std::vector<SortKey>& a, const std::vector<SortKey>& b, size_t count) const;
    void sort_step(bool forward);
    size_t sort_lower_bound(const std::vector<SortKey>& keys, size_t count) const;

    std::vector<FileDeclaration*> m_files;
    bool m_open = false;
    std::string m_order_text;
    std::string m_filter_text;
    std::vector<OrderItem> m_order;
    std::vector<std::unique_ptr<Expression>> m_order_expressions;
    std::unique_ptr<Expression> m_filter;
    ViewPlan m_plan;
    bool m_planned = false;

    int32_t m_page_size = 20;
    int32_t m_pages_behind = 2;
    int32_t m_pages_ahead = 0;
    int32_t m_timeout_seconds = 60;
    size_t m_sort_memory = size_t{256} << 20;

    // Key walks and record order: the buffered rows in view order, the
    // current one at m_at (-1 before them, size() after them).
    std::deque<Row> m_rows;
    std::ptrdiff_t m_at = -1;
    Anchor m_anchor;
    uint32_t m_counter = 0;
    std::chrono::steady_clock::time_point m_read_at{};

    // Sorts: every row in order; NEXT reads row m_next, PREVIOUS row m_prev
    // (the last row while m_prev_last is set, as after SET(view)).
    std::vector<SortedRow> m_sorted;
    bool m_sort_built = false;
    std::ptrdiff_t m_next = 0;
    std::ptrdiff_t m_prev = -1;
    bool m_prev_last = true;
    std::string m_current_position;
    std::vector<SortKey> m_current_keys; // the sort keys of the record last read

    uint64_t m_records_read = 0;
};

} // namespace morvex
