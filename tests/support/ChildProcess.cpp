#include "support/ChildProcess.h"

#include <thread>

#ifdef _WIN32

#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace testsupport {
namespace {

constexpr int kTerminatedCode = 143;  // what a SIGTERM gives on POSIX

HANDLE Inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& outFile, const std::string& errFile) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::wstring line = ov::Widen(ov::JoinCommandLine(words));
    HANDLE in = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = Inheritable(ov::Widen(outFile), GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = Inheritable(ov::Widen(errFile), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi = {};
    bool files =
        in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE;
    if (files && CreateProcessW(ov::Widen(program).c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
    }
    for (HANDLE h : {in, out, err}) {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
}

ChildProcess::~ChildProcess() {
    if (!process_) return;
    if (!status_) {
        TerminateProcess(process_, kTerminatedCode);
        WaitForSingleObject(process_, INFINITE);
    }
    CloseHandle(process_);
}

bool ChildProcess::Started() const { return process_ != nullptr; }

int ChildProcess::Wait(std::chrono::seconds patience) {
    if (!process_) return -1;
    if (!status_) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(patience).count();
        if (WaitForSingleObject(process_, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        status_ = static_cast<int>(code);
    }
    return *status_;
}

bool ChildProcess::Running() {
    if (!process_ || status_) return false;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return true;
    Wait(std::chrono::seconds(0));
    return false;
}

void ChildProcess::Terminate() {
    if (!Running()) return;
    TerminateProcess(process_, kTerminatedCode);
    Wait();
}

}  // namespace testsupport

#else

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& outFile, const std::string& errFile) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0)
        pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::Started() const { return pid_ > 0; }

int ChildProcess::Wait(std::chrono::seconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (pid_ > 0 && !status_) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
        } else if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!status_) return -1;
    return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : 128 + WTERMSIG(*status_);
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = status;
    return false;
}

void ChildProcess::Terminate() {
    if (!Running()) return;
    ::kill(pid_, SIGTERM);
    Wait();
}

}  // namespace testsupport

#endif
