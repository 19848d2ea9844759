#include "install/InstallJournal.h"

#include "InstallFixture.h"
#include "install/InstallRun.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using installtest::InstallTest;
using testsupport::ReadFile;
using znt::InstallOutcome;
using znt::JournalEntry;

namespace {

namespace fs = std::filesystem;

using InstallJournal = InstallTest;

TEST_F(InstallJournal, PassCutShortAtAnyPlacementIsFinishedByRecoveryAndTheCacheEmptied) {
    tmp.write("inst dir/b.txt", "old b");
    tmp.write("inst dir/bin/c.dll", "old c");
    AddPackage({{"bin\\\\new\\a.dll", "new a 2"}, {"b.txt", "new b!"}, {"bin\\c.dll", "new c 22"}});
    const std::map<std::string, std::string> olds = {{"b.txt", "old b"}, {"bin/c.dll", "old c"}};
    const std::map<std::string, std::string> news = {
        {"bin/new/a.dll", "new a 2"}, {"b.txt", "new b!"}, {"bin/c.dll", "new c 22"}};
    // Each replace is where a kill may land: the tree as it is then is kept.
    int cuts = 0;
    files.beforeReplace = [&](const std::string&) {
        fs::copy(installFolder, tmp.file("cut " + std::to_string(++cuts)),
                 fs::copy_options::recursive);
    };

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    EXPECT_TRUE(CacheEntries().empty());  // no journal, no staging folder
    ASSERT_EQ(cuts, 3);

    // The journal names every new file before the first one is replaced.
    auto journal = znt::ParseJournal(ReadFile(tmp.file("cut 1/core/cache/install.journal")));
    ASSERT_TRUE(journal);
    EXPECT_EQ(*journal, (std::vector<JournalEntry>{{"pending\\a.dll.zip\\a.dll", "bin\\new\\a.dll"},
                                                   {"pending\\b.txt.zip\\b.txt", "b.txt"},
                                                   {"pending\\c.dll.zip\\c.dll", "bin\\c.dll"}}));
    for (int cut = 1; cut <= cuts; ++cut) {
        const std::string inst = tmp.file("cut " + std::to_string(cut));
        for (const auto& [relative, content] : news) {
            bool present = fs::exists(inst + "/" + relative);
            std::string now = ReadFile(inst + "/" + relative);
            EXPECT_TRUE(now == content ||
                        (olds.count(relative) ? now == olds.at(relative) : !present))
                << "cut " << cut << ": " << relative << " reads " << now;
        }
        znt::DiskFileOps disk;
        znt::RecoveryResult r = znt::RecoverInterruptedInstall(inst, disk);
        EXPECT_TRUE(r.journalFound);
        EXPECT_FALSE(r.refused);
        EXPECT_EQ(r.placed.size(), static_cast<size_t>(4 - cut)) << "cut " << cut;
        for (const auto& [relative, content] : news) {
            EXPECT_EQ(ReadFile(inst + "/" + relative), content) << "cut " << cut;
        }
        EXPECT_TRUE(fs::is_empty(inst + "/core/cache")) << "cut " << cut;
        EXPECT_FALSE(znt::RecoverInterruptedInstall(inst, disk).journalFound);
    }
}

#ifndef _WIN32
ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}
#endif

