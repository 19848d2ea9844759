// The install run of a signed catalogue: every fetched archive must have the
// hash the signed list gives, or nothing of the run is installed.

#include "install/InstallRun.h"

#include "InstallFixture.h"
#include "catalogue/Signature.h"

using installtest::InstallTest;
using testsupport::ReadFile;
using znt::InstallOutcome;

namespace {

class SignedInstall : public InstallTest {
protected:
    SignedInstall() {
        Text(651);
        c.archiveHashes.required = true;
    }
    void List(const std::string& archive, const std::string& content) {
        c.archiveHashes.hexByName[archive] = znt::Sha256Hex(content);
    }
};

}  // namespace

TEST_F(SignedInstall, ArchivesThatMatchTheirListedHashesAreInstalled) {
    AddPackage({{"a.txt", "new a"}, {"b.txt", "new b"}});
    List("a.txt.zip", "new a");
    List("b.txt.zip", "new b");
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    EXPECT_EQ(ReadFile(Installed("a.txt")), "new a");
    EXPECT_EQ(ReadFile(Installed("b.txt")), "new b");
}

TEST_F(SignedInstall, OneChangedOrUnlistedArchiveInstallsNothingFromTheRun) {
    tmp.write("inst dir/a.txt", "older a");
    AddPackage({{"a.txt", "new a"}, {"b.txt", "new b"}});
    List("a.txt.zip", "new a");
    List("b.txt.zip", "new c");  // same length: only the hash tells
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Cancelled);
    EXPECT_EQ(ReadFile(Installed("a.txt")), "older a");
    EXPECT_FALSE(std::filesystem::exists(Installed("b.txt")));
    EXPECT_TRUE(CacheEntries().empty());
    EXPECT_TRUE(extractor.calls.empty());
    EXPECT_EQ(events, (std::vector<std::string>{"fetched a.txt.zip", "failed b.txt.zip"}));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "T651");
    EXPECT_EQ(messages.messages[0].icon, ov::MsgIcon::Critical);

    // From a local folder, an archive the list does not name.
    tmp.write("cd/files/a.txt.zip", "new a");
    tmp.write("cd/files/b.txt.zip", "new b");
    c.source = {false, tmp.file("cd"), ""};
    c.archiveHashes.hexByName.erase("b.txt.zip");
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Cancelled);
    EXPECT_EQ(ReadFile(Installed("a.txt")), "older a");
    EXPECT_TRUE(CacheEntries().empty());
}

TEST_F(SignedInstall, AnUnsignedCatalogueFetchesWithoutAnyHash) {
    AddPackage({{"a.txt", "new a"}});
    c.archiveHashes = {};
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    EXPECT_EQ(ReadFile(Installed("a.txt")), "new a");
}
