// UPDATE /QUIET and UNINSTALL /QUIET as real processes on a staged
// installation, against a real HTTP server process on loopback serving a
// published tree.

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/InstanceLock.h"
#include "catalogue/CatalogueWriter.h"
#include "support/AppFakes.h"
#include "support/ChildProcess.h"
#include "catalogue/Signature.h"
#include "support/DeltaBuilder.h"
#include "support/Env.h"
#include "support/HttpServerProcess.h"
#include "support/LoopbackServer.h"
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

class UnattendedModesTest : public ::testing::Test {
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
        ChildProcess p(File("core/zntr.exe"), args, logs.file("out.txt"), logs.file("err.txt"));
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

TEST_F(UnattendedModesTest, UpdateInstallsThePayloadThenHasNothingToDoAndPutsBackAChangedFile) {
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
    // Of the cache only the catalogue kept for the next poll is left.
    for (const auto& entry : fs::directory_iterator(File("core/cache"))) {
        EXPECT_EQ(entry.path().filename(), "catalogue");
    }
    EXPECT_EQ(ReadFile(File("core/cache/catalogue/packages.dat")),
              ReadFile(demo + "/server/ovw2010/packages.dat"));
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

TEST_F(UnattendedModesTest, HostileCatalogueAndArchiveWriteNothingOutsideTheInstallation) {
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
    add("bin\\ok.txt", "ok.txt.zip",
        {{"../../escape.txt", "owned"}, {"/tmp/zntr-escape.txt", "owned"}});
    std::string bytes, error;
    ASSERT_TRUE(znt::FormatCatalogue(hostile, bytes, error)) << error;
    tree.write("ovw2010/packages.dat", bytes);
    HttpServerProcess server(tree.path(), logs);
    ASSERT_TRUE(server.Ready());

    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", "/SERVER=" + server.Url()}), 5) << err;
    EXPECT_NE(out.find("NOT-INSTALLED\tbin\\ok.txt\tunsafe member name\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("SKIPPED\t..\\outside.txt\tunsafe name\n"), std::string::npos) << out;
    // The run ends as a failure on standard error too, pointing at the log.
    EXPECT_EQ(err.find("The installation has finished."), std::string::npos) << err;
    EXPECT_NE(err.find("one file was not installed. The install log " + File("core/zntr.log")),
              std::string::npos)
        << err;
    for (const std::string& stray :
         {root.file("outside.txt"), root.file("absolute.txt"), root.file("escape.txt"),
          File("escape.txt"), std::string("/tmp/zntr-escape.txt")}) {
        EXPECT_FALSE(fs::exists(stray)) << stray;
    }

    // Only refused files left: a failure with their lines, never "up to date".
    hostile.entries.pop_back();
    ASSERT_TRUE(znt::FormatCatalogue(hostile, bytes, error)) << error;
    tree.write("ovw2010/packages.dat", bytes);
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", "/SERVER=" + server.Url()}), 5) << err;
    EXPECT_EQ(out, "SKIPPED\t..\\outside.txt\tunsafe name\nSKIPPED\t" + root.file("absolute.txt") +
                       "\tunsafe name\n");
    EXPECT_EQ(err.find("up to date"), std::string::npos) << err;
    EXPECT_NE(ReadFile(File("core/zntr.log")).find("\tSKIPPED\t..\\outside.txt\tunsafe name\n"),
              std::string::npos);
}

TEST_F(UnattendedModesTest, FailuresEndTheirLineWithTheReasonInTheReportAndTheLog) {
    TempDir tree;
    fs::create_directories(tree.file("ovw2010/files"));
    HttpServerProcess server(tree.path(), logs);
    ASSERT_TRUE(server.Ready());
    const std::string serverSwitch = "/SERVER=" + server.Url();
    const std::string refused =
        "/SERVER=http://127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", refused}), 1);
    EXPECT_NE(err.find("\nUPDATE: connection refused\n"), std::string::npos) << err;
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 1);
    EXPECT_NE(err.find("\nUPDATE: HTTP 404\n"), std::string::npos) << err;

