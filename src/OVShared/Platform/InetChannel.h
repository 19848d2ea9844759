#pragma once

// The meeting point of one transfer's worker thread and the caller's thread:
// the queue of state changes, the bounded body buffer and the outcome. Every
// member is safe to call from either thread.

#include "OVShared/Platform/Inet.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace ov {

// What the headers of a response said that the caller acts on.
struct InetHead {
    long code = 0;
    std::optional<std::uint64_t> contentRangeStart;  // N of "Content-Range: bytes N-M/T"
    std::optional<std::uint32_t> retryAfterSeconds;  // "Retry-After: <seconds>"
    std::string entityTag;                           // a strong ETag, quotes kept
    std::string anyEntityTag;                        // the ETag, weak ones too (If-None-Match)
    std::string lastModified;                        // Last-Modified, as sent
    // What If-Range may name to continue this body: the entity tag, else the date.
    const std::string& Validator() const { return entityTag.empty() ? lastModified : entityTag; }
};

class InetChannel {
public:
    // State 12 is released once streamAfter bytes are held, or the buffer is full.
    InetChannel(std::size_t bufferLimit, std::size_t streamAfter,
                std::shared_ptr<InetWaker> waker = nullptr);

    // Worker side.
    // Queues every state after the last one queued, up to state (1 to 8), so
    // the caller sees an unbroken rising sequence whatever libcurl reports.
    void Reach(int state);
    // Appends body bytes, waiting while the buffer is full; false once cancelled.
    bool Push(std::string_view bytes);
    // Ends the transfer: state 12 on success (unless already raised), 11 on failure.
    void Finish(bool ok, long responseCode, std::string error);
    bool Cancelled() const;
    // The headers of the response, once they are complete (the last one
    // counts when a redirect was followed).
    void SetHead(const InetHead& head);

    // Caller side.
    std::optional<int> NextEvent();
    bool HasEvents() const;
    // Takes up to maxBytes of the body; bytes held before state 12 are only
    // handed out with anyTime (the caller collects the whole body itself).
    std::string Take(std::size_t maxBytes, bool anyTime);
    // Nothing more will come from Take(maxBytes, false).
    bool BodyEnded() const;
    bool Running() const;
    // Running and not cancelled: states or data may still come.
    bool Active() const;
    bool Succeeded() const;
    // What ends a Wait besides the end of the transfer and its time limit.
    static constexpr unsigned kEvents = 1;
    static constexpr unsigned kReleasedData = 2;
    static constexpr unsigned kAnyData = 4;
    void Wait(std::chrono::milliseconds limit, unsigned wakeOn);
    // Waits up to limit for the worker to finish; true when it has.
    bool WaitFinished(std::chrono::milliseconds limit);
    void Cancel();

    long ResponseCode() const;
    InetHead Head() const;
    std::string Error() const;
    std::size_t HighWater() const;

private:
    void WakeCallerLocked();
    void PostLocked(int state);
    void ReleaseLocked();
    void ClearBodyLocked();
    std::string TakeLocked(std::size_t maxBytes);

    mutable std::mutex mutex_;
    std::condition_variable callerWake_;
    std::condition_variable workerWake_;
    std::shared_ptr<InetWaker> waker_;
    std::deque<int> events_;
    int lastState_ = 0;
    std::deque<std::string> pieces_;
    std::size_t frontOffset_ = 0;  // bytes of pieces_.front() already taken
    std::size_t buffered_ = 0;
    std::size_t limit_;
    std::size_t streamAfter_;
    std::size_t highWater_ = 0;
    bool released_ = false;  // state 12 raised: the body may be taken
    bool running_ = true;
    bool succeeded_ = false;
    bool failed_ = false;
    bool cancelled_ = false;
    InetHead head_;
    std::string error_;
};

}  // namespace ov
