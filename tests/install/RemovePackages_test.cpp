#include "install/RemovePackages.h"

#include "InstallFixture.h"
#include "OVShared/Modules/ProgressView.h"
#include "catalogue/PackageLists.h"
#include "i18n/TextNumbers.h"
#include "install/PackageSelection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>

namespace installtest {
namespace {

namespace fs = std::filesystem;

class RemovalTest : public testing::Test {
protected:
    RemovalTest() {
        texts.text[znt::kTextRemovalFailed] = "T208";
        fs::create_directories(tmp.file("inst"));
    }
    ~RemovalTest() override { ov::SetYieldHook(nullptr); }

    // Adds a marked package with those file names.
    znt::PackageEntry& AddPackage(std::initializer_list<std::string> names, int code = 0) {
        znt::PackageEntry& p = packages.entries.emplace_back();
        p.Marked = true;
        p.Code = code;
        for (const auto& name : names) {
            znt::PackageFileEntry& f = p.Files.emplace_back();
            f.FileName = name;
            f.ArchiveName = znt::LastPathPart(name) + ".zip";
        }
        p.FileCount = static_cast<std::int32_t>(p.Files.size());
        return p;
    }
    void Put(const std::string& relative, const std::string& bytes = "x") {
        tmp.write("inst/" + relative, bytes);
    }
    bool Has(const std::string& relative) const {
        return fs::exists(fs::symlink_status(tmp.file("inst/" + relative)));
    }
    // The "\" path a result lists for FileName name.
    std::string Listed(const std::string& name) const { return folder + "\\" + name; }

