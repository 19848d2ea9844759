#pragma once

// Message and input boxes as Qt dialogs, owned by the active window. The
// standard buttons carry the captions the labels function gives at the
// moment a box opens, so they follow a language toggle.

#include "OVShared/Platform/MessageBox.h"

#include <functional>

namespace znt {

class QtMessageSink : public ov::MessageSink {
public:
    using Labels = std::function<ov::MsgButtonLabels()>;

    // Without labels (or with empty captions) Qt's own captions stay.
    void SetButtonLabels(Labels labels) { labels_ = std::move(labels); }

    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons = ov::MsgButtons::Ok) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;

private:
    ov::MsgButtonLabels CurrentLabels() const;

    Labels labels_;
};

}  // namespace znt
