#pragma once

// Acting inside a Win32 modal loop from a test: a thread timer whose action
// runs when the loop (or a yield) dispatches it. The timer dies with the
// object, so an action meant for a window that never showed cannot fire in
// a later test.
//
//     testsupport::LoopTimer drive(10, [&] { dialog.Click("cmdOk"); });
//     dialog.ShowModal();

#ifdef _WIN32

#include <windows.h>

#include <functional>
#include <map>
#include <utility>

namespace testsupport {

class LoopTimer {
public:
    // Runs action after ms, once; with repeat, every ms until destroyed.
    LoopTimer(UINT ms, std::function<void()> action, bool repeat = false)
        : action_(std::move(action)), repeat_(repeat) {
        id_ = SetTimer(nullptr, 0, ms, &LoopTimer::Fire);
        Timers()[id_] = this;
    }
    ~LoopTimer() { Stop(); }
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    void Stop() {
        if (!id_) return;
        KillTimer(nullptr, id_);
        Timers().erase(id_);
        id_ = 0;
    }

private:
    static std::map<UINT_PTR, LoopTimer*>& Timers() {
        static std::map<UINT_PTR, LoopTimer*> timers;
        return timers;
    }
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
        auto found = Timers().find(id);
        if (found == Timers().end()) return;
        LoopTimer* timer = found->second;
        if (!timer->repeat_) timer->Stop();
        // A copy: the action may run a nested loop that fires this timer again.
        auto action = timer->action_;
        if (action) action();
    }

    std::function<void()> action_;
    bool repeat_;
    UINT_PTR id_ = 0;
};

}  // namespace testsupport

#endif
