#include "OVShared/Modules/modOVCoreFunctions.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

using ov::DeleteFileForced;
using ov::FileExists;
using ov::UsableFolder;
using testsupport::MakeReadOnly;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(FileExists, TrueOnlyForAFileThatOpensForReading) {
    TempDir dir;
    dir.write("core/zntr.exe", "MZ");
    dir.write("empty.txt", "");
    EXPECT_TRUE(FileExists(dir.file("core/zntr.exe")));
    EXPECT_TRUE(FileExists(dir.path() + "\\CORE\\ZNTR.EXE"));  // "\" and any case
    EXPECT_TRUE(FileExists(dir.file("empty.txt")));
    EXPECT_FALSE(FileExists(dir.file("core")));  // a folder
    EXPECT_FALSE(FileExists(dir.file("missing")));
    EXPECT_FALSE(FileExists(""));
}

TEST(UsableFolder, AnEmptyFolderGivesTheApplicationFolderWithoutTouchingTheDisk) {
    EXPECT_EQ(UsableFolder("", "/no/such/app"), "/no/such/app");
}

TEST(UsableFolder, AWritableFolderIsKeptAndTheProbeIsGone) {
    TempDir dir;
    std::string folder = dir.path() + "\\temp";
    fs::create_directory(dir.file("temp"));
    EXPECT_EQ(UsableFolder(folder, "/app"), folder);
    EXPECT_TRUE(Names(dir.file("temp")).empty());
}

TEST(UsableFolder, AFolderWhereNoFileCanBeCreatedGivesTheApplicationFolder) {
    TempDir dir;
    dir.write("plain-file", "x");
    EXPECT_EQ(UsableFolder(dir.file("missing/folder"), "/app"), "/app");
    EXPECT_EQ(UsableFolder(dir.file("plain-file"), "/app"), "/app");
    EXPECT_FALSE(fs::exists(dir.file("missing")));
#ifndef _WIN32               // a read-only attribute does not keep files out of a Windows folder
    if (::geteuid() != 0) {  // root writes anywhere
        fs::create_directory(dir.file("locked"));
        ::chmod(dir.file("locked").c_str(), 0555);
        EXPECT_EQ(UsableFolder(dir.file("locked"), "/app"), "/app");
    }
#endif
}

TEST(DeleteFileForced, APatternEmptiesTheFolderButKeepsSubFolders) {
    TempDir dir;
    dir.write("cache/a.zip", "1");
    dir.write("cache/noext", "2");
    std::string readOnly = dir.write("cache/zntr.exe", "3");
    MakeReadOnly(readOnly);
    dir.write("cache/sub/inner.txt", "4");
    DeleteFileForced(dir.path() + "\\cache\\*.*");
    EXPECT_EQ(Names(dir.file("cache")), std::vector<std::string>{"sub"});
    EXPECT_TRUE(fs::exists(dir.file("cache/sub/inner.txt")));
}

TEST(DeleteFileForced, APatternSelectsNamesWithoutRegardToCase) {
    TempDir dir;
    dir.write("f/one.TMP", "");
    dir.write("f/two.tmp", "");
    dir.write("f/keep.txt", "");
    DeleteFileForced(dir.file("f") + "\\*.tmp");
    EXPECT_EQ(Names(dir.file("f")), std::vector<std::string>{"keep.txt"});
}

TEST(DeleteFileForced, APlainPathDeletesThatFileEvenWhenReadOnly) {
    TempDir dir;
    std::string file = dir.write("core/cache/mess.txt", "KILL ALL\r\n");
    MakeReadOnly(file);
    dir.write("core/cache/other.txt", "");
    DeleteFileForced(dir.path() + "\\core\\cache\\mess.txt");
    EXPECT_EQ(Names(dir.file("core/cache")), std::vector<std::string>{"other.txt"});
}

TEST(DeleteFileForced, IgnoresFoldersMissingFilesAndBadPatterns) {
    TempDir dir;
    dir.write("keep/file.txt", "");
    MakeReadOnly(dir.file("keep"));
    auto folderPermissions = fs::status(dir.file("keep")).permissions();
    DeleteFileForced(dir.file("keep"));
    DeleteFileForced(dir.file("missing.txt"));
    DeleteFileForced(dir.file("no-folder") + "\\*.*");
    DeleteFileForced("");
    EXPECT_TRUE(fs::exists(dir.file("keep/file.txt")));
    EXPECT_EQ(fs::status(dir.file("keep")).permissions(), folderPermissions);
}

#ifndef _WIN32  // links need a privilege on Windows
TEST(DeleteFileForced, RemovesALinkButNotWhatItPointsTo) {
    TempDir dir, outside;
    std::string target = outside.write("precious.txt", "keep");
    ::chmod(target.c_str(), 0400);
    fs::create_directory(dir.file("cache"));
    fs::create_symlink(target, dir.file("cache/link.txt"));
    DeleteFileForced(dir.file("cache") + "\\*.*");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("cache/link.txt"))));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read);
}
#endif
