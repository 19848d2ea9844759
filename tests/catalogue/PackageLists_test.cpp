#include "catalogue/PackageLists.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/CatalogueWriter.h"
#include "i18n/LanguagePack.h"
#include "support/CatalogueEntries.h"
#include "support/RecordingMessageSink.h"
#include "support/RecordingViews.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::TempDir;
using znt::PackageEntry;

namespace {

using testsupport::Journal;
using testsupport::RecordingListView;
using testsupport::RecordingProgress;
using testsupport::SizedFile;

PackageEntry Package(std::string name, std::int32_t code,
                     std::vector<znt::PackageFileEntry> files) {
    PackageEntry p;
    p.NameEnglish = name;
    p.NameGreek = name + " (GR)";
    p.Code = code;
    p.Files = std::move(files);
    p.FileCount = static_cast<std::int32_t>(p.Files.size());
    return p;
}

std::string FolderName(const TempDir& dir) {
    return std::filesystem::path(dir.path()).filename().string();
}

struct Fixture {
    TempDir inst;
    znt::Packages packages;
    znt::ListMap map;
    znt::AppTexts texts;
    testsupport::RecordingMessageSink messages;
    Journal journal;
    RecordingProgress progress{journal};
    RecordingListView view{journal};
    znt::ListContext context{inst.path(), packages, map, true, texts, messages, progress, view};

    Fixture() {
        texts.text[1] = "Title";
        texts.text[210] = "Nothing to remove";
        texts.text[610] = "Nothing to install";
    }
    void WriteCatalogueFile() {
        std::string bytes, error;
        ASSERT_TRUE(znt::FormatCatalogue(packages, bytes, error)) << error;
        inst.write("packages.dat", bytes);
    }
};

}  // namespace

TEST(ListLine, RoundsKilobytesHalfToEven) {
    EXPECT_EQ(znt::RoundedKilobytes(0), 0);
    EXPECT_EQ(znt::RoundedKilobytes(1), 0);
    EXPECT_EQ(znt::RoundedKilobytes(511), 0);
    EXPECT_EQ(znt::RoundedKilobytes(512), 0);
    EXPECT_EQ(znt::RoundedKilobytes(513), 1);
    EXPECT_EQ(znt::RoundedKilobytes(1536), 2);
    EXPECT_EQ(znt::RoundedKilobytes(2560), 2);
    EXPECT_EQ(znt::RoundedKilobytes(3584), 4);
    EXPECT_EQ(znt::RoundedKilobytes(126976), 124);
    EXPECT_EQ(znt::RoundedKilobytes(2147483647), 2097152);
    EXPECT_EQ(znt::RoundedKilobytes(-2147483647 - 1), -2097152);
}

TEST(ListLine, NameVersionAndSizeInTheInterfaceLanguage) {
    PackageEntry p = Package("Alpha", 1, {});
    p.SizeBytes = 126976;
    p.Version = "2.1";
    EXPECT_EQ(znt::ListLine(p, true), "Alpha v2.1 [124 Kb]");
    EXPECT_EQ(znt::ListLine(p, false), "Alpha (GR) v2.1 [124 Kb]");
    p.Version.clear();
    EXPECT_EQ(znt::ListLine(p, true), "Alpha [124 Kb]");
}

TEST(SelfPackage, IsNamedByTheFirstFileInExactCase) {
    EXPECT_TRUE(znt::IsSelfPackage(Package("x", 1, {SizedFile("core\\ZNTR.EXE", 1, 1)})));
    EXPECT_TRUE(znt::IsSelfPackage(Package("x", 1, {SizedFile("old_ZNTR.EXE.bak", 1, 1)})));
    EXPECT_FALSE(znt::IsSelfPackage(Package("x", 1, {SizedFile("core\\zntr.exe", 1, 1)})));
    EXPECT_FALSE(znt::IsSelfPackage(
        Package("x", 1, {SizedFile("a.dll", 1, 1), SizedFile("core\\ZNTR.EXE", 1, 1)})));
    EXPECT_FALSE(znt::IsSelfPackage(Package("x", 1, {})));
    EXPECT_FALSE(znt::IsProtectedCode(59));
    EXPECT_TRUE(znt::IsProtectedCode(60) && znt::IsProtectedCode(61) && znt::IsProtectedCode(62));
    EXPECT_FALSE(znt::IsProtectedCode(63));
}

