// A window mode started where no display exists ends with a message that
// names the unattended modes, instead of the toolkit's abort.

#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

TEST(NoDisplayTest, WindowModeWithoutDisplayExplainsAndFails) {
#ifdef _WIN32
    GTEST_SKIP() << "a missing X display is a POSIX matter (and the test runs a POSIX shell)";
#endif
    const std::string program = testsupport::TestBinDir() + "/stage/core/zntr.exe";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "no staged program";
    const std::string command =
        "env -i PATH=/usr/bin:/bin '" + program + "' /ENG 2>&1; echo \"status=$?\"";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    pclose(pipe);
    EXPECT_NE(output.find("no display"), std::string::npos) << output;
    EXPECT_NE(output.find("LIST"), std::string::npos) << output;
    EXPECT_NE(output.find("UPDATE /QUIET"), std::string::npos) << output;
    EXPECT_NE(output.find("status=3"), std::string::npos) << output;
}

}  // namespace
