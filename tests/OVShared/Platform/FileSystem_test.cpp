#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/SafePath.h"
#include "support/FifoGuard.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

using testsupport::MakeReadOnly;
using testsupport::TempDir;

namespace {

bool IsWritable(const std::string& path) {
    return (std::filesystem::status(path).permissions() & std::filesystem::perms::owner_write) !=
           std::filesystem::perms::none;
}

}  // namespace

TEST(FileNames, AnyCaseAndEitherSeparatorReachTheFile) {
    TempDir dir;
    dir.write("Languages/EN-ZNT.lng", "x");
    EXPECT_EQ(ov::ReadWholeFile(dir.path() + "\\languages/en-znt.LNG"), "x");
    EXPECT_TRUE(ov::IsRegularFile(dir.path() + "/LANGUAGES\\en-znt.lng"));
    EXPECT_TRUE(ov::IsDirectory(dir.path() + "/languages/"));
    EXPECT_EQ(ov::FileLength(dir.path() + "\\LANGUAGES\\En-Znt.lng"), 1u);
    EXPECT_FALSE(ov::FileLength(dir.path() + "\\Languages\\missing.lng"));
}

TEST(FileNames, ALengthReaderAnswersAsFileLengthFolderAfterFolder) {
    TempDir dir;
    dir.write("a/x", "1");
    dir.write("a/sub/y", "22");
    dir.write("B/x", "333");
    const std::string root = dir.path();
    const std::string paths[] = {root + "\\a\\x",      root + "/B/x",     root + "\\b\\X",
                                 root + "\\a/x",       root + "\\a\\sub", root + "\\a\\missing",
                                 root + "\\a\\sub\\y", root + "\\B\\x",   root + "\\none\\x",
                                 root + "\\a\\"};
    ov::FileLengthReader reader;
    for (const std::string& path : paths)
        EXPECT_EQ(reader.Length(path), ov::FileLength(path)) << path;
    EXPECT_EQ(reader.Length(root + "\\B\\x"), 3u);
}

#ifndef _WIN32
// Windows finds names without regard to case itself; NativePath only turns "/" into "\".
TEST(NativePath, ConvertsBackslashesAndFindsNamesWithoutRegardToCase) {
    TempDir dir;
    dir.write("Languages/EN-ZNT.lng", "x");
    EXPECT_EQ(ov::NativePath(dir.path() + "\\languages\\en-znt.LNG"),
              dir.path() + "/Languages/EN-ZNT.lng");
    // A missing tail is kept as given so that new files can be named.
    EXPECT_EQ(ov::NativePath(dir.path() + "\\LANGUAGES\\new\\file.txt"),
              dir.path() + "/Languages/new/file.txt");
}

TEST(NativePath, PrefersTheExactSpellingWhenBothExist) {
    TempDir dir;
    dir.write("Languages/a.lng", "upper");
    dir.write("languages/b.lng", "lower");
    EXPECT_EQ(ov::NativePath(dir.path() + "/languages/b.lng"), dir.path() + "/languages/b.lng");
    EXPECT_EQ(ov::NativePath(dir.path() + "/Languages/a.lng"), dir.path() + "/Languages/a.lng");
}
#endif

TEST(WildcardMatch, FollowsTheShellRules) {
    EXPECT_TRUE(ov::WildcardMatch("*.*", "noext"));
    EXPECT_TRUE(ov::WildcardMatch("*.zip", "A.ZIP"));
    EXPECT_TRUE(ov::WildcardMatch("a?c.txt", "abc.txt"));
    EXPECT_FALSE(ov::WildcardMatch("a?c.txt", "ac.txt"));
    EXPECT_FALSE(ov::WildcardMatch("*.zip", "a.zip.part"));
    EXPECT_TRUE(ov::WildcardMatch("*zip*", "unzip32.dll"));
}

TEST(MatchFiles, ListsFilesButNotFolders) {
    TempDir dir;
    dir.write("c/a.zip", "1");
    dir.write("c/b.dll", "2");
    dir.write("c/sub/x.zip", "3");
    auto all = ov::MatchFiles(dir.path() + "\\c", "*.*");
    EXPECT_EQ(all.size(), 2u);
    auto zips = ov::MatchFiles(dir.path() + "/c/", "*.ZIP");
    ASSERT_EQ(zips.size(), 1u);
    EXPECT_EQ(zips[0], dir.file("c/a.zip"));
}

