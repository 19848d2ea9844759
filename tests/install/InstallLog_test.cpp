// The installation's log: the lines of a run and of a removal, rotation at
// the bound, and a log that cannot be written.

#include "install/InstallLog.h"

#include "install/InstallRun.h"

#include "InstallFixture.h"

#include <sys/stat.h>

#include <regex>
#include <sstream>

using installtest::InstallTest;
using testsupport::ReadFile;

namespace {

// The lines of a log with each timestamp checked and cut off.
std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d\t)");
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(std::regex_search(line, stamp)) << line;
        lines.push_back(line.substr(line.find('\t') + 1));
    }
    return lines;
}

class InstallLogTest : public InstallTest {
protected:
    std::string logPath = tmp.file("inst dir/core/zntr.log");
};

TEST_F(InstallLogTest, InstallRunAndRemovalAreLoggedOneLinePerEvent) {
    tmp.write("inst dir/b.txt", "old b");
    AddPackage({{"bin\\a.dll", "new a 2"}, {"b.txt", "new b!"}});
    AddPackage({{"gone.txt", "g"}}, true, false);  // not on the server
    {
        znt::InstallLog log(znt::DefaultLogPath(installFolder), installFolder);
        log.Start("INSTALL", c.source);
        c.report = log.Reporter(c.report);
        log.End(znt::OutcomeWord(znt::RunInstall(c)));
    }
    EXPECT_EQ(events.size(), 5u);  // the chained reporter still heard every event
    std::vector<std::string> lines = Lines(logPath);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "START\tINSTALL\t" + server.Url());
    const char* fetches[] = {
        "FETCHED\ta\\.dll\\.zip\t7\t\\d+", "FETCHED\tb\\.txt\\.zip\t6\t\\d+",
        "FAILED\tgone\\.txt\\.zip\t1\t\\d+\tHTTP 404"};  // milliseconds, reason
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::regex_match(lines[i + 1], std::regex(fetches[i]))) << lines[i + 1];
    }
    EXPECT_EQ(lines[4], "INSTALLED\tbin\\a.dll");
    EXPECT_EQ(lines[5], "INSTALLED\tb.txt");
    EXPECT_EQ(lines[6], "END\tFINISHED");

    {  // a removal, with a control character in a catalogue name; no END given
        znt::InstallLog log(logPath, installFolder);
        log.Start("UNINSTALL", installFolder);
        log.Removal({{installFolder + "\\b.txt"},
                     {{installFolder + "\\x\ny.txt", "permission denied"}},
                     {{"/etc/passwd", "outside the\ninstallation"}}});
    }
    lines = Lines(logPath);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[7], "START\tUNINSTALL\t" + installFolder);
    EXPECT_EQ(lines[8], "REMOVED\tb.txt");
    EXPECT_EQ(lines[9], "NOT-REMOVED\tx\xEF\xBF\xBDy.txt\tpermission denied");
    EXPECT_EQ(lines[10], "SKIPPED\t/etc/passwd\toutside the\xEF\xBF\xBDinstallation");
    EXPECT_EQ(lines[11], "END\tABORTED");
}

TEST_F(InstallLogTest, RotationAtTheBoundKeepsOneOldGenerationAndTheSizeBounded) {
    constexpr std::int64_t kBound = 300;
    znt::InstallLog log(logPath, installFolder, kBound);
    const std::string field(40, 'x');
    std::int64_t longest = 0;
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(log.Append({"LINE", std::to_string(i), field}));
        const auto size = static_cast<std::int64_t>(ReadFile(logPath).size());
        longest = std::max(longest, size);
    }
    const std::int64_t line = static_cast<std::int64_t>(ReadFile(logPath).find('\n') + 1);
    EXPECT_LT(longest, kBound + line);
    const std::string old = ReadFile(logPath + ".1");
    EXPECT_GE(static_cast<std::int64_t>(old.size()), kBound);
    EXPECT_LT(static_cast<std::int64_t>(old.size()), kBound + line);
    EXPECT_NE(ReadFile(logPath).find("\t39\t"), std::string::npos);
    EXPECT_EQ(old.find("\t0\t"), std::string::npos);  // the oldest generation is gone
    EXPECT_FALSE(std::filesystem::exists(logPath + ".2"));
}

TEST_F(InstallLogTest, ALogThatCannotBeWrittenDoesNotStopTheRun) {
    std::filesystem::create_directories(logPath);  // a folder where the log should be
#ifdef _WIN32
    const std::string fifo = "NUL";  // a device: Windows has no FIFOs among its files
#else
    const std::string fifo = tmp.file("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
#endif
    AddPackage({{"a.txt", "new a"}});

    znt::InstallLog blocked(logPath, installFolder);
    znt::InstallLog nobodyReads(fifo, installFolder);  // never waits for a reader
    znt::InstallLog nowhere(tmp.file("missing/folder/zntr.log"), installFolder);
    for (znt::InstallLog* log : {&blocked, &nobodyReads, &nowhere}) {
        log->Start("INSTALL", c.source);
        EXPECT_FALSE(log->Append({"LINE"}));
        c.report = log->Reporter(c.report);
    }
    EXPECT_EQ(znt::RunInstall(c), znt::InstallOutcome::Finished);
    EXPECT_EQ(ReadFile(Installed("a.txt")), "new a");
    EXPECT_EQ(events, (std::vector<std::string>{"fetched a.txt.zip", "placed a.txt"}));
}

}  // namespace
