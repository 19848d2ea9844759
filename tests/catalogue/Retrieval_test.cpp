#include "catalogue/Retrieval.h"

#include "OVShared/Platform/Inet.h"
#include "support/FifoGuard.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::LoopbackResponse;
using testsupport::LoopbackServer;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const std::string kCatalogue =
    "1\r\n0\r\n5,0,\"\",\"\",\"A\",\"A\",\"\",#FALSE#\r\n0,0,0,\"\",\"\",0\r\n";

znt::CatalogueSource Server(const LoopbackServer& server) { return {true, "", server.Url()}; }

std::string NameList(int lines) {
    std::string text;
    for (int n = 1; n <= lines; ++n) {
        text += std::to_string(n) + "=Name " + std::to_string(n) + (n == 60 ? "=x" : "") + "\r\n";
    }
    return text;
}

}  // namespace

TEST(FetchCatalogue, CopiesFromALocalSourceWithoutTheNetwork) {
    TempDir inst, cd;
    cd.write("SETUP/packages.dat", kCatalogue);
    ov::InetControl inet;
    znt::CatalogueSource source{false, cd.path() + "\\setup", "http://127.0.0.1:1"};
    EXPECT_TRUE(znt::FetchCatalogue(source, inst.path(), inet));
    EXPECT_EQ(ReadFile(inst.file("packages.dat")), kCatalogue);
    EXPECT_EQ(inet.ResponseCode(), 0);  // no transfer was made
}

TEST(FetchCatalogue, AMissingOrEmptyLocalCatalogueFailsEvenOverAnOldCopy) {
    TempDir inst, cd;
    inst.write("packages.dat", kCatalogue);  // left from an earlier run
    ov::InetControl inet;
    EXPECT_FALSE(znt::FetchCatalogue({false, cd.path(), ""}, inst.path(), inet));
    cd.write("packages.dat", "");
    EXPECT_FALSE(znt::FetchCatalogue({false, cd.path(), ""}, inst.path(), inet));
}

#ifndef _WIN32  // Windows has no FIFOs in the file system
TEST(FetchCatalogue, ASourceCatalogueThatIsAFifoFailsWithoutWaiting) {
    TempDir inst, cd;
    testsupport::FifoGuard fifo(cd.file("packages.dat"));
    ASSERT_TRUE(fifo.Made());
    ov::InetControl inet;
    EXPECT_FALSE(znt::FetchCatalogue({false, cd.path(), ""}, inst.path(), inet));
    EXPECT_FALSE(fifo.Release()) << "the copy waited for a writer";
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));
}
#endif

TEST(FetchCatalogue, DownloadsTheServersCatalogue) {
    TempDir inst;
    LoopbackServer server;
    server.Serve("/ovw2010/packages.dat", kCatalogue);
    ov::InetControl inet;
    EXPECT_TRUE(znt::FetchCatalogue(Server(server), inst.path(), inet));
    EXPECT_EQ(ReadFile(inst.file("packages.dat")), kCatalogue);
}

// Why each failed, as the unattended modes print it after text 600.
std::string Problem(const znt::CatalogueSource& source, const TempDir& inst,
                    ov::InetControl& inet) {
    znt::CatalogueFetchResult r = znt::FetchCatalogue(source, inst.path(), inet, {});
    return r.status == znt::FetchStatus::Failed ? r.problem : "not failed";
}

