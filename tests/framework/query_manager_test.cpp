// The query manager: the filter texts its value syntax gives, each one read
// by the view engine over a Customer file and checked against the records
// an independent test of the same values picks; and its saved queries in
// the INI file with their popup items.
#include "framework/file_manager.h"
#include "framework/ini_manager.h"
#include "framework/popup_manager.h"
#include "framework/query_manager.h"
#include "framework/query_syntax.h"
#include "framework/view_manager.h"
#include "platform/message_box.h"
#include "runtime/string_ops.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"
#include "tests/support/temp_ini_dir.h"
#include "window/events.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace morvex {
namespace {

struct Customer {
    const char* name;
    int32_t start; // a standard date
};

// Ids are numbered 1.. in this order.
const Customer Customers[] = {
    {"Smith", 73274}, {"smithers", 73284}, {"O'Brien", 73294}, {"Brighton", 73274}, {"Stone", 73300},
    {"Anton", 73274}, {"Milton", 73301},   {"Smart", 73284},   {"Smith, J", 73294}, {"Zed", 73000},
};

struct QueryFieldValues {
    const char* name;
    const char* picture;
    const char* low;
    const char* middle;
    const char* high;
    uint8_t force = 0;
};

struct FilterCase {
    const char* label;
    std::vector<QueryFieldValues> fields;
    const char* filter;
    std::function<bool(int32_t id, const Customer&)> picks; // computed apart from the filter
};

bool upper_equals(const Customer& c, std::string_view text) {
    return UPPER(c.name) == text;
}

const FilterCase FilterCases[] = {
    {"a quote inside a text value is doubled",
     {{"CUS:NAME", "S20", "", "O'Brien", ""}},
     "(CUS:NAME = 'O''Brien')",
     [](int32_t, const Customer& c) { return std::string_view(c.name) == "O'Brien"; }},
    {"a leading star asks for the text anywhere",
     {{"CUS:NAME", "S20", "", "*ton", ""}},
     "INSTRING('ton',CUS:NAME,1,1) <> 0",
     [](int32_t, const Customer& c) {
         return std::string_view(c.name).find("ton") != std::string_view::npos;
     }},
    {"a trailing star asks for the beginning, case counting",
     {{"CUS:NAME", "S20", "", "Sm*", ""}},
     "SUB(CUS:NAME,1,2) = 'Sm'",
     [](int32_t, const Customer& c) { return std::string_view(c.name).starts_with("Sm"); }},
    {"a caret makes the match case-insensitive",
     {{"CUS:NAME", "S20", "", "^smith", ""}},
     "(UPPER(CUS:NAME) = 'SMITH')",
     [](int32_t, const Customer& c) { return upper_equals(c, "SMITH"); }},
    {"a case-insensitive field name upper-cases the value",
     {{"UPPER(CUS:NAME)", "S20", "", "smi*", ""}},
     "SUB(UPPER(CUS:NAME),1,3) = 'SMI'",
     [](int32_t, const Customer& c) { return UPPER(c.name).starts_with("SMI"); }},
    {"a caret and a star: contains, case-insensitive",
     {{"CUS:NAME", "S20", "", "*^TON", ""}},
     "INSTRING('TON',UPPER(CUS:NAME),1,1) <> 0",
     [](int32_t, const Customer& c) { return UPPER(c.name).find("TON") != std::string::npos; }},
    {"bounds without a value are exclusive",
     {{"CUS:CUSID", "", "5", "", "9"}},
     "(CUS:CUSID > 5) AND (CUS:CUSID < 9)",
     [](int32_t id, const Customer&) { return id > 5 && id < 9; }},
    {"bounds with a value are inclusive",
     {{"CUS:CUSID", "n-7", "5", "=", "9"}},
     "(CUS:CUSID >= 5) AND (CUS:CUSID <= 9)",
     [](int32_t id, const Customer&) { return id >= 5 && id <= 9; }},
    {"a bound's own operator joins the bound's",
     {{"CUS:CUSID", "n-7", ">=8", "", ""}},
     "(CUS:CUSID >= 8)",
     [](int32_t id, const Customer&) { return id >= 8; }},
    {"not equal with nothing after it compares a number with 0",
     {{"CUS:CUSID", "n-7", "", "<>", ""}},
     "(CUS:CUSID <> 0)",
     [](int32_t, const Customer&) { return true; }},
    {"not equal to a text",
     {{"CUS:NAME", "S20", "", "<>Zed", ""}},
     "(CUS:NAME <> 'Zed')",
     [](int32_t, const Customer& c) { return std::string_view(c.name) != "Zed"; }},
    {"a value's operator prefix takes the equals sign along",
     {{"CUS:CUSID", "n-7", "", "<3", ""}},
     "(CUS:CUSID <= 3)",
     [](int32_t id, const Customer&) { return id <= 3; }},
    {"a text field and a numeric field, joined",
     {{"CUS:NAME", "S20", "", "Sm*", ""}, {"CUS:CUSID", "n-7", "2", "", ""}},
     "SUB(CUS:NAME,1,2) = 'Sm' AND (CUS:CUSID > 2)",
     [](int32_t id, const Customer& c) { return std::string_view(c.name).starts_with("Sm") && id > 2; }},
    {"a date is read back through its picture",
     {{"CUS:STARTDATE", "d1", "", "8/10/01", ""}},
     "(CUS:STARTDATE = 73274)",
     [](int32_t, const Customer& c) { return c.start == 73274; }},
    {"a pattern on a date compares its formatted text",
     {{"CUS:STARTDATE", "d1", "", "*/20/", ""}},
     "INSTRING('/20/',UPPER(FORMAT(CUS:STARTDATE,@d1)),1,1) <> 0",
     [](int32_t, const Customer& c) { return c.start == 73284; }},
    {"a value compared as typed is quoted when it is no number: it cannot widen the filter",
     {{"CUS:CUSID", "n-7", "", "1) OR (1=1", "", 1}},
     "(CUS:CUSID = '1) OR (1=1')",
     [](int32_t id, const Customer&) {
         return id == 1;
     }}, // the text's leading number, as the evaluator compares
    {"a value compared as typed stays a number",
     {{"CUS:CUSID", "n-7", "", "4", "", 1}},
     "(CUS:CUSID = 4)",
     [](int32_t id, const Customer&) { return id == 4; }},
    {"a lone star asks for nothing",
     {{"CUS:NAME", "S20", "", "*", ""}, {"CUS:CUSID", "", "", "", ""}},
     "",
     [](int32_t, const Customer&) { return true; }},
};

class QueryFilterTest : public ::testing::TestWithParam<int> {
public:
    static void SetUpTestSuite() {
        platform::set_message_box_presenter([](const platform::MessageBoxRequest& request) {
            shown.push_back(request.text);
            return request.default_button;
        });
        errors = new ErrorReporter;
        errors->Init();
        dir = new testing::TempDirectory("query_filter");
        file = testing::DeclareQvdFile(testing::CustomerLayout, dir->file("Customer")).release();
        manager = new FileManager;
        manager->Init(*file, *errors);
        manager->FILENAMEVALUE = "Customer";
        for (int32_t k = 1; k <= 5; ++k)
            manager->AddKey(*file->key(k), file->key(k)->label, k == 5 ? 1 : 0);
        relation.ME = manager;
        manager->Open();
        for (const Customer& c : Customers) {
            manager->PrimeRecord();
            set_field("CUS:NAME", c.name);
            std::memcpy(field("CUS:STARTDATE"), &c.start, 4);
            ASSERT_EQ(manager->Insert(), Level::Benign) << c.name;
        }
    }
    static void TearDownTestSuite() {
        manager->Close();
        manager->Kill();
        errors->Kill();
        delete manager;
        delete file;
        delete dir;
        delete errors;
        platform::set_message_box_presenter({});
    }

