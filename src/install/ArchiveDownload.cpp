#include "install/ArchiveDownload.h"

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
        : inet_(inet), part_(part), expected_(expected), run_(run), watcher_(watcher),
          bars_(bars), validator_(validator) {}

    FetchResult Run(const std::string& url);
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
    void Stop(FetchResult why);
    FetchResult Outcome();

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
    FetchResult stopReason_ = FetchResult::Cancelled;
    std::string detail_;  // a failure decided here rather than by the control
};

FetchResult Transfer::Run(const std::string& url) {
    HandlerScope handler(inet_, [this](int state) { OnState(state); });
    std::optional<std::uint64_t> from;
    if (part_.Length() > 0) from = static_cast<std::uint64_t>(part_.Length());
    url_ = url;
    if (!inet_.Execute(url, "GET", from, validator_)) {
        detail_ = "transfer not started";
        return FetchResult::TransferFailed;
    }
    while (inet_.StillExecuting()) {
        if (!stopped_ && watcher_.CancelRequested()) Stop(FetchResult::Cancelled);
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
        Stop(FetchResult::TransferFailed);
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
    if (!part_.Restart()) Stop(FetchResult::WriteFailed);
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
    if (watcher_.CancelRequested()) return Stop(FetchResult::Cancelled);
    if (!part_.Append(chunk)) {
        return Stop(part_.TooLong() ? FetchResult::TooLong : FetchResult::WriteFailed);
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

void Transfer::Stop(FetchResult why) {
    stopped_ = true;
    stopReason_ = why;
    inet_.Cancel();
}

FetchResult Transfer::Outcome() {
    if (!stopped_ && watcher_.CancelRequested()) Stop(FetchResult::Cancelled);
    if (stopped_) return stopReason_;
    if (failed_) return FetchResult::TransferFailed;
    if (part_.Length() != expected_) return FetchResult::WrongLength;
    return part_.Commit() ? FetchResult::Accepted : FetchResult::WriteFailed;
}

// Streams source into part, at most one byte past its expected length.
FetchResult CopyInto(std::ifstream& in, PartFile& part, std::int64_t expected,
                     TransferWatcher& watcher) {
    std::vector<char> block(kCopyBlock);
    YieldClock yield;
    while (in) {
        if (watcher.CancelRequested()) return FetchResult::Cancelled;
        std::int64_t room = std::max<std::int64_t>(expected - part.Length(), 0) + 1;
        auto want = std::min<std::int64_t>(room, static_cast<std::int64_t>(block.size()));
        in.read(block.data(), static_cast<std::streamsize>(want));
        std::string_view got(block.data(), static_cast<std::size_t>(in.gcount()));
        if (!got.empty() && !part.Append(got)) {
            return part.TooLong() ? FetchResult::TooLong : FetchResult::WriteFailed;
        }
        yield.Tick();
    }
    if (!in.eof()) return FetchResult::TransferFailed;
    if (part.Length() != expected) return FetchResult::WrongLength;
    return part.Commit() ? FetchResult::Accepted : FetchResult::WriteFailed;
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
std::string FailureText(FetchResult result, const PartFile& part, std::int64_t expected,
                        const std::string& transferDetail) {
    const std::string wanted = std::to_string(expected);
    switch (result) {
    case FetchResult::Accepted:
        return {};
    case FetchResult::WrongLength:
        return "length " + std::to_string(part.Length()) + ", expected " + wanted;
    case FetchResult::TooLong:
        return "length over " + wanted + ", expected " + wanted;
    case FetchResult::TransferFailed:
        return transferDetail;
    case FetchResult::WriteFailed:
        return ov::ErrnoText(part.Error());
    case FetchResult::Cancelled:
        break;
    }
    return "cancelled";
}

FetchResult Noted(FetchResult result, std::string text, std::string* reason) {
    if (reason) *reason = std::move(text);
    return result;
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

FetchResult DownloadArchive(ov::InetControl& inet, const std::string& url,
                            const std::string& target, std::int64_t expected, RunBytes& run,
                            TransferWatcher& watcher, const RetryPolicy& retry,
                            LeftoverProof proof, std::string* reason) {
    DeleteQuietly(target);
    PartFile part(target, expected);
    if (!part.IsOpen()) return Noted(FetchResult::WriteFailed, ov::ErrnoText(part.Error()), reason);
    std::string validator = part.RecordedValidator(url);
    if (!Continuable(part, expected, validator, proof) && !part.Restart()) {
        return Noted(FetchResult::WriteFailed, ov::ErrnoText(part.Error()), reason);
    }
    run.received += part.Length();
    Bars bars;
    for (int attempt = 0;; ++attempt) {
        Transfer transfer(inet, part, expected, run, watcher, bars, validator);
        FetchResult result = transfer.Run(url);
        if (result != FetchResult::TransferFailed || attempt >= retry.retries ||
            !RetryableStatus(inet.ResponseCode())) {
            const std::string detail =
                result == FetchResult::TransferFailed ? transfer.FailureDetail() : "";
            return Noted(result, FailureText(result, part, expected, detail), reason);
        }
        if (!WaitBeforeRetry(retry, attempt, inet.RetryAfterSeconds(), watcher)) {
            return Noted(FetchResult::Cancelled, "cancelled", reason);
        }
    }
}

FetchResult CopyArchive(const std::string& source, const std::string& target,
                        std::int64_t expected, TransferWatcher& watcher, std::string* reason) {
    DeleteQuietly(target);
    if (!ov::IsRegularFile(source)) {
        return Noted(FetchResult::TransferFailed, "not in the source folder", reason);
    }
    std::ifstream in(FsPath(source), std::ios::binary);
    if (!in) return Noted(FetchResult::TransferFailed, "cannot be read", reason);
    PartFile part(target, expected);
    if (!part.IsOpen() || !part.Restart()) {
        return Noted(FetchResult::WriteFailed, ov::ErrnoText(part.Error()), reason);
    }
    FetchResult result = CopyInto(in, part, expected, watcher);
    return Noted(result, FailureText(result, part, expected, "read error"), reason);
}

}  // namespace znt
