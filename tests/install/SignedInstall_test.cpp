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

TEST_F(SignedInstall, WhatAnEarlierRunLeftIsUsedUnderTheSignedHashOrFetchedWhole) {
    AddPackage({{"a.txt", "new a, longer"}, {"b.txt", "new b, longer"}, {"c.txt", "new c"}});
    List("a.txt.zip", "new a, longer");
    List("b.txt.zip", "new b, longer");
    List("c.txt.zip", "new c");
    tmp.write("inst dir/core/cache/a.txt.zip.part", "new a");
    tmp.write("inst dir/core/cache/b.txt.zip.part", "other");  // another archive's bytes
    tmp.write("inst dir/core/cache/c.txt.zip", "new c");

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(server.RangeHeaders(ArchivePath("a.txt.zip")), std::vector<std::string>{"bytes=5-"});
    EXPECT_EQ(server.RangeHeaders(ArchivePath("b.txt.zip")),
              (std::vector<std::string>{"bytes=5-", ""}));
    EXPECT_EQ(server.RequestCount(ArchivePath("c.txt.zip")), 0);
    EXPECT_EQ(ReadFile(Installed("a.txt")), "new a, longer");
    EXPECT_EQ(ReadFile(Installed("b.txt")), "new b, longer");
    EXPECT_EQ(ReadFile(Installed("c.txt")), "new c");
    EXPECT_TRUE(CacheEntries().empty());
}
