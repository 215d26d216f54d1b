#include "files/record_layout.h"

#include "runtime/ascii_case.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace morvex {

namespace {

// Bounds that keep a layout sane (and a fuzzed one small).
constexpr uint32_t MaxRecordSize = 65535;
constexpr std::size_t MaxFields = 4096;
constexpr std::size_t MaxKeys = 255;

struct NamedType {
    const char* name;
    FieldType type;
};
constexpr NamedType FixedTypes[] = {
    {"BYTE", FieldType::Byte}, {"SHORT", FieldType::Short}, {"USHORT", FieldType::UShort},
    {"LONG", FieldType::Long}, {"ULONG", FieldType::ULong}, {"SREAL", FieldType::SReal},
    {"REAL", FieldType::Real}, {"DATE", FieldType::Date},   {"TIME", FieldType::Time},
};
constexpr NamedType TextTypes[] = {
    {"STRING", FieldType::String}, {"CSTRING", FieldType::CString}, {"PSTRING", FieldType::PString}};

constexpr struct {
    const char* name;
    uint32_t bit;
} KeyWords[] = {
    {"DUP", KeyDup}, {"OPT", KeyOpt}, {"NOCASE", KeyNoCase}, {"PRIMARY", KeyPrimary}, {"INDEX", KeyIndex}};

std::optional<uint32_t> number(std::string_view text, uint32_t limit) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > limit)
        return std::nullopt;
    return value;
}

std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at >= line.size() || line[at] == '#')
            break;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// "LONG" or "STRING(20)": the field with offset 0, or an error text.
std::optional<FieldDescription> parse_type(std::string_view word, std::string_view label,
                                           std::string& error) {
    for (const NamedType& named : FixedTypes) {
        if (EqualsIgnoringAsciiCase(word, named.name))
            return FieldDescription::Of(named.type, std::string(label), 0);
    }
    const std::size_t open = word.find('(');
    if (open != std::string_view::npos && word.back() == ')') {
        for (const NamedType& named : TextTypes) {
            if (!EqualsIgnoringAsciiCase(word.substr(0, open), named.name))
                continue;
            const auto size = number(word.substr(open + 1, word.size() - open - 2), MaxRecordSize);
            if (!size || *size == 0) {
                error = "the size in '" + std::string(word) + "' is not a number from 1 to 65535";
                return std::nullopt;
            }
            if (named.type == FieldType::PString && *size > 256) {
                error = "a PSTRING holds at most 255 characters after its length byte";
                return std::nullopt;
            }
            return FieldDescription::Sized(named.type, std::string(label), 0, *size);
        }
    }
    error = "unknown type '" + std::string(word) + "' (BYTE SHORT USHORT LONG ULONG SREAL REAL DATE TIME " +
            "STRING(n) CSTRING(n) PSTRING(n))";
    return std::nullopt;
}

struct PendingKey {
    std::size_t line;
    KeyDeclaration key;
    std::vector<std::string_view> components;
};

LayoutParse failed(std::size_t line, std::string message) {
    LayoutParse result;
    result.error = line ? "line " + std::to_string(line) + ": " + message : message;
    return result;
}

} // namespace

std::string LayoutTypeName(const FieldDescription& field) {
    for (const NamedType& named : FixedTypes) {
        if (named.type == field.type)
            return named.name;
    }
    for (const NamedType& named : TextTypes) {
        if (named.type == field.type)
            return std::string(named.name) + "(" + std::to_string(field.size) + ")";
    }
    return {};
}

