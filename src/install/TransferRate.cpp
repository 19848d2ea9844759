#include "install/TransferRate.h"

#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace znt {
namespace {

constexpr double kKilobyte = 1024.0;
constexpr double kMegabyteShownFrom = 1000.0 * kKilobyte;

std::string TextOr(const AppTexts& texts, int index, const char* english) {
    const std::string& text = texts[index];
    return text.empty() ? std::string(english) : text;
}

// pattern with "%1", "%2" replaced by the arguments in order, each once.
std::string Fill(std::string pattern, std::initializer_list<std::string> args) {
    int n = 1;
    for (const std::string& arg : args) {
        const std::string mark = "%" + std::to_string(n++);
        if (size_t at = pattern.find(mark); at != std::string::npos) pattern.replace(at, 2, arg);
    }
    return pattern;
}

}  // namespace

void TransferRate::Sample(std::int64_t received, Clock::time_point now) {
    if (!samples_.empty() && now < samples_.back().first) return;
    const size_t n = samples_.size();
    if (n >= 2 && now - samples_[n - 2].first < kSampleInterval) {
        samples_.back() = {now, received};  // too close: the newest replaces the last
    } else {
        samples_.emplace_back(now, received);
    }
    while (samples_.size() >= 2 && samples_[1].first <= now - kRateWindow) samples_.pop_front();
}

std::optional<double> TransferRate::BytesPerSecond() const {
    if (samples_.size() < 2) return std::nullopt;
    const auto span = samples_.back().first - samples_.front().first;
    const std::int64_t bytes = samples_.back().second - samples_.front().second;
    if (span < kMinRateSpan || bytes <= 0) return std::nullopt;
    return static_cast<double>(bytes) / std::chrono::duration<double>(span).count();
}

std::optional<std::int64_t> TransferRate::SecondsLeft(std::int64_t remaining) const {
    std::optional<double> rate = BytesPerSecond();
    if (!rate) return std::nullopt;
    if (remaining <= 0) return 0;
    const double seconds = std::ceil(static_cast<double>(remaining) / *rate);
    if (seconds > static_cast<double>(kMaxSecondsLeft)) return std::nullopt;
    return static_cast<std::int64_t>(seconds);
}

bool TransferRate::ShowDue(Clock::time_point now) {
    if (shown_ && now - *shown_ < kShowInterval) return false;
    shown_ = now;
    return true;
}

std::string RateText(const AppTexts& texts, double bytesPerSecond) {
    if (bytesPerSecond < kMegabyteShownFrom) {
        const long long kb = std::max(1LL, std::llround(bytesPerSecond / kKilobyte));
        return Fill(TextOr(texts, kTextRateKilobytes, "%1 KB/s"), {std::to_string(kb)});
    }
    const long long tenths = std::llround(bytesPerSecond * 10 / (kKilobyte * kKilobyte));
    const std::string figure = std::to_string(tenths / 10) + TextOr(texts, kTextDecimalMark, ".") +
                               std::to_string(tenths % 10);
    return Fill(TextOr(texts, kTextRateMegabytes, "%1 MB/s"), {figure});
}

std::string DurationText(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

std::string SpeedText(const AppTexts& texts, const TransferRate& rate, std::int64_t remaining) {
    std::optional<double> perSecond = rate.BytesPerSecond();
    if (!perSecond) return {};
    const std::string shown = RateText(texts, *perSecond);
    std::optional<std::int64_t> left = rate.SecondsLeft(remaining);
    if (!left) return shown;
    const std::string time = Fill(TextOr(texts, kTextTimeLeft, "%1 left"), {DurationText(*left)});
    return Fill(TextOr(texts, kTextRateAndTimeLeft, "%1, %2"), {shown, time});
}

}  // namespace znt
