// BrowseManager: the records of a view shown in a list box a page at a
// time. The page is a queue that holds at most the rows the list shows; the
// browse reads records into it as the user scrolls, keeps the selected
// record on its row when the page is rebuilt, reloads when its range limit
// or a reset field changes, finds records through a locator, and offers
// insert, change, delete, select, print, query and toolbox actions through
// buttons, keys, a popup menu and the window's toolbar.
//
// The list must be an immediate list (attribute 0x800): its keys, wheel and
// scroll bar post scroll events, which the browse turns into reads.
#pragma once

#include "framework/browse_locators.h"
#include "framework/browse_query.h"
#include "framework/field_pairs.h"
#include "framework/popup_manager.h"
#include "framework/view_manager.h"
#include "framework/window_parts.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace morvex {

class Queue;
class ListBox;
class ErrorReporter;
class ToolbarManager;
class WindowController;
class BrowseToolbarTarget;

// Maps values of a sort order's free element to a scroll position 0-100
// and back; the browse gives it the first and last values of the result
// when it asks for them.
class BrowseThumb {
public:
    virtual ~BrowseThumb() = default;
    virtual int32_t GetPercentile(const BoundVariable& value) = 0;
    virtual std::string GetValue(int32_t percentile) = 0;
    virtual void SetLimit(const std::string& low, const std::string& high) = 0;
    virtual bool SetLimitNeeded() = 0;
};

struct BrowseSortOrder : SortOrder {
    BrowseLocator* LOCATOR = nullptr;
    std::unique_ptr<FieldPairs> RESETS; // (field, saved copy): a change reloads the page
    BrowseThumb* THUMB = nullptr;
};

// A column edited in place: the edit-in-place manager's list of columns.
class EditColumn;
struct EditListRecord {
    int32_t FIELD = 0;
    uint8_t FREEUP = 0;
    EditColumn* CONTROL = nullptr;
};

// What the edit-in-place manager needs of a browse; it is created on the
// browse's first in-place request through the factory below.
class EditInPlace {
public:
    virtual ~EditInPlace() = default;
    virtual uint8_t Run(uint8_t request) = 0;

    uint8_t* ARROW = nullptr;
    uint8_t* ENTER = nullptr;
    uint8_t* FOCUSLOSS = nullptr;
    uint8_t* TAB = nullptr;
    class BrowseManager* BC = nullptr;
    std::vector<EditListRecord>* EQ = nullptr;
    FieldPairs* FIELDS = nullptr;
    int32_t LISTCONTROL = 0;
    ErrorReporter* ERRORS = nullptr;
    int32_t* VCRREQUEST = nullptr;
};
using EditInPlaceFactory = std::unique_ptr<EditInPlace> (*)(class BrowseManager& browse);
// Installed by the edit-in-place module; without one, in-place requests are refused.
void SetEditInPlaceFactory(EditInPlaceFactory factory);

class BrowseManager : public ViewManager, public WindowBrowse {
public:
    // The scroll directions of Fetch.
    static constexpr uint8_t FillBackward = 1;
    static constexpr uint8_t FillForward = 2;
    // The named filter that leaves out the blank values an optional key does not hold.
    static constexpr std::string_view OptionalKeyFilter = "0 - Key";

    BrowseManager();
    ~BrowseManager() override;

    // ViewManager operations the browse replaces.
    uint8_t ApplyRange() override;
    void Kill() override;
    int Next() override;
    int Previous() override;

    // The browse's own operations, in method-table order.
    virtual uint8_t Ask(uint8_t request);
    virtual uint8_t AskEditInPlace(uint8_t request);
    virtual void Fetch(uint8_t direction);
    virtual void ResetFromAsk(uint8_t request, uint8_t response);
    virtual void ResetFromBuffer();
    virtual void ResetFromFile();
    virtual void UpdateThumbRange();
    virtual void ResetQueue(uint8_t mode);
    void ResetSort(bool force) override;
    virtual void ScrollEnd(uint16_t event);
    virtual void ScrollOne(uint16_t event);
    virtual void ScrollPage(uint16_t event);
    void SetAlerts() override;
    virtual void SetQueueRecord();
    virtual uint8_t SetSortCore(uint8_t number, bool force);
    void TakeEvent() override;
    virtual uint8_t TakeKey();
    virtual void TakeLocate();
    virtual void TakeNewSelection();
    virtual void TakeScroll(uint16_t event = 0);
    virtual void TakeVCRScroll(int32_t request);
    virtual void UpdateBuffer();
    void UpdateViewRecord() override;
    void UpdateWindow() override;

