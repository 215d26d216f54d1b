// The dictionary's relation managers: what Init sets up and Kill takes down,
// in order; the program-wide objects that hold them; and Customer and Goods on
// real QVD files: a customer's delete and id change reach its goods in one
// transaction, and a process killed at random moments of a stream of such
// changes never leaves goods without their customer or a customer with only
// some of its goods.
#include "app/dictionary.h"
#include "app/dictionary_managers.h"
#include "app/program.h"
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/transaction.h"
#include "framework/window_controller.h"
#include "platform/message_box.h"
#include "runtime/error_state.h"
#include "tests/support/child_process.h"
#include "tests/support/command_runner.h"
#include "tests/support/temp_directory.h"
#include "tests/support/temp_ini_dir.h"
#include "tools/qvd_command.h"

#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tavemon {
namespace {

using namespace morvex;

TEST(DictionaryRelationsTest, InitRelatesCustomerToItsGoodsAndKillUndoesItInOrder) {
    ErrorReporter errors;
    errors.Init();
    DictionaryInit(errors);
    ASSERT_NE(RelateCustomer, nullptr);
    ASSERT_NE(RelateGoods, nullptr);
    EXPECT_EQ(RelateCustomer->ME, AccessCustomer);
    EXPECT_EQ(RelateGoods->ME, AccessGoods);
    EXPECT_EQ(RelateCustomer->USELOGOUT, 1);
    EXPECT_EQ(RelateGoods->USELOGOUT, 1);

    ASSERT_EQ(RelateCustomer->RELATIONS->size(), 1u);
    const RelationRecord& goods = RelateCustomer->RELATIONS->front();
    EXPECT_EQ(goods.FILE, RelateGoods);
    EXPECT_EQ(goods.HISKEY, &GOD_ByID());
    EXPECT_EQ(goods.UPDATEMODE, RelationCascade);
    EXPECT_EQ(goods.DELETEMODE, RelationCascade);
    ASSERT_EQ(goods.FIELDS->size(), 1u);
    EXPECT_EQ(goods.FIELDS->pairs()[0].LEFT.field.address, &CUS.CUSID);
    EXPECT_EQ(goods.FIELDS->pairs()[0].RIGHT.field.address, &GOD.CUSID);

    ASSERT_EQ(RelateGoods->RELATIONS->size(), 1u);
    EXPECT_EQ(RelateGoods->RELATIONS->front().FILE, RelateCustomer);
    EXPECT_EQ(RelateGoods->RELATIONS->front().FIELDS, nullptr) << "a parent has no links";

    // Each relation manager kills its file manager first, then itself.
    RelateCustomer->Kill();
    EXPECT_EQ(AccessCustomer, nullptr);
    EXPECT_EQ(RelateCustomer, nullptr);
    EXPECT_EQ(FileManagerFor(Customer), nullptr);
    EXPECT_NE(AccessGoods, nullptr) << "Goods is killed after Customer";
    DictionaryKill();
    EXPECT_EQ(AccessGoods, nullptr);
    EXPECT_EQ(RelateGoods, nullptr);
    EXPECT_EQ(FileManagerFor(Goods), nullptr);
    errors.Kill();
}

TEST(DictionaryRelationsTest, TheProgramWideObjectsHoldTheDictionaryForTheirLifetime) {
    morvex::testing::TempIniDir ini;
    {
        ProgramObjects objects;
        EXPECT_NE(RelateCustomer, nullptr);
        EXPECT_NE(AccessGoods, nullptr);
        EXPECT_EQ(FileManagerFor(Customer), AccessCustomer);
        EXPECT_EQ(AccessCustomer->ERRORS, GlobalErrors) << "the program's error reporter";
    }
    EXPECT_EQ(RelateCustomer, nullptr);
    EXPECT_EQ(RelateGoods, nullptr);
    EXPECT_EQ(AccessCustomer, nullptr);
    EXPECT_EQ(AccessGoods, nullptr);
}

// Customer and Goods in a directory of their own, read afresh through
// declarations of the test's own.
class DictionaryFamilyTest : public ::testing::Test {
protected:
    void SetUp() override {
        Customer.options.name = m_dir.file("Customer");
        Goods.options.name = m_dir.file("Goods");
        platform::set_message_box_presenter([this](const platform::MessageBoxRequest& request) {
            shown.push_back(request.text);
            return request.buttons == platform::MessageBoxButtons::YesNo ? platform::ButtonNo
                                                                         : request.default_button;
        });
    }
    void TearDown() override {
        Customer.options.name = "Customer";
        Goods.options.name = "Goods";
        platform::set_message_box_presenter({});
    }

