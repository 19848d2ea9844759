#include "OVShared/Platform/InstanceLock.h"

#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

namespace ov {

std::string InstanceLock::NormalisedFolder(std::string_view installFolder) {
    std::wstring folder = Widen(installFolder);
    DWORD n = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (n > 0) {
        std::vector<wchar_t> buffer(n + 1, L'\0');
        DWORD got = GetFullPathNameW(folder.c_str(), n + 1, buffer.data(), nullptr);
        if (got > 0 && got <= n) folder.assign(buffer.data(), got);
    }
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
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    held_ = false;
}

bool InstanceLock::TryAcquire(std::string_view installFolder) {
    Release();
    std::wstring name = Widen("Local\\" + LockName(installFolder));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    // ERROR_ACCESS_DENIED: the mutex exists and belongs to another holder
    // (an elevated copy). Any other failure means no lock can be made, which
    // is no reason to refuse the start.
    if (!mutex) return GetLastError() != ERROR_ACCESS_DENIED;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    handle_ = mutex;
    held_ = true;
    return true;
}

}  // namespace ov
