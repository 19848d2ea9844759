#pragma once

// Runs a program as a real child process with standard input from the null
// device and standard output and error sent to files (or, on POSIX, devices
// such as /dev/full). For tests of the built program. On Windows the words
// are quoted into one command line as the C runtime splits it again.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& outFile, const std::string& errFile);
    // Kills a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const;

    // The exit code (POSIX: 128 + signal after a signal); -1 when the process
    // could not start or did not end within the patience.
    int Wait(std::chrono::seconds patience = std::chrono::seconds(60));

    // True until the process has ended (and been reaped).
    bool Running();
    // Asks the process to end (POSIX SIGTERM; Windows has no such request
    // for a console program, so it is terminated) and waits for it.
    void Terminate();

private:
#ifdef _WIN32
    void* process_ = nullptr;
#else
    int pid_ = -1;
#endif
    std::optional<int> status_;  // POSIX: the wait status; Windows: the exit code
};

}  // namespace testsupport
