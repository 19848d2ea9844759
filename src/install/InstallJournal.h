#pragma once

// The install pass's journal, so that a pass cut short (the program killed,
// the power lost) is finished by the next start that may change the
// installation.
//
// Before the first file is replaced, every new file is extracted whole into
// a folder of its archive's own below <cache>\pending\ and the file system
// is flushed; then <cache>\install.journal lists each (staged file, target)
// pair and is written through a temporary file, flushed, renamed and its
// folder flushed (WriteJournal does both).
// The pass places the files in the journal's order (FileOps::Place): the
// last entry that names a staged file renames it over its target, earlier
// ones (and any where no rename can be done) put a flushed copy beside the
// target and rename that over it. Then it flushes the targets' folders and
// removes the journal and the staging folder. Nothing is marked per file:
// placing an entry again is harmless, and a staged file is gone only once
// its last entry renamed it into place (or the pass deleted it after that
// entry), when every entry naming it is done; so recovery places every
// entry whose staged file is still there, the same way.
//
// The journal is untrusted input. It is acted on only when it reads whole
// (its first line, the entry count, every entry and the checksum line) and
// every path stays inside its folder (staged files below the staging
// folder, targets below the installation); otherwise it is removed and
// nothing is placed from it. The caller holds the installation's
// single-instance lock, so no live pass is disturbed.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

class FileOps;

// Paths relative to their folders, with "\" like the catalogue's.
struct JournalEntry {
    std::string staged;  // below the cache folder: "pending\a.dll.zip\a.dll"
    std::string target;  // below the installation folder: "bin\a.dll"
    bool operator==(const JournalEntry&) const = default;
};

inline constexpr const char* kJournalName = "install.journal";
inline constexpr const char* kStagingFolder = "pending";  // below the cache folder

// The staged file is below the staging folder and the target below the
// installation, both by ov::IsContainedRelativePath.
bool IsSafeJournalEntry(const JournalEntry& e);

// The journal's text, and the entries of a text that reads whole and safe.
std::string JournalText(const std::vector<JournalEntry>& entries);
std::optional<std::vector<JournalEntry>> ParseJournal(std::string_view text);

// cacheFolder ends with "\".
std::string JournalPath(const std::string& cacheFolder);
bool JournalPending(const std::string& cacheFolder);

// Flushes the staged files to disk, then writes the journal atomically and
// durably; false when it could not be.
bool WriteJournal(const std::string& cacheFolder, const std::vector<JournalEntry>& entries);

// The end of a pass: flushes the folders of the journal's targets, then
// removes the journal and the staging folder.
void CloseJournal(const std::string& installFolder, const std::string& cacheFolder);

// A target that kept its old file, and why (a short English phrase).
struct NotRecovered {
    std::string target;  // full "\" path
    std::string reason;
    bool operator==(const NotRecovered&) const = default;
};

// What recovery did, for the caller's report (a log, the unattended lines).
struct RecoveryResult {
    bool journalFound = false;
    bool refused = false;               // damaged or unsafe: removed, nothing placed
    std::vector<std::string> placed;    // targets, full "\" paths
    std::vector<NotRecovered> leftOld;  // kept their old file; the new one waits in the cache
};

inline constexpr const char* kReasonNewCopyInCache = "cannot be replaced, new copy kept in cache";
inline constexpr const char* kReasonNewCopyLost = "cannot be replaced, new copy lost";

// True when an interrupted pass left a journal, a staging folder or a
// journal's temporary.
bool RecoveryNeeded(const std::string& installFolder);

// Finishes an interrupted install pass of the installation (see above),
// then removes the journal, the staging folder and the temporaries the cut
// pass left (beside each target, and the journal's own). A new file that
// cannot be placed is moved to <cache>\<its name>, where the own executable
// is picked up by the next start's self-update.
RecoveryResult RecoverInterruptedInstall(const std::string& installFolder, FileOps& files);

// One English line describing a refused journal.
inline constexpr const char* kJournalRefusedText =
    "The record of an interrupted installation was damaged and has been removed; nothing was "
    "installed from it.";

}  // namespace znt
