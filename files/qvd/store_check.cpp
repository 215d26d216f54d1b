// The integrity check of the container behind `morvex qvd check` (the
// tables' own entries are checked by qvd_check.cpp), and the figures behind
// `morvex qvd info`.
#include "files/qvd/key_compare.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/store_impl.h"
#include "runtime/ascii_case.h"

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
    case CorruptKeyOrder:
        return "keys out of order (1503)";
    default:
        return CorruptionText(code);
    }
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

bool FoldsTo(ByteView spelled, ByteView folded) {
    if (spelled.size() != folded.size())
        return false;
    for (size_t i = 0; i < spelled.size(); ++i) {
        const uint8_t c = spelled[i];
        if (static_cast<uint8_t>(AsciiUpper(static_cast<char>(c))) != folded[i])
            return false;
    }
    return true;
}

} // namespace

std::string CheckProblemText(const CheckProblem& problem) {
    if (problem.record == 0)
        return problem.kind + ": " + problem.detail;
    const std::string record = "record " + std::to_string(problem.record) + ": ";
    return (problem.kind == "record" ? record : problem.kind + ": " + record) + problem.detail;
}

void CheckReport::add(std::string kind, uint32_t record, std::string detail) {
    if (m_first.size() < Kept)
        m_first.push_back(CheckProblem{std::move(kind), record, std::move(detail)});
    ++m_count;
}

bool StoreImpl::check(CheckReport& report) {
    const FileHeader& h = header();
    const int64_t file_size = m_io->size();
    const bool sized = !m_header.new_file() && file_size >= 0;
    for (std::string& problem :
         HeaderProblems(h, sized ? std::optional<uint64_t>(static_cast<uint64_t>(file_size)) : std::nullopt))
        report.add("header", 0, std::move(problem));
    if (m_header.chain_broken())
        report.add("chain", 0,
                   "the pending commit's chain is damaged: the next writer rolls that commit back");
    if (h.root == 0)
        return true;

    // Units a page of the tree was found in; none lies past the file's end.
    const uint64_t file_units = sized ? (static_cast<uint64_t>(file_size) - FileHeaderSize) / UnitSize : 0;
    std::vector<bool> occupied(std::min<uint64_t>(file_units, uint64_t{1} << 26), false);
    std::optional<Bytes> last_leaf_key;
    bool whole = true;
    Bytes page;

    // Walks one subtree, whose keys must lie in [lower, upper) (an absent
    // bound is open). A damaged page is reported and its subtree passed over.
    std::function<void(uint32_t, int, const Bytes*, const Bytes*)> walk = [&](uint32_t home, int level,
                                                                              const Bytes* lower,
                                                                              const Bytes* upper) {
        auto problem = [&](std::string detail) {
            report.add("page " + Hex(home), 0, std::move(detail));
            whole = false;
        };
        if (home < FileHeaderSize || (home - FileHeaderSize) % UnitSize != 0)
            return problem("not a page address");
        const uint32_t unit = (home - FileHeaderSize) / UnitSize;
        const int c = h.ClassOfUnit(unit);
        if (c == 0)
            return problem("lies in no zone (1735)");
        if ((unit - h.zone_start[c]) % c != 0)
            return problem("not at a page position of zone " + std::to_string(c));
        if (unit + static_cast<uint64_t>(c) > occupied.size())
            return problem("lies past the end of the file");
        for (uint32_t u = unit; u < unit + static_cast<uint32_t>(c); ++u) {
            if (occupied[u])
                return problem("overlaps another page or is referenced twice");
            occupied[u] = true;
        }
        const size_t length = static_cast<size_t>(c) * UnitSize;
        page.resize(length);
        AccessScope::take_late_slot(*this);
        if (read_blocks(m_header.read_offset(home), page.data(), length) != length)
            return problem("short read");
        if (Load32(page.data()) != home)
            return problem("carries the home offset " + Hex(Load32(page.data())));
        Node node;
        if (const int32_t code = DecodePage(page, length, node))
            return problem(Describe(code));
        if (level >= 0 && node.level != level)
            return problem("level " + std::to_string(node.level) + " where " + std::to_string(level) +
                           " was expected");
        if (node.size() == 0)
            return problem("holds no entries");
        for (size_t i = 0; i < node.size(); ++i) {
            if ((lower && KeyLess(node.keys[i], *lower)) || (upper && !KeyLess(node.keys[i], *upper)))
                return problem("entry " + std::to_string(i) + " lies outside its parent's key range");
        }
        if (level < 0 && h.root_fingerprint != 0 && PageFingerprint(page) != h.root_fingerprint)
            report.add("header", 0,
                       "the root page does not match the header's fingerprint of it (the page is damaged, "
                       "or the root offset names another page)");
        if (node.is_leaf()) {
            if (last_leaf_key && !KeyLess(*last_leaf_key, node.keys.front()))
                problem("keys out of order across pages");
            last_leaf_key = node.keys.back();
            return;
        }
        for (size_t i = 0; i < node.size(); ++i) {
            const Bytes* child_upper = i + 1 < node.size() ? &node.keys[i + 1] : upper;
            walk(node.children[i], node.level - 1, &node.keys[i], child_upper);
        }
    };
    walk(h.root, -1, nullptr, nullptr);
    if (!whole)
        return false;

    // The table directory: each entry spells its name and has a number of its own.
    std::unordered_set<uint32_t> numbers;
    const Bytes prefix = TableKeyPrefix(DirectoryTable, EntryTableName);
    TreeCursor cursor(*this);
    for (bool found = cursor.seek(prefix, SeekMode::AtOrAfter);
         found && cursor.key().size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), cursor.key().begin());
         found = cursor.next()) {
        const ByteView name = cursor.key().subspan(prefix.size());
        const ByteView data = cursor.data();
        const std::string label(name.begin(), name.end());
        if (name.empty() || data.size() < 5 || !FoldsTo(data.subspan(4), name)) {
            report.add("directory", 0, "the entry of table '" + label + "' does not spell its name");
            continue;
        }
        const uint32_t number = Load32(data.data());
        if (number == DirectoryTable || !numbers.insert(number).second)
            report.add("directory", 0,
                       "table " + label + " has the number " + std::to_string(number) + ", which is taken");
    }
    return true;
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
