// The unit's clock: frame times follow the true rate exactly over any span,
// drift is the ratio it claims, jitter stays within its bound and repeats
// with its seed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"
#include "unit/UnitClock.h"

namespace {

using Kestro::Unit::UnitClock;

// Lays out inPackets packets of the 29.97 / 48 kHz cadence and returns each
// packet's time and frame count.
void LayOut(UnitClock& ioClock, UInt32 inPackets, std::vector<UInt64>& outTimes, std::vector<UInt32>& outFrames)
{
    const Zent::Orvel::Settings settings;
    for (UInt32 packet = 0; packet < inPackets; ++packet) {
        outTimes.push_back(ioClock.GetFrameTime(true, 48000));
        const UInt32 frames = settings.GetSampleCountForSequence(true, packet);
        outFrames.push_back(frames);
        ioClock.AdvanceFrames(true, 48000, frames);
        ioClock.NextPacket();
    }
}

TEST(UnitClock, FramesOverElapsedTimeIsTheTrueRateOverAnyWindow)
{
    struct Case {
        double ppm;
    };
    for (const Case each : {Case{0}, Case{100}, Case{-250}}) {
        UnitClock clock;
        clock.SetDrift(each.ppm);
        clock.Restart(5000000000ull);
        std::vector<UInt64> times;
        std::vector<UInt32> frames;
        LayOut(clock, 400, times, frames);
        EXPECT_EQ(times[0], 5000000000ull);
        const double trueRate = 48000.0 * (1.0 + each.ppm / 1e6);
        // Windows of 149 packets, starting at every cadence phase.
        for (UInt32 first = 0; first < 10; ++first) {
            UInt64 samples = 0;
            for (UInt32 packet = first; packet < first + 149; ++packet) {
                samples += frames[packet];
            }
            const double elapsed = double(times[first + 149] - times[first]);
            const double measured = double(samples) * 1e9 / elapsed;
            EXPECT_NEAR((measured - trueRate) / trueRate * 1e6, 0.0, 0.01)
                << each.ppm << " ppm, window from " << first;
        }
    }
}

TEST(UnitClock, DriftChangeKeepsTheTimesAlreadyLaidOut)
{
    UnitClock clock;
    clock.Restart(0);
    clock.AdvanceFrames(true, 48000, 48000);
    EXPECT_EQ(clock.GetFrameTime(true, 48000), 1000000000u);
    clock.SetDrift(1000 - 1);  // nearly 1000 ppm fast from here on
    EXPECT_EQ(clock.GetFrameTime(true, 48000), 1000000000u);
    clock.AdvanceFrames(true, 48000, 48000);
    EXPECT_EQ(clock.GetFrameTime(true, 48000), 1000000000u + UInt64(std::llround(1e9 / 1.000999)));
}

TEST(UnitClock, RateChangeStartsCountingAtTheNewRateFromTheCurrentFrame)
{
    UnitClock clock;
    clock.Restart(0);
    EXPECT_EQ(clock.GetFrameTime(false, 48000), 0u);
    clock.AdvanceFrames(false, 48000, 24000);
    EXPECT_EQ(clock.GetFrameTime(false, 96000), 500000000u);
    clock.AdvanceFrames(false, 96000, 96000);
    EXPECT_EQ(clock.GetFrameTime(false, 96000), 1500000000u);
    // The other direction counts on its own.
    EXPECT_EQ(clock.GetFrameTime(true, 48000), 0u);
}

TEST(UnitClock, JitterStaysWithinItsBoundAndRepeatsWithItsSeed)
{
    UnitClock first;
    UnitClock second;
    first.SetJitter(50000, 42);
    second.SetJitter(50000, 42);
    bool sawNegative = false;
    bool sawPositive = false;
    for (int i = 0; i < 1000; ++i) {
        const UInt64 a = first.ApplyJitter(1000000000ull);
        EXPECT_EQ(a, second.ApplyJitter(1000000000ull));
        const SInt64 offset = SInt64(a) - 1000000000ll;
        EXPECT_LE(std::llabs(offset), 50000);
        sawNegative |= offset < -25000;
        sawPositive |= offset > 25000;
    }
    EXPECT_TRUE(sawNegative);
    EXPECT_TRUE(sawPositive);

    UnitClock other;
    other.SetJitter(50000, 43);
    UnitClock reference;
    reference.SetJitter(50000, 42);
    int same = 0;
    for (int i = 0; i < 100; ++i) {
        same += other.ApplyJitter(1000000) == reference.ApplyJitter(1000000);
    }
    EXPECT_LT(same, 5);
    // No jitter, no change; never below zero.
    UnitClock quiet;
    EXPECT_EQ(quiet.ApplyJitter(123), 123u);
    UnitClock early;
    early.SetJitter(1000, 1);
    for (int i = 0; i < 100; ++i) {
        EXPECT_LE(early.ApplyJitter(0), 1000u);
    }
}

}  // namespace
