#include "platform/message_box.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/fatal_error.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

using ::testing::ExitedWithCode;
using ::testing::KilledBySignal;

TEST(FatalErrorDeathTest, ShowsTheRuntimeErrorBoxAndExitsWithTwo) {
    EXPECT_EXIT(
        FatalError(ErrInternal01, "String Stack Error"), ExitedWithCode(2),
        "\\[Runtime error\\] \\(stop\\)\nInternal error 01 : String Stack Error\nDo you want to GPF\\?\n"
        "buttons: Yes \\[No\\]\nanswer: No");
}

TEST(FatalErrorDeathTest, NumberZeroShowsTheExtraTextAlone) {
    EXPECT_EXIT(FatalError(0, "Parameter typing error"), ExitedWithCode(2),
                "\\(stop\\)\nParameter typing error\nDo you want");
}

TEST(FatalErrorDeathTest, AnsweringYesEndsAbnormally) {
    EXPECT_EXIT(
        {
            platform::queue_message_box_answer(platform::ButtonYes);
            FatalError(ErrMismatchedScope, "Mismatched POPSCOPE");
        },
        KilledBySignal(SIGABRT), "Mismatched PUSHSCOPE/POPSCOPE : Mismatched POPSCOPE");
}

TEST(FatalErrorDeathTest, TheHookTakesOverTheBox) {
    EXPECT_EXIT(
        {
            SetFatalErrorHook([](std::string_view text, int32_t number) {
                std::fprintf(stderr, "hooked %d <%.*s> error %d\n", number, static_cast<int>(text.size()),
                             text.data(), ErrorCode());
            });
            FatalError(ErrUnableToOpenWindow, "CTLMAIN");
        },
        ExitedWithCode(2), "^hooked 529 <Unable to open WINDOW : CTLMAIN> error 529\n$");
}

TEST(HaltDeathTest, ShowsTheMessageAndExitsWithTheGivenCode) {
    EXPECT_EXIT(HALT(7, "Goodbye"), ExitedWithCode(7),
                "^\\[Halt\\] \\(stop\\)\nGoodbye\nbuttons: \\[OK\\]\nanswer: OK\n$");
}

TEST(HaltDeathTest, WithoutAMessageThereIsNoBox) {
    EXPECT_EXIT(HALT(3), ExitedWithCode(3), "^$");
}

TEST(HaltDeathTest, TheHookIsCalledInsteadOfTheBox) {
    EXPECT_EXIT(
        {
            SetHaltHook([](int32_t code) { std::fprintf(stderr, "halt hook %d\n", code); });
            HALT(5, "not shown");
        },
        ExitedWithCode(5), "^halt hook 5\n$");
}

TEST(HaltDeathTest, TheCleanUpRunsOnceHoweverManyEndsAreRequested) {
    EXPECT_EXIT(
        {
            SetCleanupProcedure([] {
                std::fputs("clean-up\n", stderr);
                HALT(9); // an end requested from inside the clean-up
            });
            AddRuntimeCleanup([] { std::fputs("runtime clean-up\n", stderr); });
            HALT(4);
        },
        ExitedWithCode(9), "^clean-up\n$");
}

TEST(HaltDeathTest, RuntimeCleanUpFollowsTheProgramsOwn) {
    EXPECT_EXIT(
        {
            SetCleanupProcedure([] { std::fputs("program\n", stderr); });
            AddRuntimeCleanup([] { std::fputs("runtime\n", stderr); });
            HALT(0);
        },
        ExitedWithCode(0), "^program\nruntime\n$");
}

} // namespace
} // namespace morvex
