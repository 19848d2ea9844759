#include "app/Unattended.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// What RunUnattendedMode made of a command line, for an installation with
// nothing in it.
struct Dispatch {
    testsupport::TempDir inst;
    std::ostringstream out, err;

    // The entry decides from IsUnattendedMode whether a console is needed,
    // so it must name exactly the runs that RunUnattendedMode takes.
    std::optional<int> Run(const std::string& commandLine) {
        out.str("");
        err.str("");
        const znt::LaunchOptions options = znt::ParseLaunchOptions(commandLine);
        const bool unattended = znt::IsUnattendedMode(options);
        auto status = znt::RunUnattendedMode(options, inst.file("core/zntr.exe"), out, err);
        EXPECT_EQ(unattended, status.has_value()) << commandLine;
        return status;
    }
};

TEST(UnattendedMode, OnlyTheUnattendedWordsRunWithoutAWindow) {
    Dispatch d;
    for (const char* window : {"", "/ENG", "SETUP /QUIET", "UPDATE /ENG", "FIRSTINSTALL /QUIET",
                               "UNINSTALL /PACKAGE=30", "UPDATES /QUIET"}) {
        EXPECT_FALSE(d.Run(window).has_value()) << window;
        EXPECT_EQ(d.out.str() + d.err.str(), "") << window;
    }
    EXPECT_EQ(d.Run("/?"), znt::kExitDone);
    EXPECT_EQ(d.out.str().rfind("Usage: zntr.exe", 0), 0u) << d.out.str();
    EXPECT_EQ(d.Run("uninstall /quiet"), znt::kExitBadCommandLine);
    EXPECT_NE(d.err.str().find("/PACKAGE="), std::string::npos) << d.err.str();
    EXPECT_EQ(d.Run("UPDATE /QUIET /PARALLEL=0"), znt::kExitBadCommandLine);
    EXPECT_NE(d.err.str().find("/PARALLEL= takes"), std::string::npos) << d.err.str();
    EXPECT_EQ(d.Run("LIST /SOURCE=" + d.inst.file("absent")), znt::kExitFetchFailed);
    EXPECT_EQ(d.out.str(), "");
}

}  // namespace
