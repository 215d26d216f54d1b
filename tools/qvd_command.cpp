// morvex qvd: inspect, verify, dump, export and import the records of QVD
// files. The record subcommands declare the file from a record layout (a
// built-in one of the program's files or a layout file) and use the same
// file statements as the program.
#include "tools/qvd_command.h"

#include "app/dictionary.h"
#include "files/csv.h"
#include "files/file_statements.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "files/record_csv.h"
#include "files/record_layout.h"
#include "runtime/ascii_case.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tools/command_line.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

namespace morvex::tools {

namespace {

constexpr std::string_view QvdUsage =
    "usage: morvex qvd info FILE\n"
    "       morvex qvd check FILE[\\!TABLE] [--layout LAYOUT | --layout-file F]\n"
    "       morvex qvd dump FILE[\\!TABLE] [--layout LAYOUT | --layout-file F] [--key KEY]\n"
    "       morvex qvd export FILE[\\!TABLE] [--layout LAYOUT | --layout-file F] [--key KEY] [-o OUT.csv]\n"
    "       morvex qvd import FILE[\\!TABLE] [--layout LAYOUT | --layout-file F] IN.csv\n"
    "\n"
    "Inspects, verifies, dumps, exports to CSV and imports from CSV the records of\n"
    "a QVD file. A FILE without an extension gets .QVD; \\!TABLE picks a table of\n"
    "the file (default UNNAMED).\n"
    "\n"
    "  info      header, zones and tables of the file\n"
    "  check     proves the file sound; exit status 1 with its problems\n"
    "  dump      the records as a table of text, in record order or by --key\n"
    "  export    the records as CSV (UTF-8, a header row of the field labels)\n"
    "  import    adds the records of a CSV file whose header row names the\n"
    "            fields, all or none; creates the file when it is missing\n"
    "\n"
    "  --layout LAYOUT    a built-in layout: Customer or Goods. Without a layout,\n"
    "                     the file's name picks the built-in one (Customer.QVD)\n"
    "  --layout-file F    a layout described in a text file (docs/qvd.md, Layouts)\n"
    "  --key KEY          read in the order of this key (its label, e.g. CUS:BYNAME)\n"
    "  -o OUT.csv         where export writes (default: standard output)\n"
    "  --help             this text ('morvex qvd VERB --help' for one verb)\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 bad usage.\n";

struct VerbHelp {
    std::string_view verb;
    std::string_view text;
};
constexpr VerbHelp VerbHelps[] = {
    {"info",
     "usage: morvex qvd info FILE\n\nPrints the header fields, the zones of the page size classes and the\n"
     "tables of a QVD file with their entry counts.\n"},
    {"check", "usage: morvex qvd check FILE[\\!TABLE] [--layout LAYOUT | --layout-file F]\n\n"
              "Proves a QVD file sound: the header and zones, a pending commit's chain,\n"
              "every page of the tree (decoding, levels, separators, key order within and\n"
              "across pages), the table directory, and each table's entries: record\n"
              "numbers, key entries that name existing records, whole memo segments, the\n"
              "declaration entry. With a layout (or a file named after a built-in one) the\n"
              "table's records are checked against its keys: every record has exactly the\n"
              "entry its value gives in every key, and no key entry is another's.\n"
              "Prints \"ok\" and exits 0 when the file is sound; otherwise prints each\n"
              "problem with its kind and record number (the first 20, then how many in\n"
              "all) and exits 1.\n"},
    {"dump", "usage: morvex qvd dump FILE[\\!TABLE] [--layout LAYOUT | --layout-file F] [--key KEY]\n\n"
             "Prints the records as a table, one line each, in record order or in the\n"
             "order of KEY.\n"},
    {"export", "usage: morvex qvd export FILE[\\!TABLE] [--layout LAYOUT | --layout-file F] [--key KEY] "
               "[-o OUT.csv]\n\nWrites the records as CSV: a header row of the field labels, then one row\n"
               "per record (numbers in decimal, dates as standard date numbers, text\n"
               "without its padding blanks), in record order or in the order of KEY.\n"},
    {"import", "usage: morvex qvd import FILE[\\!TABLE] [--layout LAYOUT | --layout-file F] IN.csv\n\n"
               "Adds the records of IN.csv (\"-\" for standard input). Its header row names\n"
               "the fields its columns fill; fields it leaves out are empty. The file is\n"
               "created when missing. The import is all or nothing: it runs as one\n"
               "transaction, so an import stopped by a bad row (reported with its line\n"
               "number), an error or the process being killed leaves the file as it\n"
               "was. Until the commit the records are held in memory (about 300 bytes\n"
               "for a record of the Customer layout).\n"},
};

// Records per progress line of an import.
constexpr std::size_t ProgressEvery = 10000;

int usage_error(std::ostream& err, std::string_view message) {
    err << "morvex qvd: " << message << "\nTry 'morvex qvd --help'.\n";
    return 2;
}

// The error state after a failed statement: number and text, and the
// driver's detail (the key a duplicate collides in, what is damaged, why
// the file could not be opened).
std::string driver_error(const FileDeclaration* file = nullptr) {
    std::string text = std::to_string(ErrorCode()) + " " + std::string(ErrorText());
    const std::string_view extra = ErrorExtraText();
    if (extra.empty())
        return text;
    if (file && file->find_key(extra))
        return text + " (key " + std::string(extra) + ")";
    return text + ": " + std::string(extra);
}

struct Options {
    std::string file;
    std::optional<std::string> layout;
    std::optional<std::string> layout_file;
    std::optional<std::string> key;
    std::optional<std::string> output;
    std::vector<std::string> rest; // operands after FILE
};

// The built-in layout named `name`, if any.
std::optional<RecordLayout> builtin_layout(std::string_view name) {
    if (EqualsIgnoringAsciiCase(name, "Customer")) {
        const FileDeclaration file(tavemon::CustomerSpec(nullptr, nullptr));
        return RecordLayout::Of(file);
    }
    if (EqualsIgnoringAsciiCase(name, "Goods")) {
        const FileDeclaration file(tavemon::GoodsSpec(nullptr, nullptr));
        return RecordLayout::Of(file);
    }
    return std::nullopt;
}

// The disk file's base name without directory, extension or table.
std::string base_name(std::string_view file) {
    if (const std::size_t bang = file.rfind("\\!"); bang != std::string_view::npos)
        file = file.substr(0, bang);
    if (const std::size_t slash = file.rfind('/'); slash != std::string_view::npos)
        file.remove_prefix(slash + 1);
    if (const std::size_t dot = file.rfind('.'); dot != std::string_view::npos && dot > 0)
        file = file.substr(0, dot);
    return std::string(file);
}

std::optional<RecordLayout> resolve_layout(const Options& options, std::ostream& err, int& status) {
    status = 1;
    if (options.layout_file) {
        std::string text;
        std::string reason;
        if (!ReadInputFile(*options.layout_file, text, reason)) {
            err << "morvex qvd: cannot read layout file " << *options.layout_file << ": " << reason << "\n";
            return std::nullopt;
        }
        LayoutParse parse = ParseRecordLayout(text);
        if (!parse.ok) {
            err << "morvex qvd: " << *options.layout_file << ": " << parse.error << "\n";
            return std::nullopt;
        }
        return std::move(parse.layout);
    }
    if (options.layout) {
        if (auto layout = builtin_layout(*options.layout))
            return layout;
        status = 2;
        usage_error(err, "unknown layout '" + *options.layout + "' (Customer or Goods, or --layout-file F)");
        return std::nullopt;
    }
    if (auto layout = builtin_layout(base_name(options.file)))
        return layout;
    status = 2;
    usage_error(err, "say which layout the records have (--layout or --layout-file)");
    return std::nullopt;
}

// A declaration of the layout, named FILE, opened through the driver.
class OpenedFile {
public:
    OpenedFile(const RecordLayout& layout, const std::string& name, DriverEntry driver)
        : m_file(layout.file_spec(driver)) {
        m_file.options.name = name;
    }
    ~OpenedFile() {
        if (m_open)
            CLOSE(m_file);
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    // Opens; with `create`, a missing file is created first. False with the message written.
    bool open(int32_t mode, bool create, std::ostream& err) {
        OPEN(m_file, mode);
        if (ErrorCode() == ErrFileNotFound && create) {
            CREATE(m_file);
            if (ErrorCode() != 0) {
                err << "morvex qvd: cannot create " << m_file.disk_name() << ": " << driver_error(&m_file)
                    << "\n";
                return false;
            }
            OPEN(m_file, mode);
        }
        if (ErrorCode() != 0) {
            err << "morvex qvd: cannot open " << m_file.disk_name() << ": " << driver_error(&m_file) << "\n";
            return false;
        }
        m_open = true;
        return true;
    }

    FileDeclaration& file() { return m_file; }

private:
    FileDeclaration m_file;
    bool m_open = false;
};

// The layout's key `label`, when --key named one; false (message written)
// when the layout has no such key.
bool find_order(const RecordLayout& layout, const std::optional<std::string>& label, std::ostream& err) {
    if (!label)
        return true;
    for (const KeyDeclaration& key : layout.keys) {
        if (EqualsIgnoringAsciiCase(key.label, *label))
            return true;
    }
    err << "morvex qvd: the layout has no key " << *label << "\n";
    return false;
}

// Reads every record in file order or by `key` (one the layout has),
// calling `each` with the record buffer. False (message written) when a
// read fails.
template <class Each>
bool read_all(FileDeclaration& file, const std::optional<std::string>& key_label, std::ostream& err,
              Each each) {
    if (key_label)
        SET(*file.find_key(*key_label));
    else
        SET(file);
    if (ErrorCode() != 0) {
        err << "morvex qvd: cannot position " << file.disk_name() << ": " << driver_error(&file) << "\n";
        return false;
    }
    for (;;) {
        NEXT(file);
        if (ErrorCode() == ErrRecordNotAvailable)
            return true;
        if (ErrorCode() != 0) {
            err << "morvex qvd: reading " << file.disk_name() << " failed: " << driver_error(&file) << "\n";
            return false;
        }
        each(file.buffer());
    }
}

int run_dump(const Options& options, const RecordLayout& layout, std::ostream& out, std::ostream& err,
             DriverEntry driver) {
    if (!find_order(layout, options.key, err))
        return 1;
    OpenedFile opened(layout, options.file, driver);
    if (!opened.open(AccessReadOnly | ShareDenyNone, false, err))
        return 1;
    const RecordCsvColumns columns = RecordCsvColumns::AllFields(layout.record);
    const std::vector<std::string> labels = columns.header();
    std::vector<std::size_t> widths;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const FieldDescription& field = layout.record.field(opened.file().find_field(labels[i]));
        const std::size_t value_width = IsTextType(field.type) ? field.size : 11;
        widths.push_back(std::max(labels[i].size(), value_width));
    }
    auto print = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line.append(widths[i] + 2 - std::min(widths[i] + 1, row[i].size()), ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << "\n";
    };
    print(labels);
    std::size_t count = 0;
    const bool ok = read_all(opened.file(), options.key, err, [&](const uint8_t* record) {
        print(columns.FromRecord(record));
        ++count;
    });
    out << "(" << count << (count == 1 ? " record)\n" : " records)\n");
    return ok ? 0 : 1;
}

// Export writes a file through a temporary one, renamed over it only when
// every record was read and written: a failed export leaves no partial CSV
// and the old file, if any, as it was. The output may not be an open input
// (the QVD file itself, by any name).
int run_export(const Options& options, const RecordLayout& layout, std::ostream& out, std::ostream& err,
               DriverEntry driver) {
    if (!find_order(layout, options.key, err))
        return 1;
    OpenedFile opened(layout, options.file, driver);
    if (!opened.open(AccessReadOnly | ShareDenyNone, false, err))
        return 1;
    OutputFile file_out;
    std::ostream* target = &out;
    const bool to_file = options.output && *options.output != "-";
    std::string reason;
    if (to_file) {
        if (!file_out.open(*options.output, reason)) {
            err << "morvex qvd: cannot write " << *options.output << ": " << reason << "\n";
            return 1;
        }
        target = &file_out.stream();
    }
    CsvWriter csv(*target);
    const RecordCsvColumns columns = RecordCsvColumns::AllFields(layout.record);
    csv.write(columns.header());
    std::size_t count = 0;
    if (!read_all(opened.file(), options.key, err, [&](const uint8_t* record) {
            csv.write(columns.FromRecord(record));
            ++count;
        }))
        return 1;
    if (!to_file) {
        target->flush();
        if (!*target) {
            err << "morvex qvd: writing the output failed\n";
            return 1;
        }
        return 0;
    }
    if (!file_out.commit(reason)) {
        err << "morvex qvd: writing " << *options.output << " failed: " << reason << "\n";
        return 1;
    }
    out << "exported " << count << (count == 1 ? " record" : " records") << " to " << *options.output << "\n";
    return 0;
}

int run_import(const Options& options, const RecordLayout& layout, std::ostream& out, std::ostream& err,
               DriverEntry driver) {
    if (options.rest.size() != 1)
        return usage_error(err, "import needs FILE and one IN.csv");
    const std::string& source = options.rest[0];
    std::ifstream file_in;
    std::istream* in = &std::cin;
    if (source != "-") {
        std::string reason;
        if (!OpenInputFile(source, file_in, reason)) {
            err << "morvex qvd: cannot read " << source << ": " << reason << "\n";
            return 1;
        }
        in = &file_in;
    }
    CsvReader csv(*in);
    std::vector<std::string> row;
    if (!csv.next(row)) {
        err << "morvex qvd: " << source << ": "
            << (csv.error().empty() ? "empty, without its header row" : csv.error()) << "\n";
        return 1;
    }
    std::string error;
    const std::optional<RecordCsvColumns> columns = RecordCsvColumns::FromHeader(layout.record, row, error);
    if (!columns) {
        err << "morvex qvd: " << source << ": line 1: " << error << "\n";
        return 1;
    }

    OpenedFile opened(layout, options.file, driver);
    if (!opened.open(AccessReadWrite | ShareDenyWrite, true, err))
        return 1;
    FileDeclaration& file = opened.file();
    const auto started = std::chrono::steady_clock::now();
    // One transaction for the whole run: an import that stops for any reason
    // (a bad row, an error, the process killed) leaves the file as it was.
    LOGOUT(file);
    if (ErrorCode() != 0) {
        err << "morvex qvd: " << options.file
            << ": cannot start the import's transaction: " << driver_error(&file) << "\n";
        return 1;
    }
    std::size_t added = 0;
    bool progress_shown = false;
    auto stop = [&](const std::string& message) {
        ROLLBACK(file);
        if (progress_shown)
            err << "\n";
        err << "morvex qvd: " << source << ": " << message << "\n"
            << "morvex qvd: nothing was imported\n";
        return 1;
    };
    while (csv.next(row)) {
        if (row.size() == 1 && row[0].empty() && columns->size() > 1)
            continue; // a blank line
        file.clear_record();
        if (error = columns->ToRecord(row, file.buffer()); !error.empty())
            return stop("line " + std::to_string(csv.record_line()) + ": " + error);
        ADD(file);
        if (ErrorCode() != 0)
            return stop("line " + std::to_string(csv.record_line()) +
                        ": the record was not added: " + driver_error(&file));
        if (++added % ProgressEvery == 0) {
            err << "\rmorvex qvd: " << added << " records read";
            progress_shown = true;
        }
    }
    if (!csv.error().empty())
        return stop(csv.error());
    if (progress_shown)
        err << ", committing...";
    COMMIT(file);
    if (ErrorCode() != 0)
        return stop("committing the records failed: " + driver_error(&file));
    if (progress_shown)
        err << "\n";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.2f", seconds);
    out << "imported " << added << (added == 1 ? " record" : " records") << " into " << options.file << " in "
        << elapsed << " s\n";
    return 0;
}

constexpr OptionSpec QvdOptions[] = {
    {"--layout", true}, {"--layout-file", true}, {"--key", true}, {"-o", true}, {"--output", true}};

// Splits VERB's arguments into options and operands. Returns 0, -1 for
// --help, or the usage status.
int parse_options(Arguments args, Options& options, std::ostream& err) {
    std::string problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, QvdOptions, problem);
    if (!line)
        return usage_error(err, problem);
    if (line->help)
        return -1;
    auto take = [&](std::string_view name, std::optional<std::string>& into) {
        if (const std::optional<std::string_view> value = line->value(name))
            into = std::string(*value);
    };
    take("--layout", options.layout);
    take("--layout-file", options.layout_file);
    take("--key", options.key);
    take("-o", options.output);
    take("--output", options.output);
    const std::vector<std::string> operands(line->operands.begin(), line->operands.end());
    if (options.layout && options.layout_file)
        return usage_error(err, "give --layout or --layout-file, not both");
    if (operands.empty())
        return usage_error(err, "say which FILE");
    options.file = operands[0];
    options.rest.assign(operands.begin() + 1, operands.end());
    return 0;
}

} // namespace

