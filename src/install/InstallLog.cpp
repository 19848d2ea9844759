#include "install/InstallLog.h"

#include "OVShared/Platform/FileSystem.h"
#include "install/RowText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <utility>

namespace znt {
namespace {

// Renames a log of bound bytes or more to <path>.1 first. O_NONBLOCK: a
// FIFO put in the log's place fails at once instead of waiting for a reader.
bool AppendLine(const std::string& path, const std::string& line, std::int64_t bound) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= bound) {
        ::rename(path.c_str(), (path + ".1").c_str());
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                    0644);
    if (fd < 0) return false;
    bool written = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                   ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return written;
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
    if (e.kind == InstallEventKind::ArchiveFetched || e.kind == InstallEventKind::ArchiveFailed) {
        Append({EventWord(e.kind), name, std::to_string(e.bytes), std::to_string(e.milliseconds)});
    } else {
        Append({EventWord(e.kind), name});
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
    for (const auto& [word, paths] : {std::pair{"REMOVED", &result.removed},
                                      std::pair{"NOT-REMOVED", &result.failed},
                                      std::pair{"SKIPPED", &result.skipped}}) {
        for (const std::string& path : *paths) Append({word, OneRowText(Below(path))});
    }
}

void InstallLog::Recovery(const RecoveryResult& result) {
    if (!result.journalFound && result.placed.empty() && result.leftOld.empty()) return;
    if (result.refused) Append({"RECOVERY-REFUSED"});
    for (const auto& [word, paths] : {std::pair{"RECOVERED", &result.placed},
                                      std::pair{"NOT-RECOVERED", &result.leftOld}}) {
        for (const std::string& path : *paths) Append({word, OneRowText(Below(path))});
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
    }
    return "?";
}

const char* OutcomeWord(InstallOutcome outcome) {
    switch (outcome) {
        case InstallOutcome::Finished: return "FINISHED";
        case InstallOutcome::Cancelled: return "CANCELLED";
        case InstallOutcome::Restart: return "RESTART";
    }
    return "?";
}

std::string LocalTimestamp(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    ::localtime_r(&t, &local);
    char stamp[40];
    char zone[8];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);  // "+0100"
    std::string text = stamp;
    if (std::string_view(zone).size() == 5) {
        text += std::string(zone, 3) + ":" + std::string(zone + 3, 2);
    }
    return text;
}

}  // namespace znt
