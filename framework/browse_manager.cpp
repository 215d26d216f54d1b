// The browse's set-up, its page (ResetQueue, Fetch, the row helpers), the
// scrolling, the sort switch and the refresh check. Events, keys, buttons
// and updates are in browse_events.cpp.
#include "framework/browse_manager.h"

#include "files/file_statements.h"
#include "framework/browse_toolbar.h"
#include "framework/edit_column.h"
#include "framework/file_manager.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "runtime/error_state.h"
#include "runtime/queue.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/events.h"
#include "window/list_box.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>
#include <cstring>

namespace morvex {

namespace {

EditInPlaceFactory g_edit_in_place_factory = nullptr;

// View positions are bytes; the queue keeps them as hexadecimal text so
// that no byte is lost to the STRING field's blank padding.
std::string encode_position(std::string_view position) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(position.size() * 2);
    for (const char c : position) {
        const auto byte = static_cast<uint8_t>(c);
        text += Digits[byte >> 4];
        text += Digits[byte & 15];
    }
    return text;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string decode_position(std::string_view text) {
    std::string position;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int high = hex_digit(text[i]);
        const int low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0)
            break;
        position += static_cast<char>(high * 16 + low);
    }
    return position;
}

} // namespace

void SetEditInPlaceFactory(EditInPlaceFactory factory) {
    g_edit_in_place_factory = factory;
}

BrowseManager::BrowseManager() = default;

BrowseManager::~BrowseManager() = default;

void BrowseManager::Init(int32_t list_control, const BoundVariable& position, ViewFile& view, Queue& queue,
                         FileRelation& relation, WindowController& controller) {
    WINDOW = &controller;
    LISTCONTROL = list_control;
    LISTQUEUE = &queue;
    VIEWPOSITION = position;
    SORT = std::make_unique<SortOrderQueue>();
    FIELDS = std::make_unique<FieldPairs>();
    POPUP = std::make_unique<PopupManager>();
    POPUP->Init();
    EDITLIST = std::make_unique<std::vector<EditListRecord>>();
    RETAINROW = 1;
    ViewManager::Init(view, relation, SORT.get());
    if (!controller.BROWSES ||
        std::find(controller.BROWSES->begin(), controller.BROWSES->end(), this) == controller.BROWSES->end())
        controller.AddItem(*this);
    if (SELECTING && PRIMARY && PRIMARY->ME) {
        PRIMARY->ME->UseFile(3);
        BUFFER = PRIMARY->ME->SaveBuffer();
    }
    m_ready = true;
}

size_t BrowseManager::AddSortOrder(BrowseThumb* thumb, KeyDeclaration& key) {
    const size_t n = ViewManager::AddSortOrder(key);
    BrowseSortOrder* order = current_sort();
    order->THUMB = thumb;
    order->RESETS = std::make_unique<FieldPairs>();
    // An optional key holds no entry for a blank value: the browse shows
    // the key's records, and the view can then walk the key instead of
    // sorting the file. The bound is the least text above blanks.
    if (key.has(KeyOpt) && key.component_count() == 1 && key.file) {
        const FieldDescription& field = key.file->record.field(key.field_number(1));
        if (field.type == FieldType::String && field.size > 0) {
            const std::string name = GetFreeElementName();
            SetFilter(name + " >= '" + std::string(field.size - 1, ' ') + "!'", OptionalKeyFilter);
        }
    }
    return n;
}

void BrowseManager::AddLocator(BrowseLocator& locator) {
    if (BrowseSortOrder* order = current_sort())
        order->LOCATOR = &locator;
}

void BrowseManager::AddResetField(const BoundVariable& field) {
    if (BrowseSortOrder* order = current_sort(); order && order->RESETS)
        order->RESETS->AddItem(field);
}

void BrowseManager::AddField(const BoundVariable& view_field, const BoundVariable& queue_field) {
    FIELDS->AddPair(view_field, queue_field);
}

void BrowseManager::AddToolbarTarget(ToolbarManager& toolbar) {
    TOOLBAR = &toolbar;
    TOOLBARITEM = std::make_unique<BrowseToolbarTarget>();
    TOOLBARITEM->BROWSE = this;
    TOOLBARITEM->INSERTBUTTON = INSERTCONTROL;
    TOOLBARITEM->CHANGEBUTTON = CHANGECONTROL;
    TOOLBARITEM->DELETEBUTTON = DELETECONTROL;
    TOOLBARITEM->SELECTBUTTON = SELECTCONTROL;
    toolbar.AddTarget(*TOOLBARITEM, LISTCONTROL);
    if (!toolbar.current())
        toolbar.SetTarget(LISTCONTROL);
}

