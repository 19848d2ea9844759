// The second-instance test on Windows: a named mutex per installation
// folder, whatever the folder's spelling, across processes.

#include "OVShared/Platform/InstanceLock.h"

#include "WindowsFixture.h"

#include <cctype>

namespace {

// Asks a second process for the folder's lock: 0 when it got it, 7 when refused.
int LockFromAnotherProcess(const std::string& folder) {
    ov::ChildProcess child;
    if (!child.Start(
            std::vector<std::string>{wintest::Built("znt_test_helper.exe"), "lock", folder},
            ov::WindowStyle::Hidden)) {
        return ov::kNotStarted;
    }
    return wintest::Finish(child);
}

struct Folders {
    testsupport::TempDir tmp;
    std::string inst = wintest::Backslashes(tmp.path()) + "\\Inst Dir";
    std::string other = wintest::Backslashes(tmp.path()) + "\\Other";
    Folders() {
        CreateDirectoryW(ov::Widen(inst).c_str(), nullptr);
        CreateDirectoryW(ov::Widen(other).c_str(), nullptr);
    }
    static std::string Upper(std::string s) {
        for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return s;
    }
    // The 8.3 name where the volume keeps one, else the path itself.
    static std::string Short(const std::string& s) {
        wchar_t buffer[MAX_PATH] = {};
        DWORD n = GetShortPathNameW(ov::Widen(s).c_str(), buffer, MAX_PATH);
        return n > 0 && n < MAX_PATH ? ov::Narrow(std::wstring_view(buffer, n)) : s;
    }
    static std::string Forward(std::string s) {
        for (char& ch : s) ch = ch == '\\' ? '/' : ch;
        return s;
    }
};

}  // namespace

TEST(InstanceLockOnWindows, AnySpellingOfTheHeldFolderIsRefusedHereAndInAnotherProcess) {
    Folders f;
    ov::InstanceLock first;
    ASSERT_TRUE(first.TryAcquire(f.inst));

    for (const std::string& spelling :
         {f.inst, Folders::Upper(f.inst), f.inst + "\\", f.inst + "/", f.inst + "\\.\\",
          f.inst + "\\..\\inst dir", Folders::Forward(f.inst), Folders::Short(f.inst)}) {
        ov::InstanceLock second;
        EXPECT_FALSE(second.TryAcquire(spelling)) << spelling;
        EXPECT_FALSE(second.held());
        EXPECT_EQ(LockFromAnotherProcess(spelling), 7) << spelling;
    }
    ov::InstanceLock elsewhere;
    EXPECT_TRUE(elsewhere.TryAcquire(f.other));
    EXPECT_EQ(LockFromAnotherProcess(f.other), 7);  // held by elsewhere now
}

TEST(InstanceLockOnWindows, LockIsFreeAgainOnceItsHolderGoes) {
    Folders f;
    {
        ov::InstanceLock first;
        ASSERT_TRUE(first.TryAcquire(f.inst));
        EXPECT_EQ(LockFromAnotherProcess(f.inst), 7);
    }
    // The child takes it and ends: its process going releases it too.
    EXPECT_EQ(LockFromAnotherProcess(f.inst), 0);
    ov::InstanceLock again;
    EXPECT_TRUE(again.TryAcquire(f.inst + "\\"));
    again.Release();
    EXPECT_FALSE(again.held());
    EXPECT_EQ(LockFromAnotherProcess(f.inst), 0);
    ov::InstanceLock afterChild;
    EXPECT_TRUE(afterChild.TryAcquire(f.inst));
}
