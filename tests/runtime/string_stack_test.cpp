#include "runtime/string_stack.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

TEST(StringStack, ReferencesCopiesAndCText) {
    StringStack stack;
    std::string owner = "referenced";
    stack.push_reference(owner.data(), owner.size());
    stack.push_copy("copied");
    stack.push_c_text("c text");
    stack.push_c_text(nullptr);
    EXPECT_EQ(stack.size(), 4u);
    EXPECT_EQ(stack.take(), "");
    EXPECT_EQ(stack.take(), "c text");
    EXPECT_EQ(stack.top_entry().type, StringOwned);
    EXPECT_EQ(stack.take(), "copied");
    EXPECT_EQ(stack.top_entry().text, owner.data());
    EXPECT_EQ(stack.take(), "referenced");
}

TEST(StringStack, APushOntoAFullStackIsDropped) {
    StringStack stack;
    for (int i = 0; i < 40; ++i)
        stack.push_copy(std::to_string(i));
    EXPECT_EQ(stack.size(), StringStack::Capacity);
    EXPECT_EQ(stack.take(), "31");
}

TEST(StringStack, TakeIntoCutsToTheBuffer) {
    StringStack stack;
    stack.push_copy("abcdef");
    char buffer[4];
    EXPECT_EQ(stack.take_into(buffer, sizeof buffer), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_TRUE(stack.empty());
}

TEST(StringStack, NarrowingAnOwnedEntryFromTheStartCopiesThePart) {
    StringStack stack;
    stack.push_copy("PQRSTU");
    const char* before = stack.top_entry().text;
    stack.narrow_top(0, 3);
    EXPECT_EQ(stack.top_entry().text, before);
    stack.narrow_top(1, 2);
    EXPECT_NE(stack.top_entry().text, before);
    EXPECT_EQ(stack.take(), "QR");
}

TEST(StringStack, AutomationValuesBecomeTextWhenRead) {
    StringStack stack;
    stack.push_automation_string(u"caf\u00e9 \u20ac \u4e2d");
    EXPECT_EQ(stack.take(), "caf\xe9 \x80 ?");
    stack.push_variant(StringVariant{StringVariant::Kind::Integer, -42, 0, {}});
    EXPECT_EQ(stack.take(), "-42");
    stack.push_variant(StringVariant{StringVariant::Kind::Real, 0, 2.5, {}});
    EXPECT_EQ(stack.take(), "2.5");
    stack.push_variant(StringVariant{StringVariant::Kind::Text, 0, 0, u"x"});
    EXPECT_EQ(stack.top_entry().type, AutomationVariant);
    EXPECT_EQ(stack.take(), "x");
}

TEST(StringStack, SaveAndRestoreMoveTheWholeStack) {
    StringStack stack;
    stack.push_copy("one");
    stack.push_copy("two");
    auto block = stack.save();
    EXPECT_TRUE(stack.empty());
    stack.push_copy("other thread");
    stack.restore(std::move(block));
    EXPECT_EQ(stack.size(), 2u);
    EXPECT_EQ(stack.take(), "two");
    EXPECT_EQ(stack.take(), "one");
}

TEST(StringStackDeathTest, AnUnknownEntryTypeEndsTheProgram) {
    EXPECT_EXIT(
        {
            StringStack stack;
            StringEntry corrupt;
            corrupt.type = 3;
            stack.push_entry(corrupt);
            stack.top();
        },
        ::testing::ExitedWithCode(2), "Internal error 01 : String Stack Error");
}

} // namespace
} // namespace morvex
