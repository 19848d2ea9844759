// UPDATE /QUIET and UNINSTALL /QUIET as real processes on a staged
// installation, against a real HTTP server process on loopback serving a
// published tree.

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/InstanceLock.h"
#include "catalogue/CatalogueWriter.h"
#include "support/AppFakes.h"
#include "support/ChildProcess.h"
#include "support/HttpServerProcess.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace {

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::HttpServerProcess;
using testsupport::ReadFile;
using testsupport::TempDir;

class QuietModesTest : public ::testing::Test {
protected:
    void SetUp() override {
        demo = apptest::BuildFolder() + "/demo";
        const std::string stage = apptest::BuildFolder() + "/stage";
        if (!fs::exists(demo + "/server/ovw2010/packages.dat") ||
            !fs::exists(stage + "/core/zntr.exe")) {
            GTEST_SKIP() << "no staged build or demo tree";
        }
        fs::copy(stage, inst, fs::copy_options::recursive);
    }
    std::string File(const std::string& relative) const { return inst + "/" + relative; }
    void Write(const std::string& relative, const std::string& bytes) {
        fs::create_directories(fs::path(File(relative)).parent_path());
        std::ofstream(File(relative), std::ios::binary) << bytes;
    }
    // Runs the installed program; its output is kept in out and err.
    int Run(const std::vector<std::string>& args) {
        ChildProcess p(File("core/zntr.exe"), args, logs.file("out.txt"),
                       logs.file("err.txt"));
        int code = p.Wait();
        out = ReadFile(logs.file("out.txt"));
        err = ReadFile(logs.file("err.txt"));
        return code;
    }

    std::string demo;
    TempDir root;  // holds the installation, so that nothing may appear beside it
    std::string inst = root.path() + "/inst";
    TempDir logs;
    std::string out, err;
};

TEST_F(QuietModesTest, UpdateInstallsThePayloadThenHasNothingToDoAndPutsBackAChangedFile) {
    HttpServerProcess server(demo + "/server", logs);
    ASSERT_TRUE(server.Ready());
    const std::string serverSwitch = "/SERVER=" + server.Url();
    ASSERT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 0) << err;
    for (const auto& entry : fs::recursive_directory_iterator(demo + "/payload")) {
        if (!entry.is_regular_file()) continue;
        std::string relative = fs::relative(entry.path(), demo + "/payload").string();
        EXPECT_EQ(ReadFile(File(relative)), ReadFile(entry.path().string())) << relative;
    }
    EXPECT_NE(out.find("INSTALLED\tbin\\frame.exe\n"), std::string::npos) << out;
    // Archive, length, then the archive's rate and the run's time left.
    EXPECT_TRUE(std::regex_search(
        out, std::regex("FETCHED\t\\S+\t\\d+\t(\\d+ KB/s|\\d+\\.\\d MB/s|-)\t(\\d+:\\d\\d|-)\n")))
        << out;
    EXPECT_TRUE(fs::is_empty(File("core/cache")));
    const std::string log = ReadFile(File("core/zntr.log"));
    EXPECT_NE(log.find("\tSTART\tUPDATE\t" + server.Url() + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\tINSTALLED\tbin\\frame.exe\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\tEND\tFINISHED\t0\n"), std::string::npos) << log;

    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 4) << err;
    EXPECT_EQ(out, "");

    std::string original = ReadFile(File("bin/sections.dat"));
    Write("bin/sections.dat", "changed by hand");
    EXPECT_EQ(Run({"UPDATE", "/QUIET", serverSwitch}), 0) << err;
    EXPECT_EQ(ReadFile(File("bin/sections.dat")), original);
    EXPECT_NE(out.find("INSTALLED\tbin\\sections.dat"), std::string::npos) << out;
}

