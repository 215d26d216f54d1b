// The integrity walk behind `morvex qvd check` and the figures behind
// `morvex qvd info`.
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"

#include <cstdio>
#include <functional>
#include <string>
#include <unordered_set>

namespace morvex::qvd {

namespace {

std::string Describe(int32_t code) {
    switch (code) {
    case CorruptLiteralOverrun:
        return "a literal count runs past the expanded page (522)";
    case CorruptRepeatOverrun:
        return "a repeat count runs past the expanded page (530)";
    case CorruptEntryTooLong:
        return "an entry of 15094 bytes or more (824)";
    case CorruptPageClassMismatch:
        return "stored length does not match the size class (1477)";
    case CorruptExpandedLargerThanNode:
        return "expanded length larger than its node (1659)";
    case CorruptPageTooLarge:
        return "page larger than 15104 bytes (1678)";
    case CorruptEntryHeader:
        return "an entry's shared bytes or lengths do not fit (1501)";
    case CorruptEntriesOverrun:
        return "entries do not fill the data part exactly (1502)";
    default:
        return CorruptionText(code);
    }
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

std::optional<std::string> StoreImpl::check() {
    const FileHeader& h = header();
    const int64_t file_size = m_io->size();
    uint32_t previous_end = 0;
    uint32_t highest_end = 0;
    for (int c = 1; c <= MaxSizeClass; ++c) {
        const uint32_t start = h.zone_start[c];
        const uint32_t end = h.zone_end[c];
        if (start > end)
            return "zone " + std::to_string(c) + ": starts after its end";
        if ((end - start) % c != 0)
            return "zone " + std::to_string(c) + ": not a whole number of pages";
        if (start == end)
            continue;
        if (start < previous_end)
            return "zone " + std::to_string(c) + ": overlaps the zone of a lower class";
        previous_end = end;
        highest_end = end;
    }
    if (!m_header.new_file() && file_size >= 0 && h.UsedEnd() > static_cast<uint64_t>(file_size))
        return "the file ends at " + std::to_string(file_size) + ", before its used end " +
               std::to_string(h.UsedEnd());
    if (h.root == 0)
        return std::nullopt;

    std::vector<bool> occupied(highest_end, false);
    std::optional<Bytes> last_leaf_key;
    std::optional<std::string> problem;

    // Walks one subtree; keys must lie in [lower, upper) (an absent bound is open).
    std::function<bool(uint32_t, int, const Bytes*, const Bytes*)> walk =
        [&](uint32_t home, int level, const Bytes* lower, const Bytes* upper) -> bool {
        const std::string where = "page " + Hex(home) + ": ";
        if (home < FileHeaderSize || (home - FileHeaderSize) % UnitSize != 0) {
            problem = where + "not a page address";
            return false;
        }
        const uint32_t unit = (home - FileHeaderSize) / UnitSize;
        const int c = h.ClassOfUnit(unit);
        if (c == 0) {
            problem = where + "lies in no zone (1735)";
            return false;
        }
        if ((unit - h.zone_start[c]) % c != 0) {
            problem = where + "not at a page position of zone " + std::to_string(c);
            return false;
        }
        for (uint32_t u = unit; u < unit + static_cast<uint32_t>(c); ++u) {
            if (occupied[u]) {
                problem = where + "overlaps another page or is referenced twice";
                return false;
            }
            occupied[u] = true;
        }
        const size_t length = static_cast<size_t>(c) * UnitSize;
        Bytes page(length);
        AccessScope::take_late_slot(*this);
        if (read_blocks(m_header.read_offset(home), page.data(), length) != length) {
            problem = where + "short read";
            return false;
        }
        if (Load32(page.data()) != home) {
            problem = where + "carries the home offset " + Hex(Load32(page.data()));
            return false;
        }
        Node node;
        if (const int32_t code = DecodePage(page, length, node)) {
            problem = where + Describe(code);
            return false;
        }
        if (level >= 0 && node.level != level) {
            problem = where + "level " + std::to_string(node.level) + " where " + std::to_string(level) +
                      " was expected";
            return false;
        }
        if (node.size() == 0) {
            problem = where + "holds no entries";
            return false;
        }
        for (size_t i = 0; i < node.size(); ++i) {
            if (i > 0 && !KeyLess(node.keys[i - 1], node.keys[i])) {
                problem = where + "keys out of order at entry " + std::to_string(i);
                return false;
            }
            if ((lower && KeyLess(node.keys[i], *lower)) || (upper && !KeyLess(node.keys[i], *upper))) {
                problem = where + "entry " + std::to_string(i) + " lies outside its parent's key range";
                return false;
            }
        }
        if (node.is_leaf()) {
            if (last_leaf_key && !KeyLess(*last_leaf_key, node.keys.front())) {
                problem = where + "keys out of order across pages";
                return false;
            }
            last_leaf_key = node.keys.back();
            return true;
        }
        for (size_t i = 0; i < node.size(); ++i) {
            const Bytes* child_upper = i + 1 < node.size() ? &node.keys[i + 1] : upper;
            if (!walk(node.children[i], node.level - 1, &node.keys[i], child_upper))
                return false;
        }
        return true;
    };
    walk(h.root, -1, nullptr, nullptr);
    return problem;
}

StoreInfo StoreImpl::info() {
    StoreInfo out;
    const FileHeader& h = header();
    out.chain_start = h.chain_start;
    out.chain_end = h.chain_end;
    out.last_record_number = h.last_record_number;
    out.change_counter = h.change_counter;
    out.root_offset = h.root;
    out.used_end = h.UsedEnd();
    out.file_size = static_cast<uint64_t>(std::max<int64_t>(m_io->size(), 0));
    std::array<uint64_t, ZoneCount> pages_in_class{};
    std::unordered_set<uint32_t> visited;
    std::function<void(uint32_t, int, int)> walk = [&](uint32_t home, int level, int depth) {
        if (!visited.insert(home).second)
            QvdCorruption(CorruptTreeShape);
        std::shared_ptr<const PageNode> node = load_node(home, level);
        ++pages_in_class[h.ClassOfUnit((home - FileHeaderSize) / UnitSize)];
        out.tree_levels = std::max(out.tree_levels, depth);
        if (node->is_leaf()) {
            ++out.leaf_pages;
            out.entries += node->size();
            return;
        }
        ++out.inner_pages;
        for (uint32_t child : node->children)
            walk(child, node->level - 1, depth + 1);
    };
    if (h.root != 0)
        walk(h.root, -1, 1);
    for (int c = 1; c <= MaxSizeClass; ++c) {
        if (h.zone_start[c] != h.zone_end[c] || pages_in_class[c] != 0)
            out.zones.push_back(ZoneInfo{c, h.zone_start[c], h.zone_end[c], pages_in_class[c]});
    }
    const Bytes prefix = TableKeyPrefix(DirectoryTable, EntryTableName);
    Bytes position = prefix;
    SeekMode mode = SeekMode::AtOrAfter;
    while (std::optional<Entry> entry = seek(position, mode, prefix)) {
        if (entry->data.size() >= 4) {
            TableInfo table;
            table.number = Load32(entry->data.data());
            table.name.assign(entry->data.begin() + 4, entry->data.end());
            Bytes table_prefix = TableKeyPrefix(table.number, 0);
            table_prefix.resize(4);
            table.entries = count(table_prefix);
            out.tables.push_back(std::move(table));
        }
        position = std::move(entry->key);
        mode = SeekMode::After;
    }
    return out;
}

} // namespace morvex::qvd
