// The child-process helper itself: how a child ended is reported truthfully,
// and no child outlives its object.
#include "tests/support/child_process.h"

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>
#include <vector>

namespace morvex::testing {
namespace {

bool alive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

TEST(ChildProcess, ReportsHowTheChildEnded) {
    struct Row {
        const char* label;
        std::function<int()> body;
        int exit_code;
    };
    const Row rows[] = {
        {"returns 0", [] { return 0; }, 0},
        {"returns 7", [] { return 7; }, 7},
        {"throws", []() -> int { throw std::runtime_error("no"); }, 127},
    };
    for (const Row& row : rows) {
        ChildProcess child(row.body);
        ASSERT_TRUE(child.started()) << row.label;
        ASSERT_TRUE(child.wait(std::chrono::seconds(30))) << row.label;
        EXPECT_TRUE(child.ended()) << row.label;
        EXPECT_EQ(child.exit_code(), row.exit_code) << row.label;
        EXPECT_EQ(child.signal(), 0) << row.label;
    }
}

TEST(ChildProcess, AKilledChildReportsItsSignal) {
    ChildProcess child([] {
        pause();
        return 0;
    });
    ASSERT_TRUE(child.started());
    EXPECT_FALSE(child.wait(std::chrono::milliseconds(20)));
    EXPECT_FALSE(child.ended());
    child.kill();
    EXPECT_TRUE(child.ended());
    EXPECT_EQ(child.signal(), SIGKILL);
    EXPECT_EQ(child.exit_code(), -1);
}

TEST(ChildProcess, NoChildOutlivesItsObjectAndAMoveHandsItOn) {
    pid_t pid = 0;
    {
        std::vector<ChildProcess> children;
        children.emplace_back([] {
            pause();
            return 0;
        });
        pid = children.front().pid();
        children.emplace_back([] { return 0; }); // moves the first one
        ASSERT_TRUE(alive(pid));
    }
    EXPECT_FALSE(alive(pid));
}

} // namespace
} // namespace morvex::testing
