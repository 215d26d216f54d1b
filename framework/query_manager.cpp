// QueryManager: the field list, the filter text built from the typed values,
// and the saved queries with their popup items. The dialog is in
// query_dialog.cpp.
#include "framework/query_manager.h"

#include "framework/error_reporter.h"
#include "framework/ini_manager.h"
#include "framework/popup_manager.h"
#include "framework/query_syntax.h"
#include "runtime/picture.h"
#include "runtime/string_ops.h"
#include "window/events.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>

namespace morvex {

namespace {

constexpr uint16_t ErrorUnsupportedColumn = 41;
// The stored list of a saved query's bounds (name, low, high), beside the
// list of its values.
constexpr std::string_view ValueName = "Range";

template <std::size_t N>
std::string_view text_of(const char (&field)[N]) {
    return {field, strnlen(field, N)};
}

template <std::size_t N>
void assign(char (&field)[N], std::string_view value) {
    const std::size_t n = std::min(value.size(), N - 1);
    std::memcpy(field, value.data(), n);
    std::memset(field + n, 0, N - n);
}

bool blank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

// The characters a popup item's name keeps.
bool name_character(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

} // namespace

QueryManager::QueryManager() = default;

QueryManager::~QueryManager() = default;

RecordDescription QueryManager::FieldListDescription() {
    using F = morvex::FieldDescription;
    return RecordDescription(
        sizeof(QueryFieldRecord),
        {F::Sized(FieldType::CString, "QFD:NAME", offsetof(QueryFieldRecord, NAME), 100),
         F::Sized(FieldType::CString, "QFD:TITLE", offsetof(QueryFieldRecord, TITLE), 100),
         F::Sized(FieldType::CString, "QFD:PICTURE", offsetof(QueryFieldRecord, PICTURE), 40),
         F::Sized(FieldType::CString, "QFD:LOW", offsetof(QueryFieldRecord, LOW), 500),
         F::Sized(FieldType::CString, "QFD:MIDDLE", offsetof(QueryFieldRecord, MIDDLE), 500),
         F::Sized(FieldType::CString, "QFD:HIGH", offsetof(QueryFieldRecord, HIGH), 500),
         F::Of(FieldType::Byte, "QFD:FORCEEDITPICTURE", offsetof(QueryFieldRecord, FORCEEDITPICTURE))});
}

void QueryManager::Init(ErrorReporter& errors, IniManager* ini, std::string_view query_type) {
    ERRORS = &errors;
    INIMGR = ini;
    QUERYTYPE = std::string(query_type.substr(0, NameLimit));
    if (!FIELDS)
        FIELDS = std::make_unique<Queue>(FieldListDescription(), &FIELD);
}

void QueryManager::AddField(std::string_view name, std::string_view title, std::string_view picture,
                            uint8_t force_edit_picture) {
    if (!FIELDS)
        FIELDS = std::make_unique<Queue>(FieldListDescription(), &FIELD);
    FIELD = QueryFieldRecord{};
    assign(FIELD.NAME, name);
    assign(FIELD.TITLE, title);
    if (!picture.empty() && picture.front() == '@')
        picture.remove_prefix(1);
    assign(FIELD.PICTURE, picture);
    FIELD.FORCEEDITPICTURE = force_edit_picture;
    FIELDS->Add();
}

void QueryManager::SetSavedQueries(bool offered, std::string_view item_icon, std::string_view submenu_icon) {
    SAVEDQUERIES = offered ? 1 : 0;
    ITEMICON = std::string(item_icon);
    SUBMENUICON = std::string(submenu_icon);
}

void QueryManager::Kill() {
    FIELDS.reset();
    MENUMAP.clear();
    m_view_item.clear();
}

std::size_t QueryManager::FieldCount() {
    return FIELDS ? static_cast<std::size_t>(FIELDS->Records()) : 0;
}

int32_t QueryManager::find_field(std::string_view name) {
    if (!FIELDS)
        return 0;
    const std::string wanted = UPPER(CLIP(name));
    for (int32_t i = 1; i <= FIELDS->Records(); ++i) {
        FIELDS->Get(i);
        if (UPPER(CLIP(text_of(FIELD.NAME))) == wanted)
            return i;
    }
    return 0;
}

bool QueryManager::SetValues(std::string_view name, std::string_view low, std::string_view middle,
                             std::string_view high) {
    if (find_field(name) == 0)
        return false;
    assign(FIELD.LOW, low);
    assign(FIELD.MIDDLE, middle);
    assign(FIELD.HIGH, high);
    FIELDS->Put();
    return true;
}

bool QueryManager::GetField(std::string_view name, QueryFieldRecord& out) {
    if (find_field(name) == 0)
        return false;
    out = FIELD;
    return true;
}

std::string QueryManager::QuoteValue(std::string_view text) {
    return QueryQuote(text);
}

std::string QueryManager::GetFilter() {
    std::string filter;
    if (!FIELDS)
        return filter;
    for (int32_t i = 1; i <= FIELDS->Records(); ++i) {
        FIELDS->Get(i);
        const QueryFieldValues field{text_of(FIELD.NAME), text_of(FIELD.PICTURE),
                                     text_of(FIELD.LOW),  text_of(FIELD.MIDDLE),
                                     text_of(FIELD.HIGH), FIELD.FORCEEDITPICTURE != 0};
        for (const QueryCondition& condition : FieldConditions(field))
            AppendCondition(filter, field, condition);
    }
    if (filter.size() > FilterLimit)
        filter.resize(FilterLimit);
    return filter;
}

void QueryManager::ClearQuery() {
    if (!FIELDS)
        return;
    for (int32_t i = 1; i <= FIELDS->Records(); ++i) {
        FIELDS->Get(i);
        assign(FIELD.LOW, "");
        assign(FIELD.MIDDLE, "");
        assign(FIELD.HIGH, "");
        FIELDS->Put();
    }
}

void QueryManager::SaveQuery(std::string_view name) {
    if (!INIMGR || !FIELDS)
        return;
    const std::string section = IniManager::SectorName(Family, name, QUERYTYPE);
    INIMGR->AddSector(section);
    INIMGR->UpdateQueue(section, ListName, *FIELDS, IniField::Of(FIELD.NAME), IniField::Of(FIELD.MIDDLE));
    // The bounds too, in a list of their own beside the values: a saved
    // range would otherwise come back as no condition at all.
    INIMGR->UpdateQueue(section, ValueName, *FIELDS, IniField::Of(FIELD.NAME), IniField::Of(FIELD.LOW),
                        IniField::Of(FIELD.HIGH));
}

namespace {

// A work record of a stored list.
struct StoredEntry {
    char NAME[100] = {};
    char FIRST[500] = {};
    char SECOND[500] = {};
};

RecordDescription stored_description() {
    using F = morvex::FieldDescription;
    return RecordDescription(
        sizeof(StoredEntry),
        {F::Sized(FieldType::CString, "QRY:NAME", offsetof(StoredEntry, NAME), 100),
         F::Sized(FieldType::CString, "QRY:FIRST", offsetof(StoredEntry, FIRST), 500),
         F::Sized(FieldType::CString, "QRY:SECOND", offsetof(StoredEntry, SECOND), 500)});
}

} // namespace

int32_t QueryManager::find_stored(std::string_view stored) {
    const std::string_view name = CLIP(stored);
    if (const int32_t found = find_field(name))
        return found;
    const bool upper = UPPER(name).starts_with("UPPER(");
    if (!upper)
        return find_field("UPPER(" + std::string(name) + ")");
    if (name.size() > 7 && name.back() == ')')
        return find_field(name.substr(6, name.size() - 7));
    return 0;
}

void QueryManager::RestoreQuery(std::string_view name) {
    ClearQuery();
    if (!INIMGR || !FIELDS)
        return;
    const std::string section = IniManager::SectorName(Family, name, QUERYTYPE);
    StoredEntry entry;
    Queue stored(stored_description(), &entry);
    INIMGR->FetchQueue(section, ListName, stored, IniField::Of(entry.NAME), IniField::Of(entry.FIRST));
    for (int32_t i = 1; i <= stored.Records(); ++i) {
        stored.Get(i);
        if (find_stored(text_of(entry.NAME)) == 0) {
            if (ERRORS) {
                ERRORS->SetField(text_of(entry.NAME));
                ERRORS->Throw(ErrorUnsupportedColumn);
            }
            continue;
        }
        std::string value(CLIP(text_of(entry.FIRST)));
        const std::string_view picture = text_of(FIELD.PICTURE);
        if (!blank(value) && (IsStringPicture(picture) || blank(picture)))
            value = CaseInsensitiveValue(value);
        assign(FIELD.MIDDLE, value);
        FIELDS->Put();
    }
    // The bounds, when the query was saved with them.
    stored.Free();
    INIMGR->FetchQueue(section, ValueName, stored, IniField::Of(entry.NAME), IniField::Of(entry.FIRST),
                       IniField::Of(entry.SECOND));
    for (int32_t i = 1; i <= stored.Records(); ++i) {
        stored.Get(i);
        if (find_stored(text_of(entry.NAME)) == 0)
            continue; // reported with the values above
        assign(FIELD.LOW, CLIP(text_of(entry.FIRST)));
        assign(FIELD.HIGH, CLIP(text_of(entry.SECOND)));
        FIELDS->Put();
    }
}

void QueryManager::GetSavedQueries(Queue& target, SectorRecord& buffer) {
    if (!INIMGR)
        return;
    INIMGR->GetSectors(Family, "", QUERYTYPE, target, buffer);
    target.Sort(QueueKey{2});
    for (int32_t i = target.Records(); i >= 1; --i) {
        target.Get(i);
        if (text_of(buffer.ITEM) == MruQuery)
            target.Delete();
    }
}

std::vector<std::string> QueryManager::SavedQueryNames() {
    std::vector<std::string> names;
    SectorRecord buffer;
    Queue saved(IniManager::SectorDescription(), &buffer);
    GetSavedQueries(saved, buffer);
    for (int32_t i = 1; i <= saved.Records(); ++i) {
        saved.Get(i);
        names.emplace_back(text_of(buffer.ITEM));
    }
    return names;
}

uint8_t QueryManager::TakeSavedQuery(PopupManager& popup) {
    if (!SAVEDQUERIES)
        return 0;
    CHOSENITEM = popup.LASTSELECTION.substr(0, NameLimit);
    const auto found = std::find_if(MENUMAP.begin(), MENUMAP.end(), [&](const QueryMenuEntry& entry) {
        return entry.ITEMNAME == CHOSENITEM;
    });
    if (found != MENUMAP.end())
        RestoreQuery(found->QUERYNAME);
    else
        ClearQuery();
    SaveQuery(MruQuery);
    return 1;
}

namespace {

// A name no item of the popup has, made from `text` as the popup makes its
// own (letters, digits and underscores; a number appended when taken).
std::string unused_item_name(const PopupManager& popup, std::string_view text) {
    std::string base;
    for (const char c : text)
        if (name_character(c))
            base.push_back(c);
    if (base.empty())
        base = "Query";
    base.resize(std::min<std::size_t>(base.size(), QueryManager::NameLimit - 10));
    if (!popup.item(base))
        return base;
    for (int n = 1;; ++n) {
        std::string candidate = base + std::to_string(n);
        if (!popup.item(candidate))
            return candidate;
    }
}

} // namespace

std::string QueryManager::add_submenu_item(PopupManager& popup, std::string_view name, std::string_view text,
                                           int32_t query_button) {
    if (!popup.POPUPITEMS)
        popup.Init();
    std::vector<PopupItem>& items = *popup.POPUPITEMS;
    PopupItem item;
    item.NAME = unused_item_name(popup, name);
    item.TEXT = std::string(text.substr(0, PopupManager::NameLimit));
    item.CONTROLID = static_cast<int16_t>(query_button);
    item.EVENT = text == "-" ? 0 : Event::NewSelection;
    item.ICON = text == "-" ? std::string() : ITEMICON;
    // Only the menu can show which query an item stands for: a toolbox
    // button would not tell the manager which one was pressed.
    item.ONTOOLBOX = 0;
    // Into the "View" submenu: after its title and the items already in it.
    auto title =
        std::find_if(items.begin(), items.end(), [&](const PopupItem& i) { return i.NAME == m_view_item; });
    if (title == items.end()) {
        item.DEPTH = 1;
        items.push_back(item);
        return item.NAME;
    }
    item.DEPTH = static_cast<uint16_t>(title->DEPTH + 1);
    auto end = title + 1;
    while (end != items.end() && end->DEPTH > title->DEPTH)
        ++end;
    items.insert(end, item);
    return item.NAME;
}

void QueryManager::SetPopupItems(PopupManager& popup, int32_t query_button) {
    bool had = !MENUMAP.empty();
    for (const QueryMenuEntry& entry : MENUMAP)
        popup.DeleteItem(entry.ITEMNAME);
    MENUMAP.clear();
    // A popup that lost the submenu (rebuilt by its owner) gets it again.
    if (had && !popup.item(m_view_item))
        had = false;
    const std::vector<std::string> saved = SavedQueryNames();
    if (!saved.empty() && !had) {
        popup.AddSeparator();
        m_view_item = unused_item_name(popup, SubmenuText);
        popup.AddItem(m_view_item);
        popup.SetIcon(m_view_item, SUBMENUICON);
        if (PopupItem* title = &popup.POPUPITEMS->back(); title->NAME == m_view_item) {
            title->TEXT = std::string(SubmenuText);
            title->ONTOOLBOX = 0;
        }
        had = true;
    } else if (saved.empty() && had) {
        const std::string empty = add_submenu_item(popup, EmptyItem, "Empty", query_button);
        popup.SetItemEnable(empty, false);
        popup.SetIcon(empty, "");
        MENUMAP.push_back({std::string(EmptyItem), empty});
    }
    for (const std::string& query : saved)
        MENUMAP.push_back({query, add_submenu_item(popup, query, query, query_button)});
    if (had) {
        MENUMAP.push_back({"", add_submenu_item(popup, "Separator", "-", query_button)});
        MENUMAP.push_back(
            {std::string(ClearItem), add_submenu_item(popup, ClearItem, "C&lear", query_button)});
    }
}

} // namespace morvex
