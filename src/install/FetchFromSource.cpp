#include "install/FetchFromSource.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/VersionResource.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/DeltaIndex.h"
#include "catalogue/FileTests.h"
#include "catalogue/Signature.h"
#include "delta/DeltaDecoder.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"
#include "install/DownloadView.h"
#include "install/InstallFiles.h"
#include "install/PartFile.h"

namespace znt {
namespace {

// The archive's hash in a signed catalogue's list; nothing without one.
const std::string* SignedHash(const InstallContext& c, const PackageFileEntry& f) {
    return c.archiveHashes.required ? c.archiveHashes.Find(f.ArchiveName) : nullptr;
}

PartFileRequest RequestFor(const InstallContext& c, const PackageFileEntry& f, std::string source,
                           const std::string& target) {
    return PartFileRequest{
        .source = std::move(source),
        .target = target,
        .expected = f.ArchiveSize,
        .retry = c.retry,
        .proof = SignedHash(c, f) ? LeftoverProof::SignedHash : LeftoverProof::Validator,
        .hashed = c.archiveHashes.required,
    };
}

PartFileResult FromFolder(InstallContext& c, const PackageFileEntry& f, const std::string& target,
                          TransferWatcher& watcher) {
    ov::YieldToEventLoop();
    std::string source = c.source.SourceFolder + "\\files\\" + f.ArchiveName;
    return CopyToPartFile(RequestFor(c, f, source, target), watcher);
}

// The one hash check of a fetched archive, against the hash taken while it
// streamed in. The signed list keeps its hashes in lower-case hex, as the
// part file gives them.
bool HashAccepted(InstallContext& c, const PackageFileEntry& f, const std::string& target,
                  const std::string& sha256, std::string& reason) {
    if (!c.archiveHashes.required) return true;
    const std::string* expected = c.archiveHashes.Find(f.ArchiveName);
    if (expected && !sha256.empty() && sha256 == *expected) return true;
    reason = expected ? "hash mismatch" : "not in the signed hash list";
    c.files.Delete(target);
    c.run.archiveRefused = true;
    return false;
}

constexpr const char* kCancelled = "cancelled";

// The cached archive (or a file another entry rebuilt) counts as arrived:
// the bars move as a download's would. CachedArchiveUsable has checked it already.
void FromCache(InstallContext& c, const PackageFileEntry& f, TransferWatcher& watcher) {
    if (!c.source.SourceIsInternet) return;
    c.run.bytes.received += f.DownloadSize();
    watcher.ProgressChanged(100, Percent(c.run.bytes.received, c.run.bytes.total));
}

bool Fetchable(const PackageFileEntry& f) {
    return IsSafeFileEntry(f) && !ArchiveStem(f.ArchiveName).empty() && f.ArchiveSize >= 0;
}

// Why f's delta cannot be asked for at all; empty when it can.
std::string DeltaRefusal(const InstallContext& c, const PackageFileEntry& f) {
    if (!IsSafeDeltaName(f.Delta->deltaName) || f.Delta->deltaSize <= 0) return "unsafe delta";
    if (c.archiveHashes.required && !c.archiveHashes.Find(f.Delta->deltaName)) {
        return "delta not in the signed hash list";
    }
    return {};
}

// Whether a file tested by version was rebuilt with another version than the
// catalogue's. One without a version resource passes, as the archive's would
// be installed.
bool OtherVersion(const PackageFileEntry& f, const std::string& rebuilt) {
    if (f.CheckMode != 0) return false;
    std::optional<std::uint32_t> version = ov::ReadProductVersionLow(rebuilt);
    return version && *version != static_cast<std::uint32_t>(f.ProductVersionLow);
}

// The delta's header, read before anything is rebuilt.
std::string HeaderRefusal(const std::string& deltaPath, const DeltaSource& d) {
    ov::RegularFile file(deltaPath);
    DeltaHeader header;
    std::string error;
    if (!file.IsOpen()) return "delta not readable";
    if (!ParseDeltaHeader(file.ReadAt(0, kDeltaHeaderSize), header, error)) return error;
    if (header.resultSize != static_cast<std::uint64_t>(d.resultSize)) {
        return "delta rebuilds " + std::to_string(header.resultSize) + " bytes, the index says " +
               std::to_string(d.resultSize);
    }
    return {};
}

}  // namespace

DownloadWatcher::DownloadWatcher(InstallContext& c, std::function<bool()> shown)
    : c_(c), shown_(std::move(shown)) {}

bool DownloadWatcher::Shown() const { return !shown_ || shown_(); }

void DownloadWatcher::StateChanged(int state) {
    state_ = state;
    if (Shown()) c_.view.SetText(DownloadControl::lblResponse, StateText());
}

void DownloadWatcher::ProgressChanged(int fileBar, int runBar) {
    if (fileBar != fileBar_ && Shown()) c_.view.SetValue(DownloadControl::PBAR, fileBar);
    if (runBar != c_.run.totalBar) c_.view.SetValue(DownloadControl::PTOTAL, runBar);
    fileBar_ = fileBar;
    c_.run.totalBar = runBar;
    ShowSpeed();
}

// Asked on every chunk and every step, so a stall is seen too.
bool DownloadWatcher::CancelRequested() {
    ShowSpeed();
    return c_.view.Cancel().Pressed();
}

void DownloadWatcher::ShowAll(const std::string& archiveName) {
    c_.view.SetText(DownloadControl::lblCurrent,
                    c_.texts[kTextFetchingArchive] + " " + ArchiveStem(archiveName) + "...");
    c_.view.SetValue(DownloadControl::PBAR, fileBar_);
    if (state_ > 0) c_.view.SetText(DownloadControl::lblResponse, StateText());
}

std::string DownloadWatcher::StateText() const { return c_.texts[kTextTransferStateBase + state_]; }

void DownloadWatcher::ShowSpeed() {
    const auto now = TransferRate::Clock::now();
    const RunBytes& bytes = c_.run.bytes;
    c_.run.rate.Sample(bytes.received, now);
    if (!c_.run.rate.ShowDue(now)) return;
    c_.view.SetText(DownloadControl::lblSpeed,
                    SpeedText(c_.texts, c_.run.rate, bytes.total - bytes.received));
}

ArchiveFetch::ArchiveFetch(InstallContext& c, std::int32_t i, std::int32_t j, ov::InetControl& inet,
                           TransferWatcher& watcher)
    : c_(c), i_(i), j_(j), inet_(inet), watcher_(watcher) {
    if (const PackageFileEntry* f = Entry()) bytes_ = f->ArchiveSize;
}

ArchiveFetch::~ArchiveFetch() = default;

PackageFileEntry* ArchiveFetch::Entry() const {
    if (!c_.packages.HasPackage(i_) || j_ < 1) return nullptr;
    PackageEntry& p = c_.packages.Package(i_);
    if (static_cast<std::size_t>(j_) > p.Files.size()) return nullptr;
    return &p.File(j_);
}

bool ArchiveFetch::Step() {
    busy_ = false;
    if (ended_) return false;
    if (!download_) {
        Begin();
        return !ended_;
    }
    if (download_->Step()) {
        busy_ = download_->Busy();
        return true;
    }
    busy_ = true;
    if (viaDelta_) {
        DeltaEnded(download_->Result());
    } else {
        DownloadEnded(download_->Result());
    }
    return !ended_;
}

void ArchiveFetch::Begin() {
    busy_ = true;
    PackageFileEntry* entry = Entry();
    if (!entry) return End(false);
    PackageFileEntry& f = *entry;
    f.Fetched = false;
    if (!Fetchable(f)) {
        reason_ = "unsafe name";
        return End(false);
    }
    target_ = c_.cacheFolder + f.ArchiveName;
    if (c_.run.rebuilt.count(f.ArchiveName) > 0 || CachedArchiveUsable(c_, f, target_)) {
        FromCache(c_, f, watcher_);
        return End(true);
    }
    if (!c_.source.SourceIsInternet) return Conclude(FromFolder(c_, f, target_, watcher_));
    leftover_ = ov::IsRegularFile(target_ + ".part");
    if (!StartDelta(f)) StartDownload(f);
}

// Starts the download of f's delta; false when there is none to fetch.
bool ArchiveFetch::StartDelta(const PackageFileEntry& f) {
    if (!f.Delta) return false;
    if (std::string why = DeltaRefusal(c_, f); !why.empty()) {
        FallBack(f, why);
        return true;
    }
    const DeltaSource& d = *f.Delta;
    viaDelta_ = true;
    deltaPath_ = c_.cacheFolder + d.deltaName;
    deltaStart_ = c_.run.bytes.received;
    const std::string* hash =
        c_.archiveHashes.required ? c_.archiveHashes.Find(d.deltaName) : nullptr;
    download_ = std::make_unique<PartFileDownload>(
        inet_,
        PartFileRequest{
            .source = c_.source.serverBase + "/ovw2010/files/" + d.deltaName,
            .target = deltaPath_,
            .expected = d.deltaSize,
            .retry = c_.retry,
            .proof = hash ? LeftoverProof::SignedHash : LeftoverProof::Validator,
            .hashed = hash != nullptr,
        },
        c_.run.bytes, watcher_);
    return true;
}

void ArchiveFetch::StartDownload(const PackageFileEntry& f) {
    std::string url = c_.source.serverBase + "/ovw2010/files/" + f.ArchiveName;
    download_ = std::make_unique<PartFileDownload>(inet_, RequestFor(c_, f, url, target_),
                                                   c_.run.bytes, watcher_);
}

// The server has stopped answering when even the last try got no response
// head (status 0): the connection was refused or timed out, or it stayed
// silent until the stall limit. An HTTP status of any kind, a 404 for one
// archive included, is an answer; so is a body cut short. A download that
// continued an earlier run's part file and does not match the signed hash
// had another archive's bytes: it is fetched whole once more.
void ArchiveFetch::DownloadEnded(const PartFileResult& result) {
    if (result.status == TransferStatus::TransferFailed && inet_.ResponseCode() == 0) {
        c_.run.serverSilent = true;
    }
    PackageFileEntry& f = *Entry();
    const std::string* expected = SignedHash(c_, f);
    if (result.Accepted() && leftover_ && expected && result.sha256 != *expected) {
        leftover_ = false;
        c_.files.Delete(target_);
        c_.run.bytes.received -= f.ArchiveSize;
        return StartDownload(f);
    }
    Conclude(result);
}

// A delta that arrived is rebuilt; one that did not, or that rebuilds
// nothing usable, gives way to the archive. Cancel, and a server that has
// stopped answering, end the fetch instead.
void ArchiveFetch::DeltaEnded(PartFileResult result) {
    viaDelta_ = false;
    download_.reset();
    PackageFileEntry& f = *Entry();
    if (result.status == TransferStatus::Cancelled) {
        reason_ = result.reason;
        c_.files.Delete(deltaPath_);
        return End(false);
    }
    if (result.status == TransferStatus::TransferFailed && inet_.ResponseCode() == 0) {
        c_.run.serverSilent = true;
        reason_ = result.reason;
        c_.files.Delete(deltaPath_);
        return End(false);
    }
    std::string why = result.Accepted() ? Rebuild(f, result.sha256) : "delta " + result.reason;
    c_.files.Delete(deltaPath_);
    if (why == kCancelled) {
        reason_ = why;
        return End(false);
    }
    if (!why.empty()) return FallBack(f, why);
    bytes_ = f.Delta->deltaSize;
    notes_.push_back(
        InstallEvent{InstallEventKind::DeltaUsed, f.ArchiveName, bytes_, 0, f.Delta->deltaName});
    c_.run.rebuilt.insert(f.ArchiveName);
    End(true);
}

// Rebuilds f's new file from the installed copy and the delta at
// deltaPath_; why it could not, empty when RebuiltPath holds it.
std::string ArchiveFetch::Rebuild(const PackageFileEntry& f, const std::string& deltaSha256) {
    const DeltaSource& d = *f.Delta;
    if (c_.archiveHashes.required) {
        const std::string* expected = c_.archiveHashes.Find(d.deltaName);
        if (!expected || deltaSha256 != *expected) return "delta hash mismatch";
    }
    if (std::string why = HeaderRefusal(deltaPath_, d); !why.empty()) return why;
    const std::string rebuilt = RebuiltPath(c_, f);
    PartFile out(rebuilt, d.resultSize);
    if (!out.IsOpen() || !out.Restart() || !out.StartHash()) return "rebuilt file not writable";
    YieldClock yield;
    bool cancelled = false;
    std::string error;
    const bool applied = ApplyDelta(
        InstalledPath(c_.installFolder, f), deltaPath_,
        [&](const char* data, std::size_t size) {
            yield.Tick();
            cancelled = watcher_.CancelRequested();
            return !cancelled && out.Append(std::string_view(data, size));
        },
        error);
    if (cancelled) return kCancelled;
    if (!applied) return error.empty() ? "rebuilt file not written" : error;
    if (!out.Commit()) return "rebuilt file not written";
    std::string why;
    if (out.Sha256Hex() != d.resultSha256) {
        why = "rebuilt file differs from the index";
    } else if (OtherVersion(f, rebuilt)) {
        why = "rebuilt file has another version";
    } else if (f.CheckMode == 1 && SizeDiffers(f.SizeBytes, rebuilt)) {
        why = "rebuilt file has another length";
    }
    if (!why.empty()) c_.files.Delete(rebuilt);
    return why;
}

// The archive instead of the delta: the run's total gives up the delta's
// size for what its download really moved, plus the archive.
void ArchiveFetch::FallBack(const PackageFileEntry& f, std::string why) {
    const std::int64_t moved = deltaPath_.empty() ? 0 : c_.run.bytes.received - deltaStart_;
    const std::int64_t more = f.ArchiveSize - f.Delta->deltaSize + moved;
    c_.run.bytes.total += more;
    notes_.push_back(InstallEvent{InstallEventKind::DeltaNotUsed, f.ArchiveName, more, 0,
                                  f.Delta->deltaName + ": " + why});
    viaDelta_ = false;
    StartDownload(f);
}

void ArchiveFetch::Conclude(const PartFileResult& result) {
    PackageFileEntry& f = *Entry();
    reason_ = result.reason;
    End(result.Accepted() && HashAccepted(c_, f, target_, result.sha256, reason_));
}

void ArchiveFetch::End(bool fetched) {
    ended_ = true;
    fetched_ = fetched;
    download_.reset();
    PackageFileEntry* f = Entry();
    if (!f) return;
    f->Fetched = fetched;
    if (fetched) c_.run.fetchedArchives.insert(f->ArchiveName);
}

// While it lives, the Cancel button cancels the transfer at once.
CancelStopsTransfers::CancelStopsTransfers(InstallContext& c,
                                           std::vector<ov::InetControl*> controls)
    : button_(c.view.Cancel()) {
    button_.SetAction([controls = std::move(controls)] {
        for (ov::InetControl* inet : controls) inet->Cancel();
    });
}

CancelStopsTransfers::~CancelStopsTransfers() { button_.SetAction(nullptr); }

bool FetchFromSource(InstallContext& c, std::int32_t i, std::int32_t j, std::string* why) {
    if (c.packages.HasPackage(i) && j >= 1 &&
        static_cast<std::size_t>(j) <= c.packages.Package(i).Files.size()) {
        const PackageFileEntry& f = c.packages.Package(i).File(j);
        if (Fetchable(f)) {
            c.view.SetText(DownloadControl::lblCurrent, c.texts[kTextFetchingArchive] + " " +
                                                            ArchiveStem(f.ArchiveName) + "...");
            if (c.source.SourceIsInternet) c.view.SetValue(DownloadControl::PBAR, 0);
        }
    }
    DownloadWatcher watcher(c);
    CancelStopsTransfers cancel(c, {&c.inet});
    ArchiveFetch fetch(c, i, j, c.inet, watcher);
    YieldClock yield;
    while (fetch.Step()) yield.Pace(fetch.Busy(), c.inet.Waker());
    for (const InstallEvent& note : fetch.Notes())
        c.Report(note.kind, note.name, note.bytes, 0, note.reason);
    if (why) *why = fetch.Reason();
    return fetch.Fetched();
}

std::string RebuiltPath(const InstallContext& c, const PackageFileEntry& f) {
    return c.cacheFolder + f.ArchiveName + ".rebuilt";
}

bool CachedArchiveUsable(const InstallContext& c, const PackageFileEntry& f,
                         const std::string& path) {
    if (!ov::IsRegularFile(path)) return false;
    std::optional<std::uint64_t> length = ov::FileLength(path);
    if (!length || f.ArchiveSize < 0 || *length != static_cast<std::uint64_t>(f.ArchiveSize)) {
        return false;
    }
    if (c.run.fetchedArchives.count(f.ArchiveName) > 0) return true;
    // Only a signed hash tells an earlier run's archive from one of the same
    // length with other bytes (an older build, another source, a fetch cut
    // short and filled up); without one, or when it differs, it is fetched again.
    const std::string* expected = SignedHash(c, f);
    return expected && ArchiveHashMatches(path, *expected);
}

}  // namespace znt