    static char* field(const char* label) {
        return reinterpret_cast<char*>(file->buffer()) + file->record.field(file->find_field(label)).offset;
    }
    static void set_field(const char* label, std::string_view text) {
        const uint32_t size = file->record.field(file->find_field(label)).size;
        std::memset(field(label), ' ', size);
        std::memcpy(field(label), text.data(), std::min<std::size_t>(text.size(), size));
    }

    // The ids the view reads through the filter, in id order.
    static std::vector<int32_t> read_through(const std::string& filter) {
        ViewFile view(*file);
        ViewManager vm;
        vm.Init(view, relation);
        vm.AddSortOrder(*file->key(5));
        vm.SetFilter(filter, "9 - QBE");
        vm.ResetToStart();
        std::vector<int32_t> ids;
        while (vm.Next() == Level::Benign) {
            int32_t id;
            std::memcpy(&id, field("CUS:CUSID"), 4);
            ids.push_back(id);
        }
        vm.Close();
        vm.Kill();
        return ids;
    }

    static inline ErrorReporter* errors = nullptr;
    static inline testing::TempDirectory* dir = nullptr;
    static inline FileDeclaration* file = nullptr;
    static inline FileManager* manager = nullptr;
    static inline FileRelation relation;
    static inline std::vector<std::string> shown;
};

TEST_P(QueryFilterTest, TheFilterTextPicksTheRecordsTheValuesMean) {
    const FilterCase& c = FilterCases[GetParam()];
    QueryManager query;
    query.Init(*errors, nullptr, "Customer");
    for (const QueryFieldValues& f : c.fields) {
        query.AddField(f.name, f.name, f.picture, f.force);
        ASSERT_TRUE(query.SetValues(f.name, f.low, f.middle, f.high));
    }
    const std::string filter = query.GetFilter();
    EXPECT_EQ(filter, c.filter) << c.label;
    std::vector<int32_t> expected;
    for (int32_t id = 1; id <= static_cast<int32_t>(std::size(Customers)); ++id)
        if (c.picks(id, Customers[id - 1]))
            expected.push_back(id);
    shown.clear();
    EXPECT_EQ(read_through(filter), expected) << c.label;
    EXPECT_TRUE(shown.empty()) << c.label << ": " << (shown.empty() ? "" : shown.front());
    query.Kill();
}

INSTANTIATE_TEST_SUITE_P(Cases, QueryFilterTest,
                         ::testing::Range(0, static_cast<int>(std::size(FilterCases))));

TEST(QuerySyntaxTest, OperatorsCombineAsWritten) {
    const struct {
        const char* value;
        const char* op;
        const char* normalised;
        const char* rest;
    } cases[] = {
        {"<>", "", "<>", ""},        {"<>=", "", "<>", ""},      {"=>", "", ">=", ""},
        {">=", "", ">=", ""},        {"~=", "", "~=", ""},       {"=", "", "=", ""},
        {"5", ">", ">", "5"},        {">5", "=", ">=", "5"},     {"<5", "=", "<=", "5"},
        {"<>5", "=", "<>", "5"},     {"x", "NOT =", "<>", "x"},  {"ab", "Contains", "", "*ab"},
        {"ab", "Begins", "", "ab*"}, {"==<<a=", "", "<=", "a="},
    };
    for (const auto& c : cases) {
        const auto [op, rest] = NormaliseOperator(c.value, c.op);
        EXPECT_EQ(op, c.normalised) << c.value << " " << c.op;
        EXPECT_EQ(rest, c.rest) << c.value << " " << c.op;
    }
}

// Saved queries: the INI file, the sector registry and the popup's items.
class SavedQueryTest : public ::testing::Test {
public:
    void SetUp() override {
        platform::set_message_box_presenter([this](const platform::MessageBoxRequest& request) {
            shown.push_back(request.text);
            return request.default_button;
        });
        errors.Init();
        ini.Init("query.ini");
        query.Init(errors, &ini, "Customer");
        query.AddField("CUS:NAME", "Name", "S20");
        query.AddField("CUS:CUSID", "Id", "n-7");
        query.SetSavedQueries(true, "~QUERY.ICO");
        popup.Init();
        popup.AddItemMimic("&Insert", "!&Insert", 3);
        popup.AddItemMimic("&Query", "!&Query", QueryButton);
    }
    void TearDown() override {
        popup.Kill();
        query.Kill();
        ini.Kill();
        errors.Kill();
        platform::set_message_box_presenter({});
    }

