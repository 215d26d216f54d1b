// The VIEW engine (view.h): texts, plans, key walks with page buffering.
// Sorted reading is in view_sort.cpp.
#include "files/view/view.h"

#include "files/driver.h"
#include "files/file_statements.h"
#include "files/page_read.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <algorithm>
#include <cstring>

namespace morvex {

namespace {

// Binds every field of the files under its label in a scope of its own, so
// that the texts see the view's fields and nothing else.
class FieldScope {
public:
    explicit FieldScope(const std::vector<FileDeclaration*>& files) {
        PUSHSCOPE();
        for (FileDeclaration* file : files) {
            uint8_t* record = file->buffer();
            for (const FieldDescription& f : file->record.fields()) {
                if (IsBindableType(f.type))
                    BIND(f.label, BoundVariable{f.type, record + f.offset, f.size, 0, f.dimension});
            }
        }
    }
    ~FieldScope() { POPSCOPE(); }
    FieldScope(const FieldScope&) = delete;
    FieldScope& operator=(const FieldScope&) = delete;
};

// A key walk's page reader: each record the driver shows goes to `visit`.
class WalkReader final : public PageReader {
public:
    WalkReader(bool forward, std::function<bool(const PageRecord&)> visit)
        : PageReader(forward), m_visit(std::move(visit)) {}
    bool visit(const PageRecord& record) override { return m_visit(record); }

private:
    std::function<bool(const PageRecord&)> m_visit;
};

} // namespace

View::View(FileDeclaration& primary) : m_files{&primary} {}

View::~View() = default;

void View::Open(int32_t) {
    ClearError();
    if (m_open) {
        SetError(ErrFileAlreadyOpen);
        return;
    }
    FileProperty(primary(), FilePropertyOrder);
    if (ErrorCode() == ErrFileNotOpen)
        return;
    ClearError();
    m_open = true;
    m_counter = change_counter();
    Set(0);
}

void View::Close() {
    ClearError();
    if (!m_open) {
        SetError(ErrFileNotOpen);
        return;
    }
    m_open = false;
    m_rows.clear();
    m_sorted.clear();
    m_sort_built = false;
}

bool View::compile(std::string_view text, std::unique_ptr<Expression>& into) {
    FieldScope scope(m_files);
    into = Expression::Compile(text);
    return into != nullptr;
}

void View::SetOrder(std::string_view text) {
    ClearError();
    std::vector<OrderItem> items;
    if (!ParseOrder(text, primary(), items)) {
        SetError(ErrInvalidExpression);
        return;
    }
    std::vector<std::unique_ptr<Expression>> expressions(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (!compile(items[i].expression, expressions[i]))
            return;
    }
    m_order_text = std::string(text);
    m_order = std::move(items);
    m_order_expressions = std::move(expressions);
    replan();
}

void View::SetFilter(std::string_view text) {
    ClearError();
    std::unique_ptr<Expression> compiled;
    bool blank = true;
    for (char c : text)
        blank = blank && (c == ' ' || c == '\t');
    if (!blank && !compile(text, compiled))
        return;
    m_filter_text = blank ? std::string() : std::string(text);
    m_filter = std::move(compiled);
    replan();
}

void View::SetBuffer(int32_t page_size, int32_t pages_behind, int32_t pages_ahead, int32_t timeout_seconds) {
    ClearError();
    m_page_size = std::max(page_size, 1);
    m_pages_behind = std::max(pages_behind, 0);
    m_pages_ahead = std::max(pages_ahead, 0);
    m_timeout_seconds = std::max(timeout_seconds, 0);
}

void View::replan() {
    m_plan = PlanView(primary(), m_order, FilterBounds(m_filter_text, primary()));
    m_planned = true;
    m_sorted.clear();
    m_sort_built = false;
    m_rows.clear();
    m_at = -1;
    m_anchor = Anchor{};
    m_next = 0;
    m_prev = -1;
    m_prev_last = true;
}

std::string View::Explain() {
    if (!m_planned)
        replan();
    return m_plan.text(m_order, m_sort_memory);
}

KeyDeclaration* View::walked_key() const {
    return m_plan.kind == ViewPlan::Kind::RecordOrder ? nullptr : m_plan.key;
}

uint32_t View::change_counter() {
    // A driver without the counter: buffers age by time alone.
    return ChangeCounter(primary()).value_or(0);
}

bool View::timed_out() const {
    return m_timeout_seconds > 0 &&
           std::chrono::steady_clock::now() - m_read_at > std::chrono::seconds(m_timeout_seconds);
}

void View::deliver(const Row& row) {
    ClearError();
    if (row.held) {
        // Another station held the record when its page was read. Reading
        // it now gives it when the hold has ended, and 43 with nothing read
        // while it lasts; either way the view has moved onto its place, so
        // that the next read goes on past it.
        if (row.position.empty()) {
            SetError(ErrRecordAlreadyHeld);
            return;
        }
        KeyDeclaration* key = walked_key();
        key ? REGET(*key, row.position) : REGET(primary(), row.position);
        if (ErrorCode() == 0)
            m_current_position = row.position;
        return;
    }
    std::memcpy(primary().buffer(), row.image.data(), row.image.size());
    m_current_position = row.position;
}

const std::string& View::edge_position(bool last) const {
    // Rows kept without a position (held ones read by NEXT) are passed over.
    static const std::string none;
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(m_rows.size());
    for (std::ptrdiff_t i = 0; i < size; ++i) {
        const Row& row = m_rows[static_cast<size_t>(last ? size - 1 - i : i)];
        if (!row.position.empty())
            return row.position;
    }
    return none;
}

bool View::begin_reading() {
    ClearError();
    if (!m_open) {
        SetError(ErrFileNotOpen);
        return false;
    }
    if (!m_planned)
        replan();
    return true;
}

void View::Set(int32_t items) {
    if (!begin_reading())
        return;
    m_anchor = Anchor{};
    items = std::clamp<int32_t>(items, 0, static_cast<int32_t>(m_order.size()));
    if (items > 0) {
        m_anchor.kind = Anchor::Kind::Values;
        m_anchor.items = items;
        m_anchor.image.assign(primary().buffer(), primary().buffer() + primary().record_length);
    }
    m_rows.clear();
    m_at = -1;
    if (m_plan.kind == ViewPlan::Kind::Sort) {
        // Building the sort reads every record through the buffer: the
        // values to position at are the caller's, as they were before it.
        const std::vector<uint8_t> values(primary().buffer(), primary().buffer() + primary().record_length);
        const bool sorted = ensure_sorted();
        std::copy(values.begin(), values.end(), primary().buffer());
        if (!sorted)
            return;
        if (items == 0) {
            m_next = 0;
            m_prev_last = true;
        } else {
            std::vector<SortKey> keys;
            sort_keys_of_buffer(keys, static_cast<size_t>(items));
            m_next = static_cast<std::ptrdiff_t>(sort_lower_bound(keys, static_cast<size_t>(items)));
            m_prev = m_next - 1;
            m_prev_last = false;
        }
    }
}

int32_t View::walk(bool forward, const Anchor& anchor, const std::function<bool(Row&&)>& sink) {
    FileDeclaration& file = primary();
    KeyDeclaration* key = walked_key();
    const bool driver_forward = forward != m_plan.reverse;
    const KeyRange& range = m_plan.range;
    const bool ranged = key && !range.empty();
    uint8_t* buffer = file.buffer();
    std::string skip_position;
    bool skip_equal_values = false;
    int32_t skip_components = 0;
    std::vector<uint8_t> values;

    auto start_of_range = [&] {
        if (!ranged) {
            key ? SET(*key) : SET(file);
            return;
        }
        // The range's first entry (or last, walking backwards): the bounds,
        // and beyond them the lowest (highest) values.
        std::vector<uint8_t> seek = driver_forward ? range.first : range.last;
        const bool has_bound = driver_forward ? range.has_first : range.has_last;
        const int32_t kept = range.fixed + (has_bound ? 1 : 0);
        FillAfter(*key, kept, seek.data(), !driver_forward);
        std::memcpy(buffer, seek.data(), seek.size());
        SET(*key, *key);
    };

    switch (anchor.kind) {
    case Anchor::Kind::Start:
        start_of_range();
        break;
    case Anchor::Kind::Values: {
        if (!key || m_plan.kind != ViewPlan::Kind::KeyWalk) {
            start_of_range();
            break;
        }
        // The order items are the key's components from the first one not
        // held by the range; the held ones take the range's values.
        values = anchor.image;
        int32_t kept = 0;
        for (int32_t n = 1, item = 0; n <= key->component_count() && item < anchor.items; ++n) {
            if (n <= range.fixed && m_order[static_cast<size_t>(item)].field != key->field_number(n)) {
                const FieldDescription& f = file.record.field(key->field_number(n));
                std::memcpy(values.data() + f.offset, range.first.data() + f.offset, f.size);
            } else {
                ++item;
            }
            kept = n;
        }
        FillAfter(*key, kept, values.data(), m_plan.reverse);
        const int where = ranged ? Classify(*key, range, values.data()) : 0;
        if ((driver_forward && where < 0) || (!driver_forward && where > 0)) {
            start_of_range();
            break;
        }
        if (where != 0)
            return 0; // the values lie beyond the range in this direction
        std::memcpy(buffer, values.data(), values.size());
        SET(*key, *key);
        // Reading backwards, records at the given values belong to NEXT.
        skip_equal_values = !forward;
        skip_components = kept;
        break;
    }
    case Anchor::Kind::Row:
        key ? RESET(*key, anchor.position) : RESET(file, anchor.position);
        if (forward ? anchor.skip_forward : anchor.skip_backward)
            skip_position = anchor.position;
        break;
    }
    if (ErrorCode() != 0)
        return ErrorCode();

    // The tests of the record in the buffer (its stored image, when another
    // station holds it and a page read shows it).
    enum class Verdict { Pass, Take, End };
    auto judge = [&] {
        ++m_records_read;
        if (ranged) {
            const int where = Classify(*key, range, buffer);
            if (where != 0)
                return (where > 0) == driver_forward ? Verdict::End : Verdict::Pass;
        }
        if (skip_equal_values) {
            bool equal = true;
            for (int32_t n = 1; n <= skip_components && equal; ++n)
                equal = CompareComponent(*key, n, buffer, values.data()) == 0;
            if (equal)
                return Verdict::Pass;
            skip_equal_values = false;
        }
        if (m_filter && !m_filter->as_truth())
            return Verdict::Pass;
        return Verdict::Take;
    };
    // Keeps a record that passed; false when the sink wants no more.
    auto take = [&](std::string&& position, bool held) {
        if (!skip_position.empty()) {
            if (position == skip_position)
                return true;
            skip_position.clear();
        }
        Row row;
        row.position = std::move(position);
        row.held = held;
        if (!held)
            row.image.assign(buffer, buffer + file.record_length);
        return sink(std::move(row));
    };

    // The driver's page read: every record in one call. A held record's
    // stored image must not stay in the buffer: when the page read showed
    // one last, the buffer gets back what it held before.
    const std::vector<uint8_t> saved(buffer, buffer + file.record_length);
    bool held_shown_last = false;
    WalkReader reader(driver_forward, [&](const PageRecord& record) {
        held_shown_last = record.held();
        switch (judge()) {
        case Verdict::End:
            return false;
        case Verdict::Pass:
            return true;
        case Verdict::Take:
            break;
        }
        return take(record.position(), record.held());
    });
    const int32_t paged = ReadPage(file, reader);
    if (held_shown_last)
        std::memcpy(buffer, saved.data(), saved.size());
    if (paged != ErrUnsupportedDriverFunction)
        return paged;

    // Otherwise NEXT or PREVIOUS per record. A record held by another station
    // reads nothing (43) but is passed, so it is kept as a held row without
    // tests or position; its place is reported when it is reached.
    ClearError();
    for (;;) {
        driver_forward ? NEXT(file) : PREVIOUS(file);
        const int32_t error = ErrorCode();
        if (error == ErrRecordNotAvailable) {
            ClearError();
            return 0;
        }
        if (error == ErrRecordAlreadyHeld) {
            ClearError();
            if (!take(std::string(), true))
                return 0;
            continue;
        }
        if (error != 0)
            return error;
        switch (judge()) {
        case Verdict::End:
            return 0;
        case Verdict::Pass:
            continue;
        case Verdict::Take:
            break;
        }
        if (!take(key ? POSITION(*key) : POSITION(file), false))
            return 0;
    }
}

int32_t View::fetch(bool forward, const Anchor& anchor, std::vector<Row>& rows) {
    const size_t wanted = static_cast<size_t>(m_page_size) * static_cast<size_t>(1 + m_pages_ahead);
    const int32_t error = walk(forward, anchor, [&](Row&& row) {
        rows.push_back(std::move(row));
        return rows.size() < wanted;
    });
    m_read_at = std::chrono::steady_clock::now();
    return error;
}

void View::Refresh() {
    m_sort_built = false;
    if (m_rows.empty())
        return;
    // The buffered rows become an anchor: reading goes on from the current
    // record (or past the last, or before the first) as the file is now.
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(m_rows.size());
    Anchor anchor;
    anchor.kind = Anchor::Kind::Row;
    if (m_at >= size) {
        anchor.position = edge_position(true);
        anchor.skip_backward = false;
    } else if (m_at < 0) {
        anchor.position = edge_position(false);
        anchor.skip_forward = false;
    } else {
        anchor.position = m_rows[static_cast<size_t>(m_at)].position;
        if (anchor.position.empty())
            anchor.position = edge_position(true);
    }
    m_anchor = std::move(anchor);
    m_rows.clear();
    m_at = -1;
}

void View::step(bool forward) {
    if (!begin_reading())
        return;
    if (m_plan.kind == ViewPlan::Kind::Sort) {
        sort_step(forward);
        return;
    }
    const uint32_t counter = change_counter();
    if (!m_rows.empty() && (counter != m_counter || timed_out()))
        Refresh();
    m_counter = counter;
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(m_rows.size());
    if (forward && m_at + 1 < size) {
        deliver(m_rows[static_cast<size_t>(++m_at)]);
        return;
    }
    if (!forward && m_at - 1 >= 0 && m_at - 1 < size) {
        deliver(m_rows[static_cast<size_t>(--m_at)]);
        return;
    }
    Anchor from = m_anchor;
    if (!m_rows.empty()) {
        from = Anchor{};
        from.kind = Anchor::Kind::Row;
        from.position = edge_position(forward);
    }
    std::vector<Row> rows;
    if (const int32_t error = fetch(forward, from, rows)) {
        SetError(error);
        return;
    }
    if (rows.empty()) {
        m_at = forward ? static_cast<std::ptrdiff_t>(m_rows.size()) : -1;
        SetError(ErrRecordNotAvailable);
        return;
    }
    const size_t keep =
        static_cast<size_t>(m_page_size) * static_cast<size_t>(m_pages_behind + m_pages_ahead + 1) +
        rows.size();
    if (forward) {
        m_at = static_cast<std::ptrdiff_t>(m_rows.size());
        for (Row& row : rows)
            m_rows.push_back(std::move(row));
        while (m_rows.size() > keep && m_at > 0) {
            m_rows.pop_front();
            --m_at;
        }
    } else {
        for (Row& row : rows)
            m_rows.push_front(std::move(row));
        m_at = static_cast<std::ptrdiff_t>(rows.size()) - 1;
        while (m_rows.size() > keep && static_cast<std::ptrdiff_t>(m_rows.size()) - 1 > m_at)
            m_rows.pop_back();
    }
    deliver(m_rows[static_cast<size_t>(m_at)]);
}

void View::Next() {
    step(true);
}

void View::Previous() {
    step(false);
}

std::string View::Position() {
    ClearError();
    KeyDeclaration* key = m_plan.kind == ViewPlan::Kind::RecordOrder ? nullptr : m_plan.key;
    const char order = static_cast<char>(key ? std::find_if(primary().keys.begin(), primary().keys.end(),
                                                            [&](const auto& k) { return k.get() == key; }) -
                                                   primary().keys.begin() + 1
                                             : 0);
    return std::string(1, order) + m_current_position;
}

namespace {

KeyDeclaration* key_of_position(FileDeclaration& file, std::string_view position) {
    return position.empty() || position[0] == 0 ? nullptr : file.key(static_cast<uint8_t>(position[0]));
}

} // namespace

void View::Reget(std::string_view position) {
    ClearError();
    if (position.empty()) {
        SetError(ErrRecordNotFound);
        return;
    }
    KeyDeclaration* key = key_of_position(primary(), position);
    key ? REGET(*key, position.substr(1)) : REGET(primary(), position.substr(1));
}

void View::Reset(std::string_view position) {
    if (!begin_reading())
        return;
    if (position.empty()) {
        SetError(ErrRecordNotFound);
        return;
    }
    KeyDeclaration* key = key_of_position(primary(), position);
    if (key != walked_key()) {
        // Kept under another order: find the record and position at its values.
        Reget(position);
        if (ErrorCode() != 0)
            return;
        Set(static_cast<int32_t>(m_order.size()));
        return;
    }
    m_rows.clear();
    m_at = -1;
    m_anchor = Anchor{};
    m_anchor.kind = Anchor::Kind::Row;
    m_anchor.position = std::string(position.substr(1));
    m_anchor.skip_forward = false;
    if (m_plan.kind == ViewPlan::Kind::Sort) {
        if (!ensure_sorted())
            return;
        for (size_t i = 0; i < m_sorted.size(); ++i) {
            if (m_sorted[i].row.position == m_anchor.position) {
                m_next = static_cast<std::ptrdiff_t>(i);
                m_prev = m_next - 1;
                m_prev_last = false;
                return;
            }
        }
        Reget(position);
        if (ErrorCode() == 0)
            Set(static_cast<int32_t>(m_order.size()));
    }
}

} // namespace morvex
