// The window of `morvex browse` and the procedure behind it: a window
// definition made for the file's layout (a toolbar of navigation buttons, a
// locator line, the list with one column per field, the query line, Query
// and Close; with editing, Insert, Change and Delete), and a window
// controller that runs a BrowseManager over a view of the file, read-only
// or with its rows edited in the list itself.
#pragma once

#include "files/file_declaration.h"
#include "files/record_layout.h"
#include "files/view/view_driver.h"
#include "framework/browse_locators.h"
#include "framework/browse_manager.h"
#include "framework/file_manager.h"
#include "framework/file_relation.h"
#include "framework/query_manager.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "window/window.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvex::tools {

// The control numbers of the browse window.
enum BrowseWindowControl : int32_t {
    BrowseLocatorPrompt = 1,
    BrowseLocatorText = 2,
    BrowseList = 3,
    BrowseQueryText = 4,
    BrowseQueryButton = 5,
    BrowseCloseButton = 6,
    // With --edit: the rows are inserted, changed and deleted in the list.
    BrowseInsertButton = 7,
    BrowseChangeButton = 8,
    BrowseDeleteButton = 9,
};

struct BrowseWindowSource {
    std::string procedure;             // "morvex$browse"
    std::string text;                  // the definition in the text format
    std::vector<std::string> pictures; // per field of the record: its picture without "@", empty for none
    bool editable = false;             // Insert, Change and Delete edit rows in place
};

enum class BrowseAccess { ReadOnly, EditInPlace };

BrowseWindowSource MakeBrowseWindow(const FileDeclaration& file, const KeyDeclaration& key,
                                    const std::string& path, BrowseAccess access = BrowseAccess::ReadOnly);

enum class LocatorKind { Step, Incremental, Filtered };

class FileBrowser : public WindowController {
public:
    FileBrowser(FileDeclaration& file, KeyDeclaration& key, const BrowseWindowSource& source,
                LocatorKind locator = LocatorKind::Incremental);
    ~FileBrowser() override;

    int Init() override;
    int Kill() override;

    BrowseManager& browse() { return m_browse; }
    Window& browse_window() { return m_window; }

private:
    Window m_window;
    ToolbarManager m_toolbar;
    FileDeclaration& m_file;
    KeyDeclaration& m_key;
    const BrowseWindowSource& m_source;
    FileManager m_manager;
    FileRelation m_relation;
    std::unique_ptr<ViewFile> m_view;
    std::vector<uint8_t> m_row;
    std::unique_ptr<Queue> m_queue;
    BrowseManager m_browse;
    LocatorKind m_locator_kind;
    StepLocator m_step;
    IncrementalLocator m_incremental;
    FilteredLocator m_filtered;
    QueryManager m_query;
    QueryLink<QueryManager> m_query_link{m_query};
};

} // namespace morvex::tools
