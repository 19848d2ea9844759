// Catalogue polls against the copy kept from the last fetch.

#include "catalogue/KeptCatalogue.h"

#include "OVShared/Platform/Inet.h"
#include "catalogue/Retrieval.h"
#include "catalogue/Signature.h"
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
const std::string kNewCatalogue =
    "1\r\n0\r\n6,0,\"\",\"\",\"B\",\"B\",\"\",#FALSE#\r\n0,0,0,\"\",\"\",0\r\n";
const std::string kPath = "/ovw2010/packages.dat";

LoopbackResponse Tagged(const std::string& body, const std::string& tag) {
    LoopbackResponse r;
    r.body = body;
    r.headers = {{"ETag", tag}, {"Last-Modified", "Tue, 08 Dec 2026 10:00:00 GMT"}};
    return r;
}

class KeptCatalogueTest : public ::testing::Test {
protected:
    // Fetches into a fresh folder, as each run does; the code of the first package placed.
    int Poll(bool writable = true) {
        TempDir into;
        znt::KeptCatalogue kept = znt::KeptCatalogue::OfInstallation(inst.path(), writable);
        znt::CatalogueFetchResult r =
            znt::FetchCatalogue({true, "", server.Url()}, into.path(), inet, {}, kept);
        if (r.status != znt::FetchStatus::Placed) return -1;
        EXPECT_EQ(ReadFile(into.file("packages.dat")).empty(), false);
        return r.packages.entries.empty() ? 0 : r.packages.entries[0].Code;
    }
    std::string Asked() const { return server.IfNoneMatchHeaders(kPath).back(); }
    std::string KeptFile(const std::string& name) const {
        return inst.file("core/cache/catalogue/" + name);
    }

    TempDir inst;
    LoopbackServer server;
    ov::InetControl inet;
};

}  // namespace

TEST_F(KeptCatalogueTest, AnUnchangedCatalogueIsTakenFromTheKeptCopyAfterA304) {
    server.Serve(kPath, Tagged(kCatalogue, "\"v1\""));
    EXPECT_EQ(Poll(), 5);
    EXPECT_EQ(Asked(), "");
    EXPECT_EQ(ReadFile(KeptFile("packages.dat")), kCatalogue);

    // The server still calls it v1: the 304 places the kept bytes, not its body.
    server.Serve(kPath, Tagged(kNewCatalogue, "\"v1\""));
    EXPECT_EQ(Poll(), 5);
    EXPECT_EQ(Asked(), "\"v1\"");

    // A new version comes whole and replaces the kept copy.
    server.Serve(kPath, Tagged(kNewCatalogue, "\"v2\""));
    EXPECT_EQ(Poll(), 6);
    EXPECT_EQ(ReadFile(KeptFile("packages.dat")), kNewCatalogue);
    EXPECT_EQ(Poll(), 6);
    EXPECT_EQ(Asked(), "\"v2\"");
}

TEST_F(KeptCatalogueTest, AKeptCopyAlteredOnDiskOrUnreadableIsRefusedAndTheCatalogueFetchedWhole) {
    server.Serve(kPath, Tagged(kCatalogue, "\"v1\""));
    ASSERT_EQ(Poll(), 5);
    server.Serve(kPath, Tagged(kNewCatalogue, "\"v1\""));  // only a fetch that does not ask sees it

    // Bytes changed after they were kept: their hash no longer matches; nothing is asked.
    inst.write("core/cache/catalogue/packages.dat", kCatalogue + "5,0");
    EXPECT_EQ(Poll(), 6);
    EXPECT_EQ(Asked(), "");

    // A validators file with a control character, cut short or unknown: not used.
    const std::string sidecar = "core/cache/catalogue/packages.dat.validators";
    const std::string good = ReadFile(inst.file(sidecar));
    for (const std::string& bad : {"etag \"v1\"\r\nX: 1\n" + good.substr(good.find("sha256")),
                                   good.substr(0, good.size() - 1), "colour blue\n" + good}) {
        inst.write(sidecar, bad);
        EXPECT_EQ(Poll(), 6);
        EXPECT_EQ(Asked(), "");
        inst.write(sidecar, good);
    }

    // A kept copy that hashes right but does not read whole is used once,
    // then the catalogue is fetched again without asking.
    const std::string cut = kNewCatalogue.substr(0, 20);
    inst.write("core/cache/catalogue/packages.dat", cut);
    inst.write(sidecar, znt::ValidatorsText({"\"v1\"", ""}, znt::Sha256Hex(cut)));
    int before = server.RequestCount(kPath);
    EXPECT_EQ(Poll(), 6);
    std::vector<std::string> asked = server.IfNoneMatchHeaders(kPath);
    ASSERT_EQ(server.RequestCount(kPath), before + 2);
    EXPECT_EQ(asked[asked.size() - 2], "\"v1\"");
    EXPECT_EQ(asked.back(), "");
    EXPECT_EQ(ReadFile(KeptFile("packages.dat")), kNewCatalogue);
}

TEST_F(KeptCatalogueTest, ServersThatIgnoreOrGiveNoValidatorsWorkAsBefore) {
    LoopbackResponse ignoring = Tagged(kCatalogue, "\"v1\"");
    ignoring.honourConditions = false;
    server.Serve(kPath, ignoring);
    ASSERT_EQ(Poll(), 5);
    ignoring.body = kNewCatalogue;
    server.Serve(kPath, ignoring);
    EXPECT_EQ(Poll(), 6);
    EXPECT_EQ(Asked(), "\"v1\"");

    // Without validators nothing is kept, and the old kept copy is forgotten.
    server.Serve(kPath, kCatalogue);
    EXPECT_EQ(Poll(), 5);
    EXPECT_FALSE(std::filesystem::exists(KeptFile("packages.dat.validators")));
    EXPECT_EQ(Poll(), 5);
    EXPECT_EQ(Asked(), "");
}

TEST_F(KeptCatalogueTest, ARunWithoutTheLockReadsTheKeptCopyButNeverWritesIt) {
    server.Serve(kPath, Tagged(kCatalogue, "\"v1\""));
    EXPECT_EQ(Poll(false), 5);
    EXPECT_FALSE(std::filesystem::exists(inst.file("core/cache")));

    ASSERT_EQ(Poll(true), 5);
    server.Serve(kPath, Tagged(kNewCatalogue, "\"v1\""));
    EXPECT_EQ(Poll(false), 5);  // the kept copy, after a 304
    EXPECT_EQ(Asked(), "\"v1\"");
    server.Serve(kPath, Tagged(kNewCatalogue, "\"v2\""));
    EXPECT_EQ(Poll(false), 6);
    EXPECT_EQ(ReadFile(KeptFile("packages.dat")), kCatalogue);
}