    // Customers 1..n, named "C<id>", each with three goods named after it.
    void seed(int32_t n) {
        FileDeclaration customers(CustomerSpec(QvdDriver, &m_customer));
        FileDeclaration goods(GoodsSpec(QvdDriver, &m_goods));
        customers.options.name = Customer.options.name;
        goods.options.name = Goods.options.name;
        for (FileDeclaration* f : {&customers, &goods}) {
            CREATE(*f);
            OPEN(*f, AccessReadWrite | ShareDenyNone);
            ASSERT_EQ(ErrorCode(), 0) << ErrorText();
        }
        for (int32_t id = 1; id <= n; ++id) {
            m_customer = {};
            m_customer.CUSID = id;
            m_customer.NAME = ("C" + std::to_string(id)).c_str();
            ADD(customers);
            for (int g = 0; g < 3; ++g) {
                m_goods.CUSID = id;
                m_goods.GOODS = m_customer.NAME;
                ADD(goods);
            }
        }
        ASSERT_EQ(ErrorCode(), 0) << ErrorText();
        CLOSE(customers);
        CLOSE(goods);
    }

    // Customer id -> name, and goods as (customer id, name) counts.
    struct Family {
        std::map<int32_t, std::string> customers;
        std::map<std::pair<int32_t, std::string>, int> goods;
    };
    Family read() {
        Family out;
        FileDeclaration customers(CustomerSpec(QvdDriver, &m_customer));
        FileDeclaration goods(GoodsSpec(QvdDriver, &m_goods));
        customers.options.name = Customer.options.name;
        goods.options.name = Goods.options.name;
        OPEN(customers, AccessReadOnly | ShareDenyNone);
        EXPECT_EQ(ErrorCode(), 0) << ErrorText();
        SET(customers);
        for (NEXT(customers); ErrorCode() == 0; NEXT(customers))
            out.customers[m_customer.CUSID] = m_customer.NAME.clipped();
        CLOSE(customers);
        OPEN(goods, AccessReadOnly | ShareDenyNone);
        EXPECT_EQ(ErrorCode(), 0) << ErrorText();
        SET(goods);
        for (NEXT(goods); ErrorCode() == 0; NEXT(goods))
            ++out.goods[{m_goods.CUSID, std::string(m_goods.GOODS.clipped())}];
        CLOSE(goods);
        return out;
    }

    // Every goods record names an existing customer by id and by name, and
    // every customer has all three of its goods.
    static std::string inconsistency(const Family& family) {
        std::map<int32_t, int> counts;
        for (const auto& [key, count] : family.goods) {
            const auto customer = family.customers.find(key.first);
            if (customer == family.customers.end())
                return "goods of a missing customer " + std::to_string(key.first);
            if (customer->second != key.second)
                return "goods " + key.second + " under customer " + customer->second;
            counts[key.first] += count;
        }
        for (const auto& [id, name] : family.customers)
            if (counts[id] != 3)
                return name + " has " + std::to_string(counts[id]) + " goods";
        return {};
    }

    std::string qvd_check(const std::string& name, const char* layout) {
        const morvex::testing::CommandResult run = morvex::testing::RunToolCommand(
            [](std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
                return morvex::tools::run_qvd(args, out, err);
            },
            std::vector<std::string>{"check", m_dir.file(name + ".QVD"), "--layout", layout});
        return run.exit_code == 0 ? std::string() : name + ": " + run.out + run.err;
    }

