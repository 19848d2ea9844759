#include "install/FetchFromSource.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/Signature.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"
#include "install/DownloadView.h"
#include "install/InstallFiles.h"

namespace znt {
namespace {

// Shows what a transfer reports in the download window.
class ViewWatcher : public TransferWatcher {
public:
    explicit ViewWatcher(InstallContext& c) : c_(c) {}

    void StateChanged(int state) override {
        c_.view.SetText(DownloadControl::lblResponse, c_.texts[kTextTransferStateBase + state]);
    }
    void ProgressChanged(int fileBar, int runBar) override {
        if (fileBar != fileBar_) c_.view.SetValue(DownloadControl::PBAR, fileBar);
        if (runBar != c_.run.totalBar) c_.view.SetValue(DownloadControl::PTOTAL, runBar);
        fileBar_ = fileBar;
        c_.run.totalBar = runBar;
        ShowSpeed();
    }
    // Asked on every chunk and every poll, so a stall is seen too.
    bool CancelRequested() override {
        ShowSpeed();
        return c_.view.Cancel().Pressed();
    }

private:
    void ShowSpeed() {
        const auto now = TransferRate::Clock::now();
        const RunBytes& bytes = c_.run.bytes;
        c_.run.rate.Sample(bytes.received, now);
        if (!c_.run.rate.ShowDue(now)) return;
        c_.view.SetText(DownloadControl::lblSpeed,
                        SpeedText(c_.texts, c_.run.rate, bytes.total - bytes.received));
    }

    InstallContext& c_;
    int fileBar_ = 0;
};

// While it lives, the Cancel button cancels the transfer at once.
class CancelStopsTransfer {
public:
    explicit CancelStopsTransfer(InstallContext& c) : button_(c.view.Cancel()) {
        ov::InetControl& inet = c.inet;
        button_.SetAction([&inet] { inet.Cancel(); });
    }
    ~CancelStopsTransfer() { button_.SetAction(nullptr); }
    CancelStopsTransfer(const CancelStopsTransfer&) = delete;
    CancelStopsTransfer& operator=(const CancelStopsTransfer&) = delete;

private:
    CancelButton& button_;
};

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

PartFileResult FromServer(InstallContext& c, const PackageFileEntry& f, const std::string& target) {
    ViewWatcher watcher(c);
    c.view.SetValue(DownloadControl::PBAR, 0);
    CancelStopsTransfer cancel(c);
    std::string url = c.source.serverBase + "/ovw2010/files/" + f.ArchiveName;
    PartFileResult result =
        TransferToPartFile(c.inet, RequestFor(c, f, url, target), c.run.bytes, watcher);
    // The server has stopped answering when even the last try got no response
    // head (status 0): the connection was refused or timed out, or it stayed
    // silent until the stall limit. An HTTP status of any kind, a 404 for one
    // archive included, is an answer; so is a body cut short.
    if (result.status == TransferStatus::TransferFailed && c.inet.ResponseCode() == 0) {
        c.run.serverSilent = true;
    }
    return result;
}

// A download that continued an earlier run's part file and does not match
// the signed hash had another archive's bytes: it is fetched whole again.
PartFileResult FromServerWithLeftover(InstallContext& c, const PackageFileEntry& f,
                                      const std::string& target) {
    bool leftover = ov::IsRegularFile(target + ".part");
    PartFileResult result = FromServer(c, f, target);
    const std::string* expected = SignedHash(c, f);
    if (!result.Accepted() || !leftover || !expected || result.sha256 == *expected) {
        return result;
    }
    c.files.Delete(target);
    c.run.bytes.received -= f.ArchiveSize;
    return FromServer(c, f, target);
}

PartFileResult FromFolder(InstallContext& c, const PackageFileEntry& f, const std::string& target) {
    ViewWatcher watcher(c);
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

// The cached archive counts as arrived: the bars move as a download's would.
// CachedArchiveUsable has checked it already.
void FromCache(InstallContext& c, const PackageFileEntry& f) {
    if (!c.source.SourceIsInternet) return;
    c.run.bytes.received += f.ArchiveSize;
    ViewWatcher(c).ProgressChanged(100, Percent(c.run.bytes.received, c.run.bytes.total));
}

// Brings the archive from the run's source into target.
PartFileResult FromSource(InstallContext& c, const PackageFileEntry& f, const std::string& target) {
    return c.source.SourceIsInternet ? FromServerWithLeftover(c, f, target)
                                     : FromFolder(c, f, target);
}

bool Fetchable(const PackageFileEntry& f) {
    return IsSafeFileEntry(f) && !ArchiveStem(f.ArchiveName).empty() && f.ArchiveSize >= 0;
}

}  // namespace

bool FetchFromSource(InstallContext& c, std::int32_t i, std::int32_t j, std::string* why) {
    std::string unused;
    std::string& reason = why ? *why : unused;
    reason.clear();
    if (!c.packages.HasPackage(i) || j < 1) return false;
    if (static_cast<std::size_t>(j) > c.packages.Package(i).Files.size()) return false;
    PackageFileEntry& f = c.packages.Package(i).File(j);
    f.Fetched = false;
    if (!Fetchable(f)) {
        reason = "unsafe name";
        return false;
    }
    c.view.SetText(DownloadControl::lblCurrent,
                   c.texts[kTextFetchingArchive] + " " + ArchiveStem(f.ArchiveName) + "...");
    std::string target = c.cacheFolder + f.ArchiveName;
    if (CachedArchiveUsable(c, f, target)) {
        FromCache(c, f);
        f.Fetched = true;
    } else {
        PartFileResult result = FromSource(c, f, target);
        reason = result.reason;
        f.Fetched = result.Accepted() && HashAccepted(c, f, target, result.sha256, reason);
    }
    if (f.Fetched) c.run.fetchedArchives.insert(f.ArchiveName);
    return f.Fetched;
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