TEST(FileWrites, CopyAndAtomicWriteReplaceWholeFiles) {
    TempDir dir;
    auto src = dir.write("src.bin", std::string(200000, 'q'));
    auto dst = dir.write("dst.bin", "old");
    ASSERT_TRUE(ov::CopyFileReplacing(src, dst));
    EXPECT_EQ(testsupport::ReadFile(dst), std::string(200000, 'q'));
    EXPECT_FALSE(ov::CopyFileReplacing(dir.file("missing"), dst));
    EXPECT_EQ(ov::FileLength(dst).value_or(0), 200000u);

    ASSERT_TRUE(ov::WriteFileAtomic(dst, "new"));
    EXPECT_EQ(testsupport::ReadFile(dst), "new");
    // No temporary files are left beside the target.
    EXPECT_EQ(ov::MatchFiles(dir.path(), "*tmp*").size(), 0u);
}

TEST(FileWrites, ReadOnlyTargetsAreReplacedAndStayReadOnly) {
    TempDir dir;
    auto src = dir.write("src.bin", "new");
    auto dst = dir.write("dst.bin", "old");
    MakeReadOnly(dst);
    ASSERT_TRUE(ov::CopyFileReplacing(src, dst));
    EXPECT_EQ(testsupport::ReadFile(dst), "new");
    EXPECT_FALSE(IsWritable(dst));
    // A new file takes the source's; an atomic write gives a plain writable file.
    MakeReadOnly(src);
    ASSERT_TRUE(ov::CopyFileReplacing(src, dir.file("fresh.bin")));
    EXPECT_FALSE(IsWritable(dir.file("fresh.bin")));
    ASSERT_TRUE(ov::WriteFileAtomic(dst, "atomic"));
    EXPECT_EQ(testsupport::ReadFile(dst), "atomic");
    EXPECT_TRUE(IsWritable(dst));
}

#ifndef _WIN32
TEST(FileWrites, ACopyKeepsTheModeOfTheFileItReplaces) {
    TempDir dir;
    auto src = dir.write("src.bin", "new");
    auto dst = dir.write("dst.bin", "old");
    // A replaced program stays runnable; a new file takes the source's mode.
    ::chmod(dst.c_str(), 0755);
    ::chmod(src.c_str(), 0600);
    ASSERT_TRUE(ov::CopyFileReplacing(src, dst));
    EXPECT_EQ(std::filesystem::status(dst).permissions(), std::filesystem::perms(0755));
    ASSERT_TRUE(ov::CopyFileReplacing(src, dir.file("fresh.bin")));
    EXPECT_EQ(std::filesystem::status(dir.file("fresh.bin")).permissions(),
              std::filesystem::perms(0600));
}
#endif

TEST(FileWrites, ARenameKeepsTheReplacedFilesModeAndLeavesBothAloneWhenItCannot) {
    TempDir dir;
    auto src = dir.write("src.bin", "new");
    auto dst = dir.write("dst.bin", "old");
#ifndef _WIN32
    ::chmod(dst.c_str(), 0755);
    ::chmod(src.c_str(), 0600);
#endif
    ASSERT_TRUE(ov::MoveFileReplacing(src, dst));
    EXPECT_EQ(testsupport::ReadFile(dst), "new");
    EXPECT_FALSE(std::filesystem::exists(src));
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(dst).permissions(), std::filesystem::perms(0755));
#endif
    MakeReadOnly(dst);
    ASSERT_TRUE(ov::MoveFileReplacing(dir.write("newer.bin", "newer"), dst));
    EXPECT_EQ(testsupport::ReadFile(dst), "newer");
    EXPECT_FALSE(IsWritable(dst));

    // Nothing to move, or a folder in the target's place: both stay as they were.
    EXPECT_FALSE(ov::MoveFileReplacing(dir.file("missing"), dst));
    EXPECT_EQ(testsupport::ReadFile(dst), "newer");
    auto kept = dir.write("kept.bin", "kept");
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_FALSE(ov::MoveFileReplacing(kept, dir.file("folder")));
    EXPECT_EQ(testsupport::ReadFile(kept), "kept");
#ifndef _WIN32
    // Another volume (a RAM disk, where there is one): refused, for the caller to copy.
    struct stat here {
    }, shm{};
    if (::stat(dir.path().c_str(), &here) == 0 && ::stat("/dev/shm", &shm) == 0 &&
        here.st_dev != shm.st_dev) {
        std::string other = "/dev/shm/znt-move-XXXXXX";
        int fd = ::mkstemp(other.data());
        ASSERT_GE(fd, 0);
        ::close(fd);
        EXPECT_FALSE(ov::MoveFileReplacing(other, dst));
        EXPECT_TRUE(std::filesystem::exists(other));
        EXPECT_EQ(testsupport::ReadFile(dst), "newer");
        std::filesystem::remove(other);
    }
#endif
}

