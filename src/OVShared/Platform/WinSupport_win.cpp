#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace ov {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr,
                                0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

int ShowCommand(WindowStyle style) {
    switch (style) {
    case WindowStyle::Hidden: return SW_HIDE;
    case WindowStyle::NormalFocus: return SW_SHOWNORMAL;
    case WindowStyle::MinimizedFocus: return SW_SHOWMINIMIZED;
    case WindowStyle::MaximizedFocus: return SW_SHOWMAXIMIZED;
    case WindowStyle::NormalNoFocus: return SW_SHOWNOACTIVATE;
    case WindowStyle::MinimizedNoFocus: return SW_SHOWMINNOACTIVE;
    }
    return SW_SHOWNORMAL;
}

}  // namespace ov
