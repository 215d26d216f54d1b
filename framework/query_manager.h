// QueryManager: query by example for a browse. Each queryable field carries
// a value, a lower and an upper bound as the user typed them, in a small
// value syntax (operator prefixes "=<>~", "*" for contains and begins-with,
// "^" for a case-insensitive match); GetFilter turns them into one filter
// text for the view's evaluator, which the browse installs as its named
// filter "9 - QBE". Named queries are kept in the program INI file through
// the IniManager and offered again as items of the browse's popup menu; the
// query last chosen there is saved as "tsMRU". Ask is the query dialog
// (window "fwquery"): one row per field with its operator and value.
#pragma once

#include "runtime/queue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class ErrorReporter;
class IniManager;
class PopupManager;
struct SectorRecord;

// One queryable field: a record of the manager's field list.
struct QueryFieldRecord {
    char NAME[100] = {};   // as the filter names it; may be "UPPER(" name ")"
    char TITLE[100] = {};  // the dialog's caption for the field
    char PICTURE[40] = {}; // without the leading at-sign; "S..." marks a string field
    char LOW[500] = {};
    char MIDDLE[500] = {};
    char HIGH[500] = {};
    uint8_t FORCEEDITPICTURE = 0; // compare the text as typed (non-string fields)
};

// A popup item the manager added: the saved query it stands for.
struct QueryMenuEntry {
    std::string QUERYNAME;
    std::string ITEMNAME;
};

class QueryManager {
public:
    static constexpr std::size_t FilterLimit = 5000;
    static constexpr std::size_t NameLimit = 99;
    static constexpr std::size_t ValueLimit = 499;
    static constexpr std::string_view Family = "Query";
    static constexpr std::string_view ListName = "Query";
    static constexpr std::string_view MruQuery = "tsMRU";
    static constexpr std::string_view ClearItem = "tsQBEClear";
    static constexpr std::string_view EmptyItem = "tsQBEEmpty";
    static constexpr std::string_view SubmenuText = "View";
    // The dialog's window definitions are found under this procedure name.
    static constexpr std::string_view DialogProcedure = "fwquery";

    QueryManager();
    virtual ~QueryManager();
    QueryManager(const QueryManager&) = delete;
    QueryManager& operator=(const QueryManager&) = delete;

    // Set-up by the procedure that creates the manager. `ini` null: no
    // saved queries. `query_type` tells this browse's saved queries apart.
    void Init(ErrorReporter& errors, IniManager* ini, std::string_view query_type);
    // Appends a queryable field. `picture` without its at-sign.
    void AddField(std::string_view name, std::string_view title, std::string_view picture = {},
                  uint8_t force_edit_picture = 0);
    // Offers saved queries in the popup, with these icons for the items
    // and for the "View" submenu.
    void SetSavedQueries(bool offered, std::string_view item_icon = {}, std::string_view submenu_icon = {});
    virtual void Kill();

    // The query dialog (request 1: query). Non-zero when the user set a new
    // query (OK, or Clear for the empty query); Cancel leaves the values as
    // they were and answers 0.
    virtual uint8_t Ask(uint8_t request = 1);

    // The filter text of the current values; empty when no field has a condition.
    std::string GetFilter();
    void ClearQuery();
    static std::string QuoteValue(std::string_view text);
    void SaveQuery(std::string_view name);
    void RestoreQuery(std::string_view name);
    // Fills `target` (the sector record layout, `buffer` its buffer) with
    // this query type's saved queries, by name, without "tsMRU".
    void GetSavedQueries(Queue& target, SectorRecord& buffer);
    // The names GetSavedQueries lists.
    std::vector<std::string> SavedQueryNames();
    // Applies the saved query chosen in the popup; 1 when the browse should
    // take the query (the saved-queries flag is set).
    uint8_t TakeSavedQuery(PopupManager& popup);
    // Rebuilds the saved-query items of the popup; each posts
    // EVENT:NewSelection to `query_button`.
    void SetPopupItems(PopupManager& popup, int32_t query_button);

    // Field list access by name (compared as written, case-insensitively);
    // false when the list has no such field.
    bool SetValues(std::string_view name, std::string_view low, std::string_view middle,
                   std::string_view high);
    bool GetField(std::string_view name, QueryFieldRecord& out);
    std::size_t FieldCount();

    ErrorReporter* ERRORS = nullptr;
    QueryFieldRecord FIELD;        // the field list's record buffer
    std::unique_ptr<Queue> FIELDS; // the queryable fields, in dialog order
    std::string QUERYTYPE;
    IniManager* INIMGR = nullptr;
    std::vector<QueryMenuEntry> MENUMAP;
    uint8_t SAVEDQUERIES = 0; // saved queries are offered in the popup
    std::string ITEMICON;
    std::string SUBMENUICON;
    std::string CHOSENITEM; // the popup item last chosen; the browse clears it on its Query button

    // The layout of the field list's records.
    static RecordDescription FieldListDescription();

private:
    // The field list's record whose NAME is `name` (case-blind), read into
    // FIELD; 0 when none.
    int32_t find_field(std::string_view name);
    // A stored query's field: by its name, with or without "UPPER(...)".
    int32_t find_stored(std::string_view stored);
    std::string add_submenu_item(PopupManager& popup, std::string_view name, std::string_view text,
                                 int32_t query_button);
    std::string m_view_item; // the "View" submenu's title item in the popup
};

} // namespace morvex