void BrowseManager::InitEditInPlace() {
    if (!EIP) {
        if (!g_edit_in_place_factory)
            return;
        m_own_eip = g_edit_in_place_factory(*this);
        EIP = m_own_eip.get();
        FREEEIP = 1;
    }
    EIP->ARROW = &ARROWACTION;
    EIP->ENTER = &ENTERACTION;
    EIP->FOCUSLOSS = &FOCUSLOSSACTION;
    EIP->TAB = &TABACTION;
    EIP->BC = this;
    EIP->EQ = EDITLIST.get();
    EIP->FIELDS = FIELDS.get();
    EIP->LISTCONTROL = LISTCONTROL;
    EIP->ERRORS = WINDOW->ERRORS;
    EIP->VCRREQUEST = WINDOW->VCRREQUEST;
}

BrowseSortOrder* BrowseManager::current_sort() const {
    return ORDER ? static_cast<BrowseSortOrder*>(ORDER->current_order()) : nullptr;
}

int32_t BrowseManager::rows() const {
    return LISTQUEUE ? LISTQUEUE->Count() : 0;
}

ListBox* BrowseManager::list() const {
    if (!WINDOW || !WINDOW->window().IsOpen())
        return nullptr;
    return dynamic_cast<ListBox*>(WINDOW->window().control(LISTCONTROL));
}

int32_t BrowseManager::shown_rows() const {
    const ListBox* box = list();
    return box ? box->visible_rows() : 0;
}

// ---- rows of the page ----

void BrowseManager::add_row(bool at_end) {
    if (at_end)
        LISTQUEUE->Add();
    else
        LISTQUEUE->Add(1);
}

void BrowseManager::drop_row(int32_t row) {
    LISTQUEUE->Get(row);
    if (ErrorCode() == 0)
        LISTQUEUE->Delete();
}

std::string BrowseManager::row_position(int32_t row) {
    LISTQUEUE->Get(row);
    if (ErrorCode() != 0)
        return {};
    return decode_position(VariableText(VIEWPOSITION));
}

int32_t BrowseManager::locate_row(const std::string& position) {
    if (position.empty())
        return 1;
    for (int32_t row = 1; row <= rows(); ++row)
        if (row_position(row) == position)
            return row;
    return 0;
}

void BrowseManager::position_at_row(int32_t row) {
    const std::string position = row_position(row);
    Open();
    RESET(VIEW->file(), position);
}

void BrowseManager::SetQueueRecord() {
    FIELDS->AssignLeftToRight();
    SetVariableText(VIEWPOSITION, encode_position(POSITION(VIEW->file())));
}

void BrowseManager::UpdateBuffer() {
    if (rows() > 0) {
        LISTQUEUE->Get(std::clamp(CURRENTCHOICE, 1, rows()));
        FIELDS->AssignRightToLeft();
    } else {
        FIELDS->ClearLeft();
    }
}

void BrowseManager::UpdateViewRecord() {
    if (rows() == 0)
        return;
    if (const ListBox* box = list(); box && box->selected_row() > 0)
        CURRENTCHOICE = box->selected_row();
    CURRENTCHOICE = std::clamp(CURRENTCHOICE, 1, rows());
    const std::string position = row_position(CURRENTCHOICE);
    Open();
    WATCH(VIEW->view().primary());
    REGET(VIEW->file(), position);
}

// ---- reading ----

int BrowseManager::Next() {
    return after_read(ViewManager::Next());
}

int BrowseManager::Previous() {
    return after_read(ViewManager::Previous());
}

// The end of the records is no change of a reset field; a read error closes the window.
int BrowseManager::after_read(int result) {
    if (result == Level::Notify) {
        if (BrowseSortOrder* order = current_sort(); order && order->RESETS)
            order->RESETS->AssignRightToLeft();
    } else if (result == Level::Fatal && WINDOW) {
        PostEvent(WINDOW->window(), Event::CloseWindow);
    }
    return result;
}

