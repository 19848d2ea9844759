#pragma once

// HTTP transfer control in the manner of the Internet Transfer control:
// a synchronous OpenUrl, and an asynchronous Execute whose progress arrives
// as numbered state changes and whose body is read with GetChunk.
//
// Threading: each transfer runs on a worker thread (libcurl, or WinINet on
// Windows, see InetTransfer.h); the worker hands states and body bytes to the
// caller's thread through a bounded buffer. StateChanged is only ever called on the
// caller's thread, from inside StillExecuting, Poll, GetChunk or OpenUrl, and never
// from inside itself (events that arrive while a handler runs wait for the
// outermost call to deliver them).
//
// Streaming: at most InetOptions::bufferLimit body bytes are held; when the
// buffer is full the worker waits for GetChunk to make room. State 12
// (response completed) is therefore raised when the whole body has arrived
// or, for a larger body, as soon as streamAfterBytes are held; a
// transfer that fails after that still ends with state 11. GetChunk waits
// (yielding to the event loop) for more data and returns empty only at the
// end of the body or after Cancel; after a failure it still gives the bytes
// released before it (the start of the body, for a resumed download), then
// empty. A caller that stops
// reading leaves the worker waiting until Cancel or the control's end.
// A compressed response (gzip, deflate) is decoded by the library; the buffer
// bound and maxOpenUrlBytes count decoded bytes. OpenUrl and OpenUrlIf ask
// for gzip and decode it themselves on every platform, so a gzip body cut
// short or damaged (its length, CRC or trailer wrong) is a failure.
//
// Ending: every transfer ends. Connecting is bounded by connectTimeout,
// silence by stallTimeout and a trickle by the minimum rate (headers count;
// time the worker spends waiting for the caller to read does not). Cancel
// and the destructor return within about a second whatever the worker is
// doing: it notices within one poll (50 ms) and, in the rare case it is
// stuck in a call the library cannot interrupt, is left to end on its own.
// Right after Cancel, StillExecuting is false and no states are raised.
//
// Several at once: a caller that runs transfers on several controls from one
// thread drives each with Poll and TakeChunk, which never wait, and waits on
// one InetWaker (SetWaker) that every control signals when it has news.
//
// Connections: transfers reuse the connections earlier ones left open to the
// same server (and their TLS sessions), whichever control ran them.
//
// Ranges: Execute may ask for the body from a byte on (a resumed download),
// with If-Range naming the validator of the bytes held (Validator of an
// earlier answer). The server may answer 206 with that range or 200 with the
// whole body (the body changed, or it has no ranges); the caller tells them
// apart by ResponseCode and ContentRangeStart, which are known from state 12
// on (and after a failure, with RetryAfterSeconds).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ov {

class InetChannel;

// Wakes a caller that waits on several transfers at once: each channel
// given it signals it whenever it would wake its own caller (a state, body
// bytes, the end).
class InetWaker {
public:
    void Notify();
    // Returns at the first signal since the last Wait, or after limit.
    void Wait(std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool signalled_ = false;
};

// State numbers passed to StateChanged.
enum InetState : int {
    icResolvingHost = 1,
    icHostResolved = 2,
    icConnecting = 3,
    icConnected = 4,
    icRequesting = 5,
    icRequestSent = 6,
    icReceivingResponse = 7,
    icResponseReceived = 8,
    icDisconnecting = 9,  // not raised: connections are pooled by the library
    icDisconnected = 10,  // not raised
    icError = 11,
    icResponseCompleted = 12,
};

struct InetOptions {
    // Name resolution plus connecting (and the TLS handshake).
    std::chrono::milliseconds connectTimeout{15000};
    // A transfer that receives nothing for this long fails with state 11.
    std::chrono::milliseconds stallTimeout{30000};
    // From its first byte on, a transfer that receives fewer than
    // minBytesPerSecond on average over a rateWindow fails with state 11.
    // Zero turns the check off.
    std::size_t minBytesPerSecond = 1024;
    std::chrono::milliseconds rateWindow{30000};
    std::size_t bufferLimit = 1u << 20;
    // State 12 comes once this many body bytes wait (or the body is complete,
    // or the buffer is full), so a reader streams a body while it arrives.
    std::size_t streamAfterBytes = 64u << 10;
    // OpenUrl gives nothing for a larger body.
    std::size_t maxOpenUrlBytes = 64u << 20;
    long maxRedirects = 10;
    std::string userAgent = "zntr/1.0";
};

// What a server said identifies a body, to ask later whether it changed.
struct InetValidators {
    std::string entityTag;     // the ETag as sent, weak ones too
    std::string lastModified;  // the Last-Modified date as sent
};

// The outcome of OpenUrlIf.
struct InetFetch {
    enum class Outcome { Body, NotModified, Failed };
    Outcome outcome = Outcome::Failed;
    std::string body;           // with Body
    InetValidators validators;  // with Body: those the response gave
    std::string error;          // with Failed: why ("HTTP 404", "connection refused")
};

class InetControl {
public:
    explicit InetControl(InetOptions options = {});
    // Cancels a running transfer; returns as Cancel does.
    ~InetControl();
    InetControl(const InetControl&) = delete;
    InetControl& operator=(const InetControl&) = delete;

