#pragma once

// The program's state: what start-up fixes (folders, language, texts,
// settings) and what the windows share while it runs (the package source,
// the transfer control, the catalogue). main owns one and passes it by
// reference to every window and command.

#include "OVShared/Platform/InstanceLock.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/RegistryStore.h"
#include "catalogue/Catalogue.h"
#include "i18n/LanguagePack.h"
#include "i18n/SharedPack.h"
#include "settings/Settings.h"

#include <optional>
#include <string>

namespace znt {

// Passes message and input boxes on until the close path has begun; from
// then on nothing is shown and each box gets its most cautious answer (Ok
// when that is the only button, else Cancel or No; no input).
class ClosingMessageGate : public ov::MessageSink {
public:
    ClosingMessageGate(ov::MessageSink& inner, const bool& closing)
        : inner_(inner), closing_(closing) {}
    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons = ov::MsgButtons::Ok) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;

private:
    ov::MessageSink& inner_;
    const bool& closing_;
};

struct AppState {
    AppState(std::string commandLine, std::string programPath, ov::MessageSink& messages,
             ov::RegistryStore& store);
    AppState(const AppState&) = delete;  // members refer to each other
    AppState& operator=(const AppState&) = delete;

    std::string commandLine;    // the arguments joined, as the system hands them over
    std::string programPath;    // full path of the running executable
    std::string programFolder;  // the folder that holds it
    std::string appFolder;      // the installation: the parent of programFolder
    std::string cacheFolder;    // appFolder + "\core\cache\"
    std::string appTitle;       // title of message boxes: text 1 once the pack is loaded
    std::string serverBase;     // update server, "http://host[:port]"

    Settings settings;
    bool settingsLoaded = false;  // nothing is saved before the stored values were read
    AppTexts texts;
    SharedPackIndex sharedPack;

    bool SourceIsInternet = true;
    std::string SourceFolder;
    bool SourceConfirmed = false;

    Packages packages;          // the catalogue in memory
    ov::InetControl inet;       // Inet1 of the main window
    ov::InstanceLock instance;  // held while this is the running copy

    // Set first thing by the close path. A command that finds it set after a
    // wait (a transfer, a modal dialog) returns at once and shows nothing.
    bool closing = false;

private:
    ClosingMessageGate messageGate_;

public:
    ov::MessageSink& messages;  // shows nothing once closing is set
    ov::RegistryStore& store;

    std::string& languageSetting() { return settings.entry[kLanguageSetting]; }
    // Shows a message with the program's title.
    ov::MsgResult Message(const std::string& text, ov::MsgIcon icon);
};

// Saves the settings to the store once they have been loaded.
void SaveSettingsIfLoaded(AppState& state);

}  // namespace znt
