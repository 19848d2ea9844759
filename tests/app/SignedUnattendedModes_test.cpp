// UPDATE /QUIET as a real process on a staged installation that trusts the
// demo key, against copies of the signed demo CD.

#include "OVShared/Platform/RegistryStore.h"
#include "catalogue/Signature.h"
#include "support/AppFakes.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;

class SignedUnattendedModes : public ::testing::Test {
protected:
    void SetUp() override {
        cd = apptest::BuildFolder() + "/demo/cd";
        if (!fs::exists(cd + "/packages.sha256.minisig") ||
            !apptest::CopyStagedInstallation(inst)) {
            GTEST_SKIP() << "no staged build or signed demo tree";
        }
        key = ReadFile(testsupport::TestSourceDir() + "/demo/keys/demo-zntr.pub");
        inst.write("core/zntr.pub", key);
    }
    // A copy of the demo CD whose file at relative has one byte changed.
    std::string ChangedCopy(const std::string& relative) {
        fs::copy(cd, tree.file("cd"),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        std::string bytes = ReadFile(tree.file("cd/" + relative));
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x20);
        tree.write("cd/" + relative, bytes);
        return tree.file("cd");
    }
    int Update(const std::string& source) {
        testsupport::ChildProcess p(inst.file("core/zntr.exe"),
                                    {"UPDATE", "/QUIET", "/ENG", "/SOURCE=" + source},
                                    logs.file("out.txt"), logs.file("err.txt"));
        int code = p.Wait();
        out = ReadFile(logs.file("out.txt"));
        err = ReadFile(logs.file("err.txt"));
        return code;
    }

    apptest::RedirectedUser user;  // the accepted signature times go to a store of the test's own
    TempDir inst, tree, logs;
    std::string cd, key, out, err;
};

}  // namespace

TEST_F(SignedUnattendedModes, AChangedArchiveOrCatalogueInstallsNothingAndTheSignedTreeInstalls) {
    EXPECT_EQ(Update(ChangedCopy("files/frame.exe.zip")), 5) << err;
    EXPECT_NE(out.find("FAILED\tframe.exe.zip"), std::string::npos) << out;
    EXPECT_EQ(out.find("INSTALLED"), std::string::npos) << out;
    EXPECT_NE(err.find("does not match the signed package list"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(inst.file("bin")));
    EXPECT_TRUE(fs::is_empty(inst.file("core/cache")));

    EXPECT_EQ(Update(ChangedCopy("packages.dat")), 1) << err;
    EXPECT_NE(err.find("not signed by the trusted key"), std::string::npos) << err;
    EXPECT_EQ(Update(ChangedCopy("packages.sha256")), 1) << err;
    EXPECT_EQ(out, "");

    EXPECT_EQ(Update(cd), 0) << err;
    EXPECT_EQ(ReadFile(inst.file("bin/sections.dat")),
              ReadFile(cd + "/../payload/bin/sections.dat"));
}

TEST_F(SignedUnattendedModes, ACatalogueSignedBeforeTheLastAcceptedOneIsRefused) {
    auto id = znt::ParsePublicKey(key);
    ASSERT_TRUE(id);
    ov::RegistryStore store = ov::RegistryStore::Default();
    ASSERT_TRUE(store.SetString("Software\\Orvantis\\ovw2010\\ZNT",
                                "P_CatalogueTimestamp_" + znt::KeyIdText(id->keyId),
                                "99999999999"));
    EXPECT_EQ(Update(cd), 1) << err;
    EXPECT_FALSE(fs::exists(inst.file("bin")));
}

TEST_F(SignedUnattendedModes, AnInstallationWithoutAKeyIgnoresTheSignature) {
    fs::remove(inst.file("core/zntr.pub"));
    std::string source = ChangedCopy("packages.sha256.minisig");
    EXPECT_EQ(Update(source), 0) << err;
    EXPECT_TRUE(fs::exists(inst.file("bin/frame.exe")));
}
