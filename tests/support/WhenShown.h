#pragma once

// For tests of the Win32 windows: an action that runs once the next modal
// loop takes messages (a thread timer), so a test can act inside a window's
// RunModal as a user would.

#include <windows.h>

#include <functional>
#include <utility>

namespace testsupport {

inline void WhenShown(std::function<void()> action) {
    static std::function<void()> pending;
    pending = std::move(action);
    SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        auto run = std::move(pending);
        if (run) run();
    });
}

}  // namespace testsupport