TEST_F(QuietModesTest, HostileCatalogueAndArchiveWriteNothingOutsideTheInstallation) {
    TempDir tree;
    fs::create_directories(tree.file("ovw2010/files"));
    znt::Packages hostile;
    auto add = [&](const std::string& fileName, const std::string& archive,
                   const std::vector<archivetest::Member>& members) {
        std::string zip = archivetest::WriteZip(tree.file("ovw2010/files/" + archive), members);
        znt::PackageEntry& p = hostile.entries.emplace_back();
        p.NameEnglish = p.NameGreek = "Hostile " + archive;
        p.Code = static_cast<std::int32_t>(hostile.entries.size());
        znt::PackageFileEntry& f = p.Files.emplace_back();
        f.FileName = fileName;
        f.CheckMode = 1;
        f.SizeBytes = 5;
        f.ArchiveSize = static_cast<std::int32_t>(ov::FileLength(zip).value_or(0));
        f.ArchiveName = archive;
        p.FileCount = 1;
    };
    add("..\\outside.txt", "outside.txt.zip", {{"outside.txt", "owned"}});
    add(root.file("absolute.txt"), "absolute.txt.zip", {{"absolute.txt", "owned"}});
    add("bin\\ok.txt", "ok.txt.zip", {{"../../escape.txt", "owned"}, {"/tmp/zntr-escape.txt", "owned"}});
    std::string bytes, error;
    ASSERT_TRUE(znt::FormatCatalogue(hostile, bytes, error)) << error;
    tree.write("ovw2010/packages.dat", bytes);
    HttpServerProcess server(tree.path(), logs);
    ASSERT_TRUE(server.Ready());

    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", "/SERVER=" + server.Url()}), 5) << err;
    EXPECT_NE(out.find("NOT-INSTALLED\tbin\\ok.txt"), std::string::npos) << out;
    EXPECT_EQ(out.find("outside.txt"), std::string::npos) << out;
    // The run ends as a failure on standard error too, pointing at the log.
    EXPECT_EQ(err.find("The installation has finished."), std::string::npos) << err;
    EXPECT_NE(err.find("one file was not installed. The install log " + File("core/zntr.log")),
              std::string::npos)
        << err;
    for (const std::string& stray : {root.file("outside.txt"), root.file("absolute.txt"),
                                     root.file("escape.txt"), File("escape.txt"),
                                     std::string("/tmp/zntr-escape.txt")}) {
        EXPECT_FALSE(fs::exists(stray)) << stray;
    }
}

TEST_F(QuietModesTest, UninstallRemovesOnlyNamedInstalledPackagesWithClearStatuses) {
    Write("help/gr/frame.htm", "x");
    Write("help/gr/units.htm", "y");
    Write("bin/units.dll", "old units");
    const std::string source = "/SOURCE=" + demo + "/cd";
    EXPECT_EQ(Run({"UNINSTALL", "/QUIET", source}), 2);
    EXPECT_NE(err.find("/PACKAGE="), std::string::npos);
    EXPECT_EQ(Run({"UNINSTALL", "/QUIET", "/PACKAGE=10", source}), 4) << err;  // not installed
    EXPECT_EQ(Run({"UNINSTALL", "/QUIET", "/PACKAGE=30", "/LOG=", source}), 2);
    const std::string logFile = logs.file("removal log.txt");
    const std::string logSwitch = "/LOG=" + logFile;
    EXPECT_EQ(Run({"UNINSTALL", "/QUIET", "/PACKAGE=30,99", "/ENG", logSwitch, source}), 0) << err;
    EXPECT_EQ(out, "REMOVED\thelp\\gr\\frame.htm\nREMOVED\thelp\\gr\\units.htm\n");
    const std::string log = ReadFile(logFile);
    for (const char* line : {"\tSTART\tUNINSTALL\t", "\tREMOVED\thelp\\gr\\frame.htm\n",
                             "\tREMOVED\thelp\\gr\\units.htm\n", "\tEND\tFINISHED\t0\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << " in " << log;
    }
    EXPECT_FALSE(fs::exists(File("core/zntr.log")));  // written to the named file only
    EXPECT_FALSE(fs::exists(File("help")));  // the emptied folders went too
    EXPECT_EQ(ReadFile(File("bin/units.dll")), "old units");
}

TEST_F(QuietModesTest, ARunningCopyOnTheInstallationIsNotDisturbed) {
    ov::InstanceLock window;
    ASSERT_TRUE(window.TryAcquire(inst));
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", "/SOURCE=" + demo + "/cd"}), 7);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(Run({"UNINSTALL", "/QUIET", "/PACKAGE=30", "/SOURCE=" + demo + "/cd"}), 7);
}

}  // namespace
