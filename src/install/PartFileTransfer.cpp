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

// How long one Step may keep taking body bytes before it lets other
// downloads and the event loop have their turn.
constexpr std::chrono::milliseconds kStepSlice{10};

void DeleteQuietly(const std::string& path) {
    ov::ClearAttributes(path);
    ov::RemoveFile(path);
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

void YieldClock::Tick() {
    Clock::time_point now = Clock::now();
    if (now - last_ < kYieldInterval) return;
    ov::YieldToEventLoop();
    last_ = Clock::now();
}

void YieldClock::Pace(bool busy, ov::InetWaker& waker) {
    if (busy) return Tick();
    waker.Wait(kIdleWait);
    ov::YieldToEventLoop();
    last_ = Clock::now();
}

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

PartFileDownload::PartFileDownload(ov::InetControl& inet, PartFileRequest request, RunBytes& run,
                                   TransferWatcher& watcher)
    : inet_(inet), request_(std::move(request)), run_(run), watcher_(watcher) {}

PartFileDownload::~PartFileDownload() { ReleaseControl(); }

bool PartFileDownload::Step() {
    busy_ = false;
    switch (phase_) {
    case Phase::Starting: Begin(); break;
    case Phase::Running: StepTry(); break;
    case Phase::Waiting: StepWait(); break;
    case Phase::Ended: break;
    }
    return phase_ != Phase::Ended;
}

// Sets up the part file: a leftover is continued only when Continuable says
// so and its bytes can be read for the hash; otherwise it starts empty.
void PartFileDownload::Begin() {
    busy_ = true;
    DeleteQuietly(request_.target);
    part_ = std::make_unique<PartFile>(request_.target, request_.expected);
    if (!part_->IsOpen())
        return Finish(Ended(TransferStatus::WriteFailed, ov::ErrnoText(part_->Error())));
    validator_ = part_->RecordedValidator(request_.source);
    if (!Continuable(*part_, request_.expected, validator_, request_.proof) ||
        !HashStarted(*part_, request_)) {
        validator_.clear();
        if (!part_->Restart() || !HashStarted(*part_, request_)) {
            return Finish(Ended(TransferStatus::WriteFailed, ov::ErrnoText(part_->Error())));
        }
    }
    run_.received += part_->Length();
    StartTry();
}

// One GET into the part file, from the bytes it holds on.
void PartFileDownload::StartTry() {
    reading_ = false;
    stopped_ = false;
    failed_ = false;
    stopReason_ = TransferStatus::Cancelled;
    detail_.clear();
    if (!handlerSet_) {
        previousHandler_ = std::exchange(inet_.StateChanged, [this](int state) { OnState(state); });
        handlerSet_ = true;
    }
    phase_ = Phase::Running;
    std::optional<std::uint64_t> from;
    if (part_->Length() > 0) from = static_cast<std::uint64_t>(part_->Length());
    if (!inet_.Execute(request_.source, "GET", from, validator_)) {
        detail_ = "transfer not started";
        failed_ = true;
        EndTry();
    }
}

void PartFileDownload::StepTry() {
    bool running = inet_.Poll();
    if (!stopped_ && watcher_.CancelRequested()) Stop(TransferStatus::Cancelled);
    if (reading_ && !stopped_) {
        const auto until = Clock::now() + kStepSlice;
        while (ReadSome()) {
            busy_ = true;
            if (Clock::now() >= until) break;
        }
    }
    if (stopped_ || (!running && (!reading_ || inet_.BodyEnded()))) EndTry();
}

void PartFileDownload::StepWait() {
    if (watcher_.CancelRequested()) return Finish(Ended(TransferStatus::Cancelled, "cancelled"));
    if (Clock::now() < retryAt_) return;
    ++attempt_;
    StartTry();
}

// Stops the control and gives its earlier handler back.
void PartFileDownload::ReleaseControl() {
    if (!handlerSet_) return;
    inet_.Cancel();
    inet_.StateChanged = std::move(previousHandler_);
    handlerSet_ = false;
}

void PartFileDownload::EndTry() {
    busy_ = true;
    TransferStatus status = Outcome();
    ReleaseControl();
    const bool retry = status == TransferStatus::TransferFailed &&
                       attempt_ < request_.retry.retries && RetryableStatus(inet_.ResponseCode());
    if (!retry) {
        const std::string detail = status == TransferStatus::TransferFailed ? FailureDetail() : "";
        return Finish(znt::Outcome(status, *part_, request_.expected, detail));
    }
    std::chrono::milliseconds wait =
        BackoffWait(request_.retry, attempt_, inet_.RetryAfterSeconds());
    if (request_.retry.wait) {
        auto cancelled = [this] { return watcher_.CancelRequested(); };
        if (!request_.retry.wait(wait, cancelled)) {
            return Finish(Ended(TransferStatus::Cancelled, "cancelled"));
        }
        ++attempt_;
        return StartTry();
    }
    retryAt_ = Clock::now() + wait;
    phase_ = Phase::Waiting;
}

void PartFileDownload::Finish(PartFileResult result) {
    ReleaseControl();
    result_ = std::move(result);
    part_.reset();  // an archive not committed leaves no part file behind
    phase_ = Phase::Ended;
}

void PartFileDownload::OnState(int state) {
    watcher_.StateChanged(state);
    if (state == ov::icError) failed_ = true;
    if (state == ov::icResponseCompleted && !stopped_) reading_ = TakesAnswer();
}

// A 206 must continue exactly where the part file ends; any other success
// is the whole body, which replaces what the part file holds and whose
// validator is recorded with it.
bool PartFileDownload::TakesAnswer() {
    std::int64_t held = part_->Length();
    if (inet_.ResponseCode() == kPartialContent) {
        if (inet_.ContentRangeStart() == static_cast<std::uint64_t>(held)) return true;
        StartOver();  // a range we did not ask for: the next try starts afresh
        Stop(TransferStatus::TransferFailed);
        detail_ = "server sent another range";
        return false;
    }
    if (held > 0) StartOver();
    validator_ = inet_.Validator();
    part_->RecordValidator(request_.source, validator_);
    return !stopped_;
}

void PartFileDownload::StartOver() {
    run_.received -= part_->Length();
    validator_.clear();
    if (!part_->Restart()) Stop(TransferStatus::WriteFailed);
    Report();
}

// Takes what the control holds now, one byte past the expected length at
// most (so a longer body shows at that byte), and handles it chunk by chunk.
// False when nothing was there or once the transfer was stopped.
bool PartFileDownload::ReadSome() {
    std::int64_t room = std::max<std::int64_t>(request_.expected - part_->Length(), 0) + 1;
    std::string data = inet_.TakeChunk(static_cast<std::size_t>(
        std::min<std::int64_t>(room, static_cast<std::int64_t>(kReadBytes))));
    std::string_view rest(data);
    while (!rest.empty() && !stopped_) {
        HandleChunk(rest.substr(0, kChunkBytes));
        rest.remove_prefix(std::min(rest.size(), kChunkBytes));
    }
    return !data.empty() && !stopped_;
}

void PartFileDownload::HandleChunk(std::string_view chunk) {
    if (watcher_.CancelRequested()) return Stop(TransferStatus::Cancelled);
    if (!part_->Append(chunk)) {
        return Stop(part_->TooLong() ? TransferStatus::TooLong : TransferStatus::WriteFailed);
    }
    run_.received += static_cast<std::int64_t>(chunk.size());
    Report();
}

std::string PartFileDownload::FailureDetail() const {
    if (!detail_.empty()) return detail_;
    std::string error = inet_.LastError();
    return error.empty() ? "transfer failed" : error;
}

void PartFileDownload::Report() {
    int fileBar = Percent(part_->Length(), request_.expected);
    int runBar = Percent(run_.received, run_.total);
    if (fileBar == bars_.file && runBar == bars_.run) return;
    bars_.file = fileBar;
    bars_.run = runBar;
    watcher_.ProgressChanged(fileBar, runBar);
}

void PartFileDownload::Stop(TransferStatus why) {
    stopped_ = true;
    stopReason_ = why;
    inet_.Cancel();
}

TransferStatus PartFileDownload::Outcome() {
    if (!stopped_ && watcher_.CancelRequested()) Stop(TransferStatus::Cancelled);
    if (stopped_) return stopReason_;
    if (failed_) return TransferStatus::TransferFailed;
    if (part_->Length() != request_.expected) return TransferStatus::WrongLength;
    return part_->Commit() ? TransferStatus::Accepted : TransferStatus::WriteFailed;
}

PartFileResult TransferToPartFile(ov::InetControl& inet, const PartFileRequest& request,
                                  RunBytes& run, TransferWatcher& watcher) {
    PartFileDownload download(inet, request, run, watcher);
    YieldClock yield;
    while (download.Step()) yield.Pace(download.Busy(), inet.Waker());
    return download.Result();
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
