// Starts that can't be served: a device without a published stream, and a
// muxer that refuses the audio. Each fails, leaves the device stopped and
// the unit untouched, and a later start works once the cause is gone.
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

using StartRefusalTest = KestroTest;

bool IsRunning(AudioDeviceID inDevice, bool inIsInput)
{
    UInt32 running = 0;
    return KestroTest::GetDeviceUInt32(inDevice, inIsInput, kAudioDevicePropertyDeviceIsRunning, running) == noErr &&
           running != 0;
}

TEST_F(StartRefusalTest, AnInputDeviceWithoutAStreamRefusesToStart)
{
    ASSERT_EQ(Unit().SetConnectors(0), noErr);
    ASSERT_EQ(LoadBundle(), noErr);
    ASSERT_NE(InputDevice(), 0u);
    ASSERT_TRUE(GetStreams(InputDevice(), true).empty());
    IOProcLog log;
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &log), noErr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), kAudioHardwareIllegalOperationError);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    Settle();
    EXPECT_FALSE(IsRunning(InputDevice(), true));
    EXPECT_EQ(Unit().GetClientCounts().running, 0u);
    Step(2);
    EXPECT_EQ(log.calls.load(), 0u);
    // The output device is not affected.
    IOProcLog output;
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &IOProcLog::Proc, &output), noErr);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &IOProcLog::Proc), noErr);
    Step(1);
    EXPECT_EQ(output.calls.load(), 1u);
    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &IOProcLog::Proc), noErr);
    Settle();
}

TEST_F(StartRefusalTest, AMuxerRefusingTheAudioFailsTheStart)
{
    ASSERT_EQ(LoadBundle(), noErr);
    for (const bool isInput : {false, true}) {
        SCOPED_TRACE(isInput ? "Kestro In" : "Kestro Out");
        const AudioDeviceID device = isInput ? InputDevice() : OutputDevice();
        IOProcLog log;
        ASSERT_EQ(AudioDeviceAddIOProc(device, &IOProcLog::Proc, &log), noErr);
        Unit().SetAcquireRefusal(isInput, true);
        testing::internal::CaptureStderr();
        EXPECT_NE(AudioDeviceStart(device, &IOProcLog::Proc), noErr);
        testing::internal::GetCapturedStderr();
        Settle();
        EXPECT_FALSE(IsRunning(device, isInput));
        EXPECT_EQ(Unit().GetClientCounts().running, 0u);
        EXPECT_EQ(Unit().GetClientCounts().acquireRefusals, 1u + (isInput ? 1u : 0u));
        Step(1);
        EXPECT_EQ(log.calls.load(), 0u);

        Unit().SetAcquireRefusal(isInput, false);
        ASSERT_EQ(AudioDeviceStart(device, &IOProcLog::Proc), noErr);
        Step(1);
        EXPECT_EQ(log.calls.load(), 1u);
        ASSERT_EQ(AudioDeviceStop(device, &IOProcLog::Proc), noErr);
        ASSERT_EQ(AudioDeviceRemoveIOProc(device, &IOProcLog::Proc), noErr);
        Settle();
    }
}

}  // namespace
}  // namespace KestroIntegration
