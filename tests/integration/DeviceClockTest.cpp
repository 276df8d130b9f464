// The device clock seen through the client API: the rate measured from the
// unit's packet times, time translation, and the current time.
#include "tests/integration/KestroTest.h"

#include <cmath>

#include "platform/HostClock.h"

namespace KestroIntegration {
namespace {

class DeviceClockTest : public KestroTest {
public:
    void StartInput()
    {
        ASSERT_EQ(LoadBundle(), noErr);
        ASSERT_NE(InputDevice(), 0u);
        ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &log), noErr);
        ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);
    }
    void StopInput()
    {
        ASSERT_EQ(AudioDeviceStop(InputDevice(), &IOProcLog::Proc), noErr);
        Settle();
    }
    IOProcLog log;
};

constexpr UInt32 kWindow = 150;
constexpr double kNominal = 48000.0;

// The frames between the oldest and the newest time of a window that starts
// at packet inFirst and holds kWindow records.
double WindowFrames(UInt64 inFirst)
{
    double frames = 0;
    for (UInt64 packet = inFirst; packet < inFirst + kWindow - 1; ++packet) {
        frames += KestroTest::kPacketFrames2997[packet % 5];
    }
    return frames;
}

TEST_F(DeviceClockTest, AUnitClock100PpmFastIsMeasuredWithin0_01Ppm)
{
    ASSERT_EQ(Unit().SetClockDrift(100.0), noErr);
    StartInput();
    const double trueRate = kNominal * (1.0 + 100e-6);
    Step(kWindow - 1);
    EXPECT_EQ(GetActualSampleRate(InputDevice(), true), kNominal) << "fewer than 150 records: the nominal rate";
    Step(1);
    EXPECT_NEAR(GetActualSampleRate(InputDevice(), true), trueRate, trueRate * 0.01e-6);
    for (int round = 0; round < 20; ++round) {
        Step(7);
        const double measured = GetActualSampleRate(InputDevice(), true);
        EXPECT_NEAR(measured, trueRate, trueRate * 0.01e-6) << "round " << round;
    }
    // The rate scalar handed to IOProcs follows the measurement.
    EXPECT_NEAR(log.inputTimes.back().mRateScalar, 1.0 + 100e-6, 0.01e-6);
    StopInput();
}

// With every packet time off by up to J, the elapsed time over a window is
// off by up to 2J, so a window of duration D measures the rate to within
// 2J / (D - 2J). The bound is derived here from the window the driver uses
// and the shortest duration such a window can have.
TEST_F(DeviceClockTest, TimeStampJitterStaysWithinWhatTheWindowAllows)
{
    constexpr double kJitter = 50e-6;
    ASSERT_EQ(Unit().SetClockDrift(100.0), noErr);
    ASSERT_EQ(Unit().SetTimeStampJitter(50, 12345), noErr);
    StartInput();
    const double trueRate = kNominal * (1.0 + 100e-6);
    double shortest = 1e9;
    for (UInt64 first = 0; first < 5; ++first) {
        shortest = std::min(shortest, WindowFrames(first) / trueRate);
    }
    const double bound = 2 * kJitter / (shortest - 2 * kJitter);
    EXPECT_NEAR(bound, 20e-6, 0.2e-6) << "about 20 ppm for a 5 s window";

    Step(kWindow);
    double worst = 0;
    for (int packet = 0; packet < 400; ++packet) {
        Step(1);
        const double error = std::fabs(GetActualSampleRate(InputDevice(), true) / trueRate - 1.0);
        worst = std::max(worst, error);
        EXPECT_LE(error, bound) << "packet " << packet;
    }
    EXPECT_GT(worst, 0.01e-6) << "the jitter reached the measurement";
    StopInput();
}

TEST_F(DeviceClockTest, TranslateTimeRoundTripsWithinOneSamplePeriod)
{
    ASSERT_EQ(Unit().SetClockDrift(100.0), noErr);
    StartInput();
    Step(kWindow + 10);
    const double rate = GetActualSampleRate(InputDevice(), true);
    const double ticksPerSample = AudioGetHostClockFrequency() / rate;

    AudioTimeStamp now = {};
    ASSERT_EQ(AudioDeviceGetCurrentTime(InputDevice(), &now), noErr);
    EXPECT_EQ(now.mFlags, 7u);
    EXPECT_NEAR(now.mRateScalar, rate / kNominal, 1e-12);
    const UInt64 hostTimes[] = {now.mHostTime, now.mHostTime + 123456789, now.mHostTime - 98765};
    for (UInt64 host : hostTimes) {
        SCOPED_TRACE(host);
        AudioTimeStamp in = {};
        in.mHostTime = host;
        in.mFlags = kAudioTimeStampHostTimeValid;
        AudioTimeStamp sample = {};
        sample.mFlags = kAudioTimeStampSampleTimeValid;
        ASSERT_EQ(AudioDeviceTranslateTime(InputDevice(), &in, &sample), noErr);
        AudioTimeStamp back = {};
        back.mFlags = kAudioTimeStampHostTimeValid | kAudioTimeStampRateScalarValid;
        ASSERT_EQ(AudioDeviceTranslateTime(InputDevice(), &sample, &back), noErr);
        EXPECT_LE(std::fabs(double(back.mHostTime) - double(host)), ticksPerSample);
        EXPECT_NEAR(back.mRateScalar, rate / kNominal, 1e-12);

        AudioTimeStamp sampleAgain = {};
        sampleAgain.mFlags = kAudioTimeStampSampleTimeValid;
        ASSERT_EQ(AudioDeviceTranslateTime(InputDevice(), &back, &sampleAgain), noErr);
        EXPECT_LE(std::fabs(sampleAgain.mSampleTime - sample.mSampleTime), 1.0);
    }
    StopInput();
}

// Inside, the device refuses with 'stop'; the host's interface table hands
// that bare status on as 'what'. The caller's record stays as it was.
TEST_F(DeviceClockTest, GetCurrentTimeOnAStoppedDeviceFails)
{
    ASSERT_EQ(LoadBundle(), noErr);
    for (AudioDeviceID device : {OutputDevice(), InputDevice()}) {
        AudioTimeStamp time = {};
        time.mSampleTime = 42;
        time.mFlags = 0xABC;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(AudioDeviceGetCurrentTime(device, &time), kAudioHardwareUnspecifiedError);
        const std::string said = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("OrvelDevice::GetCurrentTime: hardware not running"), std::string::npos) << said;
        EXPECT_EQ(time.mSampleTime, 42.0);
        EXPECT_EQ(time.mFlags, 0xABCu);
    }
}

TEST_F(DeviceClockTest, RightAfterTheStartTheCurrentTimeIsNearZeroAtTheNominalRate)
{
    StartInput();
    AudioTimeStamp now = {};
    ASSERT_EQ(AudioDeviceGetCurrentTime(InputDevice(), &now), noErr);
    EXPECT_EQ(now.mRateScalar, 1.0);
    EXPECT_GE(now.mSampleTime, 0.0);
    EXPECT_LT(now.mSampleTime, 48000.0) << "less than a second since the start";
    EXPECT_EQ(GetActualSampleRate(InputDevice(), true), kNominal);
    StopInput();
}

}  // namespace
}  // namespace KestroIntegration