    std::string middle(const char* name) {
        QueryFieldRecord record;
        EXPECT_TRUE(query.GetField(name, record)) << name;
        return record.MIDDLE;
    }
    // Chooses the popup item as Ask would, then lets the manager take it.
    uint8_t choose(const std::string& item) {
        popup.LASTSELECTION = item;
        return query.TakeSavedQuery(popup);
    }

    static constexpr int32_t QueryButton = 7;
    testing::TempIniDir dir;
    ErrorReporter errors;
    IniManager ini;
    QueryManager query;
    PopupManager popup;
    std::vector<std::string> shown;
};

TEST_F(SavedQueryTest, SavedQueriesComeBackInNameOrderWithoutTheLastUsed) {
    query.SetValues("CUS:NAME", "", "Smith, J", "");
    query.SaveQuery("Zeta");
    query.SetValues("CUS:NAME", "", "<=M", "");
    query.SetValues("CUS:CUSID", "3", "", "9");
    query.SaveQuery("Alpha");
    query.SaveQuery(QueryManager::MruQuery);
    EXPECT_EQ(query.SavedQueryNames(), (std::vector<std::string>{"Alpha", "Zeta"}));

    // Text values come back case-insensitive, the bounds as they were.
    query.RestoreQuery("Alpha");
    EXPECT_EQ(middle("CUS:NAME"), "<=^M");
    EXPECT_EQ(query.GetFilter(), "(UPPER(CUS:NAME) <= 'M') AND (CUS:CUSID > 3) AND (CUS:CUSID < 9)");
    query.RestoreQuery("Zeta");
    EXPECT_EQ(query.GetFilter(), "(UPPER(CUS:NAME) = 'SMITH, J')");

    // Another program (another manager on the same file) sees them too,
    // once the registry is written.
    ini.Kill();
    IniManager other;
    other.Init("query.ini");
    QueryManager reader;
    reader.Init(errors, &other, "Customer");
    EXPECT_EQ(reader.SavedQueryNames(), (std::vector<std::string>{"Alpha", "Zeta"}));
    reader.Init(errors, &other, "Goods");
    EXPECT_TRUE(reader.SavedQueryNames().empty());
    other.Kill();
    EXPECT_TRUE(shown.empty());
}

TEST_F(SavedQueryTest, AStoredFieldTheListLacksIsReportedAndDropped) {
    ini.Update("Query$Old$$Customer", "Query", "3");
    ini.Update("Query$Old$$Customer", "Query_1", "CUS:PHONE,555");
    ini.Update("Query$Old$$Customer", "Query_2", "UPPER(CUS:NAME),ann");
    ini.Update("Query$Old$$Customer", "Query_3", "cus:cusid,4");
    query.SetValues("CUS:CUSID", "1", "", "");
    query.RestoreQuery("Old");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("CUS:PHONE"), std::string::npos) << shown[0];
    EXPECT_EQ(query.GetFilter(), "(UPPER(CUS:NAME) = 'ANN') AND (CUS:CUSID = 4)");
    // Nothing stored: the query is cleared.
    query.RestoreQuery("Missing");
    EXPECT_EQ(query.GetFilter(), "");
}

