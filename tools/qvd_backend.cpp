// The backend of `morvex qvd` in the tool: the QVD driver for the record
// subcommands, and the container's own figures and integrity walk for info
// and check. A corrupt file is reported, never a reason to end the tool.
#include "files/qvd/qvd_check.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_store.h"
#include "runtime/message_table.h"
#include "tools/qvd_command.h"

#include <iomanip>
#include <iostream>
#include <ostream>

namespace morvex::tools {

namespace {

// Opens the disk file of `name` (a name without extension gets .QVD) read-only.
std::unique_ptr<qvd::Store> open_store(const std::string& name, std::ostream& err, std::string& path) {
    path = qvd::SplitFileName(name).path;
    qvd::StoreOptions options;
    options.mode = qvd::OpenMode::ReadOnly;
    qvd::OpenFailure failure;
    std::unique_ptr<qvd::Store> store = qvd::Store::Open(path, options, failure);
    if (!store) {
        qvd::TakeReturnedCorruption(); // reported here, with the reason
        err << "morvex qvd: cannot open " << path << ": " << failure.error << " "
            << MessageText(failure.error) << (failure.reason.empty() ? "" : ": " + failure.reason) << "\n";
    }
    return store;
}

int info(const std::string& name, std::ostream& out, std::ostream& err) {
    qvd::CorruptionAsReturn corruption_is_reported;
    std::string path;
    try {
        std::unique_ptr<qvd::Store> store = open_store(name, err, path);
        if (!store)
            return 1;
        const qvd::StoreInfo info = store->Info();
        if (const int32_t code = store->LastCorruption(); code != 0) {
            err << "morvex qvd: " << path << ": " << qvd::CorruptionText(code) << "\n";
            return 1;
        }
        out << "file                " << path << "\n"
            << "size                " << info.file_size << " bytes (used to " << info.used_end << ")\n"
            << "change counter      " << info.change_counter << "\n"
            << "last record number  " << info.last_record_number << "\n"
            << "pending chain       " << info.chain_start << " to " << info.chain_end
            << (info.chain_start == info.chain_end ? " (no commit pending)\n" : " (a commit is pending)\n")
            << "tree                " << info.tree_levels << " levels, " << info.leaf_pages << " leaf pages, "
            << info.inner_pages << " inner pages, " << info.entries << " entries\n";
        out << "zones               " << (info.zones.empty() ? "none\n" : "\n");
        for (const qvd::ZoneInfo& zone : info.zones) {
            out << "  class " << std::setw(2) << zone.size_class << " (" << std::setw(5)
                << zone.size_class * 256 << " bytes)  units " << zone.start_unit << " to " << zone.end_unit
                << ", " << zone.pages << " pages\n";
        }
        out << "tables              " << (info.tables.empty() ? "none\n" : "\n");
        for (const qvd::TableInfo& table : info.tables)
            out << "  " << table.name << " (number " << table.number << "): " << table.entries
                << " entries\n";
        return 0;
    } catch (const qvd::CorruptionSignal& signal) {
        err << "morvex qvd: " << path << ": " << qvd::CorruptionText(signal.code) << "\n";
        return 1;
    }
}

int check(const std::string& name, const RecordLayout* layout, std::ostream& out, std::ostream& err) {
    qvd::CorruptionAsReturn corruption_is_reported;
    std::string path;
    std::unique_ptr<qvd::Store> store = open_store(name, err, path);
    if (!store)
        return 1;
    std::optional<FileDeclaration> file;
    if (layout)
        file.emplace(layout->file_spec(QvdDriver));
    qvd::CheckReport report;
    qvd::CheckQvdFile(*store, file ? &*file : nullptr, qvd::SplitFileName(name).table, report);
    qvd::TakeReturnedCorruption(); // reported among the problems
    if (report.ok()) {
        out << path << ": ok\n";
        return 0;
    }
    for (const qvd::CheckProblem& problem : report.first())
        out << path << ": " << qvd::CheckProblemText(problem) << "\n";
    out << path << ": " << report.count() << (report.count() == 1 ? " problem" : " problems");
    if (report.count() > report.first().size())
        out << " in all, the first " << report.first().size() << " above";
    out << "\n";
    return 1;
}

} // namespace

int run_qvd(Arguments args, std::ostream& out, std::ostream& err) {
    static const QvdBackend backend{.driver = QvdDriver, .info = info, .check = check};
    // A damaged file makes the statements fail with an error the command
    // reports, instead of ending the tool as it ends the program.
    qvd::CorruptionAsReturn corruption_is_reported;
    try {
        qvd::TakeReturnedCorruption();
        const int status = run_qvd(args, out, err, backend);
        // A statement that met a damaged page failed quietly as "not found"
        // or "end of file"; the command must not pass that off as success.
        if (const int32_t code = qvd::TakeReturnedCorruption(); code != 0) {
            err << "morvex qvd: " << qvd::CorruptionText(code) << "\n";
            return 1;
        }
        return status;
    } catch (const qvd::CorruptionSignal& signal) {
        err << "morvex qvd: " << qvd::CorruptionText(signal.code) << "\n";
        return 1;
    }
}

} // namespace morvex::tools
