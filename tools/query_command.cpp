// morvex query: a QVD file's records read through a view, in an order,
// through a filter, from given values, as CSV with the layout's labels as
// header; --explain prints how the view reads instead (docs/views.md).
#include "files/csv.h"
#include "files/field_text.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/record_csv.h"
#include "files/record_layout.h"
#include "files/view/view.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/layout_option.h"

#include <charconv>
#include <optional>
#include <ostream>

namespace morvex::tools {

namespace {

constexpr std::string_view Usage =
    "usage: morvex query FILE (--layout NAME | --layout-file F) [--order ITEMS] [--filter EXPR]\n"
    "                    [--from VALUES] [--limit N] [--explain]\n\n"
    "Prints the records of a QVD file as CSV (UTF-8, the layout's field labels as\n"
    "header), in the view's order and through its filter.\n\n"
    "  --layout NAME     a built-in layout: Customer or Goods\n"
    "  --layout-file F   a layout described in a text file (docs/qvd.md, Layouts)\n"
    "  --order ITEMS     comma-separated order items: field labels or expressions,\n"
    "                    each with an optional - (descending) or + (\"-CUS:STARTDATE,UPPER(CUS:NAME)\")\n"
    "  --filter EXPR     an expression over the fields; records for which it is false are left out\n"
    "  --from VALUES     comma-separated values of the first order items (fields): the\n"
    "                    records from those values on\n"
    "  --limit N         at most N records\n"
    "  --explain         print how the view reads (which key, which bounds, or a sort)\n";

const OptionSpec Options[] = {
    {"--layout", true, "a layout name"},
    {"--layout-file", true, "a file name"},
    {"--order", true, "order items"},
    {"--filter", true, "an expression"},
    {"--from", true, "values"},
    {"--limit", true, "a number"},
    {"--explain"},
};

std::vector<std::string> split_values(std::string_view text) {
    std::vector<std::string> values;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        values.emplace_back(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
        if (comma == std::string_view::npos)
            return values;
        start = comma + 1;
    }
}

} // namespace

int run_query(Arguments args, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, Options, problem);
    if (!line)
        return UsageError(err, "query", problem);
    if (line->help) {
        out << Usage;
        return 0;
    }
    if (line->operands.size() != 1)
        return UsageError(err, "query", "give one FILE");
    const std::string path(line->operands[0]);

    int layout_error = 0;
    const std::optional<RecordLayout> layout = LayoutFromOptions(*line, "query", err, layout_error);
    if (!layout)
        return layout_error;
    std::optional<size_t> limit;
    if (const auto text = line->value("--limit")) {
        size_t n = 0;
        const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), n);
        if (ec != std::errc() || end != text->data() + text->size())
            return UsageError(err, "query", "--limit needs a number, not '" + std::string(*text) + "'");
        limit = n;
    }

    FileSpec declared = layout->file_spec(QvdDriver);
    declared.options.name = path;
    FileDeclaration file(std::move(declared));
    OPEN(file, AccessReadOnly | ShareDenyNone);
    if (ErrorCode() != 0) {
        err << "morvex query: cannot open " << path << ": " << RuntimeErrorText() << "\n";
        return 1;
    }
    View view(file);
    if (const auto order = line->value("--order")) {
        view.SetOrder(*order);
        if (ErrorCode() != 0) {
            err << "morvex query: bad --order '" << *order << "': " << RuntimeErrorText() << "\n";
            return 1;
        }
    }
    if (const auto filter = line->value("--filter")) {
        view.SetFilter(*filter);
        if (ErrorCode() != 0) {
            err << "morvex query: bad --filter '" << *filter << "': " << RuntimeErrorText() << "\n";
            return 1;
        }
    }
    if (line->has("--explain")) {
        out << view.Explain() << "\n";
        return 0;
    }
    view.Open(0x22);
    int32_t from_items = 0;
    if (const auto from = line->value("--from")) {
        const std::vector<std::string> values = split_values(*from);
        const std::vector<OrderItem>& items = view.order_items();
        if (values.size() > items.size())
            return UsageError(err, "query", "--from gives more values than --order has items");
        file.clear_record();
        for (size_t i = 0; i < values.size(); ++i) {
            if (items[i].field == 0)
                return UsageError(err, "query",
                                  "--from needs order items that are fields: '" + items[i].expression +
                                      "' is not one");
            const FieldDescription& f = file.record.field(items[i].field);
            const std::string bad = SetFieldText(f, values[i], file.buffer());
            if (!bad.empty())
                return UsageError(err, "query", "--from value for " + f.label + ": " + bad);
        }
        from_items = static_cast<int32_t>(values.size());
    }
    view.Set(from_items);
    CsvWriter csv(out);
    const RecordCsvColumns columns = RecordCsvColumns::AllFields(layout->record);
    csv.write(columns.header());
    for (size_t count = 0; !limit || count < *limit; ++count) {
        view.Next();
        if (ErrorCode() == ErrRecordNotAvailable)
            break;
        if (ErrorCode() != 0) {
            err << "morvex query: reading " << path << " failed: " << RuntimeErrorText() << "\n";
            return 1;
        }
        csv.write(columns.FromRecord(file.buffer()));
    }
    out.flush();
    return out ? 0 : 1;
}

} // namespace morvex::tools