TEST(FileWrites, ReadOnlyFilesCanBeClearedAndRemoved) {
    TempDir dir;
    auto f = dir.write("ro.txt", "x");
    MakeReadOnly(f);
    EXPECT_TRUE(ov::ClearAttributes(f));
    EXPECT_TRUE(ov::RemoveFile(f));
    EXPECT_FALSE(ov::IsRegularFile(f));
    EXPECT_FALSE(ov::RemoveFile(f));
}

TEST(Folders, ChainsAreCreatedAndOnlyEmptyFoldersRemoved) {
    TempDir dir;
    ASSERT_TRUE(ov::CreateFolderChain(dir.path() + "\\a\\b\\c\\"));
    EXPECT_TRUE(ov::IsDirectory(dir.file("a/b/c")));
    dir.write("a/b/keep.txt", "k");
    EXPECT_TRUE(ov::RemoveEmptyFolder(dir.file("a/b/c")));
    EXPECT_FALSE(ov::RemoveEmptyFolder(dir.file("a/b")));
    EXPECT_TRUE(ov::IsDirectory(dir.file("a/b")));
}

TEST(Folders, AFlushCoversTheFilesBelowAFolderAndFollowsNoLink) {
    TempDir dir;
    dir.write("staged/a.zip/a.dll", std::string(1 << 20, 'a'));
    MakeReadOnly(dir.write("staged/b.zip/sub/b.txt", "b"));
    EXPECT_TRUE(ov::SyncFilesBelow(dir.file("staged")));
    EXPECT_FALSE(ov::SyncFilesBelow(dir.file("missing")));
    EXPECT_FALSE(ov::SyncFilesBelow(dir.file("staged/a.zip/a.dll")));
#ifndef _WIN32
    // A link whose target is gone is not a file to flush.
    std::filesystem::create_symlink(dir.file("gone"), dir.file("staged/b.zip/link"));
    EXPECT_TRUE(ov::SyncFilesBelow(dir.file("staged")));
#endif
}

TEST(ReadWholeFile, RefusesFilesAboveTheLimit) {
    TempDir dir;
    auto f = dir.write("big", std::string(1000, 'x'));
    EXPECT_FALSE(ov::ReadWholeFile(f, 999).has_value());
    EXPECT_EQ(ov::ReadWholeFile(f, 1000).value_or("").size(), 1000u);
    EXPECT_FALSE(ov::ReadWholeFile(dir.path()).has_value());
}

TEST(RegularFile, ReadsAtAnyOffsetAndNeverBlocksAMoveAside) {
    TempDir dir;
    auto f = dir.write("data.bin", "0123456789");
    ov::RegularFile file(dir.path() + "/DATA.bin");
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Length(), 10u);
    EXPECT_EQ(file.ReadAt(3, 4), "3456");
    EXPECT_EQ(file.ReadAt(8, 100), "89");
    EXPECT_EQ(file.ReadAt(10, 1), "");
    // A reader never keeps the file from being moved aside; the reader
    // still reads its bytes. (Windows refuses to rename over an open file.)
    ASSERT_TRUE(ov::RenameReplacing(f, f + ".old"));
    ASSERT_TRUE(ov::WriteFileAtomic(f, "new"));
    EXPECT_EQ(file.ReadAt(0, 2), "01");
    EXPECT_EQ(testsupport::ReadFile(f), "new");
    EXPECT_FALSE(ov::RegularFile(dir.path()).IsOpen());
    EXPECT_FALSE(ov::RegularFile(dir.file("missing")).IsOpen());
}