TEST_F(InstallJournal, RenamedFilesAreDoneAtEveryCutAndAFileForTwoTargetsIsCopiedThenRenamed) {
    tmp.write("inst dir/bin/tool.sh", "old tool");
    tmp.write("inst dir/system/a.dll", "old a");
    AddPackage({{"bin\\tool.sh", "new tool 2"}});
    AddPackage({{"bin\\a.dll", "shared"}});
    AddPackage({{"system\\a.dll", "shared"}});
    const std::map<std::string, std::string> olds = {{"bin/tool.sh", "old tool"},
                                                     {"system/a.dll", "old a"}};
    const std::map<std::string, std::string> news = {
        {"bin/tool.sh", "new tool 2"}, {"bin/a.dll", "shared"}, {"system/a.dll", "shared"}};
    // A kill may land before each placement and right after each rename.
    int cuts = 0;
    auto cut = [&](const std::string&) {
        fs::copy(installFolder, tmp.file("cut " + std::to_string(++cuts)),
                 fs::copy_options::recursive);
    };
#ifndef _WIN32
    ::chmod(Installed("bin/tool.sh").c_str(), 0755);
    std::map<std::string, ino_t> staged;  // the extracted files, before any placement
    files.beforeReplace = [&](const std::string& to) {
        if (staged.empty()) {
            for (const char* name : {"tool.sh", "a.dll"}) {
                staged[name] =
                    InodeOf(Installed("core/cache/pending/" + std::string(name) + ".zip/" + name));
            }
        }
        cut(to);
    };
#else
    files.beforeReplace = cut;
#endif
    files.afterMove = cut;

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    for (const auto& [relative, content] : news) EXPECT_EQ(ReadFile(Installed(relative)), content);
    EXPECT_TRUE(CacheEntries().empty());
#ifndef _WIN32
    // The last target of an extracted file is that file itself, renamed; the
    // one before got a copy. A replaced file keeps its mode.
    EXPECT_EQ(InodeOf(Installed("bin/tool.sh")), staged["tool.sh"]);
    EXPECT_EQ(InodeOf(Installed("system/a.dll")), staged["a.dll"]);
    EXPECT_NE(InodeOf(Installed("bin/a.dll")), staged["a.dll"]);
    EXPECT_EQ(fs::status(Installed("bin/tool.sh")).permissions(), fs::perms(0755));
#endif

    // Before tool.sh, after its rename, before bin/a.dll's copy, before the
    // rename of system/a.dll (the copy done, the staged file still there),
    // after it: recovery places what the pass had not finished, no more.
    const std::vector<size_t> left = {3, 2, 2, 2, 0};
    ASSERT_EQ(cuts, static_cast<int>(left.size()));
    for (int at = 1; at <= cuts; ++at) {
        const std::string inst = tmp.file("cut " + std::to_string(at));
        for (const auto& [relative, content] : news) {
            const std::string now = ReadFile(inst + "/" + relative);
            const bool old = olds.count(relative) ? now == olds.at(relative)
                                                  : !fs::exists(inst + "/" + relative);
            EXPECT_TRUE(now == content || old)
                << "cut " << at << ": " << relative << " reads " << now;
        }
        znt::DiskFileOps disk;
        znt::RecoveryResult r = znt::RecoverInterruptedInstall(inst, disk);
        EXPECT_TRUE(r.journalFound && !r.refused && r.leftOld.empty()) << "cut " << at;
        EXPECT_EQ(r.placed.size(), left[at - 1]) << "cut " << at;
        for (const auto& [relative, content] : news) {
            EXPECT_EQ(ReadFile(inst + "/" + relative), content) << "cut " << at;
        }
        EXPECT_TRUE(fs::is_empty(inst + "/core/cache")) << "cut " << at;
    }
}

TEST_F(InstallJournal, DamagedOrEscapingJournalIsRefusedAndNothingIsPlaced) {
    const JournalEntry good{"pending\\a.zip\\a", "bin\\a.dll"};
    const JournalEntry second{"pending\\b.zip\\b", "b.txt"};
    const std::string valid = znt::JournalText({good, second});
    std::string changed = valid;
    changed[changed.find("b.txt")] = 'c';
    std::string overCounted = valid;
    overCounted.replace(overCounted.find("ENTRIES 2"), 9, "ENTRIES 3");
    const std::vector<std::pair<std::string, std::string>> journals = {
        {"cut short", valid.substr(0, valid.size() - 5)},
        {"no check line", valid.substr(0, valid.find("CHECK"))},
        {"a changed byte", changed},
        {"more entries counted than written", overCounted},
        {"bytes after the end", valid + "x"},
        {"empty", ""},
        {"target above the installation", znt::JournalText({good, {second.staged, "..\\out.txt"}})},
        {"absolute target", znt::JournalText({good, {second.staged, tmp.file("out.txt")}})},
        {"staged file outside the cache", znt::JournalText({good, {"..\\..\\b.txt", "b2.txt"}})},
        {"staged file beside the staging folder", znt::JournalText({good, {"zntr.exe", "b.txt"}})},
    };
    for (const auto& [why, text] : journals) {
        tmp.write("inst dir/bin/a.dll", "old a");
        tmp.write("inst dir/core/cache/pending/a.zip/a", "new a");
        tmp.write("inst dir/core/cache/pending/b.zip/b", "new b");
        tmp.write("inst dir/core/cache/zntr.exe", "staged program");
        tmp.write("inst dir/core/cache/install.journal", text);

        znt::RecoveryResult r = znt::RecoverInterruptedInstall(installFolder, files);

        EXPECT_TRUE(r.refused) << why;
        EXPECT_TRUE(r.placed.empty()) << why;
        EXPECT_EQ(ReadFile(Installed("bin/a.dll")), "old a") << why;
        EXPECT_FALSE(fs::exists(Installed("b.txt"))) << why;
        EXPECT_FALSE(fs::exists(Installed("b2.txt"))) << why;
        EXPECT_FALSE(fs::exists(tmp.file("out.txt"))) << why;
        EXPECT_EQ(CacheEntries(), std::vector<std::string>{"zntr.exe"}) << why;
    }
    tmp.write("inst dir/core/cache/pending/a.zip/a", "new a");
    tmp.write("inst dir/core/cache/install.journal", valid);
    EXPECT_EQ(znt::RecoverInterruptedInstall(installFolder, files).placed.size(), 1u);
    EXPECT_EQ(ReadFile(Installed("bin/a.dll")), "new a");
}

