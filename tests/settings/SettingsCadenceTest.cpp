// Audio samples per video frame: the cadence of the fractional frame rate.
#include <gtest/gtest.h>

#include <vector>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"

using Zent::Orvel::Settings;

namespace {

struct CadenceCase {
    UInt32 frameRate;
    UInt32 rateCode;
    UInt32 period;       // frames after which the counts repeat
    UInt64 periodTotal;  // samples over one period
    std::vector<UInt32> firstCounts;
};

class SettingsCadence : public testing::TestWithParam<CadenceCase> {};

Settings MakeSettings(bool inIsInput, UInt32 inFrameRate, UInt32 inRateCode)
{
    Settings s;
    s.framerate = inFrameRate;
    s.SetSampleRateCode(inIsInput, inRateCode);
    // The other direction runs at a different rate, so a mix-up shows.
    s.SetSampleRateCode(!inIsInput, inRateCode == Settings::kSampleRate44100 ? Settings::kSampleRate96000
                                                                              : Settings::kSampleRate44100);
    return s;
}

TEST_P(SettingsCadence, CountsSumExactlyOverEachPeriod)
{
    const CadenceCase c = GetParam();
    for (bool in : {true, false}) {
        SCOPED_TRACE(in ? "input" : "output");
        const Settings s = MakeSettings(in, c.frameRate, c.rateCode);
        for (std::size_t i = 0; i < c.firstCounts.size(); ++i) {
            EXPECT_EQ(s.GetSampleCountForSequence(in, UInt32(i)), c.firstCounts[i]) << "frame " << i;
        }
        // Periods starting at several multiples of the period, far ones included.
        for (UInt32 start : {0u, c.period, 7 * c.period, 1000000u * c.period}) {
            UInt64 total = 0;
            for (UInt32 n = start; n < start + c.period; ++n) {
                total += s.GetSampleCountForSequence(in, n);
                EXPECT_EQ(s.GetFrameCadenceCountForSequence(in, n), c.period == 1 ? 1u : n - start + 1);
            }
            EXPECT_EQ(total, c.periodTotal) << "period starting at " << start;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, SettingsCadence,
    testing::Values(
        // 29.97 fps: 44100 * 1001 / 30000 = 1471.47 samples per frame, exact over 100 frames.
        CadenceCase{4, 0, 100, 147147, {1472, 1471, 1472, 1471}},
        // 48000 * 1001 / 30000 = 1601.6, exact over 5 frames.
        CadenceCase{4, 0x1000, 5, 8008, {1602, 1601, 1602, 1601, 1602, 1602, 1601}},
        // 96000 Hz: 3203 for every frame, so 5 frames carry 16015, not 16016.
        CadenceCase{4, 0x2000, 1, 3203, {3203, 3203, 3203, 3203, 3203}},
        // 25 fps divides every rate evenly.
        CadenceCase{5, 0, 1, 1764, {1764, 1764}}, CadenceCase{5, 0x1000, 1, 1920, {1920, 1920}},
        CadenceCase{5, 0x2000, 1, 3840, {3840, 3840}}));

TEST(SettingsCadence, The44100CadenceIsShortOnOddFramesAnd22_46_70)
{
    const Settings s = MakeSettings(true, Settings::kFrameRate2997, Settings::kSampleRate44100);
    UInt32 shortFrames = 0;
    for (UInt32 n = 0; n < 100; ++n) {
        const bool isShort = n % 2 == 1 || n == 22 || n == 46 || n == 70;
        EXPECT_EQ(s.GetSampleCountForSequence(true, n), isShort ? 1471u : 1472u) << "frame " << n;
        shortFrames += isShort;
    }
    EXPECT_EQ(shortFrames, 53u);
    EXPECT_EQ(s.GetSampleCountForSequence(true, 122), 1471u);
    EXPECT_EQ(s.GetSampleCountForSequence(true, 124), 1472u);
}

TEST(SettingsCadence, FiveFramesAt48000StartingAtAMultipleOfFive)
{
    const Settings s = MakeSettings(true, Settings::kFrameRate2997, Settings::kSampleRate48000);
    for (UInt32 start = 0; start < 1000; start += 5) {
        UInt32 total = 0;
        for (UInt32 n = start; n < start + 5; ++n) {
            total += s.GetSampleCountForSequence(true, n);
        }
        ASSERT_EQ(total, 8008u) << "frames " << start << " to " << start + 4;
    }
}

TEST(SettingsCadence, OtherFrameRatesCarryNoSamples)
{
    for (UInt32 frameRate : {0u, 1u, 2u, 3u, 6u, 7u, 8u}) {
        for (UInt32 rateCode : {0u, 0x1000u, 0x2000u}) {
            const Settings s = MakeSettings(true, frameRate, rateCode);
            EXPECT_EQ(s.GetSampleCountForSequence(true, 3), 0u) << frameRate << " " << rateCode;
            EXPECT_EQ(s.GetFrameCadenceCountForSequence(true, 3), 0u) << frameRate << " " << rateCode;
        }
    }
}

TEST(SettingsCadence, FrameRate6IsUnknownForPacketsAndSamples)
{
    Settings s;
    s.framerate = Settings::kFrameRate24;
    testing::internal::CaptureStdout();
    EXPECT_EQ(s.GetPacketCount(true), 261u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unknown packetcount\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(s.GetSampleCountForSequence(true, 0), 0u);
    // An unknown frame rate is a code of the table, not a broken invariant.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
