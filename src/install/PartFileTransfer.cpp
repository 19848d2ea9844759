#include "install/PartFileTransfer.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "install/InstallFiles.h"
#include "install/PartFile.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace znt {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kCopyBlock = 64u << 10;
constexpr int kPartialContent = 206;

// Yields when kYieldInterval has passed since the last turn of the event loop.
class YieldClock {
public:
    void Tick() {
        Clock::time_point now = Clock::now();
        if (now - last_ < kYieldInterval) return;
        ov::YieldToEventLoop();
        last_ = Clock::now();
    }

private:
    Clock::time_point last_ = Clock::now();
};

// Sets the control's StateChanged for a transfer. On the way out, also by an
// exception, the transfer is stopped and the earlier handler given back.
class HandlerScope {
public:
    HandlerScope(ov::InetControl& inet, std::function<void(int)> handler)
        : inet_(inet), previous_(std::exchange(inet.StateChanged, std::move(handler))) {}
    ~HandlerScope() {
        inet_.Cancel();
        inet_.StateChanged = std::move(previous_);
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    ov::InetControl& inet_;
    std::function<void(int)> previous_;
};

void DeleteQuietly(const std::string& path) {
    ov::ClearAttributes(path);
    ov::RemoveFile(path);
}

// The bar values the watcher heard last, kept over the tries of one archive.
struct Bars {
    int file = -1;
    int run = -1;
};

// One GET into the part file, from the bytes it holds on; see the header for
// the rules it keeps.
class Transfer {
public:
    Transfer(ov::InetControl& inet, PartFile& part, std::int64_t expected, RunBytes& run,
             TransferWatcher& watcher, Bars& bars, std::string& validator)
        : inet_(inet),
          part_(part),
          expected_(expected),
          run_(run),
          watcher_(watcher),
          bars_(bars),
          validator_(validator) {}

    TransferStatus Run(const std::string& url);
    // Why a TransferFailed try failed, as a short phrase.
    std::string FailureDetail() const;

private:
    void OnState(int state);
    bool TakesAnswer();
    void StartOver();
    void ReadBody();
    bool ReadSome();
    void HandleChunk(std::string_view chunk);
    void Report();
    void Stop(TransferStatus why);
    TransferStatus Outcome();

