#include "files/record_csv.h"

#include "files/field_text.h"
#include "platform/charset.h"
#include "runtime/ascii_case.h"

namespace morvex {

namespace {

// UTF-8 text in Windows-1252, or nothing when it holds a character that set lacks
// (or is not UTF-8 at all).
std::optional<std::string> to_windows(std::string_view utf8) {
    std::string windows = platform::utf8_to_windows1252(utf8);
    if (windows.find('?') != std::string::npos && platform::windows1252_to_utf8(windows) != utf8)
        return std::nullopt;
    return windows;
}

} // namespace

RecordCsvColumns RecordCsvColumns::AllFields(const RecordDescription& record) {
    RecordCsvColumns columns;
    for (const FieldDescription& field : record.fields()) {
        if (FieldHasText(field))
            columns.m_fields.push_back(field);
    }
    return columns;
}

std::optional<RecordCsvColumns> RecordCsvColumns::FromHeader(const RecordDescription& record,
                                                             const std::vector<std::string>& header,
                                                             std::string& error) {
    RecordCsvColumns columns;
    for (std::size_t i = 0; i < header.size(); ++i) {
        std::string_view label = header[i];
        if (i == 0 && label.starts_with("\xEF\xBB\xBF"))
            label.remove_prefix(3);
        const FieldDescription* found = nullptr;
        for (const FieldDescription& field : record.fields()) {
            if (EqualsIgnoringAsciiCase(field.label, label))
                found = &field;
        }
        if (!found) {
            error = "column " + std::to_string(i + 1) + " '" + std::string(label) +
                    "' names no field of the layout";
            return std::nullopt;
        }
        if (!FieldHasText(*found)) {
            error = "column " + std::to_string(i + 1) + " '" + std::string(label) +
                    "' is a field without a text form";
            return std::nullopt;
        }
        for (const FieldDescription& taken : columns.m_fields) {
            if (EqualsIgnoringAsciiCase(taken.label, label)) {
                error = "column " + std::to_string(i + 1) + " '" + std::string(label) + "' appears twice";
                return std::nullopt;
            }
        }
        columns.m_fields.push_back(*found);
    }
    if (columns.m_fields.empty()) {
        error = "the header row names no fields";
        return std::nullopt;
    }
    return columns;
}

std::vector<std::string> RecordCsvColumns::header() const {
    std::vector<std::string> labels;
    for (const FieldDescription& field : m_fields)
        labels.push_back(field.label);
    return labels;
}

std::string RecordCsvColumns::ToRecord(const std::vector<std::string>& row, uint8_t* record) const {
    if (row.size() != m_fields.size())
        return std::to_string(row.size()) + " fields where the header has " + std::to_string(m_fields.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
        const FieldDescription& field = m_fields[i];
        const std::optional<std::string> text = to_windows(row[i]);
        if (!text)
            return field.label + ": the text holds a character outside Windows-1252 (or is not UTF-8)";
        if (std::string error = SetFieldText(field, *text, record); !error.empty())
            return field.label + ": " + error;
    }
    return {};
}

std::vector<std::string> RecordCsvColumns::FromRecord(const uint8_t* record) const {
    std::vector<std::string> row;
    row.reserve(m_fields.size());
    for (const FieldDescription& field : m_fields)
        row.push_back(platform::windows1252_to_utf8(FieldText(field, record)));
    return row;
}

} // namespace morvex
