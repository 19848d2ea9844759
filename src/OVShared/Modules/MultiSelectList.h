#pragma once

// A list whose items the user selects several at a time, as the core list
// routines see it. The Qt list widgets of the selection dialogs implement it;
// tests use a plain one.

namespace ov {

class MultiSelectList {
public:
    virtual ~MultiSelectList() = default;
    virtual int count() const = 0;
    virtual bool selected(int index) const = 0;
    virtual void setSelected(int index, bool on) = 0;
    virtual int currentIndex() const = 0;
    virtual void setCurrentIndex(int index) = 0;
    virtual void setVisible(bool visible) = 0;
};

}  // namespace ov