    ov::InetControl& inet_;
    PartFile& part_;
    std::int64_t expected_;
    RunBytes& run_;
    TransferWatcher& watcher_;
    Bars& bars_;
    std::string& validator_;  // of the bytes the part file holds; empty when unknown
    std::string url_;
    YieldClock yield_;
    bool stopped_ = false;
    bool failed_ = false;
    TransferStatus stopReason_ = TransferStatus::Cancelled;
    std::string detail_;  // a failure decided here rather than by the control
};

TransferStatus Transfer::Run(const std::string& url) {
    HandlerScope handler(inet_, [this](int state) { OnState(state); });
    std::optional<std::uint64_t> from;
    if (part_.Length() > 0) from = static_cast<std::uint64_t>(part_.Length());
    url_ = url;
    if (!inet_.Execute(url, "GET", from, validator_)) {
        detail_ = "transfer not started";
        return TransferStatus::TransferFailed;
    }
    while (inet_.StillExecuting()) {
        if (!stopped_ && watcher_.CancelRequested()) Stop(TransferStatus::Cancelled);
        ov::YieldToEventLoop();
    }
    return Outcome();
}

void Transfer::OnState(int state) {
    watcher_.StateChanged(state);
    if (state == ov::icError) failed_ = true;
    if (state == ov::icResponseCompleted && !stopped_ && TakesAnswer()) ReadBody();
}

// A 206 must continue exactly where the part file ends; any other success
// is the whole body, which replaces what the part file holds and whose
// validator is recorded with it.
bool Transfer::TakesAnswer() {
    std::int64_t held = part_.Length();
    if (inet_.ResponseCode() == kPartialContent) {
        if (inet_.ContentRangeStart() == static_cast<std::uint64_t>(held)) return true;
        StartOver();  // a range we did not ask for: the next try starts afresh
        Stop(TransferStatus::TransferFailed);
        detail_ = "server sent another range";
        return false;
    }
    if (held > 0) StartOver();
    validator_ = inet_.Validator();
    part_.RecordValidator(url_, validator_);
    return !stopped_;
}

void Transfer::StartOver() {
    run_.received -= part_.Length();
    validator_.clear();
    if (!part_.Restart()) Stop(TransferStatus::WriteFailed);
    Report();
}

void Transfer::ReadBody() {
    while (ReadSome()) yield_.Tick();
}

// Takes what the control holds, one byte past the expected length at most
// (so a longer body shows at that byte), and handles it chunk by chunk.
// False at the end of the body or once the transfer was stopped.
bool Transfer::ReadSome() {
    std::int64_t room = std::max<std::int64_t>(expected_ - part_.Length(), 0) + 1;
    std::string data = inet_.GetChunk(static_cast<std::size_t>(
        std::min<std::int64_t>(room, static_cast<std::int64_t>(kReadBytes))));
    std::string_view rest(data);
    while (!rest.empty() && !stopped_) {
        HandleChunk(rest.substr(0, kChunkBytes));
        rest.remove_prefix(std::min(rest.size(), kChunkBytes));
    }
    return !data.empty() && !stopped_;
}

void Transfer::HandleChunk(std::string_view chunk) {
    if (watcher_.CancelRequested()) return Stop(TransferStatus::Cancelled);
    if (!part_.Append(chunk)) {
        return Stop(part_.TooLong() ? TransferStatus::TooLong : TransferStatus::WriteFailed);
    }
    run_.received += static_cast<std::int64_t>(chunk.size());
    Report();
}

std::string Transfer::FailureDetail() const {
    if (!detail_.empty()) return detail_;
    std::string error = inet_.LastError();
    return error.empty() ? "transfer failed" : error;
}

void Transfer::Report() {
    int fileBar = Percent(part_.Length(), expected_);
    int runBar = Percent(run_.received, run_.total);
    if (fileBar == bars_.file && runBar == bars_.run) return;
    bars_.file = fileBar;
    bars_.run = runBar;
    watcher_.ProgressChanged(fileBar, runBar);
}

void Transfer::Stop(TransferStatus why) {
    stopped_ = true;
    stopReason_ = why;
    inet_.Cancel();
}

TransferStatus Transfer::Outcome() {
    if (!stopped_ && watcher_.CancelRequested()) Stop(TransferStatus::Cancelled);
    if (stopped_) return stopReason_;
    if (failed_) return TransferStatus::TransferFailed;
    if (part_.Length() != expected_) return TransferStatus::WrongLength;
    return part_.Commit() ? TransferStatus::Accepted : TransferStatus::WriteFailed;
}

// Streams source into part, at most one byte past its expected length.
TransferStatus CopyInto(std::ifstream& in, PartFile& part, std::int64_t expected,
                        TransferWatcher& watcher) {
    std::vector<char> block(kCopyBlock);
    YieldClock yield;
    while (in) {
        if (watcher.CancelRequested()) return TransferStatus::Cancelled;
        std::int64_t room = std::max<std::int64_t>(expected - part.Length(), 0) + 1;
        auto want = std::min<std::int64_t>(room, static_cast<std::int64_t>(block.size()));
        in.read(block.data(), static_cast<std::streamsize>(want));
        std::string_view got(block.data(), static_cast<std::size_t>(in.gcount()));
        if (!got.empty() && !part.Append(got)) {
            return part.TooLong() ? TransferStatus::TooLong : TransferStatus::WriteFailed;
        }
        yield.Tick();
    }
    if (!in.eof()) return TransferStatus::TransferFailed;
    if (part.Length() != expected) return TransferStatus::WrongLength;
    return part.Commit() ? TransferStatus::Accepted : TransferStatus::WriteFailed;
}

// Whether the bytes a part file holds from an earlier run may be continued.
// A complete one is fetched again: a range past its end has nothing to ask.
bool Continuable(const PartFile& part, std::int64_t expected, const std::string& validator,
                 LeftoverProof proof) {
    if (part.Length() == 0) return true;
    if (part.Length() >= expected) return false;
    return !validator.empty() || proof == LeftoverProof::SignedHash;
}

bool WaitBeforeRetry(const RetryPolicy& retry, int attempt,
                     std::optional<std::uint32_t> retryAfterSeconds, TransferWatcher& watcher) {
    std::chrono::milliseconds wait = BackoffWait(retry, attempt, retryAfterSeconds);
    auto cancelled = [&watcher] { return watcher.CancelRequested(); };
    return retry.wait ? retry.wait(wait, cancelled) : WaitYielding(wait, cancelled);
}

// The reason column of a fetch that was not accepted; empty when it was.
std::string FailureText(TransferStatus status, const PartFile& part, std::int64_t expected,
                        const std::string& transferDetail) {
    const std::string wanted = std::to_string(expected);
    switch (status) {
    case TransferStatus::Accepted: return {};
    case TransferStatus::WrongLength:
        return "length " + std::to_string(part.Length()) + ", expected " + wanted;
    case TransferStatus::TooLong: return "length over " + wanted + ", expected " + wanted;
    case TransferStatus::TransferFailed: return transferDetail;
    case TransferStatus::WriteFailed: return ov::ErrnoText(part.Error());
    case TransferStatus::Cancelled: break;
    }
    return "cancelled";
}

PartFileResult Ended(TransferStatus status, std::string reason) {
    return PartFileResult{status, std::move(reason), {}};
}

// The result of the part file's last try: its reason, and its hash when it was taken.
PartFileResult Outcome(TransferStatus status, const PartFile& part, std::int64_t expected,
                       const std::string& transferDetail) {
    return PartFileResult{status, FailureText(status, part, expected, transferDetail),
                          status == TransferStatus::Accepted ? part.Sha256Hex() : std::string()};
}

// Starts the hash of the bytes part holds, when the request asks for one.
bool HashStarted(PartFile& part, const PartFileRequest& request) {
    return !request.hashed || part.StartHash();
}

}  // namespace