    // The controller's refresh question after each event.
    bool NeedRefresh() override { return ApplyRange() != 0; }

    // `position` is the queue's text field that holds each row's view position.
    void Init(int32_t list_control, const BoundVariable& position, ViewFile& view, Queue& queue,
              FileRelation& relation, WindowController& controller);
    size_t AddSortOrder(BrowseThumb* thumb, KeyDeclaration& key);
    void AddLocator(BrowseLocator& locator);
    void AddResetField(const BoundVariable& field);
    void AddField(const BoundVariable& view_field, const BoundVariable& queue_field);
    void AddToolbarTarget(ToolbarManager& toolbar);
    void InitEditInPlace();

    BrowseSortOrder* current_sort() const;
    // Rows in the page now.
    int32_t rows() const;
    ListBox* list() const;
    WindowController* controller() const { return WINDOW; }

    uint8_t ACTIVEINVISIBLE = 0;
    uint8_t ALLOWUNFILLED = 0;
    uint8_t ARROWACTION = 0;
    uint16_t ASKPROCEDURE = 0;
    uint16_t BUFFER = 0;
    int32_t CHANGECONTROL = 0;
    int32_t CURRENTCHOICE = 0;
    uint16_t CURRENTEVENT = 0;
    int32_t DELETECONTROL = 0;
    std::unique_ptr<std::vector<EditListRecord>> EDITLIST;
    EditInPlace* EIP = nullptr;
    uint8_t ENTERACTION = 0;
    std::unique_ptr<FieldPairs> FIELDS;
    uint8_t FILELOADED = 0;
    uint8_t FOCUSLOSSACTION = 0;
    uint8_t FREEEIP = 0;
    uint8_t HASTHUMB = 0;
    uint8_t HIDESELECT = 0;
    int32_t INSERTCONTROL = 0;
    int32_t ITEMSTOFILL = 0;
    int32_t LASTCHOICE = 0;
    int32_t LASTITEMS = 0;
    int32_t LISTCONTROL = 0;
    Queue* LISTQUEUE = nullptr;
    uint8_t LOADED = 0;
    uint8_t LOADPENDING = 0;
    uint8_t RETAINROW = 1;
    int32_t PRINTCONTROL = 0;
    uint16_t PRINTPROCEDURE = 0;
    std::unique_ptr<PopupManager> POPUP;
    BrowseQuery* QUERY = nullptr;
    int32_t QUERYCONTROL = 0;
    int32_t QUERYRESULT = 0;
    uint8_t QUERYSHARED = 0;
    uint8_t QUICKSCAN = 0;
    uint8_t RECORDSTATUS = 0;
    int32_t SELECTCONTROL = 0;
    uint8_t SELECTWHOLERECORD = 0;
    std::unique_ptr<SortOrderQueue> SORT;
    uint8_t STARTATCURRENT = 0;
    uint8_t TABACTION = 0;
    ToolbarManager* TOOLBAR = nullptr;
    int32_t TOOLCONTROL = 0;
    std::unique_ptr<BrowseToolbarTarget> TOOLBARITEM;
    BoundVariable VIEWPOSITION;
    WindowController* WINDOW = nullptr;

protected:
    std::unique_ptr<SortOrder> MakeSortOrder() override { return std::make_unique<BrowseSortOrder>(); }

private:
    int after_read(int result);
    void add_row(bool at_end);
    void drop_row(int32_t row);
    std::string row_position(int32_t row);
    int32_t locate_row(const std::string& position);
    void position_at_row(int32_t row);
    void set_thumb();
    int32_t thumb_position() const;
    void show_selection();
    void take_locator_change(char typed);
    void post_button(int32_t button);
    void take_scroll_drag();
    void take_accepted(int32_t control);
    void save_reset_fields();
    bool reset_fields_changed();
    int32_t shown_rows() const;

    bool m_fetch_short = false;    // the last fetch ran out of records
    bool m_top_in_page = false;    // the page holds the first record of the result
    bool m_bottom_in_page = false; // the page holds the last record of the result
    uint8_t m_next_request = 0;    // the request of Ask's next pass (insert another)
    bool m_range_changed = false;  // the range or a reset field moved since the last load
    bool m_ready = false;          // Init has run
    std::unique_ptr<EditInPlace> m_own_eip;
};

} // namespace morvex
