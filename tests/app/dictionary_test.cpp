#include "app/dictionary.h"
#include "app/dictionary_managers.h"
#include "files/driver.h"
#include "files/file_statements.h"
#include "files/record_descriptor.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "tests/support/temp_directory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavemon {
namespace {

using namespace morvex;

TEST(DictionaryTest, CustomerIsDeclaredAsTheProgramNeedsIt) {
    EXPECT_EQ(Customer.label, "CUSTOMER");
    EXPECT_EQ(Customer.record_length, 68u);
    EXPECT_EQ(Customer.buffer(), reinterpret_cast<uint8_t*>(&CUS));
    EXPECT_EQ(Customer.validate(), 0);
    const std::vector<std::pair<const char*, uint32_t>> fields{
        {"CUS:CUSID", 0}, {"CUS:NAME", 4}, {"CUS:SUBURB", 24}, {"CUS:PHONE", 44}, {"CUS:STARTDATE", 64}};
    ASSERT_EQ(Customer.record.field_count(), 5);
    for (int32_t n = 1; n <= 5; ++n) {
        EXPECT_EQ(Customer.record.field(n).label, fields[n - 1].first);
        EXPECT_EQ(Customer.record.field(n).offset, fields[n - 1].second);
    }
    struct Key {
        KeyDeclaration& key;
        const char* label;
        uint32_t attributes;
        std::vector<int32_t> components;
    };
    const Key keys[] = {
        {CUS_ByName(), "CUS:BYNAME", KeyOpt | KeyNoCase, {2}},
        {CUS_ByStartDateName(), "CUS:BYSTARTDATENAME", KeyDup | KeyOpt | KeyNoCase, {5, 2}},
        {CUS_ByPhone(), "CUS:BYPHONE", KeyDup | KeyOpt | KeyNoCase, {4}},
        {CUS_BySuburb(), "CUS:BYSUBURB", KeyDup | KeyOpt | KeyNoCase, {3}},
        {CUS_ByID(), "CUS:BYID", KeyOpt | KeyNoCase | KeyPrimary, {1}},
        {GOD_ByID(), "GOD:BYID", KeyDup | KeyOpt | KeyNoCase, {1}},
    };
    for (const Key& k : keys) {
        EXPECT_EQ(k.key.label, k.label);
        EXPECT_EQ(k.key.attributes, k.attributes) << k.label;
        EXPECT_EQ(k.key.components, k.components) << k.label;
    }
    EXPECT_EQ(CUS_ByID().file, &Customer);
    EXPECT_EQ(GOD_ByID().file, &Goods);
    EXPECT_EQ(Goods.record_length, 24u);
    EXPECT_EQ(Goods.record.field(2).label, "GOD:GOODS");
}

TEST(DictionaryTest, DeclarationsTravelInTheDescriptorByteForm) {
    std::vector<uint8_t> form;
    ASSERT_TRUE(EncodeRecordDescriptor(Customer.record, form).ok);
    RecordDescription back;
    ASSERT_TRUE(DecodeRecordDescriptor(form, back).ok);
    ASSERT_EQ(back.field_count(), 5);
    EXPECT_EQ(back.field(5).offset, 64u);
    EXPECT_EQ(back.field(4).size, 20u);
}

// The files through the QVD driver, in a directory of their own.
class DictionaryFilesTest : public ::testing::Test {
protected:
    void SetUp() override { Customer.options.name = m_dir.file("Customer"); }
    void TearDown() override {
        CLOSE(Customer);
        Customer.options.name = "Customer";
    }
    void add(int32_t id, const char* name, int32_t date) {
        CUS = {};
        CUS.CUSID = id;
        CUS.NAME = name;
        CUS.STARTDATE = date;
        ADD(Customer);
    }
    morvex::testing::TempDirectory m_dir{"dictionary_test"};
};

TEST_F(DictionaryFilesTest, FirstRunCreatesAnEmptyFileAndKeysOrderAndRefuseDuplicates) {
    OPEN(Customer, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), ErrFileNotFound) << ErrorText();
    CREATE(Customer);
    ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    OPEN(Customer, AccessReadWrite | ShareDenyNone);
    ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    EXPECT_TRUE(std::filesystem::exists(m_dir.file("Customer.QVD")));
    EXPECT_EQ(RECORDS(Customer), 0);

    add(1, "Moss", 73284);
    add(2, "ash", 73284);
    add(3, "Birch", 73274);
    ASSERT_EQ(ErrorCode(), 0) << ErrorText();
    add(4, "MOSS", 73294);
    EXPECT_EQ(ErrorCode(), ErrCreatesDuplicateKey) << "CUS:ByName is unique without case";

    SET(CUS_ByStartDateName());
    std::vector<int32_t> order;
    for (NEXT(Customer); ErrorCode() == 0; NEXT(Customer))
        order.push_back(CUS.CUSID);
    EXPECT_EQ(ErrorCode(), ErrRecordNotAvailable);
    EXPECT_EQ(order, (std::vector<int32_t>{3, 2, 1})) << "by date, then name without case";
}

} // namespace
} // namespace tavemon

namespace tavemon {
namespace {

TEST(DictionaryManagersTest, CustomerAndGoodsHaveTheirSettingsKeysAndDescriptions) {
    morvex::ErrorReporter errors;
    errors.Init();
    DictionaryInit(errors);
    ASSERT_NE(AccessCustomer, nullptr);
    ASSERT_NE(AccessGoods, nullptr);
    EXPECT_EQ(AccessCustomer->GetName(), "Customer");
    EXPECT_EQ(AccessGoods->GetName(), "Goods");
    EXPECT_EQ(AccessCustomer->BUFFER.size, 68u);
    EXPECT_EQ(AccessGoods->BUFFER.size, 24u);
    EXPECT_EQ(AccessCustomer->record(), reinterpret_cast<uint8_t*>(&CUS));
    EXPECT_EQ(morvex::FileManagerFor(Customer), AccessCustomer);
    const std::vector<std::string> descriptions = {"CUS:ByName", "CUS:ByStartDateName", "CUS:ByPhone",
                                                   "CUS:BySuburb", "CUS:ByID"};
    ASSERT_EQ(AccessCustomer->KEYS->size(), descriptions.size());
    for (std::size_t k = 0; k < descriptions.size(); ++k) {
        EXPECT_EQ((*AccessCustomer->KEYS)[k].DESCRIPTION, descriptions[k]);
        EXPECT_EQ((*AccessCustomer->KEYS)[k].AUTOINC, k == 4 ? 1 : 0);
    }
    EXPECT_EQ(AccessCustomer->PRIMARYKEY, 5);
    EXPECT_EQ((*AccessGoods->KEYS)[0].DESCRIPTION, "GOD:ByID");
    EXPECT_EQ(AccessGoods->HASAUTOINC, 0);
    DictionaryKill();
    EXPECT_EQ(AccessCustomer, nullptr);
    EXPECT_EQ(morvex::FileManagerFor(Customer), nullptr);
    errors.Kill();
}

} // namespace
} // namespace tavemon
