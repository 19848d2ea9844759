#pragma once

// Records every message box and answers from a queue set by the test.

#include "OVShared/Platform/MessageBox.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct RecordedMessage {
    std::string text;
    std::string title;
    ov::MsgIcon icon;
    ov::MsgButtons buttons;
};

class RecordingMessageSink : public ov::MessageSink {
public:
    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons = ov::MsgButtons::Ok) override {
        messages.push_back({text, title, icon, buttons});
        if (answers.empty())
            return buttons == ov::MsgButtons::Ok ? ov::MsgResult::Ok : ov::MsgResult::Yes;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override {
        prompts.push_back(prompt + "|" + title);
        if (inputs.empty()) return std::nullopt;
        auto a = inputs.front();
        inputs.pop_front();
        return a;
    }

    std::vector<RecordedMessage> messages;
    std::vector<std::string> prompts;
    std::deque<ov::MsgResult> answers;
    std::deque<std::optional<std::string>> inputs;
};

}  // namespace testsupport
