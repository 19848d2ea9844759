#pragma once

// Starting other programs: a child that is polled for its exit code (the
// patcher), and a detached start that is not waited for (the staged copy of
// the program, a self-restart, the shell's "Open").

#include <string>
#include <string_view>
#include <vector>

namespace ov {

// Window states as the Windows shell knows them (VB's vbAppWinStyle values).
// POSIX programs get no window state; there they only document the intent.
enum class WindowStyle {
    Hidden = 0,
    NormalFocus = 1,
    MinimizedFocus = 2,
    MaximizedFocus = 3,
    NormalNoFocus = 4,
    MinimizedNoFocus = 6,
};

// The exit code that means "still running" (Windows' STILL_ACTIVE).
inline constexpr int kStillActive = 259;
// What Poll answers for a child that never started.
inline constexpr int kNotStarted = -1;

// A child process started without waiting. Destroying the object does not
// stop the child.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // A command line as on Windows (see CommandLine.h); the program is its
    // first word. A program without a path is looked up on the PATH.
    bool Start(std::string_view commandLine, WindowStyle style);
    // The program and its arguments as separate words.
    bool Start(const std::vector<std::string>& argv, WindowStyle style);
#ifdef _WIN32
    // Started in workingFolder (kept when empty or not a folder): a batch
    // file's "CD" does not change the drive, so a batch file on another
    // drive than the current one is started in its own folder.
    bool Start(std::string_view commandLine, WindowStyle style, std::string_view workingFolder);
#endif

    // kStillActive while the child runs, then its exit code (on POSIX 128 +
    // the signal number when a signal ended it); kNotStarted without a child.
    int Poll();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int pid_ = -1;
#endif
    bool ended_ = false;
    int exitCode_ = kNotStarted;
};

// Starts argv[0] with its arguments and does not wait for it; the program
// runs on when this process ends. An empty workingFolder, or one that is not
// a folder, keeps the current one. True when the program is running: on
// POSIX the file was found, executable and its exec succeeded (a file of
// zero length or without execute permission gives false).
bool StartDetached(const std::vector<std::string>& argv, WindowStyle style,
                   std::string_view workingFolder = {});

}  // namespace ov
