#include "OVShared/Platform/Process.h"

#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace ov {
namespace {

// CreateProcessW with the command line; the caller owns the returned handle.
HANDLE CreateWithCommandLine(std::string_view commandLine, WindowStyle style,
                             std::string_view workingFolder) {
    std::wstring line = Widen(commandLine);
    std::wstring folder = Widen(workingFolder);
    if (!folder.empty()) {
        DWORD attrs = GetFileAttributesW(folder.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) folder.clear();
    }
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(ShowCommand(style));
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

bool ChildProcess::Start(std::string_view commandLine, WindowStyle style) {
    return Start(commandLine, style, {});
}

bool ChildProcess::Start(std::string_view commandLine, WindowStyle style,
                         std::string_view workingFolder) {
    if (handle_ || commandLine.empty()) return false;
    handle_ = CreateWithCommandLine(commandLine, style, workingFolder);
    ended_ = false;
    return handle_ != nullptr;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, WindowStyle style) {
    if (argv.empty()) return false;
    return Start(JoinCommandLine(argv), style);
}

int ChildProcess::Poll() {
    if (ended_) return exitCode_;
    if (!handle_) return kNotStarted;
    // Asked first: a child may end with the code STILL_ACTIVE itself.
    if (WaitForSingleObject(static_cast<HANDLE>(handle_), 0) == WAIT_TIMEOUT) return kStillActive;
    DWORD code = 0;
    if (!GetExitCodeProcess(static_cast<HANDLE>(handle_), &code)) {
        ended_ = true;
        exitCode_ = kNotStarted;
        return exitCode_;
    }
    ended_ = true;
    exitCode_ = static_cast<int>(code);
    return exitCode_;
}

bool StartDetached(const std::vector<std::string>& argv, WindowStyle style,
                   std::string_view workingFolder) {
    if (argv.empty()) return false;
    HANDLE process = CreateWithCommandLine(JoinCommandLine(argv), style, workingFolder);
    if (!process) return false;
    CloseHandle(process);
    return true;
}

}  // namespace ov
