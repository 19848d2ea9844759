// A real UPDATE /QUIET of many files, killed with SIGKILL at many points of
// its run (fetching, staging, placing), then started again: at every kill
// each file is wholly old or wholly new, and the next start finishes.

#include "catalogue/CatalogueWriter.h"
#include "install/InstallJournal.h"
#include "support/AppFakes.h"
#include "support/ChildProcess.h"
#include "support/HttpServerProcess.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testsupport::ChildProcess;
using testsupport::ReadFile;
using testsupport::TempDir;

constexpr int kFiles = 120;

std::string Name(int i) { return "f" + std::to_string(1000 + i) + ".txt"; }
std::string OldContent(int i) { return "old " + std::to_string(i); }
std::string NewContent(int i) { return "new " + std::to_string(i) + std::string(400, 'n'); }

class CrashRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "the update server of this test is nginx, a Linux program";
#endif
        const std::string stage = apptest::BuildFolder() + "/stage";
        if (!fs::exists(stage + "/core/zntr.exe")) GTEST_SKIP() << "no staged build";
        fs::copy(stage, inst, fs::copy_options::recursive);
        Publish();
    }

    // One package of kFiles small files, each in an archive of its own.
    void Publish() {
        fs::create_directories(tree.file("ovw2010/files"));
        znt::Packages catalogue;
        znt::PackageEntry& p = catalogue.entries.emplace_back();
        p.NameEnglish = p.NameGreek = "Many files";
        p.Code = 1;
        for (int i = 0; i < kFiles; ++i) {
            std::string zip = archivetest::WriteZip(tree.file("ovw2010/files/" + Name(i) + ".zip"),
                                                    {{Name(i), NewContent(i)}});
            znt::PackageFileEntry& f = p.Files.emplace_back();
            f.FileName = "data\\" + Name(i);
            f.CheckMode = 1;
            f.SizeBytes = static_cast<std::int32_t>(NewContent(i).size());
            f.ArchiveName = Name(i) + ".zip";
            f.ArchiveSize = static_cast<std::int32_t>(fs::file_size(zip));
            p.SizeBytes += f.SizeBytes;
        }
        p.FileCount = kFiles;
        std::string bytes, error;
        ASSERT_TRUE(znt::FormatCatalogue(catalogue, bytes, error)) << error;
        tree.write("ovw2010/packages.dat", bytes);
    }

    void InstallOldFiles() {
        fs::remove_all(inst + "/core/cache");
        fs::create_directories(inst + "/core/cache");
        fs::create_directories(inst + "/data");
        for (int i = 0; i < kFiles; ++i) std::ofstream(Data(i), std::ios::binary) << OldContent(i);
    }
    std::string Data(int i) const { return inst + "/data/" + Name(i); }
    std::string Journal() const { return inst + "/core/cache/" + znt::kJournalName; }

    std::unique_ptr<ChildProcess> Start() {
        return std::make_unique<ChildProcess>(inst + "/core/zntr.exe", args, logs.file("out.txt"),
                                              logs.file("err.txt"));
    }
    // Waits until the journal is there or the program ended.
    void AwaitJournal(ChildProcess& p) {
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!fs::exists(Journal()) && p.Wait(std::chrono::seconds(0)) < 0 &&
               Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    // The number of new files; a failure for any file neither old nor new.
    int CountNew(const std::string& when) {
        int fresh = 0;
        for (int i = 0; i < kFiles; ++i) {
            std::string now = ReadFile(Data(i));
            if (now == NewContent(i)) {
                ++fresh;
            } else {
                EXPECT_EQ(now, OldContent(i)) << when << ": " << Name(i);
            }
        }
        return fresh;
    }

    TempDir root;  // holds the installation
    std::string inst = root.path() + "/inst";
    TempDir tree;
    TempDir logs;
    std::vector<std::string> args;
};

TEST_F(CrashRecoveryTest, KilledAtAnyPointEveryFileIsOldOrNewAndTheNextStartFinishes) {
    testsupport::HttpServerProcess server(tree.path(), logs);
    ASSERT_TRUE(server.Ready());
    args = {"UPDATE", "/QUIET", "/ENG", "/SERVER=" + server.Url()};
    // One whole run tells where the journal appears and when the run ends.
    InstallOldFiles();
    const auto started = Clock::now();
    auto calibration = Start();
    AwaitJournal(*calibration);
    const auto journalAfter = Clock::now() - started;
    ASSERT_EQ(calibration->Wait(), 0) << ReadFile(logs.file("err.txt"));
    const auto placing = Clock::now() - started - journalAfter;
    EXPECT_EQ(CountNew("whole run"), kFiles);

    // Two kills while fetching and staging, then nine spread over the placing.
    std::vector<Clock::duration> beforeJournal = {journalAfter / 3, journalAfter * 9 / 10};
    int cutMidway = 0;
    for (int kill = 0; kill < 11; ++kill) {
        InstallOldFiles();
        auto run = Start();
        if (kill < 2) {
            std::this_thread::sleep_for(beforeJournal[kill]);
        } else {
            AwaitJournal(*run);
            std::this_thread::sleep_for(placing * (kill - 2) / 8);
        }
        run.reset();  // SIGKILL
        const std::string when = "kill " + std::to_string(kill);
        const bool journal = fs::exists(Journal());
        const int fresh = CountNew(when);
        if (fresh > 0 && fresh < kFiles) ++cutMidway;

        auto again = Start();
        // Recovery leaves nothing to do; a run killed before it had a journal starts over.
        EXPECT_EQ(again->Wait(), journal || fresh == kFiles ? 4 : 0) << when;
        const std::string out = ReadFile(logs.file("out.txt"));
        if (journal && fresh < kFiles) {
            EXPECT_NE(out.find("RECOVERED\tdata\\"), std::string::npos) << when;
        }
        EXPECT_EQ(CountNew(when + ", then a start"), kFiles);
        EXPECT_FALSE(fs::exists(Journal())) << when;
        EXPECT_FALSE(fs::exists(inst + "/core/cache/pending")) << when;
    }
    RecordProperty("killsWhilePlacing", cutMidway);
    EXPECT_GT(cutMidway, 0) << "no kill landed while files were placed";
}

}  // namespace
