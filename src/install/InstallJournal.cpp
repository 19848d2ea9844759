#include "install/InstallJournal.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Fnv1a.h"
#include "OVShared/Platform/SafePath.h"
#include "install/InstallFiles.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <set>

namespace znt {
namespace {

constexpr std::string_view kFirstLine = "ZNTR INSTALL JOURNAL 1";
constexpr std::string_view kCountWord = "ENTRIES ";
constexpr std::string_view kCheckWord = "CHECK ";
// Far above any catalogue's file count; a larger file is damaged.
constexpr std::uint64_t kMaxJournalBytes = 16u << 20;

std::string CheckLine(std::string_view body) {
    return std::string(kCheckWord) + ov::Fnv1a64Hex(body);
}

// Reads the text up to the next "\n" and moves past it; nothing at the end.
std::optional<std::string_view> NextLine(std::string_view& rest) {
    size_t end = rest.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    return line;
}

bool IsStagedPath(std::string_view staged) {
    const std::string prefix = std::string(kStagingFolder) + "\\";
    return staged.size() > prefix.size() && staged.compare(0, prefix.size(), prefix) == 0 &&
           ov::IsContainedRelativePath(staged);
}

std::optional<JournalEntry> EntryOf(std::string_view line) {
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return std::nullopt;
    JournalEntry e{std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))};
    if (!IsSafeJournalEntry(e)) return std::nullopt;
    return e;
}

std::optional<size_t> CountOf(std::optional<std::string_view> line) {
    if (!line || line->substr(0, kCountWord.size()) != kCountWord) return std::nullopt;
    std::string_view digits = line->substr(kCountWord.size());
    size_t count = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return count;
}

std::string CacheOf(const std::string& installFolder) { return installFolder + "\\core\\cache\\"; }

void RemoveStagingFolder(const std::string& cacheFolder) {
    std::error_code ec;
    std::filesystem::remove_all(FsPath(cacheFolder + kStagingFolder), ec);
}

std::optional<std::vector<JournalEntry>> ReadJournal(const std::string& cacheFolder) {
    std::optional<std::string> text = ov::ReadWholeFile(JournalPath(cacheFolder), kMaxJournalBytes);
    if (!text) return std::nullopt;
    return ParseJournal(*text);
}

// Places one entry whose staged file is still there; a file that cannot be
// placed waits in the cache folder under its own name, as in the pass. The
// staged file is kept while a later entry names it too.
void RecoverEntry(const std::string& installFolder, const JournalEntry& e, bool lastUse,
                  FileOps& files, RecoveryResult& r) {
    const std::string cache = CacheOf(installFolder);
    const std::string staged = cache + e.staged;
    if (!files.Exists(staged)) return;
    const std::string target = installFolder + "\\" + e.target;
    // Nothing is written through a link below the installation folder.
    const bool throughLink = ov::LinkBelow(installFolder, ov::ParentFolder(target));
    if (!throughLink) files.CreateFolderChain(ov::ParentFolder(target));
    if (!throughLink && files.Place(staged, target, lastUse)) {
        r.placed.push_back(target);
    } else {
        const std::string waiting = cache + LastPathPart(e.staged);
        bool kept = files.Place(staged, waiting, lastUse);
        ov::RemoveReplaceLeftovers(waiting);
        r.leftOld.push_back({target, kept ? kReasonNewCopyInCache : kReasonNewCopyLost});
    }
    if (lastUse) files.Delete(staged);
}

// A pass killed inside a replacing write leaves its temporary beside the
// target (or the journal); nothing else ever removes it.
void RemoveLeftovers(const std::string& installFolder, const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& e : entries) {
        ov::RemoveReplaceLeftovers(installFolder + "\\" + e.target);
    }
    ov::RemoveReplaceLeftovers(JournalPath(CacheOf(installFolder)));
}

bool JournalTemporaryLeft(const std::string& cacheFolder) {
    for (const std::string& found :
         ov::MatchFiles(cacheFolder, std::string(kJournalName) + ".tmp-*")) {
        if (ov::IsReplaceTemporaryOf(LastPathPart(found), kJournalName)) return true;
    }
    return false;
}

}  // namespace

