#include "install/InstallJournal.h"

#include "InstallFixture.h"
#include "install/InstallRun.h"

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
            EXPECT_TRUE(now == content || (olds.count(relative) ? now == olds.at(relative) : !present))
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
    ASSERT_TRUE(znt::WriteJournal(c.cacheFolder, {{"pending\\zntr.exe.zip\\zntr.exe", "core\\zntr.exe"},
                                                  {"pending\\gone.zip\\gone", "gone.txt"},
                                                  {"pending\\a.zip\\a", "lib\\a.dll"},
                                                  {"pending\\b.zip\\b", "lib\\b.dll"}}));
    // Temporaries of replacing writes the kill cut short, in both platforms'
    // forms, and names that only look alike.
    const std::vector<std::string> leftovers = {"lib/a.dll.tmp-Q1w2E3", "core/zntr.exe.tmp-4120-3-99812",
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
