#pragma once

// The program's state: what start-up fixes (folders, language, texts,
// settings) and what the windows share while it runs (the package source,
// the transfer control, the catalogue, the list map, the core section
// table). main owns one and passes it by reference to every window and
// command.

#include "OVShared/Modules/modOVCoreRun.h"
#include "OVShared/Platform/InstanceLock.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/RegistryStore.h"
#include "app/CommandLine.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueTrust.h"
#include "catalogue/PackageLists.h"
#include "i18n/LanguagePack.h"
#include "i18n/SharedPack.h"
#include "install/InstallJournal.h"
#include "settings/Settings.h"

#include <optional>
#include <string>

namespace znt {

// The program's message and input boxes: an untitled box gets the program
// title. Once the close path has begun nothing is shown and each box gets
// its most cautious answer (Ok when that is the only button, else Cancel or
// No; no input).
class AppMessageSink : public ov::MessageSink {
public:
    AppMessageSink(ov::MessageSink& inner, const std::string& title, const bool& closing)
        : inner_(inner), title_(title), closing_(closing) {}
    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons = ov::MsgButtons::Ok) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;

private:
    ov::MessageSink& inner_;
    const std::string& title_;
    const bool& closing_;
};

struct AppState {
    AppState(LaunchOptions launch, std::string programPath, ov::MessageSink& messages,
             ov::RegistryStore& store);
    AppState(const AppState&) = delete;  // members refer to each other
    AppState& operator=(const AppState&) = delete;

    LaunchOptions launch;       // the command line, as parsed at the entry
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
    // Section "modOVCoreFunctions" for RunAutopatch and OpenWithShell: read
    // from sharedPack on first use, once per run, found or not.
    ov::CoreSectionTable coreTexts{&sharedPack};

    bool SourceIsInternet = true;
    std::string SourceFolder;
    bool SourceConfirmed = false;

    Packages packages;  // the catalogue in memory
    // The archive hashes of the last catalogue fetched, when it was signed, and
    // whether the last fetch failed because its signature or hashes were wrong.
    ArchiveHashes archiveHashes;
    DeltaOffer deltas;  // the server's delta index for the catalogue fetched last
    bool catalogueUntrusted = false;
    ListMap listMap;            // rows of the open install or uninstall list
    ov::InetControl inet;       // Inet1 of the main window
    ov::InstanceLock instance;  // held while this is the running copy
    RecoveryResult recovery;    // what start-up finished of an interrupted install pass

    // Set first thing by the close path. A command that finds it set after a
    // wait (a transfer, a modal dialog) returns at once and shows nothing.
    bool closing = false;
    // The exit code when a window shown by start-up ends the program (the
    // first-install wizard).
    int exitCode = 0;

private:
    AppMessageSink messageSink_;

public:
    ov::MessageSink& messages;  // titles untitled boxes; shows nothing once closing
    ov::RegistryStore& store;

    std::string& languageSetting() { return settings.entry[kLanguageSetting]; }
    // Shows a message with the program's title.
    ov::MsgResult Message(const std::string& text, ov::MsgIcon icon);
};

// Saves the settings to the store once they have been loaded.
void SaveSettingsIfLoaded(AppState& state);

}  // namespace znt
