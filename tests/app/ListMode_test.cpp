#include "app/ListMode.h"

#include "support/Env.h"
#include "support/AppFakes.h"
#include "catalogue/CatalogueWriter.h"
#include "support/CatalogueEntries.h"
#include "support/ChildProcess.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

using testsupport::SizedFile;

znt::PackageEntry Package(std::int32_t code, std::string english, std::string greek,
                          std::vector<znt::PackageFileEntry> files) {
    znt::PackageEntry p;
    p.Code = code;
    p.NameEnglish = std::move(english);
    p.NameGreek = std::move(greek);
    p.Version = "1.0";
    p.Files = std::move(files);
    p.FileCount = static_cast<std::int32_t>(p.Files.size());
    return p;
}

// Current (installed, up to date), Missing (not installed), Stale (installed, wrong size).
std::string CatalogueBytes() {
    znt::Packages c;
    c.entries = {Package(10, "Current", "Τρέχον", {SizedFile("bin\\cur.dll", 2048, 100)}),
                 Package(20, "Missing", "Λείπει", {SizedFile("bin\\new.dll", 5, 3072)}),
                 Package(60, "Stale", "Παλιό", {SizedFile("old.txt", 9, 1536)})};
    std::string bytes, error;
    EXPECT_TRUE(znt::FormatCatalogue(c, bytes, error)) << error;
    return bytes;
}

const std::string kEnglishRows =
    "INSTALL\t20\tMissing v1.0 [3 Kb]\n"
    "INSTALL\t60\tStale v1.0 [2 Kb]\n"
    "UNINSTALL\t10\tCurrent v1.0 [2 Kb]\n";

// Every file below folder with its size and modification time.
using Listing = std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>>;
Listing ListFolder(const std::string& folder) {
    Listing listing;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        listing[e.path().string()] = {e.file_size(), e.last_write_time()};
    }
    return listing;
}

// What a run printed to a file; the Windows C runtime writes "\n" to
// standard output as "\r\n".
std::string Printed(const std::string& path) {
    std::string text = ReadFile(path);
#ifdef _WIN32
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
#endif
    return text;
}

// Points the system's temporary folder (TMPDIR; Windows: TMP), inherited by
// started programs, at dir for the life of the object.
class RedirectedTemp {
public:
#ifdef _WIN32
    explicit RedirectedTemp(const std::string& dir) : tmpdir_("TMP", dir) {}
#else
    explicit RedirectedTemp(const std::string& dir) : tmpdir_("TMPDIR", dir) {}
#endif

private:
    testsupport::ScopedEnv tmpdir_;
};

struct Installation {
    TempDir inst, cd;
    std::ostringstream out, err;

    Installation() {
        inst.write("bin/cur.dll", std::string(2048, 'c'));
        inst.write("old.txt", "old");
    }
    int Run(const std::string& commandLine) {
        return znt::RunListMode(znt::ParseLaunchOptions(commandLine), inst.file("core/zntr.exe"),
                                out, err);
    }
};

}  // namespace

TEST(ListMode, ListsInstallThenUninstallRowsFromALocalSource) {
    Installation i;
    i.cd.write("packages.dat", CatalogueBytes());
    EXPECT_EQ(i.Run("LIST /ENG /SOURCE=" + i.cd.path()), 0);
    EXPECT_EQ(i.out.str(), kEnglishRows);
    EXPECT_EQ(i.err.str(), "");
    EXPECT_FALSE(std::filesystem::exists(i.inst.file("packages.dat")));
    EXPECT_TRUE(std::filesystem::exists(i.cd.file("packages.dat")));
}

TEST(ListMode, GreekNamesWithoutTheEnglishSwitch) {
    Installation i;
    i.cd.write("folder with blank/packages.dat", CatalogueBytes());
    EXPECT_EQ(i.Run("list /SOURCE=\"" + i.cd.file("folder with blank") + "\""), 0) << i.err.str();
    EXPECT_NE(i.out.str().find("INSTALL\t20\tΛείπει v1.0 [3 Kb]\n"), std::string::npos);
    EXPECT_NE(i.out.str().find("UNINSTALL\t10\tΤρέχον v1.0 [2 Kb]\n"), std::string::npos);
}

TEST(ListMode, EmptyListsAreReportedWithThePacksTexts) {
    Installation i;
    i.inst.write("Languages/EN-ZNT.lng",
                 "0,\"English\"\r\n1,\"Title\"\r\n210,\"None to remove\"\r\n"
                 "610,\"All up to date\"\r\n");
    i.cd.write("packages.dat", "0\r\n");
    EXPECT_EQ(i.Run("LIST /ENG /SOURCE=" + i.cd.path()), 0);
    EXPECT_EQ(i.out.str(), "");
    EXPECT_EQ(i.err.str(), "All up to date\nNone to remove\n");
}

TEST(ListMode, AMissingCatalogueFailsWithAMessage) {
    Installation i;
    EXPECT_NE(i.Run("LIST /ENG /SOURCE=" + i.cd.path()), 0);
    EXPECT_EQ(i.out.str(), "");
    EXPECT_FALSE(i.err.str().empty());  // English fallback: there is no language pack
}

