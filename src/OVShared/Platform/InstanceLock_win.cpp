#include "OVShared/Platform/InstanceLock.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <utility>
#include <vector>

namespace ov {

namespace {

// An existing folder's long name, so that an 8.3 spelling (C:\PROGRA~1)
// names the same folder; the path as it was when that fails.
std::wstring LongName(std::wstring folder) {
    DWORD n = GetLongPathNameW(folder.c_str(), nullptr, 0);
    if (n > 0) {
        std::vector<wchar_t> buffer(n + 1, L'\0');
        DWORD got = GetLongPathNameW(folder.c_str(), buffer.data(), n + 1);
        if (got > 0 && got <= n) folder.assign(buffer.data(), got);
    }
    return folder;
}

}  // namespace

std::string InstanceLock::NormalisedFolder(std::string_view installFolder) {
    std::wstring folder = Widen(installFolder);
    DWORD n = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (n > 0) {
        std::vector<wchar_t> buffer(n + 1, L'\0');
        DWORD got = GetFullPathNameW(folder.c_str(), n + 1, buffer.data(), nullptr);
        if (got > 0 && got <= n) folder.assign(buffer.data(), got);
    }
    folder = LongName(std::move(folder));
    for (auto& c : folder) {
        if (c == L'/') c = L'\\';
    }
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();  // keep "C:\"
    if (!folder.empty()) {
        CharLowerBuffW(folder.data(), static_cast<DWORD>(folder.size()));
    }
    return Narrow(folder);
}

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() {
    if (file_) CloseHandle(static_cast<HANDLE>(file_));
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    file_ = nullptr;
    handle_ = nullptr;
    held_ = false;
}

namespace {

// The installation's lock file, opened without sharing: a second open, from
// any session or user, fails while this handle lives.
InstanceLock::Result OpenLockFile(const std::string& path, HANDLE& file) {
    std::wstring wide = Widen(NativePath(path));
    CreateFolder(path.substr(0, path.find_last_of("\\/")));
    file = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        file = nullptr;
        DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                   ? InstanceLock::Result::Busy
                   : InstanceLock::Result::Unavailable;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(file);
        file = nullptr;
        return InstanceLock::Result::Unavailable;
    }
    return InstanceLock::Result::Held;
}

}  // namespace

InstanceLock::Result InstanceLock::Acquire(std::string_view installFolder) {
    Release();
    std::wstring name = Widen("Local\\" + LockName(installFolder));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    // ERROR_ACCESS_DENIED: the mutex exists and belongs to another holder
    // (an elevated copy). Any other failure leaves the file to decide.
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) return Result::Busy;
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Result::Busy;
    }
    HANDLE file = nullptr;
    Result result = OpenLockFile(LockFile(installFolder), file);
    if (result != Result::Held) {
        if (mutex) CloseHandle(mutex);
        return result;
    }
    handle_ = mutex;
    file_ = file;
    held_ = true;
    return Result::Held;
}

}  // namespace ov
