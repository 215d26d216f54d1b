// The view planner (view_plan.h): choosing the key to walk and its range.
#include "files/view/view_plan.h"

#include "runtime/evaluator.h"
#include "runtime/field_compare.h"
#include "runtime/text_compare.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace morvex {

namespace {

bool is_integer(FieldType type) {
    return type == FieldType::Byte || type == FieldType::Short || type == FieldType::UShort ||
           type == FieldType::Long || type == FieldType::ULong;
}

bool is_real(FieldType type) {
    return type == FieldType::Real || type == FieldType::SReal;
}

bool is_text(FieldType type) {
    return type == FieldType::String || type == FieldType::CString || type == FieldType::PString;
}

std::string_view text_of(const FieldDescription& field, const uint8_t* record) {
    const char* p = reinterpret_cast<const char*>(record + field.offset);
    switch (field.type) {
    case FieldType::CString:
        return {p, strnlen(p, field.size)};
    case FieldType::PString:
        return {p + 1, std::min<size_t>(static_cast<uint8_t>(p[0]), field.size - 1)};
    default:
        return {p, field.size};
    }
}

// The characters that sort first and last in the runtime's text comparison,
// found once: a text filled with the first sorts before every other text of
// its size. `with_zero` says whether character 0 may be used.
struct Extremes {
    char lowest = 0;
    char highest = 0;
};

Extremes find_extremes(bool no_case, bool with_zero) {
    Extremes e{with_zero ? '\0' : '\x01', with_zero ? '\0' : '\x01'};
    auto compare = [no_case](char a, char b) {
        const std::string_view x(&a, 1);
        const std::string_view y(&b, 1);
        return no_case ? CompareStringValuesNoCase(x, y) : CompareStringValues(x, y);
    };
    for (int c = with_zero ? 0 : 1; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        if (compare(ch, e.lowest) < 0)
            e.lowest = ch;
        if (compare(ch, e.highest) > 0)
            e.highest = ch;
    }
    return e;
}

const Extremes& extremes(bool no_case, bool with_zero) {
    static const std::array<Extremes, 4> table{find_extremes(false, false), find_extremes(false, true),
                                               find_extremes(true, false), find_extremes(true, true)};
    return table[(no_case ? 2 : 0) + (with_zero ? 1 : 0)];
}

template <class T>
void put(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

// Writes a bound's constant into the field; false when the constant's kind
// does not fit the field. Integers are rounded outwards (down for a lower
// bound), so that the range never excludes what the filter lets through.
bool store_bound(const FieldDescription& field, const FieldBound& bound, bool lower, uint8_t* record) {
    uint8_t* at = record + field.offset;
    if (is_text(field.type)) {
        if (!bound.is_text)
            return false;
        const std::string& t = bound.text;
        if (field.type == FieldType::String) {
            std::memset(at, ' ', field.size);
            std::memcpy(at, t.data(), std::min<size_t>(t.size(), field.size));
        } else if (field.type == FieldType::CString) {
            std::memset(at, 0, field.size);
            std::memcpy(at, t.data(), std::min<size_t>(t.size(), field.size - 1));
        } else {
            const size_t n = std::min<size_t>(t.size(), field.size - 1);
            at[0] = static_cast<uint8_t>(n);
            std::memcpy(at + 1, t.data(), n);
        }
        return true;
    }
    if (bound.is_text)
        return false;
    const double v = lower ? std::floor(bound.number) : std::ceil(bound.number);
    auto clamp = [v](double low, double high) { return std::min(std::max(v, low), high); };
    switch (field.type) {
    case FieldType::Byte:
        *at = static_cast<uint8_t>(clamp(0, 255));
        return true;
    case FieldType::Short:
        put(at, static_cast<int16_t>(clamp(-32768, 32767)));
        return true;
    case FieldType::UShort:
        put(at, static_cast<uint16_t>(clamp(0, 65535)));
        return true;
    case FieldType::Long:
        put(at, static_cast<int32_t>(clamp(-2147483648.0, 2147483647.0)));
        return true;
    case FieldType::ULong:
        put(at, static_cast<uint32_t>(clamp(0, 4294967295.0)));
        return true;
    case FieldType::Real:
        put(at, bound.number);
        return true;
    default:
        return false; // SREAL would round the constant: no bound
    }
}

std::string bound_text(const FieldDescription& field, const FieldBound& bound) {
    std::string name = bound.upper ? "UPPER(" + field.label + ")" : field.label;
    const char* op = bound.op == BoundOp::Equal ? " = " : bound.op == BoundOp::AtLeast ? " >= " : " <= ";
    if (bound.is_text)
        return name + op + "'" + bound.text + "'";
    char number[32];
    return name + op + std::string(RealToText(bound.number, number));
}

// Whether a bound may narrow a walk of this component: text bounds through
// UPPER only on a NOCASE key (a case-sensitive key would miss other cases).
bool bound_fits(const KeyDeclaration& key, const FieldDescription& field, const FieldBound& bound) {
    if (bound.upper && !(is_text(field.type) && key.has(KeyNoCase)))
        return false;
    return is_text(field.type) == bound.is_text;
}

KeyRange range_of(const KeyDeclaration& key, const FileDeclaration& file,
                  const std::vector<FieldBound>& bounds) {
    KeyRange range;
    range.first.assign(file.record_length, 0);
    range.last.assign(file.record_length, 0);
    for (int32_t n = 1; n <= key.component_count(); ++n) {
        if (!IsSeekableField(file.record.field(key.field_number(n))))
            return KeyRange{}; // no seek past a component we cannot fill
    }
    for (int32_t n = 1; n <= key.component_count(); ++n) {
        const int32_t field_number = key.field_number(n);
        const FieldDescription& field = file.record.field(field_number);
        const FieldBound* equal = nullptr;
        const FieldBound* low = nullptr;
        const FieldBound* high = nullptr;
        for (const FieldBound& b : bounds) {
            if (b.field != field_number || !bound_fits(key, field, b))
                continue;
            if (b.op == BoundOp::Equal && !equal)
                equal = &b;
            else if (b.op == BoundOp::AtLeast && !low)
                low = &b;
            else if (b.op == BoundOp::AtMost && !high)
                high = &b;
        }
        if (equal && store_bound(field, *equal, true, range.first.data()) &&
            store_bound(field, *equal, false, range.last.data())) {
            range.fixed = n;
            range.described.push_back(bound_text(field, *equal));
            continue;
        }
        const bool descending = key.descending(n);
        const FieldBound* first = descending ? high : low;
        const FieldBound* last = descending ? low : high;
        if (first && store_bound(field, *first, !descending, range.first.data())) {
            range.has_first = true;
            range.described.push_back(bound_text(field, *first));
        }
        if (last && store_bound(field, *last, descending, range.last.data())) {
            range.has_last = true;
            range.described.push_back(bound_text(field, *last));
        }
        break;
    }
    return range;
}

// Whether the range leaves out a record whose components are all empty, so
// that walking an OPT key (which has no entries for such records) misses nothing.
bool excludes_empty(const KeyDeclaration& key, const FileDeclaration& file, const KeyRange& range) {
    if (range.empty())
        return false;
    std::vector<uint8_t> empty(file.record_length);
    ClearRecord(file.record, empty.data());
    return Classify(key, range, empty.data()) != 0;
}

int range_weight(const KeyRange& range) {
    return range.fixed * 2 + (range.has_first ? 1 : 0) + (range.has_last ? 1 : 0);
}

// Whether the order's items follow the key's components, skipping components
// the range holds to one value; `reverse` tells the direction.
bool order_follows_key(const KeyDeclaration& key, const FileDeclaration& file,
                       const std::vector<OrderItem>& order, const KeyRange& range, bool& reverse) {
    size_t item = 0;
    bool direction_known = false;
    for (int32_t n = 1; n <= key.component_count() && item < order.size(); ++n) {
        const OrderItem& o = order[item];
        const int32_t field_number = key.field_number(n);
        const FieldDescription& field = file.record.field(field_number);
        const bool case_blind = key.has(KeyNoCase) && is_text(field.type);
        const bool same_field =
            o.field == field_number && o.upper == case_blind && (!o.upper || is_text(field.type));
        if (!same_field) {
            if (n <= range.fixed)
                continue;
            return false;
        }
        const bool against = o.descending != key.descending(n);
        if (direction_known && against != reverse)
            return false;
        reverse = against;
        direction_known = true;
        ++item;
    }
    return item == order.size();
}

} // namespace

bool IsSeekableField(const FieldDescription& field) {
    return field.dimension == 1 && (is_integer(field.type) || is_real(field.type) || is_text(field.type)) &&
           field.size > 0;
}

int CompareComponent(const KeyDeclaration& key, int32_t n, const uint8_t* a, const uint8_t* b) {
    const FieldDescription& field = key.file->record.field(key.field_number(n));
    if (key.has(KeyNoCase) && is_text(field.type))
        return CompareStringValuesNoCase(text_of(field, a), text_of(field, b));
    return CompareField(field, a, b);
}

void StoreExtreme(const KeyDeclaration& key, int32_t n, uint8_t* record, bool highest) {
    const FieldDescription& field = key.file->record.field(key.field_number(n));
    uint8_t* at = record + field.offset;
    switch (field.type) {
    case FieldType::Byte:
        *at = highest ? 255 : 0;
        return;
    case FieldType::Short:
        put(at, highest ? std::numeric_limits<int16_t>::max() : std::numeric_limits<int16_t>::min());
        return;
    case FieldType::UShort:
        put(at, highest ? std::numeric_limits<uint16_t>::max() : uint16_t{0});
        return;
    case FieldType::Long:
        put(at, highest ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int32_t>::min());
        return;
    case FieldType::ULong:
        put(at, highest ? std::numeric_limits<uint32_t>::max() : uint32_t{0});
        return;
    case FieldType::Real:
        put(at,
            highest ? std::numeric_limits<double>::quiet_NaN() : -std::numeric_limits<double>::infinity());
        return;
    case FieldType::SReal:
        put(at, highest ? std::numeric_limits<float>::quiet_NaN() : -std::numeric_limits<float>::infinity());
        return;
    default:
        break;
    }
    const bool no_case = key.has(KeyNoCase);
    if (field.type == FieldType::String) {
        const Extremes& e = extremes(no_case, true);
        std::memset(at, highest ? e.highest : e.lowest, field.size);
    } else if (field.type == FieldType::CString) {
        const Extremes& e = extremes(no_case, false);
        std::memset(at, highest ? e.highest : e.lowest, field.size - 1);
        at[field.size - 1] = 0;
    } else if (field.type == FieldType::PString) {
        const Extremes& e = extremes(no_case, true);
        at[0] = static_cast<uint8_t>(field.size - 1);
        std::memset(at + 1, highest ? e.highest : e.lowest, field.size - 1);
    }
}

void FillAfter(const KeyDeclaration& key, int32_t kept, uint8_t* anchor, bool highest) {
    for (int32_t n = kept + 1; n <= key.component_count(); ++n)
        StoreExtreme(key, n, anchor, highest != key.descending(n));
}

int Classify(const KeyDeclaration& key, const KeyRange& range, const uint8_t* record) {
    for (int32_t n = 1; n <= range.fixed; ++n) {
        int c = CompareComponent(key, n, record, range.first.data());
        if (c != 0)
            return (c < 0) != key.descending(n) ? -1 : 1;
    }
    const int32_t n = range.fixed + 1;
    if (n > key.component_count())
        return 0;
    const bool descending = key.descending(n);
    if (range.has_first) {
        const int c = CompareComponent(key, n, record, range.first.data());
        if (descending ? c > 0 : c < 0)
            return -1;
    }
    if (range.has_last) {
        const int c = CompareComponent(key, n, record, range.last.data());
        if (descending ? c < 0 : c > 0)
            return 1;
    }
    return 0;
}

ViewPlan PlanView(FileDeclaration& file, const std::vector<OrderItem>& order,
                  const std::vector<FieldBound>& bounds) {
    ViewPlan best;
    int best_weight = -1;
    KeyDeclaration* range_key = nullptr;
    KeyRange widest;
    for (const auto& key : file.keys) {
        KeyRange range = range_of(*key, file, bounds);
        if (key->has(KeyOpt) && !excludes_empty(*key, file, range))
            continue; // records whose components are all empty are missing from the key
        const int weight = range_weight(range);
        bool reverse = false;
        if (!order.empty() && order_follows_key(*key, file, order, range, reverse) && weight > best_weight) {
            best.kind = ViewPlan::Kind::KeyWalk;
            best.key = key.get();
            best.reverse = reverse;
            best.range = range;
            best_weight = weight;
        }
        if (weight > 0 && (!range_key || weight > range_weight(widest))) {
            range_key = key.get();
            widest = std::move(range);
        }
    }
    if (best.kind == ViewPlan::Kind::KeyWalk)
        return best;
    ViewPlan plan;
    if (range_key) {
        plan.kind = order.empty() ? ViewPlan::Kind::KeyWalk : ViewPlan::Kind::Sort;
        plan.key = range_key;
        plan.range = std::move(widest);
    } else {
        plan.kind = order.empty() ? ViewPlan::Kind::RecordOrder : ViewPlan::Kind::Sort;
    }
    return plan;
}

std::string ViewPlan::text(const std::vector<OrderItem>& order, size_t sort_memory) const {
    std::string out;
    auto ranged = [&] {
        if (range.empty())
            return std::string(", every entry");
        std::string r = ", range";
        for (size_t i = 0; i < range.described.size(); ++i)
            r += (i ? " AND " : " ") + range.described[i];
        return r;
    };
    switch (kind) {
    case Kind::RecordOrder:
        return "record order, every record";
    case Kind::KeyWalk:
        return "key " + key->label + (reverse ? " backwards" : " forwards") + ranged();
    case Kind::Sort:
        out = "sort by ";
        for (size_t i = 0; i < order.size(); ++i)
            out += (i ? ", " : "") + std::string(order[i].descending ? "-" : "") + order[i].expression;
        out += " in memory (at most " + std::to_string(sort_memory / (1024 * 1024)) + " MiB) of ";
        out += key ? "key " + key->label + ranged() : "every record in record order";
        return out;
    }
    return out;
}

} // namespace morvex
