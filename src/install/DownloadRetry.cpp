#include "install/DownloadRetry.h"

#include "OVShared/Platform/Yield.h"

#include <algorithm>
#include <thread>

namespace znt {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks at Cancel and turns the event loop.
constexpr std::chrono::milliseconds kWaitSlice{20};
constexpr int kRequestTimeout = 408;
constexpr int kTooManyRequests = 429;

}  // namespace

bool RetryableStatus(int status) {
    if (status == kRequestTimeout || status == kTooManyRequests) return true;
    return status < 400 || status >= 500;
}

std::chrono::milliseconds BackoffWait(const RetryPolicy& policy, int retry,
                                      std::optional<std::uint32_t> retryAfterSeconds) {
    using std::chrono::milliseconds;
    if (retryAfterSeconds) {
        return std::min<milliseconds>(std::chrono::seconds(*retryAfterSeconds), policy.longestWait);
    }
    milliseconds wait = policy.firstWait;
    for (int k = 0; k < retry && wait < policy.longestWait; ++k) wait *= 2;
    return std::min(wait, policy.longestWait);
}

bool WaitYielding(std::chrono::milliseconds wait, const std::function<bool()>& cancelled) {
    Clock::time_point end = Clock::now() + wait;
    for (;;) {
        ov::YieldToEventLoop();
        if (cancelled()) return false;
        Clock::time_point now = Clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(kWaitSlice, end - now));
    }
}

}  // namespace znt
