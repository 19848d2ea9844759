// Fetching the catalogue into an installation that holds a trusted key.

#include "Signer.h"
#include "catalogue/KeptCatalogue.h"
#include "catalogue/Retrieval.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/RegistryStore.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::LoopbackServer;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const std::string kCatalogue =
    "1\r\n0\r\n5,0,\"\",\"\",\"A\",\"A\",\"\",#FALSE#\r\n0,0,0,\"\",\"\",0\r\n";

// A published tree (packages.dat, files/a.zip, the signed hash list) and an
// installation that trusts its key.
class SignedRetrievalTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto [pub, sec] = publish::GenerateKeyPair();
        inst.write("core/zntr.pub", pub);
        std::string error;
        key = *publish::ParseSecretKey(sec, error);
        Publish(1000);
    }
    void Publish(std::uint64_t seconds) {
        tree.write("packages.dat", kCatalogue);
        tree.write("files/a.zip", "archive");
        std::string list, error;
        ASSERT_TRUE(publish::MakeHashList(tree.path(), {"a.zip"}, list, error)) << error;
        tree.write("packages.sha256", list);
        tree.write("packages.sha256.minisig",
                   publish::SignMessage(key, list, publish::TrustedCommentFor("x", seconds)));
    }
    void ServeTree(LoopbackServer& server) {
        for (const char* name : {"packages.dat", "packages.sha256", "packages.sha256.minisig"}) {
            if (std::filesystem::exists(tree.file(name))) {
                server.Serve(std::string("/ovw2010/") + name, ReadFile(tree.file(name)));
            }
        }
    }
    znt::CatalogueFetchResult Fetch(const znt::CatalogueSource& source) {
        return znt::FetchCatalogue(source, inst.path(), inet, trust);
    }
    znt::CatalogueSource Folder() const { return {false, tree.path(), ""}; }

    TempDir inst, tree, home;
    testsupport::TestStoreLocation storeAt{home};
    ov::RegistryStore store{storeAt.path()};
    znt::CatalogueTrust trust = znt::InstallationTrust(inst.path(), store);
    publish::SecretKey key;
    ov::InetControl inet;
};

}  // namespace

TEST_F(SignedRetrievalTest, ASignedCatalogueIsPlacedFromAFolderOrTheServer) {
    znt::CatalogueFetchResult fetched = Fetch(Folder());
    ASSERT_EQ(fetched.status, znt::FetchStatus::Placed) << fetched.problem;
    EXPECT_EQ(ReadFile(inst.file("packages.dat")), kCatalogue);
    EXPECT_TRUE(fetched.hashes.required);
    ASSERT_NE(fetched.hashes.Find("a.zip"), nullptr);
    EXPECT_EQ(*fetched.hashes.Find("a.zip"), znt::Sha256Hex("archive"));
    // The caller gets the checked catalogue already read, with no second read of the file.
    ASSERT_EQ(fetched.packages.PackageCount(), 1);
    EXPECT_EQ(fetched.packages.entries[0].Code, 5);
    EXPECT_EQ(fetched.packages.entries[0].NameEnglish, "A");

    LoopbackServer server;
    ServeTree(server);
    fetched = Fetch({true, "", server.Url()});
    EXPECT_EQ(fetched.status, znt::FetchStatus::Placed) << fetched.problem;
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.sha256")))
        << "the list and signature stay in memory";
}

TEST_F(SignedRetrievalTest, AChangedOrUnsignedCatalogueIsUntrustedAndNotLeftInPlace) {
    tree.write("packages.dat", kCatalogue + "\r\n");
    EXPECT_EQ(Fetch(Folder()).status, znt::FetchStatus::Untrusted);
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));

    Publish(1000);
    std::string list = ReadFile(tree.file("packages.sha256"));
    list[0] = list[0] == '0' ? '1' : '0';
    tree.write("packages.sha256", list);
    EXPECT_EQ(Fetch(Folder()).status, znt::FetchStatus::Untrusted);

    Publish(1000);
    std::filesystem::remove(tree.file("packages.sha256.minisig"));
    LoopbackServer server;
    ServeTree(server);
    znt::CatalogueFetchResult fetched = Fetch({true, "", server.Url()});
    EXPECT_EQ(fetched.status, znt::FetchStatus::Untrusted);
    EXPECT_NE(fetched.problem.find("missing"), std::string::npos) << fetched.problem;
    EXPECT_FALSE(std::filesystem::exists(inst.file("packages.dat")));
}