TEST_F(InstallJournal, RecoveryKeepsWhatItCannotPlaceSaysWhyAndClearsTheCutPassesLeftovers) {
    tmp.write("inst dir/core/zntr.exe", "old exe");
    tmp.write("inst dir/lib/b.dll", "old b");
    tmp.write("inst dir/core/cache/pending/zntr.exe.zip/zntr.exe", "new exe");
    tmp.write("inst dir/core/cache/pending/a.zip/a", "new a");
    tmp.write("inst dir/core/cache/pending/b.zip/b", "new b");
    files.refused.insert(Installed("core/zntr.exe"));
    files.refused.insert(Installed("lib/b.dll"));
    files.refused.insert(Installed("core/cache/b"));
    ASSERT_TRUE(
        znt::WriteJournal(c.cacheFolder, {{"pending\\zntr.exe.zip\\zntr.exe", "core\\zntr.exe"},
                                          {"pending\\gone.zip\\gone", "gone.txt"},
                                          {"pending\\a.zip\\a", "lib\\a.dll"},
                                          {"pending\\b.zip\\b", "lib\\b.dll"}}));
    // Temporaries of replacing writes the kill cut short, in both platforms'
    // forms, and names that only look alike.
    const std::vector<std::string> leftovers = {"lib/a.dll.tmp-Q1w2E3",
                                                "core/zntr.exe.tmp-4120-3-99812",
                                                "core/cache/install.journal.tmp-x7Yz0P"};
    const std::vector<std::string> others = {"lib/a.dll.tmp-notours", "lib/c.dll.tmp-Q1w2E3",
                                             "lib/a.dll.tmp-12-34"};
    for (const auto& name : leftovers) tmp.write("inst dir/" + name, "cut");
    for (const auto& name : others) tmp.write("inst dir/" + name, "mine");

    znt::RecoveryResult r = znt::RecoverInterruptedInstall(installFolder, files);

    EXPECT_EQ(r.placed, std::vector<std::string>{installFolder + "\\lib\\a.dll"});
    EXPECT_EQ(r.leftOld, (std::vector<znt::NotRecovered>{
                             {installFolder + "\\core\\zntr.exe", znt::kReasonNewCopyInCache},
                             {installFolder + "\\lib\\b.dll", znt::kReasonNewCopyLost}}));
    EXPECT_EQ(ReadFile(Installed("lib/a.dll")), "new a");
    EXPECT_FALSE(fs::exists(Installed("gone.txt")));  // placed before the cut
    EXPECT_EQ(ReadFile(Installed("core/zntr.exe")), "old exe");
    EXPECT_EQ(ReadFile(Installed("lib/b.dll")), "old b");
    // Where the next start's self-update picks the program up.
    EXPECT_EQ(CacheEntries(), std::vector<std::string>{"zntr.exe"});
    EXPECT_EQ(ReadFile(Installed("core/cache/zntr.exe")), "new exe");
    for (const auto& name : leftovers) EXPECT_FALSE(fs::exists(Installed(name))) << name;
    for (const auto& name : others) EXPECT_TRUE(fs::exists(Installed(name))) << name;

    // A kill inside the journal's own write leaves only its temporary.
    tmp.write("inst dir/core/cache/install.journal.tmp-AAAAAA", "cut");
    EXPECT_TRUE(znt::RecoveryNeeded(installFolder));
    znt::RecoverInterruptedInstall(installFolder, files);
    EXPECT_EQ(CacheEntries(), std::vector<std::string>{"zntr.exe"});
}

}  // namespace
