#pragma once

// Brings one archive into its part file and, once whole, into its place:
// an HTTP GET over ov::InetControl (TransferToPartFile), or a copy from a
// local folder (CopyToPartFile). Each takes a request value and answers with
// a result value: the status, the reason of a failure and, when asked for,
// the archive's SHA-256.
//
// Streaming: from state 12 on, the body is taken from the control in reads
// of at most kReadBytes and handled in chunks of at most kChunkBytes (1024):
// each chunk is checked for Cancel, written to "<target>.part" (PartFile.h,
// through a buffer of 256 KiB), counted and reported. The whole archive is
// never held in memory, and the part file is renamed over the target only when it holds
// exactly the expected length. No read asks for more than one byte past the
// expected length, so a longer body is noticed at that byte: the transfer
// is cancelled and the file on disk never passes the expected length. A
// transfer that reports state 11 is a failure whatever arrived. A target
// left from before is deleted first, so a failed fetch leaves no archive
// behind.
//
// Retries: a failed transfer is tried again as DownloadRetry.h says. The
// part file keeps what arrived, and the next try asks for the rest with a
// range request, with If-Range naming the validator (strong ETag, else
// Last-Modified) of the answer its bytes came from when there was one: a
// 206 starting at the part file's length continues it; a 200 (a server
// without ranges, or a file that changed) empties it and takes the whole
// body; a 206 at any other byte is a failed try after which the part file
// starts over. Bytes dropped that way are taken off the run's count again.
//
// Leftovers: a part file left by an earlier run (PartFile.h) is continued
// the same way only when something vouches for its bytes: the validator
// recorded with them for the same address, or (LeftoverProof::SignedHash)
// the signed hash the caller checks the archive against once it is whole.
// Otherwise, and when it is already whole, the fetch starts from the first
// byte. Bytes continued count as received for the run.
//
// Progress: after each chunk (and when a try starts over) the file bar is floor(file bytes * 100 /
// expected) and the run bar floor(run bytes * 100 / run total), in 64-bit
// arithmetic, 0 when the divisor is not positive and never above 100; the
// watcher hears only values that changed (a 3000-byte archive: 34, 68, 100).
//
// Threading and yielding: everything runs on the caller's (user-interface)
// thread. A download is a PartFileDownload, driven by Step, which never
// waits: the watcher hears the control's states from inside Step.
// TransferToPartFile steps one download to its end; a caller that runs
// several at once steps each in turn (InstallRun.h's fetch pass). While
// chunks arrive without waiting, the event loop gets a turn at least every
// kYieldInterval (and not more often, so that a fast transfer is not slowed
// by it); when no download has news, the caller waits on the controls'
// waker for up to kIdleWait and yields.
//
// Cancel: the watcher is asked on every chunk and every step, and during a
// wait before a retry; a request cancels the transfer and the fetch fails.
// The caller's Cancel button may also call InetControl::Cancel directly
// (DownloadView's CancelButton action): the download then ends as cancelled.
//
// Hashing: with PartFileRequest::hashed, the SHA-256 of the archive is
// taken while its bytes are written, so no second read of the file is
// needed. The bytes a continued part file already holds are read once, when
// the transfer continues it; a try that starts over starts the hash over.
//
// The control's StateChanged handler is replaced for the transfer and
// given back afterwards.

#include "install/DownloadRetry.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ov {
class InetControl;
class InetWaker;
}  // namespace ov

