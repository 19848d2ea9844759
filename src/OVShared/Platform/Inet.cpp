#include "OVShared/Platform/Inet.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/InetChannel.h"
#include "OVShared/Platform/InetTransfer.h"
#include "OVShared/Platform/InetTransferShared.h"
#include "OVShared/Platform/Yield.h"

#include <limits>
#include <system_error>
#include <utility>

namespace ov {
namespace {

// How long one poll waits for news before the caller yields again.
constexpr std::chrono::milliseconds kSlice{10};
// How long Cancel waits for the worker before leaving it to end alone.
constexpr std::chrono::milliseconds kStopGrace{1000};

// Sets a flag for the lifetime of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

bool IsGet(const std::string& verb) { return EqualsNoCase(verb, "GET"); }

}  // namespace

InetControl::InetControl(InetOptions options)
    : options_(std::move(options)), waker_(std::make_shared<InetWaker>()) {
    InitialiseTransfers();
}

void InetControl::SetWaker(std::shared_ptr<InetWaker> waker) {
    if (waker) waker_ = std::move(waker);
}

InetControl::~InetControl() { Cancel(); }

void InetControl::ReleaseWorker() {
    if (!worker_.joinable()) return;
    // A worker that has finished its channel only returns from then on.
    if (channel_->WaitFinished(kStopGrace)) {
        worker_.join();
    } else {
        worker_.detach();  // it holds its own share of the channel
    }
}

bool InetControl::Start(const std::string& url, std::optional<std::uint64_t> rangeStart,
                        const std::string& ifRange) {
    return Launch([url, rangeStart, ifRange](const InetOptions& options, InetChannel& channel) {
        RunTransfer(url, rangeStart, ifRange, options, channel);
    });
}

bool InetControl::Launch(std::function<void(const InetOptions&, InetChannel&)> run) {
    if (channel_ && channel_->Active()) return false;
    ReleaseWorker();
    auto channel =
        std::make_shared<InetChannel>(options_.bufferLimit, options_.streamAfterBytes, waker_);
    channel_ = channel;
    try {
        worker_ = std::thread(
            [channel, run = std::move(run), options = options_] { run(options, *channel); });
    } catch (const std::system_error& e) {
        channel->Finish(false, 0, e.what());
        return false;
    }
    return true;
}

void InetControl::DispatchEvents() {
    if (dispatching_) return;
    FlagScope scope(dispatching_);
    while (channel_) {
        auto state = channel_->NextEvent();
        if (!state) break;
        // A copy, so a handler may replace StateChanged while it runs.
        auto handler = StateChanged;
        if (handler) handler(*state);
    }
}

bool InetControl::Execute(const std::string& url, const std::string& verb,
                          std::optional<std::uint64_t> rangeStart, const std::string& ifRange) {
    const std::string validator =
        rangeStart && inet::IsHeaderValue(ifRange) ? ifRange : std::string();
    return IsGet(verb) && Start(url, rangeStart, validator);
}

bool InetControl::StillExecuting() {
    if (!channel_) return false;
    DispatchEvents();
    // Inside a handler the outer call delivers what is queued, so only the
    // worker counts here.
    bool deliver = !dispatching_;
    if (!channel_->Active() && !(deliver && channel_->HasEvents())) return false;
    channel_->Wait(kSlice, deliver ? InetChannel::kEvents : 0u);
    return true;
}

std::string InetControl::GetChunk(std::size_t maxBytes) {
    if (maxBytes == 0 || collecting_) return {};
    while (channel_) {
        std::string chunk = channel_->Take(maxBytes, false);
        if (!chunk.empty() || channel_->BodyEnded()) return chunk;
        DispatchEvents();
        channel_->Wait(kSlice,
                       InetChannel::kReleasedData | (dispatching_ ? 0u : InetChannel::kEvents));
        YieldToEventLoop();
    }
    return {};
}

bool InetControl::Poll() {
    if (!channel_) return false;
    DispatchEvents();
    return channel_->Active() || (!dispatching_ && channel_->HasEvents());
}

std::string InetControl::TakeChunk(std::size_t maxBytes) {
    if (maxBytes == 0 || collecting_ || !channel_) return {};
    return channel_->Take(maxBytes, false);
}

bool InetControl::BodyEnded() const { return !channel_ || channel_->BodyEnded(); }

std::optional<std::string> InetControl::OpenUrl(const std::string& url) {
    if (!Launch([url](const InetOptions& options, InetChannel& channel) {
            RunWholeBodyTransfer(url, {}, options, channel);
        })) {
        return std::nullopt;
    }
    return Collect();
}

InetFetch InetControl::OpenUrlIf(const std::string& url, const InetValidators& held) {
    auto usable = [](const std::string& v) {
        return v.size() <= kMaxValidatorLength && inet::IsHeaderValue(v) ? v : std::string();
    };
    WholeBodyRequest request{usable(held.entityTag), usable(held.lastModified)};
    InetFetch fetch;
    if (!Launch([url, request](const InetOptions& options, InetChannel& channel) {
            RunWholeBodyTransfer(url, request, options, channel);
        })) {
        fetch.error = "a transfer is still running";
        return fetch;
    }
    std::string tooLarge;
    std::optional<std::string> body = Collect(&tooLarge);
    bool asked = !request.ifNoneMatch.empty() || !request.ifModifiedSince.empty();
    if (body) {
        InetHead head = channel_->Head();
        fetch = {
            InetFetch::Outcome::Body, std::move(*body), {head.anyEntityTag, head.lastModified}, {}};
    } else if (!tooLarge.empty()) {
        fetch.error = tooLarge;
    } else if (asked && ResponseCode() == 304) {
        fetch.outcome = InetFetch::Outcome::NotModified;
    } else {
        fetch.error = LastError().empty() ? "transfer failed" : LastError();
    }
    return fetch;
}

std::optional<std::string> InetControl::Collect(std::string* tooLargeText) {
    std::string body;
    bool tooLarge = false;
    {
        FlagScope scope(collecting_);
        for (;;) {
            DispatchEvents();
            bool finished = !channel_->Active();
            std::string part = channel_->Take(std::numeric_limits<std::size_t>::max(), true);
            if (part.size() > options_.maxOpenUrlBytes - body.size()) {
                tooLarge = true;
                Cancel();
            } else {
                body += part;
            }
            if (finished) break;
            channel_->Wait(kSlice,
                           InetChannel::kAnyData | (dispatching_ ? 0u : InetChannel::kEvents));
            YieldToEventLoop();
        }
    }
    DispatchEvents();
    if (tooLarge && tooLargeText) {
        *tooLargeText = "larger than " + std::to_string(options_.maxOpenUrlBytes) + " bytes";
    }
    if (tooLarge || !channel_->Succeeded()) return std::nullopt;
    return body;
}

void InetControl::Cancel() {
    if (!channel_) return;
    channel_->Cancel();
    ReleaseWorker();
}

int InetControl::ResponseCode() const {
    return channel_ ? static_cast<int>(channel_->ResponseCode()) : 0;
}

std::string InetControl::LastError() const { return channel_ ? channel_->Error() : std::string(); }

std::optional<std::uint64_t> InetControl::ContentRangeStart() const {
    return channel_ ? channel_->Head().contentRangeStart : std::nullopt;
}

std::optional<std::uint32_t> InetControl::RetryAfterSeconds() const {
    return channel_ ? channel_->Head().retryAfterSeconds : std::nullopt;
}

std::string InetControl::Validator() const {
    return channel_ ? channel_->Head().Validator() : std::string();
}

std::size_t InetControl::BufferHighWater() const { return channel_ ? channel_->HighWater() : 0; }

}  // namespace ov
