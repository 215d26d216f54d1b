#include "platform/resources.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace morvex::platform {
namespace {

constexpr uint8_t One[] = {1};
constexpr uint8_t Two[] = {2, 2};

TEST(ResourcesTest, FindsByModuleTypeAndNameWhateverTheCase) {
    register_resource("res_a", "DABDUMP", "TAVEN002_RSC", One);
    const auto found = find_resource("RES_A", "dabdump", "taven002_rsc");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->data(), One);
    EXPECT_FALSE(find_resource("res_a", "ICON", "TAVEN002_RSC").has_value());
    EXPECT_FALSE(find_resource("res_b", "DABDUMP", "TAVEN002_RSC").has_value());
}

TEST(ResourcesTest, ReRegisteringReplacesAndUnregisteringRemoves) {
    register_resource("res_c", "T", "N", One);
    register_resource("res_c", "T", "n", Two);
    EXPECT_EQ(find_resource("res_c", "T", "N")->size(), 2u);
    unregister_resource("res_c", "t", "N");
    EXPECT_FALSE(find_resource("res_c", "T", "N").has_value());
}

TEST(ResourcesTest, ModulesKeepTheOrderOfTheirFirstRegistration) {
    register_resource("order_2", "T", "A", One);
    register_resource("order_1", "T", "A", One);
    register_resource("order_2", "T", "B", One);
    const std::vector<std::string> modules = resource_modules();
    const auto two = std::find(modules.begin(), modules.end(), "order_2");
    const auto one = std::find(modules.begin(), modules.end(), "order_1");
    ASSERT_NE(one, modules.end());
    EXPECT_LT(two, one);
    EXPECT_EQ(std::count(modules.begin(), modules.end(), "order_2"), 1);
}

TEST(ResourcesTest, RegistersAndFindsFromSeveralThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            const std::string module = "threaded_" + std::to_string(t);
            for (int i = 0; i < 200; ++i) {
                register_resource(module, "T", std::to_string(i), One);
                EXPECT_TRUE(find_resource(module, "T", std::to_string(i)).has_value());
                resource_modules();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace
} // namespace morvex::platform
