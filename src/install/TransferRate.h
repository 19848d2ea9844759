#pragma once

// The transfer rate and time left that the download window shows under the
// run bar. The caller samples the run's received byte count with its own
// clock (tests feed made-up time points). Samples are kept at least
// kSampleInterval apart over a sliding window of kRateWindow, so the store
// stays small. The rate is the bytes gained across the kept samples over
// their span; there is none until the span reaches kMinRateSpan and bytes
// arrived in it, so a stalled transfer loses its rate once the window has
// passed. Time left is the remaining bytes over the rate, rounded up.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace znt {

struct AppTexts;

class TransferRate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSampleInterval{100};
    static constexpr std::chrono::seconds kRateWindow{5};
    static constexpr std::chrono::seconds kMinRateSpan{1};
    static constexpr std::chrono::milliseconds kShowInterval{500};
    static constexpr std::int64_t kMaxSecondsLeft = 100 * 3600;

    // The run's received byte count at now (never earlier than the last sample).
    void Sample(std::int64_t received, Clock::time_point now);
    // Nothing without a meaningful rate.
    std::optional<double> BytesPerSecond() const;
    // Nothing without a rate or beyond kMaxSecondsLeft; 0 when nothing remains.
    std::optional<std::int64_t> SecondsLeft(std::int64_t remaining) const;
    // True when the figures were never shown or last shown kShowInterval ago;
    // then counts them as shown at now.
    bool ShowDue(Clock::time_point now);

private:
    std::deque<std::pair<Clock::time_point, std::int64_t>> samples_;
    std::optional<Clock::time_point> shown_;
};

// "512 KB/s" below 1000 KB/s (at least 1), else "1.4 MB/s" (KB = 1024 bytes).
std::string RateText(const AppTexts& texts, double bytesPerSecond);
// "m:ss"; minutes are not wrapped into hours.
std::string DurationText(std::int64_t seconds);
// lblSpeed: "<rate>, <time> left", the rate alone when no time can be told,
// empty without a rate. A pack without these texts gets the English ones.
std::string SpeedText(const AppTexts& texts, const TransferRate& rate, std::int64_t remaining);

}  // namespace znt
