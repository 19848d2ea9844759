#pragma once

// The progress window as the logic sees it: a label, a bar from 0 to 100 and
// a Cancel button that raises a flag. The Qt window implements it; tests and
// unattended runs use their own.

#include <string>

namespace ov {

class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void SetLabel(const std::string& text) = 0;
    virtual void SetBar(int value) = 0;
    virtual void Show() = 0;   // modeless, over its owner
    virtual void Close() = 0;  // unloads the window
    virtual bool CancelRequested() const = 0;
};

// Does nothing; for runs without a window.
class NullProgressView : public ProgressView {
public:
    void SetLabel(const std::string&) override {}
    void SetBar(int) override {}
    void Show() override {}
    void Close() override {}
    bool CancelRequested() const override { return false; }
};

}  // namespace ov
