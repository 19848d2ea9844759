#pragma once

// What the windowless modes (LIST, UPDATE /QUIET, UNINSTALL /QUIET) share:
// the installation and language taken from the command line, texts that
// work without a language pack, messages to a stream, the package source,
// and the catalogue fetched into a folder of the run's own, so that no
// windowless run writes a catalogue into the installation.

#include "OVShared/Platform/MessageBox.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Retrieval.h"
#include "i18n/LanguagePack.h"
#include "install/RowText.h"  // OneRowText, for the modes' rows

#include <optional>
#include <ostream>
#include <string>

namespace znt {

// Exit statuses of the windowless modes (and of a window mode without a display).
constexpr int kExitDone = 0;
constexpr int kExitFetchFailed = 1;      // the catalogue could not be fetched or read whole
constexpr int kExitBadCommandLine = 2;
constexpr int kExitOutputFailed = 3;     // standard output could not be written; no display
constexpr int kExitNothingToDo = 4;      // nothing to install, or no package matched
constexpr int kExitFileFailed = 5;       // a file was not fetched, extracted, placed or removed
constexpr int kExitRestartNeeded = 6;    // the program's own new copy waits for the next start
constexpr int kExitAlreadyRunning = 7;   // another copy works on this installation

// Shown when the installation's lock cannot be taken at all (no lock file).
inline constexpr int kTextLockUnavailable = 660;

// The installation and language of a windowless run.
struct UnattendedRun {
    std::string appFolder;  // the parent of the program's folder
    bool english = false;
    AppTexts texts;         // the pack's, with English fallbacks where it has none
    std::string title;      // text 1
};
UnattendedRun UnattendedRunOf(const std::string& commandLine, const std::string& programPath);

// Writes each message as one line of UTF-8 text; questions get their first
// answer, input boxes none.
class StreamMessageSink : public ov::MessageSink {
public:
    explicit StreamMessageSink(std::ostream& err) : err_(err) {}
    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;

private:
    std::ostream& err_;
};

// /SOURCE=<folder> (holding packages.dat and files\), else the update
// server. Nothing, after a message on err, when the server address is unusable.
std::optional<CatalogueSource> SourceOf(const std::string& commandLine, std::ostream& err);

// The whole catalogue, fetched into a private folder that is gone on return,
// and checked against the installation's key (core\zntr.pub) when it has one
// (the user's settings store keeps the last accepted signature time); hashes,
// when given, receives the signed archive hashes. Nothing, after a message on
// err, when it cannot be fetched, read whole or trusted.
std::optional<Packages> FetchPrivateCatalogue(const CatalogueSource& source,
                                              const UnattendedRun& run, const char* mode,
                                              std::ostream& err, ArchiveHashes* hashes = nullptr);

}  // namespace znt
