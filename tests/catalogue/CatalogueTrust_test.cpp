// The check of a fetched catalogue against the installation's trusted key.

#include "Signer.h"
#include "catalogue/CatalogueTrust.h"
#include "OVShared/Platform/RegistryStore.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

const std::string kCatalogue =
    "1\r\n0\r\n5,0,\"\",\"\",\"A\",\"A\",\"\",#FALSE#\r\n0,0,0,\"\",\"\",0\r\n";

class CatalogueTrustTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto [pub, sec] = publish::GenerateKeyPair();
        inst.write("core/zntr.pub", pub);
        std::string error;
        key = *publish::ParseSecretKey(sec, error);
    }
    // A hash list for the catalogue and one archive, signed at the given time.
    znt::SignedFiles Signed(std::uint64_t seconds, const std::string& catalogue = kCatalogue) {
        std::string list = znt::Sha256Hex(catalogue) + "  packages.dat\n" + znt::Sha256Hex("zip") +
                           "  files/a.exe.zip\n";
        return {list, publish::SignMessage(key, list, publish::TrustedCommentFor("x", seconds))};
    }
    znt::TrustCheck Check(const znt::SignedFiles& files,
                          const std::string& catalogue = kCatalogue) {
        return znt::CheckSignedCatalogue(trust, catalogue, files);
    }

    TempDir inst, home;
    testsupport::TestStoreLocation storeAt{home};
    ov::RegistryStore store{storeAt.path()};
    znt::CatalogueTrust trust = znt::InstallationTrust(inst.path(), store);
    publish::SecretKey key;
};

}  // namespace

TEST_F(CatalogueTrustTest, ASignedCatalogueIsAcceptedWithItsArchiveHashes) {
    ASSERT_TRUE(znt::RequiresSignature(trust));
    znt::TrustCheck check = Check(Signed(1000));
    ASSERT_TRUE(check.accepted) << check.problem;
    EXPECT_TRUE(check.hashes.required);
    ASSERT_NE(check.hashes.Find("a.exe.zip"), nullptr);
    EXPECT_EQ(*check.hashes.Find("a.exe.zip"), znt::Sha256Hex("zip"));
    EXPECT_EQ(check.hashes.Find("packages.dat"), nullptr);
}

TEST_F(CatalogueTrustTest, AChangedByteOrAMissingFileIsRefused) {
    znt::SignedFiles good = Signed(1000);
    std::string changed = kCatalogue;
    changed[4] = '1';
    EXPECT_FALSE(Check(good, changed).accepted) << "one byte of the catalogue";
    znt::SignedFiles list = good;
    (*list.hashList)[70] ^= 1;
    EXPECT_FALSE(Check(list).accepted) << "one byte of the hash list";
    EXPECT_FALSE(Check({good.hashList, std::nullopt}).accepted);
    EXPECT_FALSE(Check({std::nullopt, good.signature}).accepted);
    // Signed by another key.
    auto [otherPub, otherSec] = publish::GenerateKeyPair();
    inst.write("core/zntr.pub", otherPub);
    EXPECT_FALSE(Check(good).accepted);
    inst.write("core/zntr.pub", "not a key");
    znt::TrustCheck check = Check(good);
    EXPECT_FALSE(check.accepted);
    EXPECT_NE(check.problem.find("zntr.pub"), std::string::npos) << check.problem;
}

TEST_F(CatalogueTrustTest, ARepeatedLineIsRefusedNamingTheHashListAndTheLine) {
    const std::string archive = znt::Sha256Hex("zip") + "  files/a.exe.zip\n";
    const std::string list = znt::Sha256Hex(kCatalogue) + "  packages.dat\n" + archive + archive;
    znt::TrustCheck check =
        Check({list, publish::SignMessage(key, list, publish::TrustedCommentFor("x", 1000))});
    EXPECT_FALSE(check.accepted);
    EXPECT_EQ(check.problem, "packages.sha256: line 3 lists files/a.exe.zip again");
}

TEST_F(CatalogueTrustTest, AnOlderSignatureThanTheLastAcceptedIsRefused) {
    znt::TrustCheck newer = Check(Signed(2000));
    ASSERT_TRUE(newer.accepted);
    znt::RememberAccepted(trust, newer);
    EXPECT_TRUE(Check(Signed(2000)).accepted) << "the same catalogue again";
    EXPECT_FALSE(Check(Signed(1999)).accepted) << "a replayed older catalogue";
    std::string list = Signed(0).hashList.value();
    EXPECT_FALSE(Check({list, publish::SignMessage(key, list, "no time")}).accepted);
    znt::RememberAccepted(trust, Check(Signed(1500)));  // refused: nothing stored
    znt::RememberAccepted(trust, Check(Signed(3000)));
    EXPECT_FALSE(Check(Signed(2500)).accepted);

    // Another key keeps its own record.
    auto [pub, sec] = publish::GenerateKeyPair();
    inst.write("core/zntr.pub", pub);
    std::string error;
    key = *publish::ParseSecretKey(sec, error);
    EXPECT_TRUE(Check(Signed(1)).accepted);
}

TEST_F(CatalogueTrustTest, WithoutAKeyFileNothingIsRequired) {
    TempDir plain;
    EXPECT_FALSE(znt::RequiresSignature(znt::InstallationTrust(plain.path(), store)));
    EXPECT_FALSE(znt::RequiresSignature(znt::CatalogueTrust{}));
}
