#pragma once

// Acting inside a window's message loop, as a user would while the code
// under test waits in it (a modal loop, a message box, the main loop).

#include <windows.h>

#include <functional>
#include <string>

namespace win32test {

// Runs action once the current thread's next message loop takes messages
// (a thread timer). One action waits at a time; an action may set the next.
inline void WhenShown(std::function<void()> action, UINT delayMs = 10) {
    static std::function<void()> pending;
    pending = std::move(action);
    SetTimer(nullptr, 0, delayMs, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        auto run = std::move(pending);
        pending = nullptr;
        if (run) run();
    });
}

// A key pressed and released in window, through the message queue, so that
// the loop's keyboard rule sees it.
inline void PostKey(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

inline std::wstring WindowTextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// The font a window draws its text with.
inline LOGFONTW FontOf(HWND window) {
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    GetObjectW(handle ? handle : GetStockObject(SYSTEM_FONT), sizeof font, &font);
    return font;
}

// Whether a control's text fits inside it in its own font: labels wrap at
// their width, buttons and frame titles keep one line beside their border.
inline bool TextFits(HWND control, bool wraps, int border) {
    RECT client{};
    GetClientRect(control, &client);
    std::wstring text = WindowTextOf(control);
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT need{0, 0, client.right - 2 * border, 0};
    DrawTextW(dc, text.c_str(), -1, &need,
              DT_CALCRECT | DT_NOPREFIX | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return need.right <= client.right - 2 * border && need.bottom <= client.bottom;
}

}  // namespace win32test