namespace znt {

class PartFile;

inline constexpr std::size_t kChunkBytes = 1024;
// Fewer, larger reads from the control: a read per kilobyte costs more than
// the transfer itself on a fast line.
inline constexpr std::size_t kReadBytes = 64u << 10;
inline constexpr std::chrono::milliseconds kYieldInterval{15};
// How long a caller waits for news from its transfers before it yields.
inline constexpr std::chrono::milliseconds kIdleWait{10};

// Yields when kYieldInterval has passed since the last turn of the event loop.
class YieldClock {
public:
    void Tick();
    // After a round of steps: Tick when one of them had work, else wait on
    // waker for up to kIdleWait and yield.
    void Pace(bool busy, ov::InetWaker& waker);

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Bytes of the whole run, over all of its archives.
struct RunBytes {
    std::int64_t received = 0;
    std::int64_t total = 0;
};

class TransferWatcher {
public:
    virtual ~TransferWatcher() = default;
    // Each state (1 to 12) the control reports.
    virtual void StateChanged(int state) = 0;
    // The bars, when either value changed.
    virtual void ProgressChanged(int fileBar, int runBar) = 0;
    virtual bool CancelRequested() = 0;
};

enum class TransferStatus {
    Accepted,        // the target holds exactly the expected length
    WrongLength,     // fewer bytes arrived (or the source has another length)
    TooLong,         // more bytes than expected; stopped at the first extra one
    TransferFailed,  // state 11, a refused start, or a missing source
    WriteFailed,     // the part file could not be written or renamed
    Cancelled,
};

// floor(part * 100 / whole), clamped to 0..100; 0 when whole is not positive.
int Percent(std::int64_t part, std::int64_t whole);

// What vouches for the bytes of a part file an earlier run left.
enum class LeftoverProof {
    Validator,   // only a validator recorded with them (If-Range)
    SignedHash,  // the caller checks the whole archive against a signed hash
};

// One archive to bring into target (a "\" path) through "<target>.part".
struct PartFileRequest {
    std::string source;  // the address of a transfer, the file of a copy
    std::string target;
    std::int64_t expected = 0;                       // the archive's length
    RetryPolicy retry{};                             // transfers only
    LeftoverProof proof = LeftoverProof::Validator;  // transfers only
    bool hashed = false;                             // take the SHA-256 while the bytes are written
};

struct PartFileResult {
    TransferStatus status = TransferStatus::TransferFailed;
    // Why it was not accepted, a short phrase: "length 300144, expected
    // 300150", "HTTP 404", "connection refused", "no space left on device",
    // "cancelled"; empty when it was.
    std::string reason;
    // Lower-case hex SHA-256 of the accepted archive, when the request asked.
    std::string sha256;
    bool Accepted() const { return status == TransferStatus::Accepted; }
};

// One download of request.source into request.target over inet, trying
// again as request.retry says, as steps; adds every byte kept to run. It
// holds the control (and its StateChanged) from the first Step until it
// ends or goes; going stops its transfer.
class PartFileDownload {
public:
    PartFileDownload(ov::InetControl& inet, PartFileRequest request, RunBytes& run,
                     TransferWatcher& watcher);
    ~PartFileDownload();
    PartFileDownload(const PartFileDownload&) = delete;
    PartFileDownload& operator=(const PartFileDownload&) = delete;

    // Does what can be done now without waiting: starts a try, takes the
    // states and body bytes the control holds, ends. False once ended.
    bool Step();
    // Whether the last Step found work to do; the caller waits only when no
    // download did.
    bool Busy() const { return busy_; }
    // The outcome, once Step returned false.
    const PartFileResult& Result() const { return result_; }

private:
    enum class Phase { Starting, Running, Waiting, Ended };
    // The bar values the watcher heard last, kept over the tries.
    struct Bars {
        int file = -1;
        int run = -1;
    };

    void Begin();
    void StartTry();
    void StepTry();
    void StepWait();
    void EndTry();
    void ReleaseControl();
    void Finish(PartFileResult result);
    void OnState(int state);
    bool TakesAnswer();
    void StartOver();
    bool ReadSome();
    void HandleChunk(std::string_view chunk);
    std::string FailureDetail() const;
    void Report();
    void Stop(TransferStatus why);
    TransferStatus Outcome();

    ov::InetControl& inet_;
    PartFileRequest request_;
    RunBytes& run_;
    TransferWatcher& watcher_;
    std::unique_ptr<PartFile> part_;
    std::string validator_;  // of the bytes the part file holds; empty when unknown
    Bars bars_;
    Phase phase_ = Phase::Starting;
    int attempt_ = 0;
    std::chrono::steady_clock::time_point retryAt_;
    std::function<void(int)> previousHandler_;
    bool handlerSet_ = false;
    bool busy_ = false;
    // The try that runs.
    bool reading_ = false;  // its answer is taken: the body goes to the part file
    bool stopped_ = false;
    bool failed_ = false;
    TransferStatus stopReason_ = TransferStatus::Cancelled;
    std::string detail_;  // a failure decided here rather than by the control
    PartFileResult result_;
};

// GET request.source into request.target, trying again as request.retry
// says: a PartFileDownload stepped to its end. Adds every byte kept to run.
PartFileResult TransferToPartFile(ov::InetControl& inet, const PartFileRequest& request,
                                  RunBytes& run, TransferWatcher& watcher);

// Copies request.source (a regular file only) into request.target, reading
// no more than one byte past the expected length. The bars are not reported.
PartFileResult CopyToPartFile(const PartFileRequest& request, TransferWatcher& watcher);

}  // namespace znt
