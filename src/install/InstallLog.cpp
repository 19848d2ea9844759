#include "install/InstallLog.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/LocalTime.h"
#include "install/RowText.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <optional>
#include <utility>

namespace znt {
namespace {

// Renames a log of bound bytes or more to <path>.1 first.
bool AppendLine(const std::string& path, const std::string& line, std::int64_t bound) {
    std::optional<std::uint64_t> length = ov::FileLength(path);
    if (length && *length >= static_cast<std::uint64_t>(bound)) {
        ov::RenameReplacing(path, path + ".1");
    }
    return ov::AppendToFile(path, line);
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The local time's offset from UTC in seconds: the local fields read as
// UTC, less the moment itself (strftime's "%z" is no offset on Windows).
std::int64_t UtcOffsetSeconds(const std::tm& local, std::time_t t) {
    const std::int64_t days =
        DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday));
    return days * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec -
           static_cast<std::int64_t>(t);
}

}  // namespace

InstallLog::InstallLog(std::string path, std::string installFolder, std::int64_t bound)
    : path_(ov::NativePath(path)), installFolder_(std::move(installFolder)), bound_(bound) {}

InstallLog::~InstallLog() {
    if (open_) End("ABORTED");
}

void InstallLog::Start(std::string_view mode, const CatalogueSource& source) {
    Start(mode, source.SourceIsInternet ? source.serverBase : source.SourceFolder);
}

void InstallLog::Start(std::string_view mode, std::string_view what) {
    open_ = true;
    Append({"START", mode, OneRowText(what)});
}

void InstallLog::Event(const InstallEvent& e) {
    const std::string name = OneRowText(Below(e.name));
    const std::string reason = OneRowText(e.reason);
    if (e.kind == InstallEventKind::ArchiveFetched || e.kind == InstallEventKind::ArchiveFailed) {
        const std::string bytes = std::to_string(e.bytes);
        const std::string ms = std::to_string(e.milliseconds);
        if (reason.empty()) {
            Append({EventWord(e.kind), name, bytes, ms});
        } else {
            Append({EventWord(e.kind), name, bytes, ms, reason});
        }
    } else if (reason.empty()) {
        Append({EventWord(e.kind), name});
    } else {
        Append({EventWord(e.kind), name, reason});
    }
}

InstallReporter InstallLog::Reporter(InstallReporter next) {
    return [this, next = std::move(next)](const InstallEvent& e) {
        try {
            Event(e);
        } catch (const std::exception&) {
            // the run goes on without this line
        }
        if (next) next(e);
    };
}

void InstallLog::Removal(const RemovalResult& result) {
    for (const std::string& path : result.removed) Append({"REMOVED", OneRowText(Below(path))});
    for (const auto& [word, lines] :
         {std::pair{"NOT-REMOVED", &result.failed}, std::pair{"SKIPPED", &result.skipped}}) {
        for (const RemovalLine& line : *lines) {
            Append({word, OneRowText(Below(line.path)), OneRowText(line.reason)});
        }
    }
}

void InstallLog::Recovery(const RecoveryResult& result) {
    if (!result.journalFound && result.placed.empty() && result.leftOld.empty()) return;
    if (result.refused) Append({"RECOVERY-REFUSED"});
    for (const std::string& path : result.placed) Append({"RECOVERED", OneRowText(Below(path))});
    for (const NotRecovered& n : result.leftOld) {
        Append({"NOT-RECOVERED", OneRowText(Below(n.target)), OneRowText(n.reason)});
    }
}

void InstallLog::End(std::string_view outcome, std::string_view status) {
    open_ = false;
    if (status.empty()) {
        Append({"END", outcome});
    } else {
        Append({"END", outcome, status});
    }
}

bool InstallLog::Append(std::initializer_list<std::string_view> fields) {
    try {
        std::string line = LocalTimestamp(std::chrono::system_clock::now());
        for (std::string_view field : fields) (line += '\t') += field;
        line += '\n';
        return AppendLine(path_, line, bound_);
    } catch (const std::exception&) {
        return false;
    }
}

std::string InstallLog::Below(const std::string& path) const {
    const std::string prefix = installFolder_ + "\\";
    return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
}

std::string DefaultLogPath(const std::string& installFolder) {
    return installFolder + "\\core\\zntr.log";
}

const char* EventWord(InstallEventKind kind) {
    switch (kind) {
    case InstallEventKind::ArchiveFetched: return "FETCHED";
    case InstallEventKind::ArchiveFailed: return "FAILED";
    case InstallEventKind::FilePlaced: return "INSTALLED";
    case InstallEventKind::FileNotExtracted:
    case InstallEventKind::FileNotPlaced: return "NOT-INSTALLED";
    case InstallEventKind::FileToPatcher: return "PATCHER";
    case InstallEventKind::OwnExecutableStaged: return "STAGED";
    case InstallEventKind::FileSkipped: return "SKIPPED";
    case InstallEventKind::DeltaUsed: return "DELTA";
    case InstallEventKind::DeltaNotUsed: return "NO-DELTA";
    }
    return "?";
}

const char* OutcomeWord(InstallOutcome outcome) {
    switch (outcome) {
    case InstallOutcome::Finished: return "FINISHED";
    case InstallOutcome::Cancelled: return "CANCELLED";
    case InstallOutcome::Restart: return "RESTART";
    case InstallOutcome::Failed: return "FAILED";
    }
    return "?";
}

std::string LocalTimestamp(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    const std::tm local = ov::LocalTime(t);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    const std::int64_t offset = UtcOffsetSeconds(local, t);
    const std::int64_t minutes = std::llabs(offset) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+',
                  static_cast<int>(minutes / 60 % 100), static_cast<int>(minutes % 60));
    return stamp + std::string(zone);
}

}  // namespace znt
