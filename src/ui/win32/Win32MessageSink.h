#pragma once

// Message and input boxes as Win32 windows, owned by the active form. A
// message box is the system's MessageBoxW; its standard buttons carry the
// captions the labels function gives at the moment the box opens, so they
// follow a language toggle. The input box is a small modal form of ours.

#include "OVShared/Platform/MessageBox.h"

#include <functional>

namespace znt::win32 {

class Win32MessageSink : public ov::MessageSink {
public:
    using Labels = std::function<ov::MsgButtonLabels()>;

    // Without labels (or with empty captions) the system's captions stay.
    void SetButtonLabels(Labels labels) { labels_ = std::move(labels); }

    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons = ov::MsgButtons::Ok) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;

private:
    ov::MsgButtonLabels CurrentLabels() const;

    Labels labels_;
};

}  // namespace znt::win32