void BrowseManager::Fetch(uint8_t direction) {
    const bool forward = direction == FillForward;
    const bool quick = QUICKSCAN && ITEMSTOFILL > 1 && PRIMARY;
    if (quick)
        PRIMARY->SetQuickScan(true, 0);
    std::string skip;
    Open();
    if (rows() > 0) {
        skip = row_position(forward ? rows() : 1);
        RESET(VIEW->file(), skip);
    }
    m_fetch_short = false;
    bool first = true;
    while (ITEMSTOFILL != 0) {
        const int result = forward ? Next() : Previous();
        if (result != Level::Benign) {
            m_fetch_short = true;
            break;
        }
        if (first) {
            first = false;
            if (!skip.empty() && POSITION(VIEW->file()) == skip)
                continue;
        }
        if (rows() >= LASTITEMS && rows() > 0) {
            drop_row(forward ? 1 : rows());
            (forward ? m_top_in_page : m_bottom_in_page) = false;
        }
        SetQueueRecord();
        add_row(forward);
        --ITEMSTOFILL;
    }
    if (m_fetch_short)
        (forward ? m_bottom_in_page : m_top_in_page) = true;
    if (quick)
        PRIMARY->SetQuickScan(false, 0);
}

void BrowseManager::ResetQueue(uint8_t mode) {
    if (!ACTIVEINVISIBLE && (!list() || GetProperty(&WINDOW->window(), LISTCONTROL, Prop::Visible) != "1")) {
        LOADPENDING = 1;
        return;
    }
    if (LASTITEMS == 0)
        LASTITEMS = shown_rows();
    LOADED = 1;
    LOADPENDING = 0;
    if (CURRENTCHOICE == 0)
        CURRENTCHOICE = 1;
    std::string keep;
    int32_t above = 0;
    bool at_start = false;
    Open();
    if (mode == 2) {
        if (RETAINROW)
            above = CURRENTCHOICE - 1;
    } else if (rows() > 0) {
        // After the last row was dropped (a delete), the row above it is the
        // one kept in its place.
        CURRENTCHOICE = std::min(CURRENTCHOICE, rows());
        keep = row_position(CURRENTCHOICE);
        position_at_row(1);
    } else {
        ResetToStart();
        at_start = true;
    }
    const int32_t remembered = CURRENTCHOICE;
    LISTQUEUE->Free();
    m_top_in_page = at_start;
    m_bottom_in_page = false;

    auto locate = [&] {
        CURRENTCHOICE = locate_row(keep);
        if (RETAINROW)
            above = remembered - CURRENTCHOICE;
    };
    ITEMSTOFILL = std::max(0, LASTITEMS - above);
    Fetch(FillForward);
    const bool end_reached = m_fetch_short;
    if (keep.empty() && rows() > 0)
        keep = row_position(1);
    locate();
    if (rows() == 0) {
        ResetToStart();
        m_top_in_page = m_bottom_in_page = true;
    }
    ITEMSTOFILL = ALLOWUNFILLED ? 0 : LASTITEMS - rows();
    if (!at_start && (ITEMSTOFILL > 0 || above > 0)) {
        ITEMSTOFILL = std::max(ITEMSTOFILL, above);
        Fetch(FillBackward);
        if (keep.empty() && rows() > 0)
            keep = row_position(rows());
        locate();
    }
    if (RETAINROW && (above < 0 || (rows() < LASTITEMS && !end_reached && !m_bottom_in_page))) {
        ITEMSTOFILL = std::max(-above, LASTITEMS - rows());
        Fetch(FillForward);
        locate();
    }
    while (rows() > LASTITEMS) {
        if (above < 0) {
            drop_row(1);
            m_top_in_page = false;
            ++above;
            --CURRENTCHOICE;
        } else {
            drop_row(rows());
            m_bottom_in_page = false;
        }
    }
    if (CURRENTCHOICE <= 0)
        CURRENTCHOICE = 1;
    if (rows() > 0) {
        UpdateBuffer();
    } else if (PRIMARY && PRIMARY->ME && PRIMARY->ME->FILE) {
        PRIMARY->ME->FILE->clear_record();
    }
    if (BrowseSortOrder* order = current_sort(); order && order->LOCATOR && order->LOCATOR->CONTROL)
        SetProperty(&WINDOW->window(), order->LOCATOR->CONTROL, Prop::Disable, rows() == 0 ? "1" : "0");
}

// ---- scrolling ----

void BrowseManager::ScrollOne(uint16_t event) {
    CURRENTEVENT = event;
    if (event == Event::ScrollUp && CURRENTCHOICE > 1) {
        --CURRENTCHOICE;
    } else if (event == Event::ScrollDown && CURRENTCHOICE < rows()) {
        ++CURRENTCHOICE;
    } else if (!FILELOADED) {
        ITEMSTOFILL = 1;
        Fetch(event == Event::ScrollUp ? FillBackward : FillForward);
        if (!m_fetch_short && event == Event::ScrollUp)
            CURRENTCHOICE = 1;
        else if (!m_fetch_short)
            CURRENTCHOICE = rows();
    }
}