    znt::Packages packages;
    auto add = [&](const std::string& name, const std::vector<archivetest::Member>& members,
                   std::int32_t size, std::int32_t archiveExtra = 0) {
        const std::string path = tree.file("ovw2010/files/" + name + ".zip");
        std::int64_t length = 0;
        if (!members.empty()) length = *ov::FileLength(archivetest::WriteZip(path, members));
        znt::PackageEntry& p = packages.entries.emplace_back();
        p.NameEnglish = p.NameGreek = name;
        p.Code = static_cast<std::int32_t>(packages.entries.size());
        znt::PackageFileEntry& f = p.Files.emplace_back();
        f.FileName = "bin\\" + name;
        f.CheckMode = 1;
        f.SizeBytes = size;
        f.ArchiveName = name + ".zip";
        f.ArchiveSize = static_cast<std::int32_t>(length) + archiveExtra;
        p.FileCount = 1;
    };
    add("bz.dll", {archivetest::Member("bz.dll", "BZh9").Method(12)}, 4);
    add("big.dat", {{"big.dat", std::string(1 << 20, 'b')}}, 12);
    add("cut.dat", {{"cut.dat", "cut"}}, 3, 6);
    add("gone.dat", {}, 3, 100);
    std::string bytes, error;
    ASSERT_TRUE(znt::FormatCatalogue(packages, bytes, error)) << error;
    tree.write("ovw2010/packages.dat", bytes);
    const std::int64_t cut = *ov::FileLength(tree.file("ovw2010/files/cut.dat.zip"));

    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 5) << err;
    // The log keeps its columns (a FAILED archive's bytes and time) and appends the reason.
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"FAILED\tcut.dat.zip",
         "length " + std::to_string(cut) + ", expected " + std::to_string(cut + 6)},
        {"FAILED\tgone.dat.zip", "HTTP 404"},
        {"NOT-INSTALLED\tbin\\bz.dll", "unsupported compression method 12 (bzip2)"},
        {"NOT-INSTALLED\tbin\\big.dat", "length 1048576, expected at most 12"}};
    const std::string log = ReadFile(File("core/zntr.log"));
    for (const auto& [line, reason] : lines) {
        EXPECT_NE(out.find(line + "\t" + reason + "\n"), std::string::npos) << line << "\n" << out;
        const size_t at = log.find("\t" + line + "\t");
        const std::string logged =
            at == std::string::npos ? "" : log.substr(at + 1, log.find('\n', at) - at - 1);
        EXPECT_TRUE(logged.ends_with("\t" + reason)) << line << "\n" << log;
    }
    EXPECT_FALSE(fs::exists(File("bin/big.dat")));
    for (const auto& entry : fs::directory_iterator(File("core/cache"))) {
        EXPECT_EQ(entry.path().filename(), "catalogue");
    }
}

TEST_F(UnattendedModesTest, UninstallRemovesOnlyNamedInstalledPackagesWithClearStatuses) {
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
    EXPECT_FALSE(fs::exists(File("help")));           // the emptied folders went too
    EXPECT_EQ(ReadFile(File("bin/units.dll")), "old units");
}

