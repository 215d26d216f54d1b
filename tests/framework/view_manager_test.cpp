// The view manager over a QVD customer file: the filter texts it builds for
// every limit type, its range checks, sort order switching, priming, reading
// through the validation hook and its error reports. The relation is the
// file's relation manager, without relations.
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/record_layout.h"
#include "framework/file_manager.h"
#include "framework/view_manager.h"
#include "platform/message_box.h"
#include "runtime/error_state.h"
#include "tests/support/customer_file.h"
#include "tests/support/temp_directory.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace morvex {
namespace {

class ViewManagerTest : public ::testing::Test {
public:
    void SetUp() override {
        platform::set_message_box_presenter([this](const platform::MessageBoxRequest& request) {
            shown.push_back(request.text);
            return request.default_button;
        });
        errors.Init();
        file = testing::DeclareQvdFile(testing::CustomerLayout, dir.file("Customer"));
        manager.Init(*file, errors);
        manager.FILENAMEVALUE = "Customer";
        for (int32_t k = 1; k <= 5; ++k)
            manager.AddKey(*file->key(k), file->key(k)->label, k == 5 ? 1 : 0);
        relation.Init(manager, false);
        view = std::make_unique<ViewFile>(*file);
        manager.Open(); // a procedure opens its files before its views use them
        vm.Init(*view, relation);
    }
    void TearDown() override {
        vm.Close();
        vm.Kill();
        manager.Close();
        manager.Kill();
        errors.Kill();
        platform::set_message_box_presenter({});
    }

    BoundVariable field(const char* label) {
        const int32_t n = file->find_field(label);
        const FieldDescription& f = file->record.field(n);
        return BoundVariable{f.type, file->buffer() + f.offset, f.size, 0, 1};
    }
    void set_long(const char* label, int32_t v) { std::memcpy(field(label).address, &v, 4); }
    void set_text(const char* label, std::string_view t) {
        BoundVariable f = field(label);
        std::memset(f.address, ' ', f.size);
        std::memcpy(f.address, t.data(), std::min<size_t>(t.size(), f.size));
    }
    int32_t get_long(const char* label) {
        int32_t v;
        std::memcpy(&v, field(label).address, 4);
        return v;
    }
    std::string get_name() {
        std::string t(static_cast<char*>(field("CUS:NAME").address), 20);
        return t.substr(0, t.find_last_not_of(' ') + 1);
    }

    void add(std::string_view name, int32_t start) {
        manager.Open();
        manager.PrimeRecord();
        set_text("CUS:NAME", name);
        set_long("CUS:STARTDATE", start);
        ASSERT_EQ(manager.Insert(), Level::Benign) << name;
    }

    std::vector<std::string> names(bool forward = true) {
        std::vector<std::string> out;
        while ((forward ? vm.Next() : vm.Previous()) == Level::Benign)
            out.push_back(get_name());
        return out;
    }

