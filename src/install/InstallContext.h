#pragma once

// What the install run and its archive fetches work with. The caller (the
// download window's first activation) fills one and passes it in; nothing
// is global. Paths are texts with "\" like the catalogue's.

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueTrust.h"
#include "catalogue/Retrieval.h"
#include "install/PartFileTransfer.h"
#include "install/TransferRate.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace ov {
class CoreSectionTable;
class InetControl;
class MessageSink;
}  // namespace ov

namespace znt {

struct AppTexts;

// Archive downloads at once from the update server, unless set otherwise.
inline constexpr int kDefaultParallel = 4;
inline constexpr int kMaxParallel = 16;
class DownloadView;
class FileOps;

// Extracts every member of an archive into a folder; 0 on success, else a
// code with a short reason ("CRC mismatch"). A member declared larger than
// maxFileBytes is not written. The run does not act on the code: the file
// it expects is either there or not, and the reason says why it is not.
class ArchiveExtractor {
public:
    virtual ~ArchiveExtractor() = default;
    virtual int Extract(const std::string& archive, const std::string& folder,
                        std::uint64_t maxFileBytes, std::string& reason) = 0;
};

// Runs the patcher (its path and argument line) and returns when it ended.
using PatcherRunner =
    std::function<void(const std::string& updaterPath, const std::string& arguments)>;

// ov::RunAutopatch with the core texts and message sink it reports through.
PatcherRunner AutopatchRunner(ov::CoreSectionTable& coreTexts, ov::MessageSink& sink);

// What happened to one archive or file, for a caller that reports the run
// (the unattended mode's progress lines, a log).
enum class InstallEventKind {
    ArchiveFetched,       // name: the archive; bytes: those fetched (its length, or
                          // its delta's); milliseconds taken
    ArchiveFailed,        // not fetched whole at its catalogue length (bytes, milliseconds)
    FileNotExtracted,     // name: the file; the archive gave no such file
    FilePlaced,           // name: the target
    FileNotPlaced,        // a new file that could not be written (no old one)
    FileToPatcher,        // could not be replaced; handed to the patcher
    OwnExecutableStaged,  // left in the cache folder for the next start
    FileSkipped,          // a file the run must not touch (reason says why)
    DeltaUsed,            // name: the archive; reason: the delta fetched instead
    DeltaNotUsed,         // name: the archive (or the index); reason: why not; bytes:
                          // what the run's byte total grew by for the archive
};

// The events that mean a file of the run did not get its new version.
bool IsFailureEvent(InstallEventKind kind);

struct InstallEvent {
    InstallEventKind kind;
    std::string name;
    std::int64_t bytes = 0;
    std::int64_t milliseconds = 0;  // time the fetch of an archive took
    std::string reason{};           // why a failure or skip happened, short and in English
};

using InstallReporter = std::function<void(const InstallEvent&)>;

// One archive's staged file in the pass.
struct StagedArchive {
    std::string path;    // below the cache folder
    std::string reason;  // why its extraction failed; empty when it did not
    int uses = 0;        // entries of the run still to place it
};

// The run's own counters; RunInstall starts them afresh.
struct InstallRunState {
    RunBytes bytes;
    int totalBar = 0;             // the value PTOTAL shows
    bool restart = false;         // the program's own executable was staged
    TransferRate rate;            // lblSpeed's rate and time left
    bool archiveRefused = false;  // an archive did not match the signed hash list
    bool serverSilent = false;    // the update server stopped answering (FetchFromSource.h)
    // The archives this run fetched and accepted: a second entry naming one
    // takes it from the cache without asking the source again.
    std::set<std::string> fetchedArchives;
    // The archives whose new file was rebuilt from a delta instead
    // (RebuiltPath, FetchFromSource.h).
    std::set<std::string> rebuilt;
    // The staged files of the pass; an archive named twice is staged once.
    std::vector<StagedArchive> staged;
    StagedArchive* Staged(const std::string& path);
    // Targets of the files that did not get their new version (archive not
    // fetched, nothing extracted, not placed), each once, in order.
    std::vector<std::string> notInstalled;
    std::set<std::string> notInstalledSeen;  // the same targets, for a quick test
};

struct InstallContext {
    std::string installFolder;  // without a trailing "\"
    std::string cacheFolder;    // installFolder + "\core\cache\"
    Packages& packages;
    bool english;  // the interface is English ("-L E" for the patcher)
    const AppTexts& texts;
    ov::MessageSink& messages;
    std::string title;  // of message boxes
    DownloadView& view;
    ov::InetControl& inet;
    CatalogueSource source;
    ArchiveExtractor& extractor;
    FileOps& files;
    PatcherRunner patcher;
    InstallReporter report{};
    InstallRunState run{};
    ArchiveHashes archiveHashes{};    // of a signed catalogue; not required otherwise
    RetryPolicy retry{};              // for archive downloads; tests replace its wait
    int parallel = kDefaultParallel;  // archive downloads at once (FetchPass.h), 1 to kMaxParallel
    std::string logPath{};            // the log the run's events go to; empty: core\zntr.log
    std::string deltaIndexProblem{};  // why the server's delta index was not used (DeltaOffer)

    // Notes a target that did not get its new version, unless it is noted.
    void NoteNotInstalled(const std::string& target);

    // Hands the event to the reporter. A failure or skip that names a file
    // (every one but a failed archive, which names the archive) notes that
    // file as not installed; the fetch pass notes the files of a failed archive.
    void Report(InstallEventKind kind, std::string name, std::int64_t bytes = 0,
                std::int64_t milliseconds = 0, std::string reason = {}) {
        if ((IsFailureEvent(kind) || kind == InstallEventKind::FileSkipped) &&
            kind != InstallEventKind::ArchiveFailed) {
            NoteNotInstalled(name);
        }
        if (report) {
            report(InstallEvent{kind, std::move(name), bytes, milliseconds, std::move(reason)});
        }
    }
};

}  // namespace znt
