#pragma once

// The download window (frmZNT_Downloads) as the logic sees it. The install
// run and the archive fetches drive it through this interface: texts, the two
// bars, hiding and enabling controls, and the Cancel button. The Qt window
// binds each control by its name; tests use a recording implementation.
//
// Cancel: the window forwards a click of cmdCancel to CancelButton::Press,
// which raises the flag that the logic polls and runs the action the logic
// set while a transfer runs (so that a transfer waiting for data stops at
// once instead of at its next chunk).

#include <functional>
#include <string>
#include <utility>

namespace znt {

struct AppTexts;

enum class DownloadControl {
    Window,      // the window caption
    fmProgress,  // frame
    lblTotal,
    lblCurrent,   // the archive being fetched
    lblResponse,  // text of the last transfer state
    PBAR,         // per-archive bar, 0 to 100
    PTOTAL,       // run bar, 0 to 100
    cmdCancel,
    lblSpeed,  // under PTOTAL: transfer rate and time left of the run
};

// The flag and action behind cmdCancel; the window owns one.
class CancelButton {
public:
    // The click: raises the flag, then runs the action when one is set.
    void Press();
    bool Pressed() const { return pressed_; }
    void SetAction(std::function<void()> action) { action_ = std::move(action); }
    // A new run: flag cleared, no action.
    void Reset();

private:
    bool pressed_ = false;
    std::function<void()> action_;
};

class DownloadView {
public:
    virtual ~DownloadView() = default;
    // Caption of the window, frame, label or button.
    virtual void SetText(DownloadControl control, const std::string& text) = 0;
    // Value of PBAR or PTOTAL, 0 to 100.
    virtual void SetValue(DownloadControl bar, int value) = 0;
    virtual void SetVisible(DownloadControl control, bool visible) = 0;
    virtual void SetEnabled(DownloadControl control, bool enabled) = 0;
    // The window's cmdCancel state; a click presses it and disables the button.
    virtual CancelButton& Cancel() = 0;
};

// A download window nobody sees, for runs without windows.
class NullDownloadView : public DownloadView {
public:
    void SetText(DownloadControl, const std::string&) override {}
    void SetValue(DownloadControl, int) override {}
    void SetVisible(DownloadControl, bool) override {}
    void SetEnabled(DownloadControl, bool) override {}
    CancelButton& Cancel() override { return cancel_; }

private:
    CancelButton cancel_;
};

// The window's load: captions 201, 202, 204 and 11, empty lblCurrent and
// lblResponse, both bars at 0, Cancel enabled and not pressed.
void PrepareDownloadWindow(DownloadView& view, const AppTexts& texts);

}  // namespace znt