TEST(InstallList, ListsPackagesWithOutOfDateFilesAndTheirDownloadSize) {
    Fixture f;
    f.inst.write("bin/a.dll", "aaaa");
    f.inst.write("b.txt", "bb");
    f.packages.entries = {
        Package("Current", 1, {SizedFile("bin\\a.dll", 4, 100), SizedFile("b.txt", 2, 200)}),
        Package("Stale", 2,
                {SizedFile("bin\\a.dll", 4, 100), SizedFile("b.txt", 3, 1536),
                 SizedFile("c.txt", 0, 1024)}),
        Package("Protected", 60, {SizedFile("missing", 1, 700)}),
        Package("Tiny", 3, {SizedFile("tiny", 1, 511)}),
        Package("NothingToFetch", 4, {SizedFile("gone", 1, 0)})};
    znt::MarkUpdates(f.packages, f.inst.path());
    EXPECT_FALSE(f.packages.Package(1).Marked);
    EXPECT_TRUE(f.packages.Package(2).Marked);
    znt::FillInstallList(f.context);

    EXPECT_EQ(f.view.rows,
              (std::vector<std::string>{"Stale [2 Kb]", "Protected [1 Kb]", "Tiny [0 Kb]"}));
    EXPECT_EQ(f.map.rows, (std::vector<std::int32_t>{2, 3, 4}));
    EXPECT_EQ(f.packages.Package(2).SizeBytes, 2560);
    EXPECT_EQ(f.packages.Package(1).SizeBytes, 0);
    EXPECT_TRUE(f.packages.Package(5).Marked);  // marked, but nothing to download: no row
    EXPECT_EQ(f.journal.events,
              (std::vector<std::string>{"window colour", "list on", "current 0"}));
    EXPECT_TRUE(f.messages.messages.empty());
}

TEST(InstallList, UnsafeEntriesNeverMakeAPackageNeedAnUpdate) {
    Fixture f;
    auto outside = SizedFile("..\\outside.dll", 1, 100);
    auto badArchive = SizedFile("inside.dll", 1, 100);
    badArchive.ArchiveName = "..\\inside.dll.zip";
    f.packages.entries = {Package("Hostile", 1, {outside, badArchive}),
                          Package("Mixed", 2, {outside, SizedFile("new.dll", 1, 300)})};
    znt::MarkUpdates(f.packages, f.inst.path());
    znt::FillInstallList(f.context);
    EXPECT_FALSE(f.packages.Package(1).Marked);
    EXPECT_EQ(f.map.rows, (std::vector<std::int32_t>{2}));
    EXPECT_EQ(f.packages.Package(2).SizeBytes, 300);
}

TEST(InstallList, DownloadTotalsSaturateInsteadOfOverflowing) {
    Fixture f;
    f.packages.entries = {Package(
        "Huge", 1,
        {SizedFile("a", 1, 2147483647), SizedFile("b", 1, 2147483647), SizedFile("c", 1, -5)})};
    znt::MarkUpdates(f.packages, f.inst.path());
    znt::FillInstallList(f.context);
    EXPECT_EQ(f.packages.Package(1).SizeBytes, 2147483647);
}

TEST(InstallList, EmptyListShowsTheMessageAndDisablesTheDialog) {
    Fixture f;
    f.map.rows = {9, 9};  // left from an earlier build
    znt::MarkUpdates(f.packages, f.inst.path());
    znt::FillInstallList(f.context);
    EXPECT_EQ(f.map.ListMapCount(), 0);
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].text, "Nothing to install");
    EXPECT_EQ(f.messages.messages[0].icon, ov::MsgIcon::Information);
    EXPECT_EQ(f.journal.events,
              (std::vector<std::string>{"close", "button colour", "list off", "confirm off"}));
}

