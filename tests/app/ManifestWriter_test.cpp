#include "OVShared/Modules/ManifestWriter.h"

#include "OVShared/Platform/RegistryStore.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

TEST(ManifestVersionCode, FollowsTheVersionRecord) {
    using ov::kPlatformNT;
    using ov::kPlatformWin9x;
    EXPECT_EQ(ov::VersionCodeFor(kPlatformNT, 5, 1), 6);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformNT, 5, 0), 5);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformNT, 4, 0), 4);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformNT, 4, 10), 4);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformWin9x, 4, 90), 3);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformWin9x, 4, 10), 2);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformWin9x, 5, 0), 2);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformWin9x, 4, 0), 1);
    // Every NT after XP, old 9x and unknown platforms.
    EXPECT_EQ(ov::VersionCodeFor(kPlatformNT, 5, 2), 0);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformNT, 6, 1), 0);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformNT, 10, 0), 0);
    EXPECT_EQ(ov::VersionCodeFor(kPlatformWin9x, 3, 95), 0);
    EXPECT_EQ(ov::VersionCodeFor(0, 5, 1), 0);
#ifndef _WIN32
    EXPECT_EQ(ov::WindowsVersionCode(), 0);
#endif
}

TEST(ManifestFile, HasSixteenCrLfLinesNamingTheProgram) {
    std::string text = ov::ManifestText();
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "unterminated last line";
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[0], R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)");
    EXPECT_EQ(
        lines[2],
        R"(<assemblyIdentity version="1.0.0.0" processorArchitecture="x86" name="zntr.exe" type="Win32" />)");
    EXPECT_EQ(lines[11], R"(<requestedExecutionLevel level="requireAdministrator" />)");
    EXPECT_EQ(lines[15], "</assembly>");
    for (const auto& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(ManifestFile, IsWrittenBesideTheProgramUnderItsBaseName) {
    TempDir dir;
    std::string program = dir.path() + "\\core\\Other.EXE";
    EXPECT_EQ(ov::ProgramBaseName(program), "Other");
    EXPECT_EQ(ov::ManifestPath(program), dir.path() + "\\core\\Other.exe.MANIFEST");

    EXPECT_FALSE(ov::ManifestExists(program));
    EXPECT_FALSE(ov::WriteManifest(program)) << "the core folder does not exist yet";
    dir.write("core/Other.EXE", "program");
    ASSERT_TRUE(ov::WriteManifest(program));
    EXPECT_TRUE(ov::ManifestExists(program));
    EXPECT_EQ(ReadFile(dir.file("core/Other.exe.MANIFEST")), ov::ManifestText());
}

// What one EnsureManifest run did to the world around it.
struct ManifestRun {
    ManifestRun(int code_, bool existed_, bool writeWorks_ = true, bool restartWorks_ = true)
        : code(code_), existed(existed_), writeWorks(writeWorks_), restartWorks(restartWorks_) {}

    int code;
    bool existed;
    bool writeWorks;
    bool restartWorks;

    int writes = 0;
    int inits = 0;
    std::vector<std::string> canRun;
    std::vector<std::string> restarts;
    int shown = 0;
    int result = -1;

    ManifestRun& Go() {
        ov::ManifestPlatform p;
        p.versionCode = [this] { return code; };
        p.manifestExists = [this](std::string_view) { return existed; };
        p.writeManifest = [this](std::string_view) {
            ++writes;
            return writeWorks;
        };
        p.initCommonControls = [this] { ++inits; };
        p.restart = [this](std::string_view path) {
            restarts.emplace_back(path);
            return restartWorks;
        };
        p.storeCanRun = [this](std::string_view, std::string_view v) { canRun.emplace_back(v); };
        result = ov::EnsureManifest(
            "C:\\ovw\\core\\zntr.exe", p,
            [this] {
                ++shown;
                return 7;
            },
            99);
        return *this;
    }
};

TEST(EnsureManifest, VersionsUpToWindows2000NeitherWriteNorRestart) {
    for (int code = 0; code <= 5; ++code) {
        for (bool existed : {false, true}) {
            ManifestRun r{code, existed};
            r.Go();
            SCOPED_TRACE("code " + std::to_string(code) + (existed ? " with" : " without"));
            EXPECT_EQ(r.writes, 0);
            EXPECT_EQ(r.inits, 0);
            EXPECT_TRUE(r.restarts.empty());
            EXPECT_TRUE(r.canRun.empty());
            EXPECT_EQ(r.shown, 1);
            EXPECT_EQ(r.result, 7);
        }
    }
}

TEST(EnsureManifest, NewManifestOnXpRestartsAndEnds) {
    ManifestRun r{6, false};
    r.Go();
    EXPECT_EQ(r.writes, 1);
    EXPECT_EQ(r.inits, 1);
    EXPECT_EQ(r.canRun, std::vector<std::string>{"YES"});
    ASSERT_EQ(r.restarts.size(), 1u);
    EXPECT_EQ(r.shown, 0);
    EXPECT_EQ(r.result, 99);
}

TEST(EnsureManifest, ExistingManifestOnXpIsRewrittenWithoutRestart) {
    ManifestRun r{6, true};
    r.Go();
    EXPECT_EQ(r.writes, 1);
    EXPECT_EQ(r.inits, 1);
    EXPECT_TRUE(r.restarts.empty());
    EXPECT_TRUE(r.canRun.empty());
    EXPECT_EQ(r.shown, 1);
}

TEST(EnsureManifest, FailedWriteCountsAsExisting) {
    ManifestRun r{6, false, false};
    r.Go();
    EXPECT_EQ(r.writes, 1);
    EXPECT_EQ(r.inits, 0);
    EXPECT_TRUE(r.restarts.empty());
    EXPECT_TRUE(r.canRun.empty());
    EXPECT_EQ(r.shown, 1);
}

TEST(EnsureManifest, FailedRestartLeavesCanRunNoAndShowsTheWindow) {
    ManifestRun r{6, false, true, false};
    r.Go();
    EXPECT_EQ(r.canRun, (std::vector<std::string>{"YES", "NO"}));
    EXPECT_EQ(r.restarts.size(), 1u);
    EXPECT_EQ(r.shown, 1);
    EXPECT_EQ(r.result, 7);
}

TEST(EnsureManifest, SystemPiecesStoreCanRunPerUser) {
    TempDir dir;
    testsupport::TestStoreLocation storeAt{dir};
    ov::RegistryStore store(storeAt.path());
    auto platform = ov::ManifestPlatform::System(store);
    platform.storeCanRun("C:\\ovw\\core\\zntr.exe", "NO");
    EXPECT_EQ(store.QueryString(ov::AppSettingsKey("zntr", "Settings"), "CanRun"), "NO");
}

}  // namespace