bool IsSafeJournalEntry(const JournalEntry& e) {
    return IsStagedPath(e.staged) && ov::IsContainedRelativePath(e.target) &&
           !ov::IsProgramOwnFile(e.target);
}

std::string JournalText(const std::vector<JournalEntry>& entries) {
    std::string body = std::string(kFirstLine) + "\n" + std::string(kCountWord) +
                       std::to_string(entries.size()) + "\n";
    for (const JournalEntry& e : entries) body += e.staged + "\t" + e.target + "\n";
    return body + CheckLine(body) + "\n";
}

std::optional<std::vector<JournalEntry>> ParseJournal(std::string_view text) {
    std::string_view rest = text;
    if (NextLine(rest) != kFirstLine) return std::nullopt;
    std::optional<size_t> count = CountOf(NextLine(rest));
    if (!count || *count > rest.size()) return std::nullopt;
    std::vector<JournalEntry> entries;
    for (size_t i = 0; i < *count; ++i) {
        std::optional<std::string_view> line = NextLine(rest);
        std::optional<JournalEntry> e = line ? EntryOf(*line) : std::nullopt;
        if (!e) return std::nullopt;
        entries.push_back(std::move(*e));
    }
    std::string_view body = text.substr(0, text.size() - rest.size());
    if (NextLine(rest) != CheckLine(body) || !rest.empty()) return std::nullopt;
    return entries;
}

std::string JournalPath(const std::string& cacheFolder) { return cacheFolder + kJournalName; }

bool JournalPending(const std::string& cacheFolder) {
    return ov::IsRegularFile(JournalPath(cacheFolder));
}

bool WriteJournal(const std::string& cacheFolder, const std::vector<JournalEntry>& entries) {
    // Staged files are on disk for good before the journal names them.
    const std::string staging = cacheFolder + kStagingFolder;
    return (!ov::IsDirectory(staging) || ov::SyncFilesBelow(staging)) &&
           ov::WriteFileAtomic(JournalPath(cacheFolder), JournalText(entries)) &&
           ov::SyncFolder(cacheFolder);
}

void CloseJournal(const std::string& installFolder, const std::string& cacheFolder) {
    std::set<std::string> folders;
    for (const JournalEntry& e : ReadJournal(cacheFolder).value_or(std::vector<JournalEntry>{})) {
        folders.insert(ov::NativePath(ov::ParentFolder(installFolder + "\\" + e.target)));
    }
    for (const std::string& folder : folders) ov::SyncFolder(folder);
    ov::RemoveFile(JournalPath(cacheFolder));
    RemoveStagingFolder(cacheFolder);
    ov::SyncFolder(cacheFolder);
}

bool RecoveryNeeded(const std::string& installFolder) {
    const std::string cache = CacheOf(installFolder);
    std::error_code ec;
    auto staging = std::filesystem::symlink_status(FsPath(cache + kStagingFolder), ec);
    return JournalPending(cache) || std::filesystem::exists(staging) || JournalTemporaryLeft(cache);
}

RecoveryResult RecoverInterruptedInstall(const std::string& installFolder, FileOps& files) {
    const std::string cache = CacheOf(installFolder);
    RecoveryResult r;
    if (!RecoveryNeeded(installFolder)) return r;
    r.journalFound = JournalPending(cache);
    if (r.journalFound) {
        std::optional<std::vector<JournalEntry>> entries = ReadJournal(cache);
        r.refused = !entries;
        const std::vector<JournalEntry> list = entries.value_or(std::vector<JournalEntry>{});
        for (auto e = list.begin(); e != list.end(); ++e) {
            const bool lastUse = std::none_of(e + 1, list.end(), [&](const JournalEntry& later) {
                return later.staged == e->staged;
            });
            RecoverEntry(installFolder, *e, lastUse, files, r);
        }
        if (entries) RemoveLeftovers(installFolder, *entries);
    }
    ov::RemoveReplaceLeftovers(JournalPath(cache));
    CloseJournal(installFolder, cache);
    return r;
}

}  // namespace znt
