// Records as CSV rows: the columns of a CSV file mapped onto the fields of a
// record layout by the header row's labels. CSV files are UTF-8; records hold
// Windows-1252, and a character that set lacks is an error, not a '?'.
#pragma once

#include "runtime/record_description.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvex {

class RecordCsvColumns {
public:
    // Every field of the record that has a text form, in field order.
    static RecordCsvColumns AllFields(const RecordDescription& record);
    // The columns a header row names. Each label must name a field with a text
    // form (without case); a field may appear once. A UTF-8 byte order mark
    // before the first label is ignored.
    static std::optional<RecordCsvColumns>
    FromHeader(const RecordDescription& record, const std::vector<std::string>& header, std::string& error);

    std::vector<std::string> header() const;
    std::size_t size() const { return m_fields.size(); }

    // Fills the columns' fields of `record` from a row (other fields are left
    // as they are). Empty on success, else what is wrong, naming the column.
    std::string ToRecord(const std::vector<std::string>& row, uint8_t* record) const;
    std::vector<std::string> FromRecord(const uint8_t* record) const;

private:
    std::vector<FieldDescription> m_fields;
};

} // namespace morvex
