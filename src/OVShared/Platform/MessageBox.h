#pragma once

// Every message box and input box of the program goes through this
// interface: Qt dialogs in the program, a recorder in tests, standard error
// in unattended runs. Texts are UTF-8.

#include <optional>
#include <string>

namespace ov {

enum class MsgIcon { None, Critical, Exclamation, Information, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// Captions for the standard buttons in the interface's language (UTF-8);
// an empty caption keeps the toolkit's own.
struct MsgButtonLabels {
    std::string ok;
    std::string cancel;
    std::string yes;
    std::string no;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MsgResult Show(const std::string& text, const std::string& title, MsgIcon icon,
                           MsgButtons buttons = MsgButtons::Ok) = 0;
    // Nothing when the user cancelled; an empty text when the answer was empty.
    virtual std::optional<std::string> InputBox(const std::string& prompt,
                                                const std::string& title) = 0;
};

// Writes messages to standard error and answers every question with its
// first button (Ok or Yes); input boxes get no answer.
class ConsoleMessageSink : public MessageSink {
public:
    MsgResult Show(const std::string& text, const std::string& title, MsgIcon icon,
                   MsgButtons buttons = MsgButtons::Ok) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;
};

}  // namespace ov