int Percent(std::int64_t part, std::int64_t whole) {
    if (whole <= 0 || part <= 0) return 0;
    if (part >= whole) return 100;
    // The catalogue's limits keep part far below the point where part * 100
    // overflows; beyond it the divisor is scaled instead.
    if (part > std::numeric_limits<std::int64_t>::max() / 100) {
        return static_cast<int>(part / (whole / 100));
    }
    return static_cast<int>(part * 100 / whole);
}

PartFileResult TransferToPartFile(ov::InetControl& inet, const PartFileRequest& request,
                                  RunBytes& run, TransferWatcher& watcher) {
    DeleteQuietly(request.target);
    PartFile part(request.target, request.expected);
    if (!part.IsOpen()) return Ended(TransferStatus::WriteFailed, ov::ErrnoText(part.Error()));
    std::string validator = part.RecordedValidator(request.source);
    // Held bytes that cannot be read for the hash are fetched again too.
    if (!Continuable(part, request.expected, validator, request.proof) ||
        !HashStarted(part, request)) {
        validator.clear();
        if (!part.Restart() || !HashStarted(part, request)) {
            return Ended(TransferStatus::WriteFailed, ov::ErrnoText(part.Error()));
        }
    }
    run.received += part.Length();
    Bars bars;
    for (int attempt = 0;; ++attempt) {
        Transfer transfer(inet, part, request.expected, run, watcher, bars, validator);
        TransferStatus status = transfer.Run(request.source);
        if (status != TransferStatus::TransferFailed || attempt >= request.retry.retries ||
            !RetryableStatus(inet.ResponseCode())) {
            const std::string detail =
                status == TransferStatus::TransferFailed ? transfer.FailureDetail() : "";
            return Outcome(status, part, request.expected, detail);
        }
        if (!WaitBeforeRetry(request.retry, attempt, inet.RetryAfterSeconds(), watcher)) {
            return Ended(TransferStatus::Cancelled, "cancelled");
        }
    }
}

PartFileResult CopyToPartFile(const PartFileRequest& request, TransferWatcher& watcher) {
    DeleteQuietly(request.target);
    if (!ov::IsRegularFile(request.source)) {
        return Ended(TransferStatus::TransferFailed, "not in the source folder");
    }
    std::ifstream in(FsPath(request.source), std::ios::binary);
    if (!in) return Ended(TransferStatus::TransferFailed, "cannot be read");
    PartFile part(request.target, request.expected);
    if (!part.IsOpen() || !part.Restart() || !HashStarted(part, request)) {
        return Ended(TransferStatus::WriteFailed, ov::ErrnoText(part.Error()));
    }
    TransferStatus status = CopyInto(in, part, request.expected, watcher);
    return Outcome(status, part, request.expected, "read error");
}

}  // namespace znt
