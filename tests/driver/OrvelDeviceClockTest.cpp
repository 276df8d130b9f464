// The device clock and the rate window: the measured rate from the packets'
// own times, the time line anchored at engine start, translation between
// sample and host time.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/HostClock.h"
#include "support/CAAudioTimeStamp.h"
#include "support/CAException.h"
#include "tests/driver/DriverFixture.h"

namespace DriverTest {
namespace {

OSStatus NullProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                  AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 0;
}

std::vector<Float64> gInputTimes;

OSStatus InputTimeProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp* inInputTime,
                       AudioBufferList*, const AudioTimeStamp*, void*)
{
    gInputTimes.push_back(inInputTime->mSampleTime);
    return 0;
}

class OrvelDeviceClockTest : public DriverFixture {
protected:
    void SetUp() override
    {
        DriverFixture::SetUp();
        HostClockUseVirtual(true);
    }
    void TearDown() override
    {
        DriverFixture::TearDown();
        HostClockUseVirtual(false);
    }

    OrvelDevice* StartedDevice(AudioDeviceIOProc inProc = &NullProc)
    {
        OrvelDevice* theDevice = MakeDevice(true);
        theDevice->DoAddIOProc(inProc, nullptr);
        theDevice->DoStartIOProc(inProc);
        return theDevice;
    }

    // Delivers inCount stamped packets of inFrames frames; packet k carries
    // the time inTimeOf(k).
    template <typename TimeOf>
    void DeliverPackets(UInt32 inCount, UInt32 inFrames, TimeOf inTimeOf, UInt32 inFirst = 0)
    {
        for (UInt32 k = inFirst; k < inFirst + inCount; ++k) {
            TestPacket thePacket(inFrames, 3, inTimeOf(k), true);
            mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
        }
    }
};

TEST_F(OrvelDeviceClockTest, UnitClock100PpmFastIsMeasuredExactly)
{
    OrvelDevice* theDevice = StartedDevice();
    EXPECT_EQ(theDevice->GetActualSampleRate(), 48000.0);
    // The unit makes 48000 * (1 + 100e-6) frames per host second.
    const double theTrueRate = 48000.0 * (1.0 + 100e-6);
    auto theTime = [&](UInt32 k) { return UInt64(std::llround(double(k) * 1600.0 * 1e9 / theTrueRate)); };

    DeliverPackets(149, 1600, theTime);
    // Fewer than 150 records: still the nominal rate.
    EXPECT_EQ(theDevice->GetActualSampleRate(), 48000.0);
    DeliverPackets(60, 1600, theTime, 149);
    const double theError = theDevice->GetActualSampleRate() / theTrueRate - 1.0;
    EXPECT_LT(std::fabs(theError), 0.01e-6) << theDevice->GetActualSampleRate();
}

// With time stamps off by up to +-J, the elapsed time between the window's
// ends is off by up to 2J, so over a window of duration T the relative rate
// error is bounded by 2J / (T - 2J).
TEST_F(OrvelDeviceClockTest, JitterStaysWithinWhatTheWindowAllows)
{
    OrvelDevice* theDevice = StartedDevice();
    const double theTrueRate = 48000.0;
    const double theJitterNanos = 50000.0;
    const double thePacketNanos = 1600.0 * 1e9 / theTrueRate;
    const double theWindowNanos = 149.0 * thePacketNanos;
    const double theBound = 2.0 * theJitterNanos / (theWindowNanos - 2.0 * theJitterNanos);
    std::mt19937_64 theGenerator(12345);
    std::uniform_real_distribution<double> theJitter(-theJitterNanos, theJitterNanos);
    const UInt64 theStart = 1000000000ULL;
    auto theTime = [&](UInt32 k) { return theStart + UInt64(std::llround(k * thePacketNanos + theJitter(theGenerator))); };

    double theWorst = 0.0;
    for (UInt32 k = 0; k < 600; ++k) {
        DeliverPackets(1, 1600, theTime, k);
        if (k >= 150) {
            theWorst = std::max(theWorst, std::fabs(theDevice->GetActualSampleRate() / theTrueRate - 1.0));
        }
    }
    EXPECT_LE(theWorst, theBound);
    EXPECT_GT(theWorst, 0.0);
}

TEST_F(OrvelDeviceClockTest, UnstampedPacketsKeepTheLastRateAndTrimTheWindow)
{
    OrvelDevice* theDevice = StartedDevice();
    auto theTime = [](UInt32 k) { return UInt64(k) * 33333333ULL; };
    DeliverPackets(200, 1600, theTime);
    const Float64 theRate = theDevice->GetActualSampleRate();
    EXPECT_NE(theRate, 48000.0);
    // Unstamped packets: no measurement, the window grows.
    for (UInt32 k = 0; k < 20; ++k) {
        TestPacket thePacket(1700, 3, 0, false);
        mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
    }
    EXPECT_EQ(theDevice->GetActualSampleRate(), theRate);
    EXPECT_GT(theDevice->GetRateWindowSize(), 150u);
}

