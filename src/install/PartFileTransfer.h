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
// thread. The watcher hears the control's states from inside
// StillExecuting and GetChunk. While chunks arrive without waiting, the
// event loop gets a turn at least every kYieldInterval (and not more often,
// so that a fast transfer is not slowed by it); GetChunk itself yields while
// it waits for data.
//
// Cancel: the watcher is asked on every chunk and every poll, and during a
// wait before a retry; a request cancels the transfer and the fetch fails. A transfer that waits
// for data is inside GetChunk: the caller's Cancel button should call InetControl::Cancel directly
// (DownloadView's CancelButton action) so that the wait ends at once.
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
#include <string>

namespace ov {
class InetControl;
}

namespace znt {

inline constexpr std::size_t kChunkBytes = 1024;
// Fewer, larger reads from the control: a read per kilobyte costs more than
// the transfer itself on a fast line.
inline constexpr std::size_t kReadBytes = 64u << 10;
inline constexpr std::chrono::milliseconds kYieldInterval{15};

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

// GET request.source into request.target, trying again as request.retry
// says. Adds every byte kept to run.
PartFileResult TransferToPartFile(ov::InetControl& inet, const PartFileRequest& request,
                                  RunBytes& run, TransferWatcher& watcher);

// Copies request.source (a regular file only) into request.target, reading
// no more than one byte past the expected length. The bars are not reported.
PartFileResult CopyToPartFile(const PartFileRequest& request, TransferWatcher& watcher);

}  // namespace znt
