// The second-instance lock, proved across real processes: the test program
// runs itself again as the second instance (ZNT_LOCK_CHILD set), which tries
// the lock and answers through its exit code.

#include "OVShared/Platform/InstanceLock.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Process.h"
#include "support/Env.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

using ov::InstanceLock;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

constexpr int kAcquired = 10, kRefused = 11, kVanished = 12;

// In the second instance: try the lock for $ZNT_LOCK_CHILD; with
// $ZNT_LOCK_HOLD, write that file and keep the lock until "<file>.end"
// appears (at most 30 seconds), then vanish without releasing it, as a
// crash would.
[[maybe_unused]] const bool kChildRan = [] {
    const char* folder = std::getenv("ZNT_LOCK_CHILD");
    if (!folder) return false;
    InstanceLock lock;
    bool ok = lock.TryAcquire(folder);
    if (const char* hold = std::getenv("ZNT_LOCK_HOLD"); hold && *hold && ok) {
        ov::WriteFileAtomic(hold, "held");
        for (int i = 0; i < 3000 && !ov::IsRegularFile(std::string(hold) + ".end"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::_Exit(kVanished);
    }
    std::_Exit(ok ? kAcquired : kRefused);
}();

class SecondInstance {
public:
    explicit SecondInstance(const std::string& folder, const std::string& holdFile = "") {
        ScopedEnv child("ZNT_LOCK_CHILD", folder);
        ScopedEnv hold("ZNT_LOCK_HOLD", holdFile.empty() ? std::nullopt : std::optional(holdFile));
        started_ =
            child_.Start(std::vector<std::string>{ov::ExecutablePath()}, ov::WindowStyle::Hidden);
    }
    int Result() {
        for (int i = 0; i < 1000; ++i) {
            int code = child_.Poll();
            if (code != ov::kStillActive) return code;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -2;
    }
    bool started() const { return started_; }

private:
    ov::ChildProcess child_;
    bool started_ = false;
};

int TryInAnotherProcess(const std::string& folder) {
    SecondInstance second(folder);
    EXPECT_TRUE(second.started());
    return second.Result();
}

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST(InstanceLock, ASecondProcessIsRefusedWhileTheFirstHoldsTheLock) {
    TempDir install;
    InstanceLock first;
    ASSERT_TRUE(first.TryAcquire(install.path()));
    EXPECT_TRUE(first.held());
    EXPECT_EQ(TryInAnotherProcess(install.path()), kRefused);
    first.Release();
    EXPECT_EQ(TryInAnotherProcess(install.path()), kAcquired);
}

TEST(InstanceLock, TheLockEndsWithTheProcessThatHeldIt) {
    TempDir install;
    std::string held = install.file("held.txt");
    SecondInstance holder(install.path(), held);
    ASSERT_TRUE(holder.started());
    ASSERT_TRUE(WaitForFile(held));
    InstanceLock mine;
    EXPECT_FALSE(mine.TryAcquire(install.path()));
    EXPECT_FALSE(mine.held());

    ov::WriteFileAtomic(held + ".end", "");
    EXPECT_EQ(holder.Result(), kVanished);
    EXPECT_TRUE(mine.TryAcquire(install.path()));
}

TEST(InstanceLock, EachInstallationFolderHasItsOwnLock) {
    TempDir a, b;
    InstanceLock first;
    ASSERT_TRUE(first.TryAcquire(a.path()));
    EXPECT_EQ(TryInAnotherProcess(b.path()), kAcquired);
    // The same folder written differently is the same installation.
    EXPECT_EQ(TryInAnotherProcess(a.path() + "/"), kRefused);
    EXPECT_EQ(InstanceLock::LockName(a.path()), InstanceLock::LockName(a.path() + "/./"));
    EXPECT_NE(InstanceLock::LockName(a.path()), InstanceLock::LockName(b.path()));
}

TEST(InstanceLock, TwoObjectsInOneProcessExcludeEachOtherToo) {
    TempDir install;
    InstanceLock first, second;
    ASSERT_TRUE(first.TryAcquire(install.path()));
    EXPECT_FALSE(second.TryAcquire(install.path()));
}

// Whoever runs the program and from whichever session: the lock is a file
// in the installation, not in a per-user or per-session place.
TEST(InstanceLock, TheLockLivesInTheInstallationWhateverTheSession) {
    TempDir install, runtimeA, runtimeB;
    InstanceLock first, second;
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeA.path());
        ASSERT_TRUE(first.TryAcquire(install.path()));
    }
    ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeB.path());
    ScopedEnv tmp("TMPDIR", runtimeB.path());
    EXPECT_EQ(second.Acquire(install.path()), InstanceLock::Result::Busy);
    EXPECT_TRUE(std::filesystem::is_regular_file(install.file("core/zntr.lock")));
    EXPECT_EQ(TryInAnotherProcess(install.path()), kRefused);
}

// Something in the lock file's place: no lock to be had refuses the run.
TEST(InstanceLock, ALockThatCannotBeTakenRefusesInsteadOfRunningUnguarded) {
    TempDir install;
    std::filesystem::create_directories(install.file("core/zntr.lock"));
    InstanceLock lock;
    EXPECT_EQ(lock.Acquire(install.path()), InstanceLock::Result::Unavailable);
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(TryInAnotherProcess(install.path()), kRefused);
#ifndef _WIN32
    TempDir elsewhere;
    std::filesystem::remove(install.file("core/zntr.lock"));
    std::filesystem::create_symlink(elsewhere.file("planted.lock"), install.file("core/zntr.lock"));
    EXPECT_EQ(lock.Acquire(install.path()), InstanceLock::Result::Unavailable);
    EXPECT_FALSE(std::filesystem::exists(elsewhere.file("planted.lock")));
#endif
}
