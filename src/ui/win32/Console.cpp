#include "ui/win32/Console.h"

#include "OVShared/Platform/CommandLine.h"

#include <windows.h>

#include <cstdio>
#include <iostream>

namespace znt::win32 {
namespace {

// A handle the program can write to: a console, a file, a pipe, a device.
bool UsableHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    return GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Points a standard handle and its C stream at the attached console.
void ReopenOnConsole(DWORD which, FILE* stream) {
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) SetStdHandle(which, console);
    // Unbuffered, so that rows and messages reach the console in the order
    // they were written (the C runtime has no line buffering).
    if (_wfreopen(L"CONOUT$", L"w", stream)) setvbuf(stream, nullptr, _IONBF, 0);
}

}  // namespace

UnattendedConsole::UnattendedConsole() {
    const bool outUsable = UsableHandle(STD_OUTPUT_HANDLE);
    const bool errUsable = UsableHandle(STD_ERROR_HANDLE);
    // Never a console of our own: without a parent's, the lines go nowhere.
    if ((!outUsable || !errUsable) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        attached_ = true;
        if (!outUsable) ReopenOnConsole(STD_OUTPUT_HANDLE, stdout);
        if (!errUsable) ReopenOnConsole(STD_ERROR_HANDLE, stderr);
        // Anything written before had nowhere to go and may have failed.
        std::cout.clear();
        std::cerr.clear();
    }
    // Borrowed here, or inherited as a handle (some starters pass theirs on).
    DWORD mode = 0;
    errorOnConsole_ = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    ov::UseUtf8Console();
}

int UnattendedConsole::Finish(int status) {
    std::cout.flush();
    if (errorOnConsole_) std::cerr << "zntr.exe: exit status " << status << std::endl;
    return status;
}

}  // namespace znt::win32