TEST(UninstallList, ListsInstalledPackagesWithTheirPresentSize) {
    Fixture f;
    f.inst.write("bin/a.dll", std::string(1536, 'a'));
    f.inst.write("zero.txt", "");
    f.inst.write("core/ZNTR.EXE", "self");
    f.packages.entries = {
        Package("Partly", 1, {SizedFile("bin\\a.dll", 1, 1), SizedFile("missing", 1, 1)}),
        Package("ZeroLength", 2, {SizedFile("zero.txt", 0, 1)}),
        Package("Self", 3, {SizedFile("core\\ZNTR.EXE", 4, 1)}),
        Package("Protected", 61, {SizedFile("bin\\a.dll", 1, 1)}),
        Package("Absent", 4, {SizedFile("nothing", 1, 1)}),
        Package("Escaping", 5, {SizedFile("..\\" + FolderName(f.inst) + "\\bin\\a.dll", 1, 1)})};
    f.packages.Package(3).SizeBytes = 77;
    f.context.english = false;
    znt::FillUninstallList(f.context);

    EXPECT_EQ(f.view.rows, (std::vector<std::string>{"Partly (GR) [2 Kb]"}));
    EXPECT_EQ(f.map.rows, (std::vector<std::int32_t>{1}));
    EXPECT_TRUE(f.packages.Package(2).Marked);
    EXPECT_EQ(f.packages.Package(2).SizeBytes, 0);
    EXPECT_FALSE(f.packages.Package(3).Marked);
    EXPECT_EQ(f.packages.Package(3).SizeBytes, 77);  // the program's own package is left alone
    EXPECT_TRUE(f.packages.Package(4).Marked);
    EXPECT_FALSE(f.packages.Package(6).Marked);  // never tested outside the installation
}

TEST(BuildLists, AFileNamedManyTimesCountsForEveryEntry) {
    Fixture f;
    f.inst.write("bin/a.dll", std::string(1024, 'a'));
    std::vector<znt::PackageFileEntry> stale(1000, SizedFile("bin\\a.dll", 1, 3));
    std::vector<znt::PackageFileEntry> installed(1000, SizedFile("bin/a.dll", 1024, 3));
    f.packages.entries = {Package("Stale", 1, stale), Package("Current", 2, installed)};
    znt::FileTestCache tests(f.inst.path());
    znt::MarkUpdates(f.packages, tests);
    znt::FillInstallList(f.context, tests);
    EXPECT_EQ(f.view.rows, (std::vector<std::string>{"Stale [3 Kb]"}));
    EXPECT_FALSE(f.packages.Package(2).Marked);

    znt::FillUninstallList(f.context, tests);  // the same cache serves the uninstall list
    EXPECT_EQ(f.view.rows, (std::vector<std::string>{"Stale [1000 Kb]", "Current [1000 Kb]"}));
}

TEST(UninstallList, EmptyListUsesItsOwnMessage) {
    Fixture f;
    f.packages.entries = {Package("Absent", 4, {SizedFile("nothing", 1, 1)})};
    znt::FillUninstallList(f.context);
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].text, "Nothing to remove");
}

TEST(BuildLists, ReadTheCatalogueFileAndStepTheProgressInOrder) {
    Fixture f;
    ov::SetYieldHook([&] { f.journal.events.push_back("yield"); });
    f.packages.entries = {Package("New", 1, {SizedFile("new.dll", 1, 2048)})};
    f.WriteCatalogueFile();
    f.packages.entries.clear();
    znt::BuildInstallList(f.context);
    EXPECT_EQ(f.journal.events, (std::vector<std::string>{
                                    "yield", "bar 50", "yield", "bar 80", "yield", "window colour",
                                    "list on", "current 0", "bar 100", "yield", "close"}));
    EXPECT_EQ(f.view.rows, (std::vector<std::string>{"New [2 Kb]"}));
    EXPECT_FALSE(std::filesystem::exists(f.inst.file("packages.dat")));

    // No catalogue file: an empty catalogue and the empty-list message.
    f.journal.events.clear();
    znt::BuildUninstallList(f.context);
    ov::SetYieldHook(nullptr);
    EXPECT_EQ(f.packages.PackageCount(), 0);
    EXPECT_EQ(f.journal.events,
              (std::vector<std::string>{"yield", "bar 50", "yield", "close", "button colour",
                                        "list off", "confirm off", "bar 100", "yield", "close"}));
    ASSERT_EQ(f.messages.messages.size(), 1u);
    EXPECT_EQ(f.messages.messages[0].text, "Nothing to remove");
}
