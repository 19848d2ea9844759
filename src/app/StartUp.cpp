#include "app/StartUp.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Modules/StepRunner.h"
#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"
#include "app/AppState.h"
#include "app/CommandLine.h"
#include "app/StagedUpdate.h"
#include "app/Unattended.h"
#include "i18n/TextNumbers.h"
#include "install/InstallFiles.h"
#include "install/InstallJournal.h"
#include "install/InstallLog.h"

namespace znt {
namespace {

using Step = ov::ChainStep<MainContext, int>;

// A step that throws is skipped and the load goes on (the window is worth
// showing without its icon, say), except where going on would let this
// start work on the installation unguarded: a staged copy that did not run
// to its end, and a lock that was not taken, end the start.
constexpr StepResult kGoOn = std::nullopt;
constexpr Step kLoadSteps[] = {
    {StepStagedCopyMode, kExitFailed},
    {StepLanguageFromCommandLine, kGoOn},
    {StepApplicationFolder, kGoOn},
    {StepCacheFolder, kGoOn},
    {StepRecoverInstall, kGoOn},
    {StepStagedExecutable, kGoOn},
    {StepPackageSource, kGoOn},
    {StepLanguagePack, kGoOn},
    {StepSettings, kGoOn},
    {StepCaptions, kGoOn},
    {StepSharedPack, kGoOn},
    {StepTitle, kGoOn},
    {StepSingleInstance, kExitFailed},
    {StepIcon, kGoOn},
    {StepLaunchMode, kGoOn},
};

}  // namespace

std::string SharedPackLanguage(std::string_view languageSetting) {
    bool english =
        !languageSetting.empty() && (languageSetting[0] == 'E' || languageSetting[0] == 'e');
    return english ? "ENGLISH" : "GREEK";
}

// Reads programFolder; a copy running from the cache does its work and ends.
StepResult StepStagedCopyMode(MainContext& c) {
    if (!IsStagedCopyRun(c.state.programFolder)) return std::nullopt;
    return RunStagedCopy(c.state.programFolder, c.state.appTitle, c.state.messages);
}

// Reads /ENG; writes settings entry 3.
StepResult StepLanguageFromCommandLine(MainContext& c) {
    c.state.languageSetting() = StartLanguageSetting(c.state.launch);
    return std::nullopt;
}

// Reads programFolder; writes appFolder and cacheFolder.
StepResult StepApplicationFolder(MainContext& c) {
    c.state.appFolder = ov::StripPathLevels(c.state.programFolder, 1);
    c.state.cacheFolder = c.state.appFolder + "\\core\\cache\\";
    return std::nullopt;
}

// Reads cacheFolder; creates it with its parents (failures ignored). A link
// in its place is removed (never what it names) for a real folder.
StepResult StepCacheFolder(MainContext& c) {
    ov::MakeRealFolder(c.state.cacheFolder);
    return std::nullopt;
}

// Reads core\cache\install.journal; finishes the placements of an install
// pass cut short, under the single-instance lock (another copy at work on
// the installation keeps its journal, and this start ends later on the lock).
StepResult StepRecoverInstall(MainContext& c) {
    AppState& s = c.state;
    if (!RecoveryNeeded(s.appFolder)) return std::nullopt;
    if (!s.instance.held() && !s.instance.TryAcquire(s.appFolder)) return std::nullopt;
    DiskFileOps files;
    s.recovery = RecoverInterruptedInstall(s.appFolder, files);
    InstallLog(DefaultLogPath(s.appFolder), s.appFolder).Recovery(s.recovery);
    return std::nullopt;
}

// Reads core\cache; empties it after a finished update (under the lock,
// which it takes when free), or starts the staged copy and ends.
StepResult StepStagedExecutable(MainContext& c) {
    if (CheckStagedExecutable(c.state.appFolder, c.state.instance) == StagedCheck::Started) {
        return kExitOk;
    }
    return std::nullopt;
}

// Reads appFolder and the server address; writes the source state and server.
StepResult StepPackageSource(MainContext& c) {
    c.state.SourceIsInternet = true;
    c.state.SourceFolder = c.state.appFolder;
    const ServerBase& server = c.state.launch.server;
    c.state.serverBase = server.url;
    if (!server.problem.empty()) c.state.Message(server.problem, ov::MsgIcon::Exclamation);
    const ParallelChoice& parallel = c.state.launch.parallel;
    if (!parallel.problem.empty()) c.state.Message(parallel.problem, ov::MsgIcon::Exclamation);
    return std::nullopt;
}

// Reads entry 3; writes texts. An unusable pack ends the program.
StepResult StepLanguagePack(MainContext& c) {
    AppState& s = c.state;
    if (LoadLanguagePack(s.texts, s.appFolder, s.languageSetting()) == PackLoadResult::Ok) {
        return std::nullopt;
    }
    ShowPackError(s);
    return kExitFailed;
}

// Reads the store; writes settings (entry 3 keeps the start-up language).
StepResult StepSettings(MainContext& c) {
    LoadSettings(c.state.store, c.state.settings, c.state.appFolder);
    c.state.settingsLoaded = true;
    return std::nullopt;
}

// Reads texts; writes the main window's captions.
StepResult StepCaptions(MainContext& c) {
    c.window.SetCaptions();
    return std::nullopt;
}

// Reads entry 3; writes the shared-pack index.
StepResult StepSharedPack(MainContext& c) {
    AppState& s = c.state;
    s.sharedPack.Build(s.appFolder + "\\languages\\ovshared.lng",
                       SharedPackLanguage(s.languageSetting()));
    return std::nullopt;
}

// Reads text 1; writes the program title. Without a title the pack is unusable.
StepResult StepTitle(MainContext& c) {
    AppState& s = c.state;
    if (!s.texts[kTextTitle].empty()) {
        s.appTitle = s.texts[kTextTitle];
        return std::nullopt;
    }
    s.Message(kPackProblemText, ov::MsgIcon::Critical);
    return kExitFailed;
}

// Takes the installation's lock (kept when an earlier step took it); another
// holder, or no lock to be had, ends this start.
StepResult StepSingleInstance(MainContext& c) {
    AppState& s = c.state;
    if (s.instance.held()) return std::nullopt;
    switch (s.instance.Acquire(s.appFolder)) {
    case ov::InstanceLock::Result::Held: return std::nullopt;
    case ov::InstanceLock::Result::Busy:
        s.Message(s.texts[kTextAlreadyRunning], ov::MsgIcon::Exclamation);
        return kExitFailed;
    case ov::InstanceLock::Result::Unavailable: break;
    }
    s.Message(s.texts[kTextLockUnavailable], ov::MsgIcon::Critical);
    return kExitFailed;
}

// Reads system\MENU\ZNT.ico; sets the window icon when it is there.
StepResult StepIcon(MainContext& c) {
    std::string icon = c.state.appFolder + "\\system\\MENU\\ZNT.ico";
    if (ov::FileExists(icon)) c.window.SetIcon(ov::NativePath(icon));
    return std::nullopt;
}

// Reads the launch word; runs its mode. "UPDATE" and "FIRSTINSTALL" end the
// program: the wizard's Close is the end of the run.
StepResult StepLaunchMode(MainContext& c) {
    switch (c.state.launch.word) {
    case LaunchWord::Setup: RunPackageCommand(c, PackageCommand::Install); return std::nullopt;
    case LaunchWord::Update: return RunUpdateMode(c);
    case LaunchWord::FirstInstall: c.dialogs.ShowFirstInstall(c); return c.state.exitCode;
    case LaunchWord::None:  // the main window, as for UNINSTALL without /QUIET
    case LaunchWord::List:
    case LaunchWord::Uninstall:
    case LaunchWord::Usage: break;
    }
    return std::nullopt;
}

int RunUpdateMode(MainContext& c) {
    AppState& s = c.state;
    s.SourceIsInternet = true;
    bool fetched = FetchWithProgress(c);
    if (s.closing) return kExitOk;  // the close path has ended the program
    if (!fetched) {
        EndBusy(c);
        s.Message(s.texts[FetchFailureText(s)], ov::MsgIcon::Critical);
        SaveSettingsIfLoaded(s);
        return kExitFailed;
    }
    c.dialogs.ShowInstallSelection(c);
    SaveSettingsIfLoaded(s);
    return kExitOk;
}

LoadOutcome LoadMainWindow(MainContext& c) {
    if (StepResult end = ov::RunChain<MainContext, int>(kLoadSteps, c)) {
        return LoadOutcome{false, *end};
    }
    return LoadOutcome{true, kExitOk};
}

}  // namespace znt