TEST_F(UnattendedModesTest, ARunningCopyOfAnySessionOrNoLockAtAllStopsTheRun) {
    TempDir sessionA, sessionB;
    ov::InstanceLock window;
    {
        testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", sessionA.path());
        ASSERT_TRUE(window.TryAcquire(inst));
    }
    testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", sessionB.path());  // another user's session
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", "/SOURCE=" + demo + "/cd"}), 7);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(Run({"UNINSTALL", "/QUIET", "/PACKAGE=30", "/SOURCE=" + demo + "/cd"}), 7);

    window.Release();
    fs::remove(File("core/zntr.lock"));
    fs::create_directories(File("core/zntr.lock"));
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", "/SOURCE=" + demo + "/cd"}), 7);
    EXPECT_NE(err.find("could not be locked"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(File("bin/frame.exe")));
}

TEST_F(UnattendedModesTest, ANamedLogThatCannotBeWrittenRefusesTheRunTheDefaultOneWarns) {
    const std::string source = "/SOURCE=" + demo + "/cd";
    fs::create_directories(logs.file("a folder"));
    for (const std::string& log :
         {logs.file("a folder"), logs.file("missing/zntr.log"), std::string("/dev/full")}) {
        EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", "/LOG=" + log, source}), 2) << log;
        EXPECT_NE(err.find("cannot be written"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(Run({"UNINSTALL", "/QUIET", "/PACKAGE=30", "/LOG=/dev/full", source}), 2);
    EXPECT_FALSE(fs::exists(File("bin/frame.exe")));
    EXPECT_FALSE(fs::exists(File("core/zntr.log")));

    fs::create_directories(File("core/zntr.log"));
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", source}), 0) << err;
    EXPECT_NE(err.find("warning: the log core\\zntr.log cannot be written (is a folder)"),
              std::string::npos)
        << err;
    EXPECT_TRUE(fs::exists(File("bin/frame.exe")));
}

}  // namespace

TEST_F(UnattendedModesTest, UpdateRebuildsAFileFromItsDeltaAndFallsBackToTheArchiveQuietly) {
    TempDir tree;
    fs::create_directories(tree.file("ovw2010/files"));
    std::string base(300000, '\0');
    for (std::size_t i = 0; i < base.size(); ++i) base[i] = static_cast<char>((i * 7919) >> 5);
    std::string next = base;
    next[1000] = 'x';
    next += "version 2";
    const std::string zip =
        archivetest::WriteZip(tree.file("ovw2010/files/big.dat.zip"), {{"big.dat", next}});
    const std::string delta = deltatest::SimpleDelta(base, next);
    const std::string deltaName = "big.dat.0123456789abcdef.zdelta";
    tree.write("ovw2010/files/" + deltaName, delta);
    tree.write("ovw2010/packages.delta",
               "# result-sha256 result-size base-sha256 delta-file delta-size file-name\n" +
                   znt::Sha256Hex(next) + " " + std::to_string(next.size()) + " " +
                   znt::Sha256Hex(base) + " " + deltaName + " " + std::to_string(delta.size()) +
                   " bin/big.dat\n");
    znt::Packages packages;
    znt::PackageEntry& p = packages.entries.emplace_back();
    p.NameEnglish = p.NameGreek = "Big";
    p.Code = 1;
    p.FileCount = 1;
    znt::PackageFileEntry& f = p.Files.emplace_back();
    f.FileName = "bin\\big.dat";
    f.CheckMode = 1;
    f.SizeBytes = static_cast<std::int32_t>(next.size());
    f.ArchiveName = "big.dat.zip";
    const std::size_t zipSize = *ov::FileLength(zip);
    f.ArchiveSize = static_cast<std::int32_t>(zipSize);
    std::string bytes, error;
    ASSERT_TRUE(znt::FormatCatalogue(packages, bytes, error)) << error;
    tree.write("ovw2010/packages.dat", bytes);
    HttpServerProcess server(tree.path(), logs);
    ASSERT_TRUE(server.Ready());
    const std::string serverSwitch = "/SERVER=" + server.Url();
    auto fetchedBytes = [&](std::size_t size) {
        return "FETCHED\tbig.dat.zip\t" + std::to_string(size) + "\t";
    };

    Write("bin/big.dat", base);
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 0) << err;
    EXPECT_EQ(ReadFile(File("bin/big.dat")), next);
    EXPECT_NE(out.find(fetchedBytes(delta.size())), std::string::npos) << out;
    EXPECT_EQ(out.find("DELTA"), std::string::npos) << out;
    EXPECT_NE(ReadFile(File("core/zntr.log")).find("\tDELTA\tbig.dat.zip\t" + deltaName + "\n"),
              std::string::npos);
    for (const auto& entry : fs::directory_iterator(File("core/cache"))) {
        EXPECT_EQ(entry.path().filename(), "catalogue");
    }
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 4) << out;

    // An altered delta: the archive instead, and only the log says why.
    std::string altered = delta;
    altered[48] = static_cast<char>(altered[48] ^ 1);  // the result's CRC
    tree.write("ovw2010/files/" + deltaName, altered);
    Write("bin/big.dat", base);
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 0) << err;
    EXPECT_EQ(ReadFile(File("bin/big.dat")), next);
    EXPECT_NE(out.find(fetchedBytes(zipSize)), std::string::npos) << out;
    EXPECT_EQ(out.find("DELTA"), std::string::npos) << out;
    EXPECT_NE(ReadFile(File("core/zntr.log"))
                  .find("\tNO-DELTA\tbig.dat.zip\t" + deltaName + ": result checksum differs\n"),
              std::string::npos);

    // A server without an index, and an installed copy no delta starts from.
    fs::remove(tree.file("ovw2010/packages.delta"));
    Write("bin/big.dat", "another copy");
    EXPECT_EQ(Run({"UPDATE", "/QUIET", "/ENG", serverSwitch}), 0) << err;
    EXPECT_EQ(ReadFile(File("bin/big.dat")), next);
    EXPECT_NE(out.find(fetchedBytes(zipSize)), std::string::npos) << out;
}
