// Sorted reading (view.h): when no key gives the order, the view reads what
// its plan names (a key range, or every record) through the filter, keeps
// each record with its order values, and sorts them, within the view's
// memory bound. The sort is built on the first read and again when the file
// has changed or the time-out has passed; reading then goes on from the
// record last read.
#include "files/driver.h"
#include "files/view/view.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/text_compare.h"

#include <algorithm>
#include <cstring>

namespace morvex {

namespace {

int compare_key(const auto& a, const auto& b) {
    if (a.kind == ValueClass::Text || b.kind == ValueClass::Text)
        return CompareStringValues(a.text, b.text);
    if (a.kind == ValueClass::Integer && b.kind == ValueClass::Integer)
        return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
    const double x = a.kind == ValueClass::Integer ? static_cast<double>(a.integer) : a.real;
    const double y = b.kind == ValueClass::Integer ? static_cast<double>(b.integer) : b.real;
    return x < y ? -1 : x > y ? 1 : 0;
}

} // namespace

void View::sort_keys_of_buffer(std::vector<SortKey>& keys, size_t count) {
    keys.resize(count);
    for (size_t i = 0; i < count; ++i) {
        Expression& e = *m_order_expressions[i];
        SortKey& k = keys[i];
        k.kind = e.value_class() == ValueClass::Picture ? ValueClass::Text : e.value_class();
        switch (k.kind) {
        case ValueClass::Integer:
            k.integer = e.as_integer();
            break;
        case ValueClass::Real:
            k.real = e.as_real();
            break;
        default:
            k.text = std::string(e.as_text());
            break;
        }
    }
}

int View::compare_keys(const std::vector<SortKey>& a, const std::vector<SortKey>& b, size_t count) const {
    for (size_t i = 0; i < count; ++i) {
        const int c = compare_key(a[i], b[i]);
        if (c != 0)
            return m_order[i].descending ? -c : c;
    }
    return 0;
}

size_t View::sort_lower_bound(const std::vector<SortKey>& keys, size_t count) const {
    const auto at = std::partition_point(m_sorted.begin(), m_sorted.end(), [&](const SortedRow& row) {
        return compare_keys(row.keys, keys, count) < 0;
    });
    return static_cast<size_t>(at - m_sorted.begin());
}

int32_t View::build_sort() {
    m_sorted.clear();
    m_sort_built = false;
    size_t used = 0;
    bool too_big = false;
    Anchor start;
    const int32_t error = walk(true, start, [&](Row&& row) {
        SortedRow sorted;
        sort_keys_of_buffer(sorted.keys, m_order.size());
        used +=
            sizeof(SortedRow) + row.image.size() + row.position.size() + sorted.keys.size() * sizeof(SortKey);
        for (const SortKey& k : sorted.keys)
            used += k.text.size();
        if (used > m_sort_memory) {
            too_big = true;
            return false;
        }
        sorted.row = std::move(row);
        m_sorted.push_back(std::move(sorted));
        return true;
    });
    m_read_at = std::chrono::steady_clock::now();
    if (error != 0)
        return error;
    if (too_big) {
        m_sorted.clear();
        m_sorted.shrink_to_fit();
        SetError(ErrInsufficientMemory,
                 "the view's sort needs more than " + std::to_string(m_sort_memory >> 20) + " MiB");
        return ErrInsufficientMemory;
    }
    std::stable_sort(m_sorted.begin(), m_sorted.end(), [&](const SortedRow& a, const SortedRow& b) {
        return compare_keys(a.keys, b.keys, m_order.size()) < 0;
    });
    m_sort_built = true;
    return 0;
}

bool View::ensure_sorted() {
    const uint32_t counter = change_counter();
    if (m_sort_built && counter == m_counter && !timed_out())
        return true;
    const bool had_rows = m_sort_built;
    m_counter = counter;
    if (const int32_t error = build_sort()) {
        if (ErrorCode() != error)
            SetError(error);
        return false;
    }
    if (had_rows && !m_current_position.empty()) {
        // Go on from the record last read, found by its position, or where
        // its order values now fall when it has gone.
        const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(m_sorted.size());
        std::ptrdiff_t found = -1;
        for (std::ptrdiff_t i = 0; i < size && found < 0; ++i) {
            if (m_sorted[static_cast<size_t>(i)].row.position == m_current_position)
                found = i;
        }
        if (found >= 0) {
            m_next = found + 1;
            m_prev = found - 1;
        } else {
            m_next = static_cast<std::ptrdiff_t>(sort_lower_bound(m_current_keys, m_order.size()));
            m_prev = m_next - 1;
        }
        m_prev_last = false;
    }
    return true;
}

void View::sort_step(bool forward) {
    if (!ensure_sorted())
        return;
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(m_sorted.size());
    std::ptrdiff_t at = forward ? m_next : (m_prev_last ? size - 1 : m_prev);
    if (at < 0 || at >= size) {
        if (forward) {
            m_next = size;
            m_prev = size - 1;
        } else {
            m_next = 0;
            m_prev = -1;
        }
        m_prev_last = false;
        SetError(ErrRecordNotAvailable);
        return;
    }
    m_next = at + 1;
    m_prev = at - 1;
    m_prev_last = false;
    const SortedRow& row = m_sorted[static_cast<size_t>(at)];
    m_current_keys = row.keys;
    deliver(row.row);
}

} // namespace morvex
