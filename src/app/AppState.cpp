#include "app/AppState.h"

#include "OVShared/Modules/ManifestWriter.h"
#include "OVShared/Modules/modOVCoreFunctions.h"

#include <utility>

namespace znt {

ov::MsgResult AppMessageSink::Show(const std::string& text, const std::string& title,
                                   ov::MsgIcon icon, ov::MsgButtons buttons) {
    if (!closing_) return inner_.Show(text, title.empty() ? title_ : title, icon, buttons);
    switch (buttons) {
    case ov::MsgButtons::Ok: return ov::MsgResult::Ok;
    case ov::MsgButtons::YesNo: return ov::MsgResult::No;
    case ov::MsgButtons::OkCancel:
    case ov::MsgButtons::YesNoCancel: break;
    }
    return ov::MsgResult::Cancel;
}

std::optional<std::string> AppMessageSink::InputBox(const std::string& prompt,
                                                    const std::string& title) {
    if (closing_) return std::nullopt;
    return inner_.InputBox(prompt, title.empty() ? title_ : title);
}

AppState::AppState(LaunchOptions launch_, std::string programPath_, ov::MessageSink& messages_,
                   ov::RegistryStore& store_)
    : launch(std::move(launch_)),
      programPath(std::move(programPath_)),
      programFolder(ov::ParentFolder(programPath)),
      appTitle(ov::ProgramBaseName(programPath)),
      messageSink_(messages_, appTitle, closing),
      messages(messageSink_),
      store(store_) {}

ov::MsgResult AppState::Message(const std::string& text, ov::MsgIcon icon) {
    return messages.Show(text, appTitle, icon);
}

void SaveSettingsIfLoaded(AppState& state) {
    if (state.settingsLoaded) SaveSettings(state.store, state.settings);
}

}  // namespace znt