LayoutParse ParseRecordLayout(std::string_view text) {
    std::optional<std::string> label;
    std::optional<uint32_t> declared_size;
    std::vector<FieldDescription> fields;
    std::vector<PendingKey> keys;
    uint64_t running = 0;
    std::size_t line_number = 0;

    while (!text.empty()) {
        ++line_number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string_view> words = words_of(line);
        if (words.empty())
            continue;
        const std::string_view verb = words[0];

        if (EqualsIgnoringAsciiCase(verb, "file")) {
            if (label)
                return failed(line_number, "a second 'file' line");
            if (words.size() < 2 || words.size() > 3)
                return failed(line_number, "say 'file LABEL [SIZE]'");
            label = std::string(words[1]);
            if (words.size() == 3) {
                declared_size = number(words[2], MaxRecordSize);
                if (!declared_size || *declared_size == 0)
                    return failed(line_number, "the record size is not a number from 1 to 65535");
            }
            continue;
        }
        if (!label)
            return failed(line_number, "the layout starts with 'file LABEL [SIZE]'");

        if (EqualsIgnoringAsciiCase(verb, "field")) {
            if (words.size() < 3 || words.size() > 4)
                return failed(line_number, "say 'field LABEL TYPE [OFFSET]'");
            if (fields.size() >= MaxFields)
                return failed(line_number, "more than 4096 fields");
            if (words[1].front() == '-')
                return failed(line_number,
                              "a field label cannot start with '-' (it marks descending components)");
            for (const FieldDescription& field : fields) {
                if (EqualsIgnoringAsciiCase(field.label, words[1]))
                    return failed(line_number, "a second field " + std::string(words[1]));
            }
            std::string error;
            std::optional<FieldDescription> field = parse_type(words[2], words[1], error);
            if (!field)
                return failed(line_number, error);
            uint64_t offset = running;
            if (words.size() == 4) {
                const auto given = number(words[3], MaxRecordSize);
                if (!given)
                    return failed(line_number, "the offset is not a number from 0 to 65535");
                offset = *given;
            }
            if (offset + field->size > (declared_size ? *declared_size : MaxRecordSize))
                return failed(line_number, std::string(words[1]) + " ends at byte " +
                                               std::to_string(offset + field->size) + ", beyond the record");
            field->offset = static_cast<uint32_t>(offset);
            running = offset + field->size;
            fields.push_back(std::move(*field));
            continue;
        }

        if (EqualsIgnoringAsciiCase(verb, "key")) {
            const auto colon = std::find(words.begin(), words.end(), ":");
            if (words.size() < 2 || colon == words.end() || colon < words.begin() + 2 ||
                colon + 1 == words.end())
                return failed(line_number, "say 'key LABEL [ATTRIBUTES] : COMPONENT...'");
            if (keys.size() >= MaxKeys)
                return failed(line_number, "more than 255 keys");
            PendingKey pending{line_number, {}, {}};
            pending.key.label = std::string(words[1]);
            for (const PendingKey& other : keys) {
                if (EqualsIgnoringAsciiCase(other.key.label, words[1]))
                    return failed(line_number, "a second key " + std::string(words[1]));
            }
            for (auto word = words.begin() + 2; word != colon; ++word) {
                const auto known = std::find_if(std::begin(KeyWords), std::end(KeyWords), [&](const auto& k) {
                    return EqualsIgnoringAsciiCase(*word, k.name);
                });
                if (known == std::end(KeyWords))
                    return failed(line_number, "unknown key attribute '" + std::string(*word) +
                                                   "' (DUP OPT NOCASE PRIMARY INDEX)");
                pending.key.attributes |= known->bit;
            }
            pending.components.assign(colon + 1, words.end());
            keys.push_back(std::move(pending));
            continue;
        }
        return failed(line_number, "unknown line '" + std::string(verb) + "' (file, field or key)");
    }

    if (!label)
        return failed(0, "no 'file LABEL [SIZE]' line");
    if (fields.empty())
        return failed(0, "no fields");
    uint32_t record_size = declared_size.value_or(0);
    if (!declared_size) {
        for (const FieldDescription& field : fields)
            record_size = std::max(record_size, field.offset + field.size);
    }

    LayoutParse result;
    result.layout.label = *label;
    result.layout.record = RecordDescription(record_size, std::move(fields));
    const RecordDescription& record = result.layout.record;
    for (PendingKey& pending : keys) {
        for (std::string_view component : pending.components) {
            const bool descending = component.size() > 1 && component.front() == '-';
            const std::string_view name = descending ? component.substr(1) : component;
            int32_t found = 0;
            for (int32_t n = 1; n <= record.field_count() && !found; ++n)
                found = EqualsIgnoringAsciiCase(record.field(n).label, name) ? n : 0;
            if (!found)
                return failed(pending.line,
                              "key " + pending.key.label + " names no field " + std::string(name));
            pending.key.components.push_back(descending ? -found : found);
        }
        result.layout.keys.push_back(std::move(pending.key));
    }
    result.ok = true;
    return result;
}

std::string RecordLayoutText(const RecordLayout& layout) {
    std::string text = "file " + layout.label + " " + std::to_string(layout.record.record_size()) + "\n";
    for (const FieldDescription& field : layout.record.fields())
        text +=
            "field " + field.label + " " + LayoutTypeName(field) + " " + std::to_string(field.offset) + "\n";
    for (const KeyDeclaration& key : layout.keys) {
        text += "key " + key.label;
        for (const auto& word : KeyWords) {
            if (key.attributes & word.bit)
                text += std::string(" ") + word.name;
        }
        text += " :";
        for (int32_t component : key.components) {
            text += component < 0 ? " -" : " ";
            text += layout.record.field(component < 0 ? -component : component).label;
        }
        text += "\n";
    }
    return text;
}

RecordLayout RecordLayout::Of(const FileDeclaration& file) {
    RecordLayout layout;
    layout.label = file.label;
    layout.record = file.record;
    for (const auto& key : file.keys) {
        KeyDeclaration copy = *key;
        copy.file = nullptr;
        layout.keys.push_back(std::move(copy));
    }
    return layout;
}

FileSpec RecordLayout::file_spec(DriverEntry driver) const {
    return FileSpec{.label = label, .driver = driver, .record = record, .keys = keys};
}

} // namespace morvex
