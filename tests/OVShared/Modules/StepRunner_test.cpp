#include "OVShared/Modules/StepRunner.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

struct Job {
    std::string ran;
    int stops = 0;
};

using Result = std::optional<int>;
using Step = ov::ChainStep<Job, int>;

Result A(Job& j) {
    j.ran += "a";
    return std::nullopt;
}
Result Throws(Job& j) {
    j.ran += "!";
    throw std::runtime_error("step failed");
}
Result Ends(Job& j) {
    j.ran += "e";
    return 7;
}
void Stopped(Job& j) { ++j.stops; }

Result RunSteps(std::initializer_list<Step> steps, Job& j) {
    return ov::RunChain<Job, int>(std::span<const Step>(steps.begin(), steps.size()), j, Stopped);
}

}  // namespace

TEST(StepRunner, AThrowingStepIsSkippedOnlyWhereItsTableSaysElseItEndsTheChain) {
    Job optional;
    EXPECT_EQ(RunSteps({{A, {}}, {Throws, {}}, {A, {}}}, optional), std::nullopt);
    EXPECT_EQ(optional.ran, "a!a");
    EXPECT_EQ(optional.stops, 0);

    Job required;
    EXPECT_EQ(RunSteps({{A, {}}, {Throws, 5}, {A, {}}}, required), 5);
    EXPECT_EQ(required.ran, "a!");
    EXPECT_EQ(required.stops, 1);

    Job ended;
    EXPECT_EQ(RunSteps({{Ends, 5}, {A, {}}}, ended), 7);
    EXPECT_EQ(ended.ran, "e");
    EXPECT_EQ(ended.stops, 0);
}
