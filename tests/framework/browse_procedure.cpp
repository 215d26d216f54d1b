// The browse procedure of the framework's scenario cases: a BrowseManager
// over a Customer file of the test's own (--set records=N; dates=D spreads
// the start dates over 1..D; range=R limits the browse to the start date
// R, which the script's `range` changes), with Insert, Change and Delete
// buttons whose update procedure writes the file at once, the name given by
// the script's `rename`. Loads of the page and updates go to the log.
#include "files/file_statements.h"
#include "framework/browse_locators.h"
#include "framework/browse_manager.h"
#include "framework/file_manager.h"
#include "framework/window_controller.h"
#include "runtime/error_state.h"
#include "runtime/queue.h"
#include "tests/framework/test_log.h"
#include "tests/support/customer_file.h"
#include "window/bound_value.h"
#include "window/script_driver.h"
#include "window/window.h"

#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace morvex {
namespace {

constexpr int32_t List = 1, InsertButton = 2, ChangeButton = 3, DeleteButton = 4, CloseButton = 5;

std::string g_new_name = "Zed";
int32_t g_range = 0;

struct Row {
    int32_t id;
    char name[20];
    int32_t date;
    char position[1024];
};
static_assert(sizeof(Row) == 1052);

RecordDescription row_description() {
    return RecordDescription(sizeof(Row), {FieldDescription::Of(FieldType::Long, "ID", 0),
                                           FieldDescription::Sized(FieldType::String, "NAME", 4, 20),
                                           FieldDescription::Of(FieldType::Long, "DATE", 24),
                                           FieldDescription::Sized(FieldType::String, "POSITION", 28, 1024)});
}

class LoggingBrowseManager : public BrowseManager {
public:
    void ResetQueue(uint8_t mode) override {
        TestNote("load " + std::to_string(mode));
        BrowseManager::ResetQueue(mode);
    }
};

class BrowseProcedure : public WindowController {
public:
    BrowseProcedure() : WindowController(m_window), m_queue(row_description(), &m_row) {
        m_window.Load("tests$browse", "Browse");
        m_window.Bind(List, m_queue);
    }

    int Init() override {
        if (const int level = OpenProcedure("Browse"))
            return level;
        make_file();
        m_manager.Init(*m_file, *ERRORS);
        m_manager.FILENAMEVALUE = "Customer";
        for (int32_t k = 1; k <= 5; ++k)
            m_manager.AddKey(*m_file->key(k), m_file->key(k)->label, k == 5 ? 1 : 0);
        m_relation.Init(m_manager, false);
        m_manager.Open();
        m_view = std::make_unique<ViewFile>(*m_file);
        const RecordDescription& row = m_queue.description();
        m_browse.Init(List, FieldVariable(row.field(4), reinterpret_cast<uint8_t*>(&m_row)), *m_view, m_queue,
                      m_relation, *this);
        m_browse.INSERTCONTROL = InsertButton;
        m_browse.CHANGECONTROL = ChangeButton;
        m_browse.DELETECONTROL = DeleteButton;
        m_browse.ASKPROCEDURE = 1;
        g_range = TestSetting("range");
        if (g_range != 0) {
            m_browse.AddSortOrder(nullptr, *m_file->key(2));
            m_browse.AddRange(field("CUS:STARTDATE"), BoundVariable{FieldType::Long, &g_range, 4, 0, 1});
        } else {
            m_browse.AddSortOrder(nullptr, *m_file->key(1));
        }
        m_locator.Init(m_browse, field("CUS:NAME"), true);
        m_browse.AddLocator(m_locator);
        m_browse.AddField(field("CUS:CUSID"),
                          FieldVariable(row.field(1), reinterpret_cast<uint8_t*>(&m_row)));
        m_browse.AddField(field("CUS:NAME"), FieldVariable(row.field(2), reinterpret_cast<uint8_t*>(&m_row)));
        m_browse.AddField(field("CUS:STARTDATE"),
                          FieldVariable(row.field(3), reinterpret_cast<uint8_t*>(&m_row)));
        AddItem(CloseButton, RequestCancelled);
        FIRSTFIELD = List;
        SetAlerts();
        return Level::Benign;
    }

    int Kill() override {
        if (const int level = WindowController::Kill())
            return level;
        m_manager.Close();
        m_relation.Kill();
        m_manager.Kill();
        m_view.reset();
        m_file.reset();
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        CloseProcedure();
        return Level::Benign;
    }

    // The update procedure: the record is written at once, with the new name.
    uint8_t RunProcedure(int32_t, uint8_t request) override {
        const uint8_t response = update(request);
        TestNote("update " + std::to_string(request) + " " + ValueText(field("CUS:NAME")) + " " +
                 std::to_string(response));
        return response;
    }

private:
    uint8_t update(uint8_t request) {
        if (request != InsertRecord) {
            GET(*m_file, *m_file->key(5));
            if (ErrorCode() != 0)
                return RequestCancelled;
        }
        if (request == DeleteRecord) {
            DELETE(*m_file);
            return ErrorCode() == 0 ? RequestCompleted : RequestCancelled;
        }
        SetVariableText(field("CUS:NAME"), g_new_name);
        if (request == InsertRecord)
            return m_manager.Insert() == Level::Benign ? RequestCompleted : RequestCancelled;
        PUT(*m_file);
        return ErrorCode() == 0 ? RequestCompleted : RequestCancelled;
    }

    BoundVariable field(const char* label) {
        return FieldVariable(m_file->record.field(m_file->find_field(label)), m_file->buffer());
    }

    // Names "Name01", "Name02", ...; start dates 1..dates in turn.
    void make_file() {
        m_path =
            (std::filesystem::temp_directory_path() / ("browse_case_" + std::to_string(::getpid()) + ".QVD"))
                .string();
        m_file = testing::DeclareQvdFile(testing::CustomerLayout, m_path);
        CREATE(*m_file);
        OPEN(*m_file, AccessReadWrite | ShareDenyNone);
        const int records = TestSetting("records", 25);
        const int dates = TestSetting("dates", 1);
        for (int32_t i = 1; i <= records; ++i) {
            m_file->clear_record();
            char name[16];
            std::snprintf(name, sizeof name, "Name%02d", i);
            const int32_t date = 1 + (i - 1) % dates;
            std::memcpy(m_file->buffer(), &i, 4);
            SetVariableText(field("CUS:NAME"), name);
            std::memcpy(m_file->buffer() + 64, &date, 4);
            ADD(*m_file);
        }
        CLOSE(*m_file);
    }

    Window m_window;
    Row m_row{};
    Queue m_queue;
    std::string m_path;
    std::unique_ptr<FileDeclaration> m_file;
    FileManager m_manager;
    FileRelation m_relation;
    std::unique_ptr<ViewFile> m_view;
    LoggingBrowseManager m_browse;
    StepLocator m_locator;
};

} // namespace

uint8_t RunBrowseProcedure() {
    BrowseProcedure procedure;
    return procedure.Run();
}

void AddBrowseCommands(ScriptDriver& driver) {
    driver.AddCommand("rename", [&driver](std::string_view arguments) -> std::optional<std::string> {
        driver.WithActiveWindow([&](Window&) { g_new_name = std::string(arguments); });
        return std::nullopt;
    });
    driver.AddCommand("range", [&driver](std::string_view arguments) -> std::optional<std::string> {
        driver.WithActiveWindow([&](Window&) { g_range = std::atoi(std::string(arguments).c_str()); });
        return std::nullopt;
    });
}

} // namespace morvex
