// EditInPlaceManager: a browse row edited in the list box itself, for a
// browse without an update procedure. Each Run is one insert, change or
// delete: Init enters the row (a new one for an insert), lays the entry of
// an EditColumn over the cell being edited and runs a nested accept loop on
// the procedure's own window; Tab and Shift+Tab move between the editable
// columns, and Enter, Escape, Up, Down, a click on another row, an event of
// another control or the closing of the window finish the row by saving
// it, discarding it or asking, as the browse's action settings say. Kill
// hands the outcome back to the browse (ResetFromAsk) and delivers again
// the event that ended the edit.
#pragma once

#include "framework/browse_manager.h"
#include "framework/edit_column.h"
#include "framework/window_controller.h"

#include <cstdint>
#include <string_view>

namespace morvex {

// Where a new row goes (INSERT).
enum EditInsertPlace : uint8_t {
    InsertAfterSelection = 0,
    InsertBeforeSelection = 9,
    InsertAtEnd = 10, // the browse first scrolls to its last page
};

// The finish codes of CompleteRow, which are also the question's buttons.
enum EditFinish : uint8_t {
    FinishAsk = 0,
    FinishSave = 2,
    FinishDiscard = 4,
    FinishCancel = 64,
};

class EditInPlaceManager : public WindowController, public EditInPlace {
public:
    EditInPlaceManager(BrowseManager& browse);
    ~EditInPlaceManager() override;

    // WindowController operations this class replaces.
    int Init() override;
    int Kill() override;
    int TakeEvent() override;
    int TakeFieldEvent() override;
    int TakeNewSelection() override;

    // Its own, in method-table order.
    virtual void ClearColumn();
    virtual void InitControls();
    virtual uint8_t IsColumnEditable();
    virtual void ResetColumn();
    virtual void TakeAction(uint8_t action);
    virtual void CompleteRow(uint8_t finish);
    virtual void TakeFocusLoss();

    using WindowController::Run;
    uint8_t Run(uint8_t request) override;

    uint8_t AGAIN = 0;
    int32_t COLUMN = 0;
    uint8_t INSERT = InsertAfterSelection;
    uint8_t LASTCOLUMN = 0;
    int32_t REPOST = 0;
    int32_t REPOSTFIELD = 0;
    uint8_t REQ = 0;
    uint8_t SEEKFORWARD = 0;

private:
    // The EDITLIST entry of a column, or null.
    EditListRecord* entry_of(int32_t column) const;
    // Moves COLUMN to an editable column; ends also when none is.
    void seek_editable_column();
    // The finish code an action setting gives (`tab`: a 0 setting asks).
    uint8_t finish_of(const uint8_t* setting, bool tab) const;
    void set_navigation(int32_t request);
    ListBox* list_box() const;
    // The primary file's record operations (through its relation, which
    // carries a change or a delete to the related files).
    int save_inserted();
    int save_changed();
    int delete_record();
    void cancel_automatic_number();
};

// At program start: installs the factory through which every browse makes
// its manager, and binds the module's two windows ("$MULTIWINDOW" and
// "$TXTWINDOW" of "fweip"). At the end: releases them.
void InstallEditInPlace();
void ReleaseEditInPlace();
// One of the module's windows while it is bound (never opened), else null.
const Window* EditInPlaceWindow(std::string_view label);

} // namespace morvex