// A packet time that does not advance past the window's oldest time gives
// no measurement: the last rate stands.
TEST_F(OrvelDeviceClockTest, NonAdvancingTimeYieldsNoMeasurement)
{
    OrvelDevice* theDevice = StartedDevice();
    auto theTime = [](UInt32 k) { return 5000000000ULL + UInt64(k) * 33333333ULL; };
    DeliverPackets(160, 1600, theTime);
    const Float64 theRate = theDevice->GetActualSampleRate();
    for (UInt64 theBadTime : {0ULL, 5000000000ULL}) {
        TestPacket thePacket(1600, 3, theBadTime, true);
        mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
        EXPECT_EQ(theDevice->GetActualSampleRate(), theRate);
        EXPECT_TRUE(std::isfinite(theDevice->GetActualSampleRate()));
    }
}

TEST_F(OrvelDeviceClockTest, CurrentTimeStartsNearZeroAndRunsAtTheMeasuredRate)
{
    OrvelDevice* theDevice = StartedDevice();
    AudioTimeStamp theNow;
    theDevice->GetCurrentTime(theNow);
    EXPECT_EQ(theNow.mSampleTime, 0.0);
    EXPECT_EQ(theNow.mRateScalar, 1.0);
    EXPECT_EQ(theNow.mFlags, 7u);
    HostClockAdvance(500000000ULL);
    theDevice->GetCurrentTime(theNow);
    EXPECT_EQ(theNow.mSampleTime, 24000.0);
}

TEST_F(OrvelDeviceClockTest, TranslateTimeBothWaysAndBeforeTheAnchor)
{
    OrvelDevice* theDevice = StartedDevice();
    AudioTimeStamp theNow;
    theDevice->GetCurrentTime(theNow);
    const UInt64 theAnchor = theNow.mHostTime;

    AudioTimeStamp theIn = CAAudioTimeStamp::kZero;
    theIn.mFlags = kAudioTimeStampHostTimeValid;
    theIn.mHostTime = theAnchor + 1234567891ULL;
    AudioTimeStamp theOut = CAAudioTimeStamp::kZero;
    theOut.mFlags = kAudioTimeStampSampleTimeValid;
    theDevice->TranslateTime(theIn, theOut);
    AudioTimeStamp theBack = CAAudioTimeStamp::kZero;
    theBack.mFlags = kAudioTimeStampHostTimeValid;
    theDevice->TranslateTime(theOut, theBack);
    const double theSamplePeriod = 1e9 / 48000.0;
    EXPECT_LE(std::fabs(double(SInt64(theBack.mHostTime - theIn.mHostTime))), theSamplePeriod);

    theIn.mHostTime = theAnchor - 1000000000ULL;
    theDevice->TranslateTime(theIn, theOut);
    EXPECT_EQ(theOut.mSampleTime, -48000.0);
    theDevice->TranslateTime(theOut, theBack);
    EXPECT_EQ(theBack.mHostTime, theAnchor - 1000000000ULL);
}

TEST_F(OrvelDeviceClockTest, TranslateTimeNeedsSampleOrHostTime)
{
    OrvelDevice* theDevice = StartedDevice();
    AudioTimeStamp theIn = CAAudioTimeStamp::kZero;
    AudioTimeStamp theOut = CAAudioTimeStamp::kZero;
    theOut.mFlags = 7;
    testing::internal::CaptureStderr();
    try {
        theDevice->TranslateTime(theIn, theOut);
        ADD_FAILURE();
    } catch (const CAException& theException) {
        EXPECT_EQ(theException.GetError(), OSStatus(FourCC("nope")));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "OrvelDevice::TranslateTime: have to have either sample time or host time valid on the input\n");
    EXPECT_EQ(theOut.mSampleTime, 0.0);

    // An output asking for nothing is left alone.
    theIn.mFlags = 3;
    theIn.mSampleTime = 77;
    theIn.mHostTime = 99;
    AudioTimeStamp theUntouched = CAAudioTimeStamp::kZero;
    theDevice->TranslateTime(theIn, theUntouched);
    EXPECT_EQ(std::memcmp(&theUntouched, &CAAudioTimeStamp::kZero, sizeof(AudioTimeStamp)), 0);
}

TEST_F(OrvelDeviceClockTest, CurrentTimeOnAStoppedDeviceIsStop)
{
    OrvelDevice* theDevice = MakeDevice(false);
    AudioTimeStamp theTime = CAAudioTimeStamp::kZero;
    testing::internal::CaptureStderr();
    try {
        theDevice->GetCurrentTime(theTime);
        ADD_FAILURE();
    } catch (OSStatus theError) {
        EXPECT_EQ(theError, OSStatus(FourCC("stop")));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "OrvelDevice::GetCurrentTime: hardware not running\n");
    EXPECT_EQ(theTime.mFlags, 0u);
}

// The input time stamps of successive packets advance by exactly each
// packet's frame count.
TEST_F(OrvelDeviceClockTest, InputTimesAdvanceByEachPacketsFrameCount)
{
    gInputTimes.clear();
    StartedDevice(&InputTimeProc);
    const UInt32 theFrames[] = {1602, 1601, 1602, 1601, 1602};
    for (UInt32 theCount : theFrames) {
        TestPacket thePacket(theCount, 3);
        mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
    }
    ASSERT_EQ(gInputTimes.size(), 5u);
    EXPECT_EQ(gInputTimes[0], 0.0);
    for (size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(gInputTimes[i] - gInputTimes[i - 1], Float64(theFrames[i - 1]));
    }
}

}  // namespace
}  // namespace DriverTest