int run_qvd(Arguments args, std::ostream& out, std::ostream& err, const QvdBackend& backend) {
    if (args.empty())
        return usage_error(err, "say info, check, dump, export or import");
    const std::string_view verb = args[0];
    if (verb == "--help" || verb == "-h") {
        out << QvdUsage;
        return 0;
    }
    const VerbHelp* help = nullptr;
    for (const VerbHelp& known : VerbHelps) {
        if (known.verb == verb)
            help = &known;
    }
    if (!help)
        return usage_error(err, "unknown action '" + std::string(verb) + "'");
    Options options;
    if (const int status = parse_options(args.subspan(1), options, err); status != 0) {
        if (status > 0)
            return status;
        out << help->text;
        return 0;
    }

    if (verb == "info") {
        if (!options.rest.empty() || options.layout || options.layout_file || options.key || options.output)
            return usage_error(err, "info takes only FILE");
        if (!backend.info) {
            err << "morvex qvd: info is not available in this build\n";
            return 1;
        }
        return backend.info(options.file, out, err);
    }
    if (verb == "check") {
        if (!options.rest.empty() || options.key || options.output)
            return usage_error(err, "check takes FILE and a layout only");
        if (!backend.check) {
            err << "morvex qvd: check is not available in this build\n";
            return 1;
        }
        // Without a layout, the file's name may pick a built-in one; else the
        // records are checked without their keys' values.
        std::optional<RecordLayout> layout;
        if (options.layout || options.layout_file) {
            int status = 0;
            layout = resolve_layout(options, err, status);
            if (!layout)
                return status;
        } else {
            layout = builtin_layout(base_name(options.file));
        }
        return backend.check(options.file, layout ? &*layout : nullptr, out, err);
    }
    if (verb != "import" && !options.rest.empty())
        return usage_error(err, "unexpected '" + options.rest[0] + "' after FILE");
    if (verb == "import" && (options.key || options.output))
        return usage_error(err, "import takes no --key or -o");
    if (verb == "dump" && options.output)
        return usage_error(err, "dump writes to standard output; use export for a file");

    int status = 0;
    const std::optional<RecordLayout> layout = resolve_layout(options, err, status);
    if (!layout)
        return status;
    if (verb == "dump")
        return run_dump(options, *layout, out, err, backend.driver);
    if (verb == "export")
        return run_export(options, *layout, out, err, backend.driver);
    return run_import(options, *layout, out, err, backend.driver);
}

} // namespace morvex::tools
