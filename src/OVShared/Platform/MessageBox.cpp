#include "OVShared/Platform/MessageBox.h"

#include <iostream>

namespace ov {

MsgResult ConsoleMessageSink::Show(const std::string& text, const std::string& title, MsgIcon icon,
                                   MsgButtons buttons) {
    const char* kind = icon == MsgIcon::Critical      ? "error"
                       : icon == MsgIcon::Exclamation ? "warning"
                                                      : "note";
    std::cerr << kind << ": ";
    if (!title.empty()) std::cerr << title << ": ";
    std::cerr << text << '\n';
    return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes
                                                                                : MsgResult::Ok;
}

std::optional<std::string> ConsoleMessageSink::InputBox(const std::string& prompt,
                                                        const std::string& title) {
    std::cerr << "note: " << title << ": " << prompt << " (no answer in unattended mode)\n";
    return std::nullopt;
}

}  // namespace ov