    morvex::testing::TempDirectory m_dir{"dictionary_relations_test"};
    CustomerRecord m_customer{};
    GoodsRecord m_goods{};
    std::vector<std::string> shown;
};

TEST_F(DictionaryFamilyTest, DeletingACustomerDeletesItsThreeGoodsAndChangingItsIdMovesThem) {
    seed(3);
    ErrorReporter errors;
    errors.Init();
    DictionaryInit(errors);
    ASSERT_EQ(RelateCustomer->Open(), 0);

    CUS.CUSID = 2;
    ASSERT_EQ(AccessCustomer->TryFetch(CUS_ByID()), 0);
    EXPECT_EQ(RelateCustomer->Delete(false), 0);

    CUS.CUSID = 3;
    ASSERT_EQ(AccessCustomer->TryFetch(CUS_ByID()), 0);
    RelateCustomer->SaveLinkValues();
    CUS.CUSID = 9;
    EXPECT_EQ(RelateCustomer->Update(false), 0);
    EXPECT_TRUE(shown.empty()) << shown.front();
    EXPECT_FALSE(InTransaction());

    RelateCustomer->Close();
    DictionaryKill();
    errors.Kill();

    const Family family = read();
    EXPECT_EQ(family.customers, (std::map<int32_t, std::string>{{1, "C1"}, {9, "C3"}}));
    EXPECT_EQ(family.goods, (std::map<std::pair<int32_t, std::string>, int>{{{1, "C1"}, 3}, {{9, "C3"}, 3}}));
    EXPECT_EQ(qvd_check("Customer", "Customer"), "");
    EXPECT_EQ(qvd_check("Goods", "Goods"), "");
}

// The child's stream: new customers with their goods (one transaction of its
// own), cascading deletes and id changes through the dictionary, at random.
int ChangeForever(unsigned seed) {
    platform::set_message_box_presenter(
        [](const platform::MessageBoxRequest&) { return platform::ButtonNo; });
    ErrorReporter errors;
    errors.Init();
    DictionaryInit(errors);
    if (RelateCustomer->Open() != 0 || AccessCustomer->UseFile(2) != 0)
        return 2;
    std::mt19937 random(seed);
    for (;;) {
        std::vector<int32_t> ids;
        SET(CUS_ByID());
        for (NEXT(Customer); ErrorCode() == 0; NEXT(Customer))
            ids.push_back(CUS.CUSID);
        const int32_t next_id = ids.empty() ? 1 : ids.back() + 1;
        const unsigned choice = random() % 3;
        if (choice == 0 || ids.size() < 3) {
            FileDeclaration* files[] = {&Customer, &Goods};
            LOGOUT(2, files);
            if (ErrorCode() != 0)
                return 3;
            CUS = {};
            CUS.CUSID = next_id;
            CUS.NAME = ("C" + std::to_string(next_id)).c_str();
            ADD(Customer);
            for (int g = 0; g < 3; ++g) {
                GOD.CUSID = next_id;
                GOD.GOODS = CUS.NAME;
                ADD(Goods);
            }
            COMMIT();
            continue;
        }
        CUS.CUSID = ids[random() % ids.size()];
        if (AccessCustomer->TryFetch(CUS_ByID()) != 0)
            return 4;
        if (choice == 1) {
            RelateCustomer->Delete(false);
        } else {
            RelateCustomer->SaveLinkValues();
            CUS.CUSID = next_id;
            RelateCustomer->Update(false);
        }
    }
}

TEST_F(DictionaryFamilyTest, AProcessKilledAtRandomNeverLeavesACustomerWithPartOfItsGoods) {
    seed(5);
    std::mt19937 random(20010810);
    constexpr int Kills = 200;
    for (int kill = 0; kill < Kills; ++kill) {
        morvex::testing::ChildProcess child([seed = unsigned(random())] { return ChangeForever(seed); });
        ASSERT_TRUE(child.started());
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 30000));
        ASSERT_FALSE(child.ended()) << "the child stopped by itself with " << child.exit_code();
        child.kill();
        const Family family = read();
        ASSERT_EQ(inconsistency(family), "") << "after kill " << kill;
        ASSERT_EQ(qvd_check("Customer", "Customer"), "") << "after kill " << kill;
        ASSERT_EQ(qvd_check("Goods", "Goods"), "") << "after kill " << kill;
    }
}

} // namespace
} // namespace tavemon