void BrowseManager::ScrollPage(uint16_t event) {
    CURRENTEVENT = event;
    int32_t n = std::max(1, shown_rows());
    if (!FILELOADED) {
        ITEMSTOFILL = n;
        Fetch(event == Event::PageUp ? FillBackward : FillForward);
        n = ITEMSTOFILL;
    }
    CURRENTCHOICE += event == Event::PageUp ? -n : n;
    CURRENTCHOICE = std::clamp(CURRENTCHOICE, rows() > 0 ? 1 : 0, rows());
}

void BrowseManager::ScrollEnd(uint16_t event) {
    CURRENTEVENT = event;
    if (!FILELOADED) {
        LISTQUEUE->Free();
        m_top_in_page = m_bottom_in_page = false;
        ResetToStart();
        ITEMSTOFILL = std::max(1, shown_rows());
        const bool top = event == Event::ScrollTop;
        Fetch(top ? FillForward : FillBackward);
        (top ? m_top_in_page : m_bottom_in_page) = true;
    }
    CURRENTCHOICE = event == Event::ScrollTop ? (rows() > 0 ? 1 : 0) : rows();
}

void BrowseManager::TakeScroll(uint16_t event) {
    if (event == 0)
        event = EVENT();
    if (rows() == 0 && !LOADED)
        return;
    switch (event) {
    case Event::ScrollUp:
    case Event::ScrollDown:
        ScrollOne(event);
        break;
    case Event::PageUp:
    case Event::PageDown:
        ScrollPage(event);
        break;
    case Event::ScrollTop:
    case Event::ScrollBottom:
        ScrollEnd(event);
        break;
    default:
        return;
    }
    show_selection();
    if (WINDOW)
        PostEvent(WINDOW->window(), Event::NewSelection, LISTCONTROL);
    if (BrowseSortOrder* order = current_sort(); order && order->LOCATOR)
        order->LOCATOR->Reset();
    if (BrowseSortOrder* order = current_sort(); !order || !order->THUMB)
        set_thumb();
    UpdateBuffer();
}

int32_t BrowseManager::thumb_position() const {
    const int32_t n = rows();
    if (n == 0)
        return 0;
    if (FILELOADED)
        return CURRENTCHOICE * 100 / n;
    // A page that holds an end of the result shows the thumb at that end.
    if (m_top_in_page && (!m_bottom_in_page || CURRENTCHOICE * 2 <= n))
        return 0;
    if (m_bottom_in_page)
        return 100;
    return 50;
}

void BrowseManager::set_thumb() {
    if (!list())
        return;
    Window& window = WINDOW->window();
    const bool full = rows() >= LASTITEMS && LASTITEMS > 0 && !(m_top_in_page && m_bottom_in_page);
    if (!HASTHUMB || !full) {
        SetProperty(&window, LISTCONTROL, Prop::Thumb, "-1");
        return;
    }
    int32_t position = thumb_position();
    if (BrowseSortOrder* order = current_sort();
        order && order->THUMB && LOADED && order->FREEELEMENT.address)
        position = order->THUMB->GetPercentile(order->FREEELEMENT);
    SetProperty(&window, LISTCONTROL, Prop::Thumb, std::to_string(position));
}

void BrowseManager::show_selection() {
    if (ListBox* box = list(); box && rows() > 0)
        SetProperty(&WINDOW->window(), LISTCONTROL, Prop::Selection, std::to_string(CURRENTCHOICE));
}

void BrowseManager::take_scroll_drag() {
    const int32_t p = static_cast<int32_t>(
        std::strtol(GetProperty(&WINDOW->window(), LISTCONTROL, Prop::Thumb).c_str(), nullptr, 10));
    Window& window = WINDOW->window();
    BrowseSortOrder* order = current_sort();
    if (p <= 1) {
        PostEvent(window, Event::ScrollTop, LISTCONTROL);
    } else if (p >= 100) {
        PostEvent(window, Event::ScrollBottom, LISTCONTROL);
    } else if (order && order->THUMB && order->FREEELEMENT.address) {
        SetVariableText(order->FREEELEMENT, order->THUMB->GetValue(p));
        ResetFromBuffer();
    } else if (FILELOADED) {
        CURRENTCHOICE = std::clamp(p * rows() / 100, 1, std::max(1, rows()));
        TakeScroll(Event::ScrollDrag);
    } else if (p < 50) {
        PostEvent(window, Event::PageUp, LISTCONTROL);
    } else if (p > 50) {
        PostEvent(window, Event::PageDown, LISTCONTROL);
    }
}

