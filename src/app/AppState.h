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

#include <string>

namespace znt {

struct AppState {
    AppState(std::string commandLine, std::string programPath, ov::MessageSink& messages,
             ov::RegistryStore& store);

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

    ov::MessageSink& messages;
    ov::RegistryStore& store;

    std::string& languageSetting() { return settings.entry[kLanguageSetting]; }
    // Shows a message with the program's title.
    ov::MsgResult Message(const std::string& text, ov::MsgIcon icon);
};

// Saves the settings to the store once they have been loaded.
void SaveSettingsIfLoaded(AppState& state);

}  // namespace znt
