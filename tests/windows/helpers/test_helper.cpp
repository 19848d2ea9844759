// A second process for the Windows tests.
//   lock <folder>        takes the instance lock of the folder: status 0 when
//                        it got it, 7 when another holder has it
//   hold <ready> <stop>  creates <ready>, then runs until <stop> exists
//                        (two minutes at most): a running program

#include "OVShared/Platform/InstanceLock.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace {

constexpr int kRefused = 7;
constexpr int kUsage = 2;
constexpr int kHoldPolls = 1200;  // of 100 ms

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

int Hold(const wchar_t* ready, const wchar_t* stop) {
    HANDLE h = CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(h);
    for (int i = 0; i < kHoldPolls && !Exists(stop); ++i) Sleep(100);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"lock" && argc == 3) {
        ov::InstanceLock lock;
        return lock.TryAcquire(Utf8(argv[2])) ? 0 : kRefused;
    }
    if (mode == L"hold" && argc == 4) return Hold(argv[2], argv[3]);
    return kUsage;
}