    testsupport::TempDir tmp;
    std::string folder = tmp.path() + "/inst";
    znt::Packages packages;
    znt::AppTexts texts;
    testsupport::RecordingMessageSink messages;
    RefusingFileOps files;
    znt::RemovalContext c{
        .installFolder = folder,
        .packages = packages,
        .texts = texts,
        .messages = messages,
        .title = "Title",
        .ownExecutable = tmp.write("running/zntr.exe", "self"),
        .files = files,
    };
};

TEST_F(RemovalTest, SharedFoldersStayEmptiedChainsGoButNeverTheInstallationFolder) {
    Put("bin/a.dll");
    Put("bin/b.dll");
    Put("deep/x/y/z.dat");
    AddPackage({"Bin\\A.DLL", "deep\\x\\y\\z.dat", "bin\\missing.dll"});
    AddPackage({"bin\\b.dll"}).Marked = false;

    znt::RemovalResult first = znt::RemovePackages(c);
    EXPECT_FALSE(Has("bin/a.dll"));
    EXPECT_TRUE(Has("bin/b.dll"));
    EXPECT_FALSE(Has("deep"));
    // The missing file counts as removed but was not there to list.
    EXPECT_EQ(first.removed,
              (std::vector<std::string>{Listed("Bin\\A.DLL"), Listed("deep\\x\\y\\z.dat")}));
    EXPECT_TRUE(first.failed.empty());
    EXPECT_TRUE(messages.messages.empty());

    packages.Package(1).Marked = false;
    packages.Package(2).Marked = true;
    znt::RemovePackages(c);
    EXPECT_FALSE(Has("bin"));
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(RemovalTest, OwnPackageAndProtectedCodesStayEvenWhenMarked) {
    for (const char* name : {"core/ZNTR.EXE", "core/helper.dll", "p60.dat", "p61.dat", "p62.dat"}) {
        Put(name);
    }
    AddPackage({"core\\ZNTR.EXE", "core\\helper.dll"});
    AddPackage({"p60.dat"}, 60);
    AddPackage({"p61.dat"}, 61);
    AddPackage({"p62.dat"}, 62);

    znt::RemovalResult r = znt::RemovePackages(c);
    for (const char* name : {"core/ZNTR.EXE", "core/helper.dll", "p60.dat", "p61.dat", "p62.dat"}) {
        EXPECT_TRUE(Has(name)) << name;
    }
    EXPECT_TRUE(r.removed.empty() && r.failed.empty() && r.skipped.empty());
}

TEST_F(RemovalTest, ConfirmingAPackageKeepsAnUnlistedZeroLengthOne) {
    Put("empty/zero.dat", "");
    Put("data/d.dat", "payload");
    AddPackage({"empty\\zero.dat"});
    AddPackage({"data\\d.dat"});
    znt::ListMap map;
    ov::NullProgressView progress;
    znt::RowListView view;
    znt::ListContext list{folder, packages, map, true, texts, messages, progress, view};

    znt::FillUninstallList(list);
    ASSERT_EQ(map.rows, std::vector<std::int32_t>{2});
    znt::ApplySelection(packages, map, {true}, true);
    znt::RemovePackages(c);
    EXPECT_TRUE(Has("empty/zero.dat"));
    EXPECT_FALSE(Has("data"));
}

TEST_F(RemovalTest, FilesOtherPackagesListAndTheProgramsOwnFilesStayWithTheirReason) {
    for (const char* name : {"bin/shared.dll", "bin/proto.dll", "bin/only.dll", "bin/mine.dll",
                             "core/zntr.pub", "core/zntr.log", "core/cache/install.journal"}) {
        Put(name);
    }
    AddPackage({"bin\\shared.dll", "bin\\proto.dll", "bin\\only.dll", "bin\\mine.dll",
                "core\\ZNTR.PUB", "core/./zntr.log", "CORE\\Cache\\install.journal"});
    AddPackage({"BIN/Shared.DLL", "bin\\other.dll"}).Marked =
        false;                                          // installed: shared.dll is there
    AddPackage({"bin\\proto.dll"}, 61).Marked = false;  // protected
    AddPackage({"bin\\only.dll", "bin\\absent.dll"}).Marked =
        false;                                       // installed only through only.dll
    AddPackage({"bin\\mine.dll", "bin\\mine.dll"});  // removed too: no keeper

    znt::RemovalResult r = znt::RemovePackages(c);
    EXPECT_EQ(r.skipped, (std::vector<znt::RemovalLine>{
                             {Listed("bin\\shared.dll"), "used by another package"},
                             {Listed("bin\\proto.dll"), "used by another package"},
                             {Listed("bin\\only.dll"), "used by another package"},
                             {Listed("core\\ZNTR.PUB"), "the program's own file"},
                             {Listed("core/./zntr.log"), "the program's own file"},
                             {Listed("CORE\\Cache\\install.journal"), "the program's own file"}}));
    EXPECT_EQ(r.removed, std::vector<std::string>{Listed("bin\\mine.dll")});
    for (const char* name : {"bin/shared.dll", "bin/proto.dll", "bin/only.dll", "core/zntr.pub",
                             "core/zntr.log", "core/cache/install.journal"}) {
        EXPECT_TRUE(Has(name)) << name;
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RemovalTest, FilesThatStayAreReportedOnceAtTheEndAndTheRestGoes) {
    for (const char* name : {"a/locked.dll", "b/unknown.dll", "c/locked2.dll", "d/free.dll"}) {
        Put(name);
    }
    files.undeletable = {tmp.file("inst/a/locked.dll"), tmp.file("inst/c/locked2.dll")};
    files.untestable = {tmp.file("inst/b/unknown.dll")};
    AddPackage({"a\\locked.dll", "b\\unknown.dll"});
    AddPackage({"c\\locked2.dll", "d\\free.dll"});
    std::vector<size_t> messagesAtYield;
    ov::SetYieldHook([&] { messagesAtYield.push_back(messages.messages.size()); });

    znt::RemovalResult r = znt::RemovePackages(c);
    EXPECT_EQ(messagesAtYield, (std::vector<size_t>{0, 0, 0, 0}));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "T208");
    EXPECT_EQ(messages.messages[0].title, "Title");
    EXPECT_EQ(messages.messages[0].icon, ov::MsgIcon::Critical);
    // Each stays with its reason; the fake refuses without an error of the system's.
    EXPECT_EQ(r.failed,
              (std::vector<znt::RemovalLine>{{Listed("a\\locked.dll"), "could not be deleted"},
                                             {Listed("b\\unknown.dll"), "presence unknown"},
                                             {Listed("c\\locked2.dll"), "could not be deleted"}}));
    EXPECT_EQ(r.removed, std::vector<std::string>{Listed("d\\free.dll")});
    EXPECT_TRUE(Has("a/locked.dll") && Has("c/locked2.dll"));
    EXPECT_FALSE(Has("d"));
}

#ifndef _WIN32  // links need a privilege on Windows
TEST_F(RemovalTest, HostileEntriesTouchNothingOutsideAndNeverTheUpdater) {
    std::string victim = tmp.write("outside/victim.dll", "v");
    std::string target = tmp.write("outside/target.dll", "t");
    fs::permissions(target, fs::perms::owner_read);
    fs::create_directories(tmp.file("outside/emptysub"));
    fs::create_directory_symlink(tmp.file("outside"), tmp.file("inst/linkdir"));
    fs::create_symlink(target, tmp.file("inst/linkfile"));
    Put("real/kept.dll");
    fs::create_directory_symlink(tmp.file("inst/real"), tmp.file("inst/alias"));
    Put("core/zntr.exe");
    Put("tools/updater.bin");
    c.ownExecutable = tmp.file("inst/tools/updater.bin");
    AddPackage({"..\\outside\\victim.dll", victim, "C:\\outside\\victim.dll", "linkdir\\victim.dll",
                "linkdir\\emptysub\\gone.dat", "core\\zntr.exe", "TOOLS\\UPDATER.BIN", "linkfile",
                "alias\\kept.dll"});

    znt::RemovalResult r = znt::RemovePackages(c);
    EXPECT_TRUE(fs::exists(victim));
    // A folder link that stays inside is no way to delete either.
    EXPECT_TRUE(Has("real/kept.dll"));
    ASSERT_EQ(r.skipped.size(), 8u);
    EXPECT_EQ(r.skipped[3],
              (znt::RemovalLine{Listed("linkdir\\victim.dll"), "outside the installation"}));
    EXPECT_EQ(r.skipped[5].reason, "the program itself");
    EXPECT_EQ(r.skipped[7], (znt::RemovalLine{Listed("alias\\kept.dll"), "path passes a link"}));
    EXPECT_TRUE(fs::is_directory(tmp.file("outside/emptysub")));
    EXPECT_TRUE(Has("linkdir") && Has("core/zntr.exe") && Has("tools/updater.bin"));
    // The link goes; its target keeps its content and its read-only mode.
    EXPECT_FALSE(Has("linkfile"));
    EXPECT_EQ(testsupport::ReadFile(target), "t");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(r.removed, std::vector<std::string>{Listed("linkfile")});
    EXPECT_TRUE(messages.messages.empty());
}
#else
// The hostile names that need no link.
TEST_F(RemovalTest, EntriesOutsideTheInstallationAndTheProgramItselfStay) {
    std::string victim = tmp.write("outside/victim.dll", "v");
    Put("core/zntr.exe");
    Put("tools/updater.bin");
    c.ownExecutable = tmp.file("inst/tools/updater.bin");
    AddPackage({"..\\outside\\victim.dll", victim, "core\\zntr.exe", "TOOLS\\UPDATER.BIN"});

    znt::RemovalResult r = znt::RemovePackages(c);
    EXPECT_TRUE(fs::exists(victim));
    EXPECT_TRUE(Has("core/zntr.exe") && Has("tools/updater.bin"));
    EXPECT_EQ(r.skipped.size(), 4u);
    EXPECT_TRUE(r.removed.empty());
}
#endif

}  // namespace
}  // namespace installtest