TEST(FetchCatalogue, FailedDownloadsLeaveNoPartialFileAndSayWhy) {
    TempDir inst;
    LoopbackServer server;
    ov::InetControl inet;
    // Not found.
    EXPECT_EQ(Problem(Server(server), inst, inet), "HTTP 404");
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));
    // An error status with a body.
    LoopbackResponse error;
    error.status = 500;
    error.body = kCatalogue;
    server.Serve("/ovw2010/packages.dat", error);
    EXPECT_EQ(Problem(Server(server), inst, inet), "HTTP 500");
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));
    // Cut short midway.
    LoopbackResponse cut;
    cut.body = kCatalogue;
    cut.sendOnly = 10;
    server.Serve("/ovw2010/packages.dat", cut);
    EXPECT_EQ(Problem(Server(server), inst, inet), "connection closed early");
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));
    // Nothing listening.
    znt::CatalogueSource refused{
        true, "", "http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort())};
    EXPECT_EQ(Problem(refused, inst, inet), "connection refused");
    // A local source without the file, and one that is empty.
    TempDir cd;
    EXPECT_EQ(Problem({false, cd.path(), ""}, inst, inet), "not in the source folder");
    cd.write("packages.dat", "");
    EXPECT_EQ(Problem({false, cd.path(), ""}, inst, inet), "empty");
}

TEST(FetchCatalogue, ACatalogueThatDoesNotReadWholeFailsAndIsRemoved) {
    TempDir inst, cd;
    ov::InetControl inet;
    const std::string gzip("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9\x07\x00", 16);
    for (const std::string& bad : {gzip, kCatalogue.substr(0, kCatalogue.size() / 2),
                                   "2" + kCatalogue.substr(1), std::string("\x80\xff\x01 ,,\"")}) {
        cd.write("packages.dat", bad);
        EXPECT_FALSE(znt::FetchCatalogue({false, cd.path(), ""}, inst.path(), inet));
        EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));
    }
    LoopbackServer server;
    server.Serve("/ovw2010/packages.dat", gzip);  // a compressed body that was never decoded
    EXPECT_FALSE(znt::FetchCatalogue(Server(server), inst.path(), inet));
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));
}

TEST(FetchCatalogue, AnEmptyResponseFails) {
    TempDir inst;
    LoopbackServer server;
    server.Serve("/ovw2010/packages.dat", "");
    ov::InetControl inet;
    EXPECT_FALSE(znt::FetchCatalogue(Server(server), inst.path(), inet));
}

TEST(NameList, SplitsTwoTablesOf54AtTheFirstEquals) {
    znt::NameTables names;
    std::string text = NameList(108) + "109=ignored\r\n";
    text.replace(text.find("3=Name 3"), 8, "no equals \xC1");  // Windows-1253 alpha
    ASSERT_TRUE(znt::ReadNameList(text, names));
    ASSERT_EQ(names.first.size(), 54u);
    ASSERT_EQ(names.second.size(), 54u);
    EXPECT_EQ(names.first[0], "Name 1");
    EXPECT_EQ(names.first[2], "no equals Α");
    EXPECT_EQ(names.first[53], "Name 54");
    EXPECT_EQ(names.second[0], "Name 55");
    EXPECT_EQ(names.second[5], "Name 60=x");
    EXPECT_EQ(names.second[53], "Name 108");
}

TEST(NameList, FewerThan108LinesFailsAndKeepsTheTables) {
    znt::NameTables names;
    names.first = {"kept"};
    EXPECT_FALSE(znt::ReadNameList(NameList(107), names));
    EXPECT_FALSE(znt::ReadNameList("", names));
    EXPECT_EQ(names.first, std::vector<std::string>{"kept"});
    // A last line without a line break still counts.
    std::string noFinalBreak = NameList(108);
    noFinalBreak.resize(noFinalBreak.size() - 2);
    EXPECT_TRUE(znt::ReadNameList(noFinalBreak, names));
}

TEST(NameList, FetchedFromTheServer) {
    TempDir inst;
    LoopbackServer server;
    ov::InetControl inet;
    znt::NameTables names;
    EXPECT_FALSE(znt::FetchNameList(server.Url(), inst.path(), inet, names));
    server.Serve("/ovw2010/pnames.txt", NameList(108));
    ASSERT_TRUE(znt::FetchNameList(server.Url(), inst.path(), inet, names));
    EXPECT_EQ(names.second[1], "Name 56");
    server.Serve("/ovw2010/pnames.txt", NameList(20));
    EXPECT_FALSE(znt::FetchNameList(server.Url(), inst.path(), inet, names));
}
