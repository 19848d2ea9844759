#include "app/AppState.h"

#include "OVShared/Modules/ManifestWriter.h"
#include "OVShared/Modules/modOVCoreFunctions.h"

#include <utility>

namespace znt {

AppState::AppState(std::string commandLine_, std::string programPath_, ov::MessageSink& messages_,
                   ov::RegistryStore& store_)
    : commandLine(std::move(commandLine_)),
      programPath(std::move(programPath_)),
      programFolder(ov::ParentFolder(programPath)),
      appTitle(ov::ProgramBaseName(programPath)),
      messages(messages_),
      store(store_) {}

ov::MsgResult AppState::Message(const std::string& text, ov::MsgIcon icon) {
    return messages.Show(text, appTitle, icon);
}

void SaveSettingsIfLoaded(AppState& state) {
    if (state.settingsLoaded) SaveSettings(state.store, state.settings);
}

}  // namespace znt
