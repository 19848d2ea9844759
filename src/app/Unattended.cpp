#include "app/Unattended.h"

#include "app/ListMode.h"
#include "catalogue/Retrieval.h"
#include "i18n/TextNumbers.h"
#include "install/DownloadView.h"
#include "install/FetchFromSource.h"
#include "install/InstallRun.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <exception>

namespace znt {
namespace {

// English texts for an installation whose language pack is missing.
void FillFallbackTexts(AppTexts& texts) {
    const std::pair<int, const char*> fallbacks[] = {
        {kTextTitle, "Orvantis live update"},
        {kTextAlreadyRunning, "Orvantis live update is already running."},
        {kTextRemovalFailed, "Some files could not be removed."},
        {kTextNothingToRemove, "No installed packages can be removed."},
        {kTextFetchFailed, "The package list could not be fetched."},
        {kTextOwnExecutableStaged,
         "A new version of the program has been staged; start it again to finish."},
        {kTextNothingToInstall, "All installed packages are up to date."},
        {kTextInstallFinished, "The installation has finished."},
        {kTextCatalogueUntrusted,
         "The package list is not signed by the trusted key, or it or its checksums were "
         "changed, so it was not used."},
        {kTextArchiveUntrusted,
         "A downloaded package file does not match the signed package list. Nothing was "
         "installed."},
        {kTextJournalNotWritten,
         "The installation could not be recorded on disk, so nothing was installed. The "
         "downloaded files are kept for the next attempt."},
        {kTextInstallStopped,
         "The installation stopped because of an unexpected error. Files not installed yet "
         "keep their old version."},
        {kTextLockUnavailable,
         "The installation could not be locked for this run (its lock file in the core folder "
         "cannot be made or opened), so nothing was changed."},
        {kTextOneFileNotInstalled,
         "The installation ended, but one file was not installed. The install log %2 names "
         "it and says why."},
        {kTextFilesNotInstalled,
         "The installation ended, but %1 files were not installed. The install log %2 names "
         "them and says why."}};
    for (const auto& [index, text] : fallbacks) {
        auto& slot = texts.text[static_cast<size_t>(index)];
        if (slot.empty()) slot = text;
    }
}

using ModeRun = int (*)(const LaunchOptions&, const std::string&, std::ostream&, std::ostream&);

struct UnattendedMode {
    LaunchWord word;
    bool needsQuiet;   // without /QUIET the word opens a window
    const char* name;  // the start of its messages
    int onThrow;
    ModeRun run;
};

constexpr UnattendedMode kModes[] = {
    {LaunchWord::List, false, "LIST", kExitFetchFailed, RunListMode},
    {LaunchWord::Update, true, "UPDATE", kExitFileFailed, RunUnattendedUpdate},
    {LaunchWord::Uninstall, true, "UNINSTALL", kExitFileFailed, RunUnattendedRemoval},
};

// Text before the last separator of either kind; empty when there is none.
std::string ParentOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

UnattendedRun UnattendedRunOf(const LaunchOptions& options, const std::string& programPath) {
    UnattendedRun run;
    run.appFolder = ParentOf(ParentOf(programPath));
    run.english = options.english;
    LoadLanguagePack(run.texts, run.appFolder, StartLanguageSetting(options));
    FillFallbackTexts(run.texts);
    run.title = run.texts[kTextTitle];
    return run;
}

std::string ShownName(const UnattendedRun& run, const std::string& path) {
    const std::string prefix = run.appFolder + "\\";
    return OneRowText(path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path);
}

ov::MsgResult StreamMessageSink::Show(const std::string& text, const std::string&, ov::MsgIcon,
                                      ov::MsgButtons buttons) {
    // Line breaks stay; every other control character is replaced.
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        err_ << OneRowText(line) << '\n';
        start = end + 1;
    }
    return buttons == ov::MsgButtons::Ok || buttons == ov::MsgButtons::OkCancel
               ? ov::MsgResult::Ok
               : ov::MsgResult::Yes;
}

std::optional<std::string> StreamMessageSink::InputBox(const std::string&, const std::string&) {
    return std::nullopt;
}

int FlushedStatus(std::ostream& out, std::ostream& err, std::string_view mode,
                  std::string_view what, int status) {
    if (out.flush()) return status;
    err << mode << ": the " << what << " could not be written to standard output.\n";
    return kExitOutputFailed;
}

std::string UsageText() {
    return "Usage: zntr.exe [SETUP | UPDATE | FIRSTINSTALL] [/ENG] [/SERVER=<address>]\n"
           "       zntr.exe LIST [/ENG] [/SERVER=<address> | /SOURCE=<folder>]\n"
           "       zntr.exe UPDATE /QUIET [/ENG] [/SERVER=<address> | /SOURCE=<folder>]\n"
           "                [/LOG=<file>] [/PARALLEL=<n>]\n"
           "       zntr.exe UNINSTALL /QUIET /PACKAGE=<code>[,<code>...] [/ENG]\n"
           "                [/SERVER=<address> | /SOURCE=<folder>] [/LOG=<file>]\n"
           "\n"
           "Without a launch word the main window opens; SETUP starts the Install command,\n"
           "UPDATE offers the updates, FIRSTINSTALL opens the first-install wizard.\n"
           "/ENG selects English (Greek otherwise). /SERVER= names the update server\n"
           "(http:// or https://); /SOURCE= a local folder holding packages.dat and files\\.\n"
           "/LOG= appends the run's log to that file instead of core\\zntr.log.\n"
           "/PARALLEL= sets how many archives download at once, 1 to 16 (default 4).\n"
           "\n"
           "Exit status of the unattended modes: 0 done, 1 the catalogue could not be\n"
           "fetched, 2 bad command line, 3 output could not be written (or no display for\n"
           "the windows), 4 nothing to do or no package matched, 5 a file failed, 6 the\n"
           "program's new copy is staged for the next start, 7 the program is already\n"
           "running on this installation.\n";
}

bool IsUnattendedMode(const LaunchOptions& options) {
    if (options.word == LaunchWord::Usage) return true;
    for (const UnattendedMode& mode : kModes) {
        if (mode.word == options.word && (options.quiet || !mode.needsQuiet)) return true;
    }
    return false;
}

std::optional<int> RunUnattendedMode(const LaunchOptions& options, const std::string& programPath,
                                     std::ostream& out, std::ostream& err) {
    if (options.word == LaunchWord::Usage) {
        out << UsageText();
        return out.flush() ? kExitDone : kExitOutputFailed;
    }
    for (const UnattendedMode& mode : kModes) {
        if (mode.word != options.word || (mode.needsQuiet && !options.quiet)) continue;
        try {
            return mode.run(options, programPath, out, err);
        } catch (const std::exception& e) {
            // A LIST that failed this way could not use its catalogue; a run
            // that changes the installation may have failed on a file.
            err << mode.name << ": " << e.what() << '\n';
            return mode.onThrow;
        }
    }
    return std::nullopt;
}

bool BoxesOnConsole() {
    const char* value = std::getenv("ZNT_UNATTENDED");
    return value && std::strcmp(value, "1") == 0;
}

}  // namespace znt
