#include "OVShared/Platform/InetChannel.h"

#include "OVShared/Platform/Inet.h"

#include <algorithm>
#include <utility>

namespace ov {

void InetWaker::Notify() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    wake_.notify_all();
}

void InetWaker::Wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, limit, [this] { return signalled_; });
    signalled_ = false;
}

InetChannel::InetChannel(std::size_t bufferLimit, std::size_t streamAfter,
                         std::shared_ptr<InetWaker> waker)
    : waker_(std::move(waker)),
      limit_(std::max<std::size_t>(bufferLimit, 1)),
      streamAfter_(std::clamp<std::size_t>(streamAfter, 1, limit_)) {}

void InetChannel::WakeCallerLocked() {
    callerWake_.notify_all();
    if (waker_) waker_->Notify();
}

void InetChannel::PostLocked(int state) {
    if (cancelled_) return;
    events_.push_back(state);
    WakeCallerLocked();
}

void InetChannel::Reach(int state) {
    std::lock_guard lock(mutex_);
    state = std::min<int>(state, icResponseReceived);
    for (int s = lastState_ + 1; s <= state; ++s) PostLocked(s);
    lastState_ = std::max(lastState_, state);
}

void InetChannel::ReleaseLocked() {
    if (released_) return;
    for (int s = lastState_ + 1; s <= icResponseReceived; ++s) PostLocked(s);
    lastState_ = icResponseCompleted;
    PostLocked(icResponseCompleted);
    released_ = true;
}

bool InetChannel::Push(std::string_view bytes) {
    std::unique_lock lock(mutex_);
    while (!cancelled_ && buffered_ > 0 && buffered_ + bytes.size() > limit_) {
        // A full buffer starts the caller reading before the body is complete.
        ReleaseLocked();
        workerWake_.wait(lock);
    }
    if (cancelled_) return false;
    if (bytes.empty()) return true;
    pieces_.emplace_back(bytes);
    buffered_ += bytes.size();
    highWater_ = std::max(highWater_, buffered_);
    if (buffered_ >= streamAfter_) ReleaseLocked();
    WakeCallerLocked();
    return true;
}

void InetChannel::Finish(bool ok, long responseCode, std::string error) {
    std::lock_guard lock(mutex_);
    running_ = false;
    head_.code = responseCode;
    if (cancelled_) {
        error_ = "cancelled";
    } else if (ok) {
        succeeded_ = true;
        ReleaseLocked();
    } else {
        // Body bytes already released stay to be taken: they are the
        // start of the body, which a resumed download continues from.
        failed_ = true;
        error_ = std::move(error);
        if (!released_) ClearBodyLocked();
        PostLocked(icError);
    }
    WakeCallerLocked();
}

void InetChannel::SetHead(const InetHead& head) {
    std::lock_guard lock(mutex_);
    head_ = head;
}

bool InetChannel::Cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

std::optional<int> InetChannel::NextEvent() {
    std::lock_guard lock(mutex_);
    if (events_.empty()) return std::nullopt;
    int state = events_.front();
    events_.pop_front();
    return state;
}

bool InetChannel::HasEvents() const {
    std::lock_guard lock(mutex_);
    return !events_.empty();
}

std::string InetChannel::TakeLocked(std::size_t maxBytes) {
    std::string out;
    out.reserve(std::min(maxBytes, buffered_));
    while (!pieces_.empty() && out.size() < maxBytes) {
        const std::string& front = pieces_.front();
        std::size_t n = std::min(maxBytes - out.size(), front.size() - frontOffset_);
        out.append(front, frontOffset_, n);
        frontOffset_ += n;
        if (frontOffset_ == front.size()) {
            pieces_.pop_front();
            frontOffset_ = 0;
        }
    }
    buffered_ -= out.size();
    return out;
}

std::string InetChannel::Take(std::size_t maxBytes, bool anyTime) {
    std::lock_guard lock(mutex_);
    if (cancelled_ || (!released_ && !anyTime)) return {};
    std::string out = TakeLocked(maxBytes);
    if (!out.empty()) workerWake_.notify_all();
    return out;
}

bool InetChannel::BodyEnded() const {
    std::lock_guard lock(mutex_);
    return cancelled_ || (!running_ && buffered_ == 0);
}

bool InetChannel::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool InetChannel::Active() const {
    std::lock_guard lock(mutex_);
    return running_ && !cancelled_;
}

bool InetChannel::Succeeded() const {
    std::lock_guard lock(mutex_);
    return succeeded_;
}

void InetChannel::Wait(std::chrono::milliseconds limit, unsigned wakeOn) {
    std::unique_lock lock(mutex_);
    callerWake_.wait_for(lock, limit, [&] {
        bool data =
            buffered_ > 0 && ((wakeOn & kAnyData) || (released_ && (wakeOn & kReleasedData)));
        return !running_ || cancelled_ || data || ((wakeOn & kEvents) && !events_.empty());
    });
}

bool InetChannel::WaitFinished(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return callerWake_.wait_for(lock, limit, [this] { return !running_; });
}

void InetChannel::ClearBodyLocked() {
    pieces_.clear();
    frontOffset_ = 0;
    buffered_ = 0;
}

void InetChannel::Cancel() {
    std::lock_guard lock(mutex_);
    if (running_ && !cancelled_) error_ = "cancelled";
    cancelled_ = true;
    events_.clear();
    ClearBodyLocked();
    workerWake_.notify_all();
    WakeCallerLocked();
}

long InetChannel::ResponseCode() const {
    std::lock_guard lock(mutex_);
    return head_.code;
}

InetHead InetChannel::Head() const {
    std::lock_guard lock(mutex_);
    return head_;
}

std::string InetChannel::Error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::size_t InetChannel::HighWater() const {
    std::lock_guard lock(mutex_);
    return highWater_;
}

}  // namespace ov