TEST_F(SavedQueryTest, PopupItemsOfferTheSavedQueriesInAViewSubmenu) {
    query.SetPopupItems(popup, QueryButton);
    EXPECT_EQ(popup.MenuText(), "&Insert|&Query") << "no saved queries, no submenu";

    query.SetValues("CUS:NAME", "", "Sm*", "");
    query.SaveQuery("Smiths");
    query.SetValues("CUS:NAME", "", "", "");
    query.SetValues("CUS:CUSID", "", "", "3");
    query.SaveQuery("First two");
    query.SetPopupItems(popup, QueryButton);
    EXPECT_EQ(popup.MenuText(),
              "&Insert|&Query|-|View{[~QUERY.ICO]First two|[~QUERY.ICO]Smiths|-|[~QUERY.ICO]C&lear");
    // The browse adds its own items after; the saved ones stay in the submenu.
    popup.AddItemMimic("&Toolbox", "!&Toolbox", 9);
    query.SaveQuery("Third");
    query.SetPopupItems(popup, QueryButton);
    EXPECT_EQ(popup.MenuText(), "&Insert|&Query|-|View{[~QUERY.ICO]First two|[~QUERY.ICO]Smiths|[~QUERY."
                                "ICO]Third|-|[~QUERY.ICO]C&lear}|&Toolbox");
    const PopupItem* smiths = popup.item("Smiths");
    ASSERT_NE(smiths, nullptr);
    EXPECT_EQ(smiths->EVENT, Event::NewSelection);
    EXPECT_EQ(smiths->CONTROLID, QueryButton);

    // Choosing one restores it and remembers it as the last used.
    EXPECT_EQ(choose("Smiths"), 1);
    EXPECT_EQ(query.CHOSENITEM, "Smiths");
    EXPECT_EQ(query.GetFilter(), "SUB(UPPER(CUS:NAME),1,2) = 'SM'");
    query.ClearQuery();
    query.RestoreQuery(QueryManager::MruQuery);
    EXPECT_EQ(query.GetFilter(), "SUB(UPPER(CUS:NAME),1,2) = 'SM'");

    // Clear empties every value and saves the empty query as the last used.
    query.SetValues("CUS:CUSID", "", "5", "");
    EXPECT_EQ(choose("tsQBEClear"), 1);
    EXPECT_EQ(query.GetFilter(), "");
    query.SetValues("CUS:CUSID", "", "5", "");
    query.RestoreQuery(QueryManager::MruQuery);
    EXPECT_EQ(query.GetFilter(), "");
    EXPECT_EQ(ini.TryFetch("Query$tsMRU$$Customer", "Query"), "2");

    // Without the saved-queries flag the choice is not the manager's.
    query.SetSavedQueries(false);
    EXPECT_EQ(choose("Smiths"), 0);
    EXPECT_TRUE(shown.empty());
}

TEST_F(SavedQueryTest, AnItemNamedLikeAnotherOfThePopupGetsItsOwnName) {
    query.SaveQuery("Insert");
    query.SetPopupItems(popup, QueryButton);
    const PopupItem* insert = popup.item("Insert");
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->MIMICMODE, 1) << "the browse's own item is left alone";
    EXPECT_EQ(query.MENUMAP.front().QUERYNAME, "Insert");
    EXPECT_EQ(query.MENUMAP.front().ITEMNAME, "Insert1");
}

TEST_F(SavedQueryTest, WhenTheLastSavedQueryIsGoneTheSubmenuSaysEmpty) {
    query.SaveQuery("Only");
    query.SetPopupItems(popup, QueryButton);
    // Forget the sector: the query is no longer listed.
    for (int32_t i = ini.SECTORS->Records(); i >= 1; --i) {
        ini.SECTORS->Get(i);
        ini.SECTORS->Delete();
    }
    query.SetPopupItems(popup, QueryButton);
    EXPECT_EQ(popup.MenuText(), "&Insert|&Query|-|View{~Empty|-|[~QUERY.ICO]C&lear");
}

} // namespace
} // namespace morvex
