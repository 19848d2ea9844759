#include "OVShared/Modules/modOVCoreRun.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Yield.h"
#include "support/FakeProgram.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class RunAndWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ov::SetYieldHook([this] { ++yields; });
    }
    void TearDown() override { ov::SetYieldHook(nullptr); }
    int yields = 0;
};

}  // namespace

TEST_F(RunAndWaitTest, WaitsForTheChildAndYieldsBetweenPolls) {
    // This test program, started again, waits 300 ms and ends with 3.
    testsupport::FakeProgramRole role("-", 3, 300);
    auto start = Clock::now();
    int code =
        ov::RunAndWait(std::vector<std::string>{ov::ExecutablePath()}, ov::WindowStyle::Hidden);
    auto elapsed = Clock::now() - start;
    EXPECT_EQ(code, 3);
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 3s);
    EXPECT_GE(yields, 2);   // about one per 100 ms poll
    EXPECT_LE(yields, 15);  // not a busy loop
}

TEST_F(RunAndWaitTest, ACommandThatCannotStartEndsAfterOnePoll) {
    auto start = Clock::now();
    EXPECT_EQ(ov::RunAndWait("/no/such/program --flag", ov::WindowStyle::Hidden), ov::kNotStarted);
    EXPECT_EQ(ov::RunAndWait(std::vector<std::string>{}, ov::WindowStyle::Hidden), ov::kNotStarted);
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_EQ(yields, 0);
}
