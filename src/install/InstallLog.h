#pragma once

// The installation's log: core\zntr.log below the installation folder, or a
// file the caller names. Every run that changes the installation appends
// one UTF-8 line per event, "<local ISO-8601 time>\t<WORD>[\t<field>...]":
//   START    <mode> <source: server address or folder>
//   FETCHED  <archive> <bytes> <milliseconds>   (FAILED: the same, then <reason>)
//   INSTALLED, PATCHER, STAGED <file below the installation>
//   NOT-INSTALLED, SKIPPED <file> <reason>
//   DELTA    <archive> <delta file>   (its file was rebuilt from that delta)
//   NO-DELTA <archive> <delta file>: <reason>   (the archive was fetched instead;
//            packages.delta <reason> when the server's index was not used)
//   REMOVED <file below the installation>; NOT-REMOVED, SKIPPED <file> <reason>
//   END      <outcome> [<exit status>]    (ABORTED when the run never said)
//   RECOVERED <file>; NOT-RECOVERED <file> <reason>; RECOVERY-REFUSED
//                                                      (an interrupted run finished)
// Catalogue texts pass through OneRowText, so an event is always one line.
//
// Each line is appended with one write to a file opened for appending, so
// concurrent runs never mix within a line. Before a line goes to a log of
// `bound` bytes or more, the log is renamed to "<log>.1" (replacing the
// older generation), so both stay near the bound. A log that cannot be
// written is left alone: nothing here throws or stops the run.

#include "install/InstallContext.h"
#include "install/InstallJournal.h"
#include "install/InstallRun.h"
#include "install/RemovePackages.h"

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace znt {

inline constexpr std::int64_t kLogBound = 1 << 20;

class InstallLog {
public:
    // path and installFolder may use "\"; installFolder has no trailing one.
    InstallLog(std::string path, std::string installFolder, std::int64_t bound = kLogBound);
    ~InstallLog();  // END ABORTED after a START without an END
    InstallLog(const InstallLog&) = delete;
    InstallLog& operator=(const InstallLog&) = delete;

    void Start(std::string_view mode, const CatalogueSource& source);
    void Start(std::string_view mode, std::string_view what);
    void Event(const InstallEvent& e);
    // Logs each event, then hands it to next (when there is one). The log
    // must outlive the reporter.
    InstallReporter Reporter(InstallReporter next = {});
    void Removal(const RemovalResult& result);
    // What the recovery of an interrupted install did; nothing when there was none.
    void Recovery(const RecoveryResult& result);
    void End(std::string_view outcome, std::string_view status = {});

    // One line of the fields joined by tabs; false when it could not be written.
    bool Append(std::initializer_list<std::string_view> fields);

private:
    std::string Below(const std::string& path) const;

    std::string path_;  // native
    std::string installFolder_;
    std::int64_t bound_;
    bool open_ = false;  // started and not ended
};

// installFolder + "\core\zntr.log".
std::string DefaultLogPath(const std::string& installFolder);
// The word of an event in the log and the unattended update's lines.
const char* EventWord(InstallEventKind kind);
// FINISHED, CANCELLED or RESTART.
const char* OutcomeWord(InstallOutcome outcome);
// "2026-12-08T15:40:01+01:00" in the local time zone.
std::string LocalTimestamp(std::chrono::system_clock::time_point when);

}  // namespace znt
