#include "app/ListMode.h"

#include "catalogue/CatalogueWriter.h"
#include "support/CatalogueEntries.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

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

struct Installation {
    TempDir inst, cd;
    std::ostringstream out, err;

    Installation() {
        inst.write("bin/cur.dll", std::string(2048, 'c'));
        inst.write("old.txt", "old");
    }
    int Run(const std::string& commandLine) {
        return znt::RunListMode(commandLine, inst.file("core/zntr.exe"), out, err);
    }
};

}  // namespace

TEST(ListMode, ListsInstallThenUninstallRowsFromALocalSource) {
    Installation i;
    i.cd.write("packages.dat", CatalogueBytes());
    EXPECT_EQ(i.Run("LIST /ENG /SOURCE=" + i.cd.path()), 0);
    EXPECT_EQ(i.out.str(),
              "INSTALL\t20\tMissing v1.0 [3 Kb]\n"
              "INSTALL\t60\tStale v1.0 [2 Kb]\n"
              "UNINSTALL\t10\tCurrent v1.0 [2 Kb]\n");
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
    i.inst.write("Languages/EN-ZNT.lng", "0,\"English\"\r\n1,\"Title\"\r\n210,\"None to remove\"\r\n"
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
    server.Serve("/ovw2010/packages.dat", CatalogueBytes());
    EXPECT_EQ(i.Run("LIST /ENG /SERVER=" + server.Url()), 0) << i.err.str();
    EXPECT_EQ(i.out.str(),
              "INSTALL\t20\tMissing v1.0 [3 Kb]\n"
              "INSTALL\t60\tStale v1.0 [2 Kb]\n"
              "UNINSTALL\t10\tCurrent v1.0 [2 Kb]\n");
    EXPECT_EQ(server.RequestCount("/ovw2010/packages.dat"), 1);

    Installation unreachable;
    EXPECT_EQ(unreachable.Run("LIST /SERVER=http://127.0.0.1:" +
                              std::to_string(testsupport::LoopbackServer::UnusedPort())),
              1);
    Installation bad;
    EXPECT_EQ(bad.Run("LIST /SERVER=ftp://x"), 2);
    EXPECT_NE(bad.err.str().find("ftp://x"), std::string::npos);
}