void BrowseManager::UpdateThumbRange() {
    BrowseSortOrder* order = current_sort();
    if (!order || !order->THUMB || !order->THUMB->SetLimitNeeded() || !order->FREEELEMENT.address)
        return;
    if (rows() < LASTITEMS && !ALLOWUNFILLED)
        return;
    // The first and last records of the result give the free element's range.
    Open();
    std::string low;
    std::string high;
    ResetToStart();
    if (ViewManager::Next() == Level::Benign)
        low = ValueText(order->FREEELEMENT);
    ResetToStart();
    if (ViewManager::Previous() == Level::Benign)
        high = ValueText(order->FREEELEMENT);
    order->THUMB->SetLimit(low, high);
    UpdateBuffer();
}

// ---- positioning and reloading ----

void BrowseManager::ResetFromBuffer() {
    const int32_t items =
        current_sort() && current_sort()->MAINKEY ? current_sort()->MAINKEY->component_count() : 1;
    Reset(static_cast<uint8_t>(items));
    ResetQueue(2);
    show_selection();
}

void BrowseManager::ResetFromFile() {
    ResetFromBuffer();
}

void BrowseManager::ResetSort(bool force) {
    if (ORDER)
        SetSortCore(static_cast<uint8_t>(ORDER->current), force);
}

void BrowseManager::save_reset_fields() {
    if (BrowseSortOrder* order = current_sort(); order && order->RESETS)
        order->RESETS->AssignLeftToRight();
}

bool BrowseManager::reset_fields_changed() {
    BrowseSortOrder* order = current_sort();
    return order && order->RESETS && order->RESETS->size() > 0 && !order->RESETS->EqualLeftRight();
}

uint8_t BrowseManager::SetSortCore(uint8_t number, bool force) {
    if (!m_ready)
        return 0;
    const uint8_t changed = SetSort(number);
    BrowseSortOrder* order = current_sort();
    if (changed && order && order->LOCATOR)
        order->LOCATOR->Reset();
    const bool range = ViewManager::ApplyRange() != 0 || m_range_changed;
    m_range_changed = false;
    if (!changed && !force && !range && !LOADPENDING && LOADED) {
        UpdateBuffer();
        return 0;
    }
    if (range) {
        // The rows of the old range are not in the new one: start at its first record.
        LISTQUEUE->Free();
        CURRENTCHOICE = 0;
    }
    save_reset_fields();
    ApplyOrder();
    ApplyFilter();
    if ((SELECTING || STARTATCURRENT) && !LOADED) {
        Reset(GetFreeElementPosition());
        ResetQueue(2);
    } else if (rows() > 0) {
        position_at_row(std::clamp(CURRENTCHOICE, 1, rows()));
        ResetQueue(2);
    } else {
        ResetQueue(1);
    }
    if (!LOADPENDING) {
        show_selection();
        UpdateThumbRange();
    }
    UpdateBuffer();
    return 1;
}

uint8_t BrowseManager::ApplyRange() {
    const int32_t shown = shown_rows();
    bool yes = false;
    if (shown != LASTITEMS && shown > 0) {
        LASTITEMS = shown;
        yes = true;
    } else {
        yes = ViewManager::ApplyRange() != 0 || reset_fields_changed();
        m_range_changed = yes;
    }
    if (!yes)
        return 0;
    LOADPENDING = 1;
    return 1;
}

void BrowseManager::Kill() {
    if (!m_ready)
        return;
    m_ready = false;
    if (POPUP)
        POPUP->CloseToolbox();
    Close();
    if (ORDER) {
        for (auto& record : ORDER->records) {
            auto* order = static_cast<BrowseSortOrder*>(record.get());
            if (order->LOCATOR)
                order->LOCATOR->Kill();
            if (order->RESETS)
                order->RESETS->Kill();
            order->RESETS.reset();
        }
    }
    ViewManager::Kill();
    ORDER = nullptr;
    SORT.reset();
    FIELDS.reset();
    if (POPUP)
        POPUP->Kill();
    POPUP.reset();
    if (TOOLBAR && TOOLBARITEM)
        TOOLBAR->RemoveTarget(*TOOLBARITEM);
    TOOLBARITEM.reset();
    if (QUERY)
        QUERY->Kill();
    // The manager ended its last run already; it and the columns the browse owns are released.
    m_own_eip.reset();
    EIP = nullptr;
    FREEEIP = 0;
    if (EDITLIST)
        for (EditListRecord& entry : *EDITLIST)
            if (entry.FREEUP) {
                delete entry.CONTROL;
                entry.CONTROL = nullptr;
            }
    EDITLIST.reset();
}

} // namespace morvex