#ifdef _WIN32
TEST(FileReads, ADeviceIsRefused) {
    TempDir dir;
    EXPECT_EQ(ov::ReadWholeFile("NUL"), std::nullopt);
    EXPECT_FALSE(ov::CopyFileReplacing("NUL", dir.file("copy.dat")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy.dat")));
}
#else
TEST(FileReads, AFifoOrADeviceIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    testsupport::FifoGuard fifo(dir.file("packages.dat"));
    ASSERT_TRUE(fifo.Made());
    EXPECT_EQ(ov::ReadWholeFile(dir.path() + "\\PACKAGES.DAT"), std::nullopt);
    EXPECT_FALSE(ov::CopyFileReplacing(dir.file("packages.dat"), dir.file("copy.dat")));
    EXPECT_FALSE(fifo.Release()) << "open() waited for a writer";
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy.dat")));
    EXPECT_EQ(ov::ReadWholeFile("/dev/zero"), std::nullopt);
    EXPECT_FALSE(ov::CopyFileReplacing("/dev/zero", dir.file("copy.dat")));
}
#endif

TEST(ProgramOwnFiles, AreKnownUnderAnySpellingAndNothingElseIs) {
    for (const char* name :
         {"core\\zntr.pub", "CORE/ZNTR.PUB", "core\\\\zntr.log", "core\\.\\zntr.log.",
          "core/zntr.log.1", "core\\zntr.lock", "core\\cache", "Core\\Cache\\install.journal",
          "core/cache/pending/a.zip/a"}) {
        EXPECT_TRUE(ov::IsProgramOwnFile(name)) << name;
    }
    for (const char* name : {"core\\zntr.exe", "core\\cache2\\a", "bin\\zntr.log",
                             "core\\zntr.log.2", "zntr.pub", "core\\zntr.pub2"}) {
        EXPECT_FALSE(ov::IsProgramOwnFile(name)) << name;
    }
}

#ifndef _WIN32  // links need a privilege on Windows
// Another name of an own file (a Windows short name; a hard link here) is one too.
TEST(ProgramOwnFiles, AreKnownByAnotherNameOnDisk) {
    TempDir inst;
    inst.write("core/zntr.lock", "");
    inst.write("core/cache/pending/a.dll", "new");
    std::filesystem::create_hard_link(inst.file("core/zntr.lock"), inst.file("bin.lock"));
    std::filesystem::create_directory_symlink(inst.file("core/cache"), inst.file("stash"));
    EXPECT_TRUE(ov::IsProgramOwnFileIn(inst.path(), "bin.lock"));
    EXPECT_TRUE(ov::IsProgramOwnFileIn(inst.path(), "stash\\pending\\a.dll"));
    EXPECT_TRUE(ov::IsProgramOwnFileIn(inst.path(), "stash\\new.dll"));
    EXPECT_FALSE(ov::IsProgramOwnFileIn(inst.path(), "core\\pending\\a.dll"));
    EXPECT_FALSE(ov::IsProgramOwnFileIn(inst.path(), "bin\\new.dll"));
}

TEST(FileWrites, AppendingRefusesLinksOtherNamesFoldersAndDevicesWithAReason) {
    TempDir dir;
    const std::string outside = dir.write("outside.txt", "o");
    std::filesystem::create_symlink(outside, dir.file("link.log"));
    std::filesystem::create_hard_link(outside, dir.file("hard.log"));
    std::filesystem::create_directory(dir.file("folder.log"));
    const std::pair<std::string, std::string> cases[] = {
        {dir.file("link.log"), "is a link"},
        {dir.file("hard.log"), "has other names (hard link)"},
        {dir.file("folder.log"), "is a folder"},
        {dir.file("missing/x.log"), "no such folder"},
        {"/dev/full", "not a regular file"}};
    for (const auto& [path, expected] : cases) {
        std::string problem;
        EXPECT_FALSE(ov::AppendToFile(path, "line\n", &problem)) << path;
        EXPECT_EQ(problem, expected) << path;
    }
    EXPECT_EQ(testsupport::ReadFile(outside), "o");
    std::string problem = "stale";
    EXPECT_TRUE(ov::AppendToFile(dir.file("ok.log"), "line\n", &problem));
    EXPECT_EQ(problem, "");
    EXPECT_EQ(testsupport::ReadFile(dir.file("ok.log")), "line\n");
}

TEST(Folders, LinksBelowARootAreFoundAndALinkedFolderIsReplacedNotEmptied) {
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string user = dir.write("user/keep.txt", "mine");
    fs::create_directories(dir.file("inst/bin"));
    fs::create_directories(dir.file("inst/core"));
    fs::create_directory_symlink(dir.file("user"), dir.file("inst/bin/sub"));
    fs::create_directory_symlink(dir.file("user"), dir.file("inst/core/cache"));
    fs::create_directory_symlink(dir.file("inst"), dir.file("alias"));
    const std::string inst = dir.path() + "\\inst";
    EXPECT_FALSE(ov::LinkBelow(inst, inst + "\\bin"));
    EXPECT_TRUE(ov::LinkBelow(inst, inst + "\\BIN\\sub\\deeper"));
    EXPECT_FALSE(ov::LinkBelow(inst, inst + "\\new\\deeper"));  // made as real folders later
    EXPECT_FALSE(ov::LinkBelow(dir.file("alias"), dir.file("alias/bin")));  // the root may be one

    EXPECT_TRUE(ov::MakeRealFolder(inst + "\\core\\cache"));
    EXPECT_FALSE(fs::is_symlink(dir.file("inst/core/cache")));
    EXPECT_TRUE(fs::is_directory(dir.file("inst/core/cache")));
    EXPECT_EQ(testsupport::ReadFile(user), "mine");
}
#endif
