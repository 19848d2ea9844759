// The server's delta index: read whole or not at all, used only when a
// signed list vouches for it, and asked for by the install list only when
// something is out of date, whose sizes then count the deltas.

#include "catalogue/DeltaIndex.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/Inet.h"
#include "catalogue/PackageLists.h"
#include "catalogue/Signature.h"
#include "i18n/LanguagePack.h"
#include "support/CatalogueEntries.h"
#include "support/Env.h"
#include "support/LoopbackServer.h"
#include "support/RecordingMessageSink.h"
#include "support/RecordingViews.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kResult(64, 'a'), kBase(64, 'b');

std::string Line(const std::string& base = kBase, const std::string& delta = "a.dll.1.zdelta",
                 const std::string& file = "bin/a.dll") {
    return kResult + " 120 " + base + " " + delta + " 40 " + file + "\n";
}

}  // namespace

TEST(DeltaIndex, ReadsThePublishedLinesAndRefusesTheWholeIndexForOneBadLine) {
    std::string upper = kBase;
    upper[0] = 'B';
    std::string second = Line(std::string(64, 'c'), "a.dll.2.zdelta", "BIN\\A.dll");
    second.insert(second.size() - 1, "\r");  // a CR LF line end
    auto index = znt::ParseDeltaIndex("# comment\n\n" + Line() + second);
    ASSERT_TRUE(index);
    auto found = index->For("bin\\A.DLL");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]->resultSize, 120);
    EXPECT_EQ(found[0]->deltaSize, 40);
    EXPECT_TRUE(index->For("bin\\b.dll").empty());
    EXPECT_TRUE(znt::ParseDeltaIndex(Line(upper)));  // hex in capitals reads as lower case

    const std::pair<std::string, std::string> bad[] = {
        {kResult + " 120 " + kBase + " a.dll.1.zdelta 40\n", "too few fields"},
        {Line(std::string(63, 'b')), "bad base hash"},
        {Line(std::string(63, 'b') + "g"), "bad base hash"},
        {kResult + " 99999999999 " + kBase + " a.1.zdelta 40 a\n", "bad size"},
        {kResult + " -1 " + kBase + " a.1.zdelta 40 a\n", "bad size"},
        {Line(kBase, "a.dll.zip"), "bad delta name"},
        {Line(kBase, "../a.zdelta"), "bad delta name"},
        {Line(kBase, "a.1.zdelta", "..\\outside.dll"), "bad file name"},
        {Line(kBase, "a.1.zdelta", "bin\\a\x01.dll"), "bad file name"},
        {Line() + Line(kBase, "a.dll.3.zdelta", "BIN\\A.DLL"),
         "a second delta for the same file and base"},
        {Line() + Line(kBase, "a.dll.1.zdelta", "bin\\b.dll"), "a delta file named twice"},
    };
    for (const auto& [text, why] : bad) {
        std::string problem;
        EXPECT_FALSE(znt::ParseDeltaIndex("# c\n" + text, &problem)) << text;
        EXPECT_EQ(problem, text.find('\n') + 1 < text.size() ? "line 3: " + why : "line 2: " + why)
            << text;
    }
}

