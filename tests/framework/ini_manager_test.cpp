#include "framework/ini_manager.h"
#include "runtime/ini_access.h"
#include "tests/support/temp_ini_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

struct ListRecord {
    FixedText<20> NAME;
    char CODE[10] = {};
    FixedText<30> NOTE;
};

RecordDescription list_description() {
    return RecordDescription(
        sizeof(ListRecord),
        {FieldDescription::Sized(FieldType::String, "L:NAME", offsetof(ListRecord, NAME), 20),
         FieldDescription::Sized(FieldType::CString, "L:CODE", offsetof(ListRecord, CODE), 10),
         FieldDescription::Sized(FieldType::String, "L:NOTE", offsetof(ListRecord, NOTE), 30)});
}

class IniManagerTest : public ::testing::Test {
protected:
    testing::TempIniDir dir;
    IniManager ini;
    ListRecord record;
    Queue list{list_description(), &record};

    void add(std::string_view name, std::string_view code, std::string_view note) {
        record.NAME.assign(name);
        IniField::Of(record.CODE).assign(code);
        record.NOTE.assign(note);
        list.Add();
    }
    void write_list(std::string_view name) {
        ini.UpdateQueue("Lists", name, list, IniField::Of(record.NAME), IniField::Of(record.CODE),
                        IniField::Of(record.NOTE));
    }
    std::vector<std::string> read_list(std::string_view name) {
        list.Free();
        ini.FetchQueue("Lists", name, list, IniField::Of(record.NAME), IniField::Of(record.CODE),
                       IniField::Of(record.NOTE));
        std::vector<std::string> rows;
        for (int32_t i = 1; i <= list.Records(); ++i) {
            list.Get(i);
            rows.push_back(std::string(record.NAME.clipped()) + "|" +
                           std::string(IniField::Of(record.CODE).text()) + "|" +
                           std::string(record.NOTE.clipped()));
        }
        return rows;
    }
};

TEST_F(IniManagerTest, AFirstRunWritesAnEmptyRegistry) {
    ini.Init("tavemon.INI");
    EXPECT_EQ(ini.SECTORS->Records(), 0);
    ini.Kill();
    EXPECT_EQ(GETINI("__Dont_Touch_Me__", "Sectors", "missing", "tavemon.INI"), "0");
}

TEST_F(IniManagerTest, AListOfThreeRecordsComesBackInOrder) {
    ini.Init("tavemon.INI");
    add("first", "A1", "one");
    add("second", "B2", "two words");
    add("third", "", "three");
    write_list("Names");
    EXPECT_EQ(read_list("Names"),
              (std::vector<std::string>{"first|A1|one", "second|B2|two words", "third||three"}));
    EXPECT_EQ(ini.TryFetch("Lists", "Names"), "3");
    EXPECT_EQ(ini.TryFetch("Lists", "Names_2"), "second,B2,two words");
}

TEST_F(IniManagerTest, CommasInTheLastFieldComeBackWithIt) {
    ini.Init("tavemon.INI");
    add("first", "A1", "Smith, J, Jr");
    add("second", "B2", ",");
    write_list("Names");
    EXPECT_EQ(read_list("Names"), (std::vector<std::string>{"first|A1|Smith, J, Jr", "second|B2|,"}));
}

TEST_F(IniManagerTest, AShorterListLeavesTheOldKeysButReadsItsOwnCount) {
    ini.Init("tavemon.INI");
    for (int i = 1; i <= 5; ++i)
        add("n" + std::to_string(i), "c", "x");
    write_list("Names");
    list.Free();
    add("a", "b", "c");
    add("d", "e", "f");
    write_list("Names");
    EXPECT_EQ(ini.TryFetch("Lists", "Names_5"), "n5,c,x");
    EXPECT_EQ(read_list("Names"), (std::vector<std::string>{"a|b|c", "d|e|f"}));
}

TEST_F(IniManagerTest, MissingKeysReadAsUnknownAndEmptyLists) {
    ini.Init("tavemon.INI");
    EXPECT_EQ(ini.TryFetch("Nowhere", "Nothing"), "---Unknown---");
    EXPECT_TRUE(read_list("Nothing").empty());
}

TEST_F(IniManagerTest, FetchFieldSplitsAtCommas) {
    ini.Init("tavemon.INI");
    ini.Update("S", "K", "alpha,beta,,delta");
    EXPECT_EQ(ini.FetchField("S", "K", 1), "alpha");
    EXPECT_EQ(ini.FetchField("S", "K", 2), "beta");
    EXPECT_EQ(ini.FetchField("S", "K", 3), "");
    EXPECT_EQ(ini.FetchField("S", "K", 4), "delta");
    EXPECT_EQ(ini.FetchField("S", "K", 5), ""); // beyond the fields present
    ini.Update("S", "Long", std::string(1200, 'z'));
    EXPECT_EQ(ini.TryFetch("S", "Long").size(), 1000u);
}

TEST_F(IniManagerTest, SectorsAreRegisteredOnceInOrderAndFoundByFamily) {
    ini.Init("tavemon.INI");
    EXPECT_EQ(IniManager::SectorName("Query", "Customer", "Browse"), "Query$Customer$$Browse");
    ini.AddSector(IniManager::SectorName("Query", "Customer", "Browse"));
    ini.AddSector(IniManager::SectorName("Layout", "Main", "Window"));
    ini.AddSector(IniManager::SectorName("Query", "Goods", "Browse"));
    ini.AddSector(IniManager::SectorName("Query", "Customer", "Browse"));
    EXPECT_EQ(ini.SECTORS->Records(), 3);

    SectorRecord found_buffer;
    Queue found(IniManager::SectorDescription(), &found_buffer);
    ini.GetSectors("Query", "", "", found, found_buffer);
    ASSERT_EQ(found.Records(), 2);
    found.Get(1);
    EXPECT_STREQ(found_buffer.ITEM, "Customer");
    found.Get(2);
    EXPECT_STREQ(found_buffer.ITEM, "Goods");
    ini.GetSectors("", "Main", "", found, found_buffer);
    EXPECT_EQ(found.Records(), 1);

    ini.Kill();
    EXPECT_EQ(GETINI("__Dont_Touch_Me__", "Sectors_1", "", "tavemon.INI"), "Layout,Main,Window");

    IniManager again;
    again.Init("tavemon.INI");
    EXPECT_EQ(again.SECTORS->Records(), 3);
    again.GetSectors("Query", "Goods", "Browse", found, found_buffer);
    EXPECT_EQ(found.Records(), 1);
    again.Kill();
}

struct CountingManager : IniManager {
    int prepared = 0;
    void PrepareFile() override {
        ++prepared;
        EXPECT_TRUE(SECTORS != nullptr);
    }
};

TEST_F(IniManagerTest, PrepareFileRunsAfterTheRegistryExists) {
    CountingManager manager;
    manager.Init("tavemon.INI");
    EXPECT_EQ(manager.prepared, 1);
    manager.Kill();
}

} // namespace
} // namespace morvex