TEST(ListMode, FetchesFromTheUpdateServer) {
    Installation i;
    testsupport::LoopbackServer server;
    testsupport::LoopbackResponse tagged;
    tagged.body = CatalogueBytes();
    tagged.headers["ETag"] = "\"v1\"";
    server.Serve("/ovw2010/packages.dat", tagged);
    EXPECT_EQ(i.Run("LIST /ENG /SERVER=" + server.Url()), 0) << i.err.str();
    EXPECT_EQ(i.out.str(), kEnglishRows);
    EXPECT_EQ(server.RequestCount("/ovw2010/packages.dat"), 1);
    EXPECT_FALSE(std::filesystem::exists(i.inst.file("core/cache")))
        << "LIST keeps no copy of the catalogue in the installation";

    Installation unreachable;
    EXPECT_EQ(unreachable.Run("LIST /SERVER=http://127.0.0.1:" +
                              std::to_string(testsupport::LoopbackServer::UnusedPort())),
              1);
    Installation bad;
    EXPECT_EQ(bad.Run("LIST /SERVER=ftp://x"), 2);
    EXPECT_NE(bad.err.str().find("ftp://x"), std::string::npos);
}

TEST(ListMode, EachPackageIsOneRowWhateverItsNameHolds) {
    Installation i;
    znt::Packages c;
    c.entries = {Package(20, "Evil~T~INSTALL~T~666~T~Forged~E~[2J", "x",
                         {SizedFile("bin\\new.dll", 5, 3072)})};
    c.entries[0].Version = "1.0~E~]0;title";
    std::string bytes, error;
    ASSERT_TRUE(znt::FormatCatalogue(c, bytes, error)) << error;
    // The writer refuses control characters: put them in afterwards.
    for (auto [marker, control] : {std::pair{"~T~", "\t"}, std::pair{"~E~", "\x1B"}}) {
        for (size_t at; (at = bytes.find(marker)) != std::string::npos;)
            bytes.replace(at, 3, control);
    }
    i.cd.write("packages.dat", bytes);
    EXPECT_EQ(i.Run("LIST /ENG /SOURCE=" + i.cd.path()), 0) << i.err.str();
    EXPECT_EQ(i.out.str(),
              "INSTALL\t20\tEvil\uFFFDINSTALL\uFFFD666\uFFFDForged\uFFFD[2J "
              "v1.0\uFFFD]0;title [3 Kb]\n");

    // Line breaks, DEL, C1 controls and line separators as they arrive in UTF-8;
    // other text, a no-break space among it, stays as it is.
    EXPECT_EQ(znt::OneRowText("a\r\nb\x7F"
                              "c\xC2\x85"
                              "d\xC2\x9F\xE2\x80\xA8"
                              "e"),
              "a\uFFFD\uFFFDb\uFFFDc\uFFFDd\uFFFD\uFFFDe");
    EXPECT_EQ(znt::OneRowText("Λείπει\u00A0€ x\xC2"), "Λείπει\u00A0€ x\xC2");
}

TEST(ListMode, OnlyReadsTheInstallationAndLeavesNoTemporaryFolder) {
    Installation i;
    TempDir tmp;
    RedirectedTemp redirect(tmp.path());
    i.inst.write("packages.dat", "the open window's catalogue");
    i.cd.write("packages.dat", CatalogueBytes());
    const Listing before = ListFolder(i.inst.path());

    EXPECT_EQ(i.Run("LIST /ENG /SOURCE=" + i.cd.path()), znt::kListOk) << i.err.str();
    EXPECT_EQ(i.out.str(), kEnglishRows);
    EXPECT_EQ(i.Run("LIST /ENG /SOURCE=" + i.cd.file("absent")), znt::kListFetchFailed);
    EXPECT_EQ(ListFolder(i.inst.path()), before);
    EXPECT_EQ(ReadFile(i.inst.file("packages.dat")), "the open window's catalogue");
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));

    RedirectedTemp unusable(tmp.file("absent"));
    EXPECT_EQ(i.Run("LIST /ENG /SOURCE=" + i.cd.path()), znt::kListFetchFailed);
    EXPECT_NE(i.err.str().find(tmp.file("absent")), std::string::npos) << i.err.str();
}

// The built program started as real processes on a copy of the staged installation.
class ListModeRealRuns : public ::testing::Test {
protected:
    void SetUp() override {
        if (!apptest::CopyStagedInstallation(inst)) GTEST_SKIP() << "no staged build";
        inst.write("bin/cur.dll", std::string(2048, 'c'));
        inst.write("old.txt", "old");
        cd.write("packages.dat", CatalogueBytes());
    }

    std::unique_ptr<testsupport::ChildProcess> Launch(const std::string& outFile, int n) {
        return std::make_unique<testsupport::ChildProcess>(
            inst.file("core/zntr.exe"),
            std::vector<std::string>{"LIST", "/ENG", "/SOURCE=" + cd.path()}, outFile,
            logs.file("err-" + std::to_string(n)));
    }

    TempDir inst, cd, logs, tmp;
    RedirectedTemp redirect{tmp.path()};
};

TEST_F(ListModeRealRuns, RunsAtOnceEachPrintTheWholeListingAndChangeNothing) {
    constexpr int kRuns = 10;
    inst.write("packages.dat", "the open window's catalogue");
    const Listing before = ListFolder(inst.path());
    std::vector<std::unique_ptr<testsupport::ChildProcess>> runs;
    for (int n = 0; n < kRuns; ++n)
        runs.push_back(Launch(logs.file("out-" + std::to_string(n)), n));
    for (int n = 0; n < kRuns; ++n) {
        EXPECT_EQ(runs[n]->Wait(), 0) << ReadFile(logs.file("err-" + std::to_string(n)));
        EXPECT_EQ(Printed(logs.file("out-" + std::to_string(n))), kEnglishRows) << "run " << n;
    }
    EXPECT_EQ(ListFolder(inst.path()), before);
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

TEST_F(ListModeRealRuns, AListingThatCannotBeWrittenFails) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    auto run = Launch("/dev/full", 0);
    EXPECT_EQ(run->Wait(), znt::kListWriteFailed);
    EXPECT_NE(ReadFile(logs.file("err-0")).find("standard output"), std::string::npos);
}
