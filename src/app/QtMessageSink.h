#pragma once

// Message and input boxes as Qt dialogs, owned by the active window.

#include "OVShared/Platform/MessageBox.h"

namespace znt {

class QtMessageSink : public ov::MessageSink {
public:
    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons = ov::MsgButtons::Ok) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;
};

}  // namespace znt