    testing::TempDirectory dir;
    ErrorReporter errors;
    std::unique_ptr<FileDeclaration> file;
    FileManager manager;
    FileRelation relation;
    std::unique_ptr<ViewFile> view;
    ViewManager vm;
    std::vector<std::string> shown;
};

struct FilterCase {
    const char* label;
    std::function<void(ViewManagerTest&, ViewManager&)> setup;
    const char* expected;
};

class ViewManagerFilterTest : public ViewManagerTest, public ::testing::WithParamInterface<int> {};

int32_t g_limit = 7;
char g_text[20];

const FilterCase FilterCases[] = {
    {"no range and no filter",
     [](ViewManagerTest&, ViewManager& vm) { vm.AddSortOrder(*vm.PRIMARY->ME->FILE->key(5)); }, ""},
    {"a current value and the standard filter",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(5));
         g_limit = 7;
         vm.AddRange(t.field("CUS:CUSID"), BoundVariable{FieldType::Long, &g_limit, 4, 0, 1});
         vm.SetFilter("X");
     },
     "CUS:CUSID = 7 AND (X)"},
    {"a quote inside a text value on a NOCASE key",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(1));
         std::memset(g_text, ' ', sizeof g_text);
         std::memcpy(g_text, "ab'c", 4);
         vm.AddRange(t.field("CUS:NAME"), BoundVariable{FieldType::String, g_text, 20, 0, 1});
     },
     "UPPER(CUS:NAME) = UPPER('ab''c')"},
    {"the components before the ranged one are held too",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(2));
         t.set_long("CUS:STARTDATE", 73274);
         std::memset(g_text, ' ', sizeof g_text);
         std::memcpy(g_text, "Bo", 2);
         vm.AddRange(t.field("CUS:NAME"), BoundVariable{FieldType::String, g_text, 20, 0, 1});
     },
     "CUS:STARTDATE = 73274 AND UPPER(CUS:NAME) = UPPER('Bo')"},
    {"named filters in id order, each in parentheses",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(5));
         vm.SetFilter("B", "9 - QBE");
         vm.SetFilter("A");
     },
     "(A) AND (B)"},
    {"a blank filter removes only its own id",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(5));
         vm.SetFilter("B", "9 - QBE");
         vm.SetFilter("A");
         vm.SetFilter("  ");
     },
     "(B)"},
    {"low and high values of a range",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(2));
         SortOrder& o = *vm.ORDER->current_order();
         o.LIMITTYPE = LimitRange;
         t.set_long("CUS:STARTDATE", 10);
         o.RANGELIST->AddItem(t.field("CUS:STARTDATE"));
         t.set_long("CUS:STARTDATE", 20);
         o.RANGELIST->AddItem(t.field("CUS:STARTDATE"));
     },
     "CUS:STARTDATE >= 10 AND CUS:STARTDATE <= 20"},
    {"a range below a held component",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(2));
         SortOrder& o = *vm.ORDER->current_order();
         o.LIMITTYPE = LimitRange;
         t.set_long("CUS:STARTDATE", 5);
         o.RANGELIST->AddItem(t.field("CUS:STARTDATE"));
         t.set_text("CUS:NAME", "A");
         o.RANGELIST->AddItem(t.field("CUS:NAME"));
         t.set_text("CUS:NAME", "M");
         o.RANGELIST->AddItem(t.field("CUS:NAME"));
         vm.SetFilter("CUS:CUSID > 0");
     },
     "CUS:STARTDATE = 5 AND UPPER(CUS:NAME) >= UPPER('A') AND UPPER(CUS:NAME) <= UPPER('M') AND (CUS:CUSID > "
     "0)"},
    {"fixed values and a related file's values read like a current value",
     [](ViewManagerTest& t, ViewManager& vm) {
         vm.AddSortOrder(*t.file->key(2));
         SortOrder& o = *vm.ORDER->current_order();
         o.LIMITTYPE = LimitFile;
         t.set_long("CUS:STARTDATE", -3);
         o.RANGELIST->AddItem(t.field("CUS:STARTDATE"));
     },
     "CUS:STARTDATE = -3"},
};

TEST_P(ViewManagerFilterTest, BuildsTheFilterText) {
    const FilterCase& c = FilterCases[GetParam()];
    c.setup(*this, vm);
    EXPECT_EQ(vm.FilterText(), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(Cases, ViewManagerFilterTest,
                         ::testing::Range(0, static_cast<int>(std::size(FilterCases))));

TEST_F(ViewManagerTest, ARangeReadsOnlyItsRecordsInKeyOrderAndFollowsTheLiveValue) {
    add("bob", 10);
    add("Alice", 10);
    add("carl", 11);
    add("Dora", 10);
    int32_t day = 10;
    EXPECT_EQ(vm.AddSortOrder(*file->key(2)), 1u);
    vm.AddRange(field("CUS:STARTDATE"), BoundVariable{FieldType::Long, &day, 4, 0, 1});
    EXPECT_EQ(vm.GetFreeElementPosition(), 2);
    EXPECT_EQ(vm.GetFreeElementName(), "UPPER(CUS:NAME)");
    vm.ResetToStart();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alice", "bob", "Dora"}));
    EXPECT_EQ(vm.ApplyRange(), 0);
    day = 11;
    EXPECT_EQ(vm.ApplyRange(), 1);
    vm.ResetToStart();
    EXPECT_EQ(names(), (std::vector<std::string>{"carl"}));
    // Having run off the end, Previous reads back from the last record.
    EXPECT_EQ(names(false), (std::vector<std::string>{"carl"}));
    // Positioning at the value of the first free component.
    day = 10;
    vm.ApplyRange();
    set_text("CUS:NAME", "BOB");
    vm.Reset(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"bob", "Dora"}));
    EXPECT_TRUE(shown.empty());
}