TEST(DeltaIndex, TheInstallListCountsTheDeltaOfAnInstalledBaseAndAsksOnlyWhenItMustFetch) {
    testsupport::TempDir inst;
    inst.write("bin/a.dll", "old a");
    inst.write("bin/b.dll", "other b");
    znt::Packages packages;
    znt::PackageEntry p;
    p.Marked = true;
    p.Files = {testsupport::SizedFile("bin\\a.dll", 120, 1000),
               testsupport::SizedFile("bin\\b.dll", 120, 2000)};
    p.FileCount = 2;
    packages.entries.push_back(p);
    znt::DeltaIndex index;
    const znt::DeltaSource delta{kResult, 120, znt::Sha256Hex("old a"), "a.dll.1.zdelta", 40};
    index.byFile.emplace(znt::DeltaFileKey("bin/a.dll"), delta);
    index.byFile.emplace(znt::DeltaFileKey("bin/b.dll"),
                         znt::DeltaSource{kResult, 120, kBase, "b.dll.1.zdelta", 50});
    int asked = 0;
    znt::ListMap map;
    znt::AppTexts texts;
    testsupport::RecordingMessageSink messages;
    testsupport::Journal journal;
    testsupport::RecordingProgress progress{journal};
    testsupport::RecordingListView view{journal};
    znt::ListContext c{inst.path(),
                       packages,
                       map,
                       true,
                       texts,
                       messages,
                       progress,
                       view,
                       [&]() -> const znt::DeltaIndex* {
                           ++asked;
                           return &index;
                       }};

    znt::MarkUpdates(packages, inst.path());
    znt::FillInstallList(c);
    const znt::PackageEntry& listed = packages.entries.front();
    EXPECT_EQ(listed.SizeBytes, 40 + 2000);  // b.dll's copy is no listed base
    EXPECT_EQ(listed.Files[0].Delta, delta);
    EXPECT_FALSE(listed.Files[1].Delta);
    EXPECT_EQ(asked, 1);

    // A delta no smaller than the archive, or rebuilding another size, is not worth it.
    packages.entries.front().Files[0].ArchiveSize = 40;
    znt::FillInstallList(c);
    EXPECT_FALSE(packages.entries.front().Files[0].Delta);
    packages.entries.front().Files[0].ArchiveSize = 1000;
    packages.entries.front().Files[0].SizeBytes = 121;
    znt::FillInstallList(c);
    EXPECT_FALSE(packages.entries.front().Files[0].Delta);

    inst.write("bin/a.dll", std::string(121, 'a'));
    inst.write("bin/b.dll", std::string(120, 'b'));
    asked = 0;
    znt::MarkUpdates(packages, inst.path());
    znt::FillInstallList(c);
    EXPECT_EQ(asked, 0);
}

TEST(DeltaIndex, TheServersIndexIsUsedOnlyWhenTheSignedListVouchesForIt) {
    testsupport::SetEnv("no_proxy", "127.0.0.1");
    testsupport::LoopbackServer server;
    const std::string path = "/ovw2010/packages.delta";
    const std::string text = Line();
    server.Serve(path, text);
    ov::InetControl inet;
    const znt::CatalogueSource source{true, "", server.Url()};
    znt::ArchiveHashes unsigned_;
    znt::ArchiveHashes vouched{
        .required = true, .hexByName = {}, .deltaIndexHex = znt::Sha256Hex(text)};
    znt::ArchiveHashes other = vouched;
    other.deltaIndexHex = znt::Sha256Hex("other");
    znt::ArchiveHashes unlisted{.required = true, .hexByName = {}, .deltaIndexHex = {}};

    znt::DeltaOffer offer;
    EXPECT_TRUE(znt::AskDeltaIndex(offer, source, inet, unsigned_));
    EXPECT_TRUE(znt::AskDeltaIndex(offer, source, inet, unsigned_));  // asked once
    EXPECT_EQ(server.RequestCount(path), 1);
    offer = {};
    EXPECT_TRUE(znt::AskDeltaIndex(offer, source, inet, vouched));
    offer = {};
    EXPECT_FALSE(znt::AskDeltaIndex(offer, source, inet, other));
    EXPECT_EQ(offer.problem, "hash mismatch");
    offer = {};
    EXPECT_FALSE(znt::AskDeltaIndex(offer, source, inet, unlisted));
    EXPECT_EQ(server.RequestCount(path), 3);  // not published signed: not asked for
    offer = {};
    EXPECT_FALSE(znt::AskDeltaIndex(offer, {false, "folder", ""}, inet, unsigned_));
    EXPECT_EQ(offer.problem, "");

    server.Serve(path, "bad line\n");
    offer = {};
    EXPECT_FALSE(znt::AskDeltaIndex(offer, source, inet, unsigned_));
    EXPECT_EQ(offer.problem, "line 1: too few fields");
    server.Remove(path);
    offer = {};
    EXPECT_FALSE(znt::AskDeltaIndex(offer, source, inet, unsigned_));
    EXPECT_EQ(offer.problem, "");  // a server without deltas is no problem
}
