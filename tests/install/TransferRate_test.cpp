// The rate and time left under the run bar, fed with made-up time points.

#include "install/TransferRate.h"

#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"

#include <gtest/gtest.h>

namespace {

using znt::TransferRate;
using namespace std::chrono_literals;

const TransferRate::Clock::time_point t0{};

TEST(TransferRate, RateOverTheSlidingWindowAndTimeLeftRoundedUp) {
    TransferRate rate;
    rate.Sample(0, t0);
    rate.Sample(50'000, t0 + 500ms);
    EXPECT_FALSE(rate.BytesPerSecond());  // under a second of samples: nothing to show
    EXPECT_FALSE(rate.SecondsLeft(1000));

    rate.Sample(100'000, t0 + 1s);
    ASSERT_TRUE(rate.BytesPerSecond());
    EXPECT_DOUBLE_EQ(*rate.BytesPerSecond(), 100'000);
    EXPECT_EQ(rate.SecondsLeft(250'000), 3);  // 2.5 s rounded up
    EXPECT_EQ(rate.SecondsLeft(-5), 0);       // more arrived than the run announced

    // 10 s at 100 kB/s, then 10 s at 10 kB/s: only the last 5 s count.
    for (int s = 2; s <= 10; ++s) rate.Sample(100'000LL * s, t0 + 1s * s);
    for (int s = 11; s <= 20; ++s) rate.Sample(1'000'000 + 10'000LL * (s - 10), t0 + 1s * s);
    EXPECT_DOUBLE_EQ(*rate.BytesPerSecond(), 10'000);
    EXPECT_FALSE(rate.SecondsLeft(10'000LL * TransferRate::kMaxSecondsLeft + 1));

    // A stall: the rate is gone once the window has passed without bytes.
    rate.Sample(1'100'000, t0 + 23s);
    EXPECT_TRUE(rate.BytesPerSecond());
    rate.Sample(1'100'000, t0 + 26s);
    EXPECT_FALSE(rate.BytesPerSecond());

    rate.Sample(0, t0);  // a clock going back is ignored
    EXPECT_FALSE(rate.BytesPerSecond());
}

TEST(TransferRate, FiguresAreShownAtMostTwiceASecond) {
    TransferRate rate;
    EXPECT_TRUE(rate.ShowDue(t0));
    EXPECT_FALSE(rate.ShowDue(t0 + 100ms));
    EXPECT_FALSE(rate.ShowDue(t0 + 499ms));
    EXPECT_TRUE(rate.ShowDue(t0 + 500ms));
    EXPECT_FALSE(rate.ShowDue(t0 + 900ms));
}

TEST(TransferRate, TextsUseKilobytesMegabytesAndMinutes) {
    znt::AppTexts english;  // no pack: the English texts
    EXPECT_EQ(znt::RateText(english, 100), "1 KB/s");
    EXPECT_EQ(znt::RateText(english, 512 * 1024), "512 KB/s");
    EXPECT_EQ(znt::RateText(english, 999 * 1024), "999 KB/s");
    EXPECT_EQ(znt::RateText(english, 1000 * 1024), "1.0 MB/s");
    EXPECT_EQ(znt::RateText(english, 1.44 * 1024 * 1024), "1.4 MB/s");
    EXPECT_EQ(znt::RateText(english, 12.96 * 1024 * 1024), "13.0 MB/s");
    EXPECT_EQ(znt::DurationText(0), "0:00");
    EXPECT_EQ(znt::DurationText(65), "1:05");
    EXPECT_EQ(znt::DurationText(7384), "123:04");

    TransferRate rate;
    EXPECT_EQ(znt::SpeedText(english, rate, 100), "");  // no rate yet
    rate.Sample(0, t0);
    rate.Sample(3 * 1024 * 1024, t0 + 2s);
    EXPECT_EQ(znt::SpeedText(english, rate, 90 * 1024 * 1024), "1.5 MB/s, 1:00 left");

    znt::AppTexts pack;
    pack.text[znt::kTextRateMegabytes] = "%1 MB/δ";
    pack.text[znt::kTextTimeLeft] = "απομένουν %1";
    pack.text[znt::kTextRateAndTimeLeft] = "%1 – %2";
    pack.text[znt::kTextDecimalMark] = ",";
    EXPECT_EQ(znt::SpeedText(pack, rate, 90 * 1024 * 1024), "1,5 MB/δ – απομένουν 1:00");
    EXPECT_EQ(znt::SpeedText(pack, rate, 1LL << 62), "1,5 MB/δ");  // no time worth telling
}

}  // namespace