TEST_F(ViewManagerTest, ALowAndHighRangeIsCheckedOnItsLowValue) {
    SortOrder* o = nullptr;
    vm.AddSortOrder(*file->key(2));
    o = vm.ORDER->current_order();
    o->LIMITTYPE = LimitRange;
    int32_t low = 1;
    int32_t high = 5;
    o->RANGELIST->AddItem(BoundVariable{FieldType::Long, &low, 4, 0, 1});
    o->RANGELIST->AddItem(BoundVariable{FieldType::Long, &high, 4, 0, 1});
    EXPECT_EQ(vm.GetFreeElementPosition(), 2);
    EXPECT_EQ(vm.ApplyRange(), 0);
    high = 6;
    EXPECT_EQ(vm.ApplyRange(), 1); // as a current value for the high one
    EXPECT_EQ(vm.FilterText(), "CUS:STARTDATE >= 1 AND CUS:STARTDATE <= 6");
    low = 0;
    high = 9;
    EXPECT_EQ(vm.ApplyRange(), 1);
    EXPECT_EQ(vm.FilterText(), "CUS:STARTDATE >= 0 AND CUS:STARTDATE <= 9");
    // Type 4: the right values against the saved ones.
    o->LIMITTYPE = LimitFile;
    EXPECT_EQ(vm.ApplyRange(), 1);
    EXPECT_EQ(vm.ApplyRange(), 0);
}

TEST_F(ViewManagerTest, SetSortReportsWhetherTheOrderChanged) {
    vm.AddSortOrder(*file->key(1));
    vm.AddSortOrder(*file->key(2));
    const struct {
        uint8_t n;
        uint8_t result;
        size_t current;
    } steps[] = {{2, 0, 2}, {0, 1, 1}, {1, 0, 1}, {2, 1, 2}, {9, 0, 2}};
    for (const auto& s : steps) {
        EXPECT_EQ(vm.SetSort(s.n), s.result) << int(s.n);
        EXPECT_EQ(vm.ORDER->current, s.current) << int(s.n);
    }
    EXPECT_EQ(*vm.ORDER->current_order()->ORDER, "CUS:STARTDATE,UPPER(CUS:NAME)");
    vm.SetOrder(" ");
    EXPECT_EQ(vm.ORDER->current_order()->ORDER, nullptr);
}

TEST_F(ViewManagerTest, AHookThatSkipsEveryRecordRunsToTheEnd) {
    struct SkipAll : ViewManager {
        int calls = 0;
        uint8_t ValidateRecord() override { return ++calls, 1; }
    } skipping;
    add("a", 1);
    add("b", 1);
    skipping.Init(*view, relation);
    skipping.AddSortOrder(*file->key(1));
    skipping.ResetToStart();
    EXPECT_EQ(skipping.Next(), Level::Notify);
    EXPECT_EQ(skipping.calls, 2);
    skipping.Close();
    skipping.Kill();
}

TEST_F(ViewManagerTest, PrimeRecordPutsTheRangeValuesIntoTheKey) {
    int32_t day = 4242;
    vm.AddSortOrder(*file->key(2));
    vm.AddRange(field("CUS:STARTDATE"), BoundVariable{FieldType::Long, &day, 4, 0, 1});
    set_text("CUS:NAME", "left over");
    manager.Open();
    EXPECT_EQ(vm.PrimeRecord(), Level::Benign);
    EXPECT_EQ(get_long("CUS:STARTDATE"), 4242);
    EXPECT_EQ(get_name(), "");
    EXPECT_GT(get_long("CUS:CUSID"), 0); // numbered by the file manager
}

TEST_F(ViewManagerTest, AFilterThatDoesNotCompileIsReportedAsAViewError) {
    add("a", 1);
    vm.AddSortOrder(*file->key(1));
    vm.SetFilter("CUS:NAME = (");
    vm.Open();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("attempting to open the current VIEW"), std::string::npos) << shown[0];
    // The view stays usable without the filter.
    vm.Reset(0);
    EXPECT_EQ(names(), (std::vector<std::string>{"a"}));
}

} // namespace
} // namespace morvex
