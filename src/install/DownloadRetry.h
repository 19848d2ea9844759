#pragma once

// When and how long an archive download waits before it tries again.
//
// A transfer that failed (state 11: no answer, a dropped connection, an
// error status) is tried again up to RetryPolicy::retries times. A 4xx
// status other than 408 and 429 says the request itself is wrong and is not
// retried. The wait before retry k (0-based) is firstWait * 2^k, or the
// server's Retry-After in seconds when it gave one; never above longestWait.
//
// Waiting happens on the caller's (user-interface) thread: WaitYielding
// turns the event loop every few milliseconds and ends as soon as the
// cancelled check says so. Tests replace the wait through RetryPolicy::wait.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace znt {

// Waits for the time given; false when cancelled() turned true first.
using BackoffWaiter =
    std::function<bool(std::chrono::milliseconds wait, const std::function<bool()>& cancelled)>;

struct RetryPolicy {
    int retries = 3;
    std::chrono::milliseconds firstWait{1000};
    std::chrono::milliseconds longestWait{30000};
    BackoffWaiter wait;  // empty: WaitYielding
};

// Whether a transfer that ended with this HTTP status (0: no response at
// all) may succeed when tried again.
bool RetryableStatus(int status);

// The wait before retry number retry (0 for the first).
std::chrono::milliseconds BackoffWait(const RetryPolicy& policy, int retry,
                                      std::optional<std::uint32_t> retryAfterSeconds);

// Waits, yielding to the event loop; false as soon as cancelled() is true.
bool WaitYielding(std::chrono::milliseconds wait, const std::function<bool()>& cancelled);

}  // namespace znt
