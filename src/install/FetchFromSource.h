#pragma once

// Fetches one package file's archive from the run's source into the cache
// folder for the install run: from <serverBase>/ovw2010/files/<ArchiveName>, or by a copy of
// <SourceFolder>\files\<ArchiveName>. The download window shows the archive
// in lblCurrent, each transfer state as text 620 + state in lblResponse and
// the progress in PBAR and PTOTAL (a copy moves no bar). While the transfer
// runs, the window's Cancel button stops it at once; a failed transfer is
// tried again after a wait (PartFileTransfer.h). An archive already in the
// cache folder that CachedArchiveUsable accepts (one left complete by an
// interrupted run, with its signed hash) is used as it is, from either
// source. A part file an interrupted run left is continued only with the
// validator recorded with it, or when a signed hash checks the result (a
// result that fails it is fetched whole once more). A signed hash is
// checked against the SHA-256 taken while the archive streamed in, so a
// fetched archive is never read again for it.
//
// Deltas: a file whose Delta the install list chose is fetched from the
// update server as <serverBase>/ovw2010/files/<delta> instead, and its new
// version rebuilt from the installed copy into RebuiltPath, which the stage
// pass takes instead of extracting the archive. The delta must have the
// signed hash when the catalogue was signed, its header the index's result
// size, and the rebuilt file the index's size and SHA-256 and the version
// or size the catalogue asks for. Whatever fails (the delta missing, cut,
// altered or not applying, the wrong bytes rebuilt) the archive is fetched
// as above instead, with a DeltaNotUsed note for the log and the run's
// byte total grown by what that costs; only Cancel and a server that has
// stopped answering end the fetch there.

#include "install/InstallContext.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ov {
class InetControl;
}

namespace znt {

class CancelButton;
class PartFileDownload;

// Fetches ArchiveName of file j of package i (both 1-based) into the cache
// folder; sets the entry's Fetched flag and returns it. True only when the
// archive there has exactly ArchiveSize bytes and, when the catalogue was
// signed (c.archiveHashes.required), the hash the list gives; an archive that
// is not listed or differs is deleted and sets c.run.archiveRefused. An entry
// outside the catalogue or failing IsSafeFileEntry is never fetched. When
// false, *reason says why in a short phrase ("HTTP 404", "hash mismatch").
// A download from the server whose last try, after every retry, got no
// response at all sets c.run.serverSilent.
bool FetchFromSource(InstallContext& c, std::int32_t i, std::int32_t j,
                     std::string* reason = nullptr);

// Shows what one archive's download reports in the download window: its
// states in lblResponse and its bar in PBAR while shown() says its archive is
// the one the window follows (always, without shown); the run's bar PTOTAL
// and the rate line lblSpeed always.
class DownloadWatcher : public TransferWatcher {
public:
    explicit DownloadWatcher(InstallContext& c, std::function<bool()> shown = nullptr);

    void StateChanged(int state) override;
    void ProgressChanged(int fileBar, int runBar) override;
    bool CancelRequested() override;
    // Shows the archive in lblCurrent, with its bar and last state, when the
    // window starts to follow it.
    void ShowAll(const std::string& archiveName);

private:
    bool Shown() const;
    std::string StateText() const;
    void ShowSpeed();

    InstallContext& c_;
    std::function<bool()> shown_;
    int fileBar_ = 0;
    int state_ = 0;
};

// FetchFromSource's work for file j of package i as steps over a control of
// its own, for a fetch pass that runs several at once (the view is the
// watcher's business). Sets the entry's Fetched flag when it ends.
class ArchiveFetch {
public:
    ArchiveFetch(InstallContext& c, std::int32_t i, std::int32_t j, ov::InetControl& inet,
                 TransferWatcher& watcher);
    ~ArchiveFetch();
    ArchiveFetch(const ArchiveFetch&) = delete;
    ArchiveFetch& operator=(const ArchiveFetch&) = delete;

    // Does what can be done now without waiting (a copy from a folder is
    // done in one step); false once ended.
    bool Step();
    // Whether the last Step found work to do.
    bool Busy() const { return busy_; }
    bool Fetched() const { return fetched_; }
    // Why it was not fetched, a short phrase; empty when it was.
    const std::string& Reason() const { return reason_; }
    // The bytes fetched for the file: the delta's when it was used, else the archive's.
    std::int64_t Bytes() const { return bytes_; }
    // What the log should hear about a delta (DeltaUsed, DeltaNotUsed), in order.
    const std::vector<InstallEvent>& Notes() const { return notes_; }

private:
    PackageFileEntry* Entry() const;
    void Begin();
    void StartDownload(const PackageFileEntry& f);
    bool StartDelta(const PackageFileEntry& f);
    void DownloadEnded(const PartFileResult& result);
    void DeltaEnded(PartFileResult result);  // a copy: the download goes first
    std::string Rebuild(const PackageFileEntry& f, const std::string& deltaSha256);
    void FallBack(const PackageFileEntry& f, std::string why);
    void Conclude(const PartFileResult& result);
    void End(bool fetched);

    InstallContext& c_;
    std::int32_t i_;
    std::int32_t j_;
    ov::InetControl& inet_;
    TransferWatcher& watcher_;
    std::string target_;
    std::unique_ptr<PartFileDownload> download_;
    bool leftover_ = false;  // a part file an earlier run left was there at the start
    bool viaDelta_ = false;  // the download running is the file's delta
    std::string deltaPath_;
    std::int64_t deltaStart_ = 0;  // the run's received bytes when the delta's download began
    std::int64_t bytes_ = 0;
    std::vector<InstallEvent> notes_;
    bool busy_ = false;
    bool ended_ = false;
    bool fetched_ = false;
    std::string reason_;
};

// While it lives, the download window's Cancel button cancels the transfers
// of the controls given at once.
class CancelStopsTransfers {
public:
    CancelStopsTransfers(InstallContext& c, std::vector<ov::InetControl*> controls);
    ~CancelStopsTransfers();
    CancelStopsTransfers(const CancelStopsTransfers&) = delete;
    CancelStopsTransfers& operator=(const CancelStopsTransfers&) = delete;

private:
    CancelButton& button_;
};

// Where the new file rebuilt from f's delta waits in the cache folder for
// the stage pass: the archive's name + ".rebuilt" (no archive, part file or
// delta ends so).
std::string RebuiltPath(const InstallContext& c, const PackageFileEntry& f);

// Whether the file at path, in the cache folder before any fetch, may stand
// for the archive of f: a regular file of exactly ArchiveSize bytes with the
// hash a signed catalogue lists for it, or one this run fetched itself.
// Without a signed catalogue nothing an earlier run left is used. Every check of a cached archive
// belongs here.
bool CachedArchiveUsable(const InstallContext& c, const PackageFileEntry& f,
                         const std::string& path);

}  // namespace znt