TEST_F(SignedRetrievalTest, AReplayedOlderCatalogueIsRefusedOnceANewerOneWasAccepted) {
    Publish(2000);
    ASSERT_EQ(Fetch(Folder()).status, znt::FetchStatus::Placed);
    Publish(1999);
    EXPECT_EQ(Fetch(Folder()).status, znt::FetchStatus::Untrusted);
    Publish(2001);
    EXPECT_EQ(Fetch(Folder()).status, znt::FetchStatus::Placed);
}

TEST_F(SignedRetrievalTest, WithoutAKeyNothingMoreIsFetchedOrChecked) {
    std::filesystem::remove(inst.file("core/zntr.pub"));
    tree.write("packages.sha256.minisig", "garbage");
    LoopbackServer server;
    ServeTree(server);
    znt::CatalogueFetchResult fetched = Fetch({true, "", server.Url()});
    EXPECT_EQ(fetched.status, znt::FetchStatus::Placed);
    EXPECT_FALSE(fetched.hashes.required);
    EXPECT_EQ(server.RequestCount("/ovw2010/packages.sha256"), 0);
    EXPECT_EQ(server.RequestCount("/ovw2010/packages.sha256.minisig"), 0);
}

TEST_F(SignedRetrievalTest, AKeptCopyIsReusedOnlyWhileTheFreshSignedHashStillVouchesForIt) {
    LoopbackServer server;
    auto serveTagged = [&](const std::string& tag) {
        for (const char* name : {"packages.dat", "packages.sha256", "packages.sha256.minisig"}) {
            testsupport::LoopbackResponse r;
            r.body = ReadFile(tree.file(name));
            r.headers["ETag"] = tag;
            server.Serve(std::string("/ovw2010/") + name, r);
        }
    };
    const znt::KeptCatalogue kept = znt::KeptCatalogue::OfInstallation(inst.path(), true);
    auto poll = [&] {
        return znt::FetchCatalogue({true, "", server.Url()}, inst.path(), inet, trust, kept);
    };
    serveTagged("\"v1\"");
    ASSERT_EQ(poll().status, znt::FetchStatus::Placed);
    ASSERT_EQ(poll().status, znt::FetchStatus::Placed);
    EXPECT_EQ(server.IfNoneMatchHeaders("/ovw2010/packages.sha256").back(), "\"v1\"");

    // A new signed catalogue whose packages.dat the server still tags v1:
    // the kept copy is refused by the new hash list and fetched whole.
    const std::string changed = kCatalogue + "\r\n";
    tree.write("packages.dat", changed);
    std::string list, error;
    ASSERT_TRUE(publish::MakeHashList(tree.path(), {"a.zip"}, list, error)) << error;
    tree.write("packages.sha256", list);
    tree.write("packages.sha256.minisig",
               publish::SignMessage(key, list, publish::TrustedCommentFor("x", 1001)));
    serveTagged("\"v1\"");
    server.Serve("/ovw2010/packages.sha256", [&] {
        testsupport::LoopbackResponse r;
        r.body = list;
        r.headers["ETag"] = "\"v2\"";
        return r;
    }());
    server.Serve("/ovw2010/packages.sha256.minisig",
                 ReadFile(tree.file("packages.sha256.minisig")));
    znt::CatalogueFetchResult fetched = poll();
    ASSERT_EQ(fetched.status, znt::FetchStatus::Placed) << fetched.problem;
    EXPECT_EQ(ReadFile(inst.file("packages.dat")), changed);
    EXPECT_EQ(server.IfNoneMatchHeaders("/ovw2010/packages.dat").back(), "");
    EXPECT_EQ(ReadFile(inst.file("core/cache/catalogue/packages.dat")), changed);
}