    // Called with each new state (1 to 12) of the running transfer. No
    // further states are raised for a transfer after Cancel.
    std::function<void(int state)> StateChanged;

    // Fetches a whole body, yielding to the event loop while it waits.
    // Nothing on a connection failure, time-out, an HTTP status outside
    // 200-299, a body above maxOpenUrlBytes, or when a transfer is running.
    std::optional<std::string> OpenUrl(const std::string& url);

    // OpenUrl asking only for a body that no longer has the validators of
    // the copy held (If-None-Match, If-Modified-Since): NotModified when the
    // server answers 304. A validator that is empty, longer than
    // kMaxValidatorLength or holds a control character is not sent; a 304
    // to a request that sent none is a failure.
    InetFetch OpenUrlIf(const std::string& url, const InetValidators& held);
    static constexpr std::size_t kMaxValidatorLength = 256;

    // Starts a transfer; only the verb "GET" is supported. False when the
    // verb is another or a transfer is still running. With rangeStart the
    // request asks for the body from that byte on ("Range: bytes=N-") and
    // for no compression, so byte positions are those of the file itself;
    // a non-empty ifRange goes with it as If-Range (a validator holding a
    // control character is not sent, and the range is asked without it).
    bool Execute(const std::string& url, const std::string& verb = "GET",
                 std::optional<std::uint64_t> rangeStart = std::nullopt,
                 const std::string& ifRange = {});

    // Delivers pending state changes, then tells whether the transfer is
    // still running or has states left to deliver. Waits a few milliseconds
    // when there is nothing to do, so a polling loop does not spin.
    bool StillExecuting();

    // Up to maxBytes of the body; see the streaming note above.
    std::string GetChunk(std::size_t maxBytes);

    // StillExecuting and GetChunk without waiting: Poll delivers pending
    // state changes and tells whether the transfer is running or has states
    // left; TakeChunk gives the body bytes held now (from state 12 on), empty
    // when there are none yet or BodyEnded.
    bool Poll();
    std::string TakeChunk(std::size_t maxBytes);
    // Nothing more will come from GetChunk or TakeChunk for this transfer.
    bool BodyEnded() const;
    // Signalled by the control's transfers when they have news; each control
    // has its own until it is given one to share with others (for the next
    // transfer on).
    InetWaker& Waker() const { return *waker_; }
    void SetWaker(std::shared_ptr<InetWaker> waker);
    const InetOptions& Options() const { return options_; }

    // Stops the transfer; buffered data and undelivered states are dropped.
    // Returns once the worker has ended, or after about a second. Harmless
    // when nothing runs.
    void Cancel();

    // HTTP status and error text of the last transfer (0 and empty before
    // the first one). The status is known once the response's headers are
    // complete; that of a transfer that got no response is 0.
    int ResponseCode() const;
    std::string LastError() const;
    // From the last response's headers: the first byte of its Content-Range
    // ("bytes N-M/T"), and its Retry-After when given in seconds.
    std::optional<std::uint64_t> ContentRangeStart() const;
    std::optional<std::uint32_t> RetryAfterSeconds() const;
    // The last response's strong ETag, else its Last-Modified; empty when
    // it gave neither.
    std::string Validator() const;

    // Most body bytes held at once during the last transfer.
    std::size_t BufferHighWater() const;

private:
    bool Start(const std::string& url, std::optional<std::uint64_t> rangeStart,
               const std::string& ifRange);
    bool Launch(std::function<void(const InetOptions&, InetChannel&)> run);
    // Takes the body of the transfer started until it ends; nothing when it
    // failed or passed maxOpenUrlBytes (then tooLargeText says so).
    std::optional<std::string> Collect(std::string* tooLargeText = nullptr);
    void DispatchEvents();
    void ReleaseWorker();

    InetOptions options_;
    // Shared with the worker, which may outlive the control (see Ending).
    std::shared_ptr<InetChannel> channel_;
    std::shared_ptr<InetWaker> waker_;
    std::thread worker_;
    bool dispatching_ = false;
    bool collecting_ = false;
};

}  // namespace ov
