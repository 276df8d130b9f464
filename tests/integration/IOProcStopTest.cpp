// An IOProc that stops itself from inside its call: the stop waits for the
// end of the cycle, and the engine then stops on the host's run loop.
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

class IOProcStopTest : public KestroTest {
public:
    bool IsRunning(AudioDeviceID inDevice, bool inIsInput)
    {
        UInt32 running = 0;
        return GetDeviceUInt32(inDevice, inIsInput, kAudioDevicePropertyDeviceIsRunning, running) == noErr &&
               running != 0;
    }
};

TEST_F(IOProcStopTest, AnIOProcThatStopsItselfStopsTheEngineAfterTheCycle)
{
    ASSERT_EQ(LoadBundle(), noErr);
    for (const bool isInput : {false, true}) {
        SCOPED_TRACE(isInput ? "Kestro In" : "Kestro Out");
        const AudioDeviceID device = isInput ? InputDevice() : OutputDevice();
        IOProcLog log;
        log.fill = [](IOProcLog&, float* outData, UInt32 inFrames, UInt32 inChannels, UInt64) {
            std::fill(outData, outData + size_t(inFrames) * inChannels, 0.5f);
        };
        log.stopOnCall = 2;
        ASSERT_EQ(AudioDeviceAddIOProc(device, &IOProcLog::Proc, &log), noErr);
        ASSERT_EQ(AudioDeviceStart(device, &IOProcLog::Proc), noErr);
        EXPECT_TRUE(IsRunning(device, isInput));
        const UInt64 delivered = Unit().GetDeliveredPacketCount(isInput);
        Step(2);
        EXPECT_EQ(log.calls.load(), 2u);
        EXPECT_EQ(log.stopStatus, noErr);
        // The stop message waits on the host's run loop; once it ran, the
        // transfer is off and no further packet reaches the device.
        Settle();
        EXPECT_FALSE(IsRunning(device, isInput));
        EXPECT_EQ(Unit().GetClientCounts().running, 0u);
        Step(3);
        EXPECT_EQ(log.calls.load(), 2u);
        EXPECT_EQ(Unit().GetDeliveredPacketCount(isInput), delivered + 2);
        // It can start again.
        log.stopOnCall = 0;
        ASSERT_EQ(AudioDeviceStart(device, &IOProcLog::Proc), noErr);
        Step(1);
        EXPECT_EQ(log.calls.load(), 3u);
        ASSERT_EQ(AudioDeviceStop(device, &IOProcLog::Proc), noErr);
        ASSERT_EQ(AudioDeviceRemoveIOProc(device, &IOProcLog::Proc), noErr);
        Settle();
        EXPECT_FALSE(IsRunning(device, isInput));
    }
}

// With two IOProcs, the one that stops itself leaves the other running.
TEST_F(IOProcStopTest, AnotherStartedIOProcKeepsTheEngineRunning)
{
    ASSERT_EQ(LoadBundle(), noErr);
    IOProcLog stopper;
    IOProcLog stayer;
    stopper.stopOnCall = 1;
    stayer.self = &IOProcLog::Other<1>;
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &stopper), noErr);
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Other<1>, &stayer), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Other<1>), noErr);
    Step(1);
    Settle();
    Step(2);
    EXPECT_EQ(stopper.calls.load(), 1u);
    EXPECT_EQ(stayer.calls.load(), 3u);
    EXPECT_TRUE(IsRunning(InputDevice(), true));
    ASSERT_EQ(AudioDeviceStop(InputDevice(), &IOProcLog::Other<1>), noErr);
    Settle();
    EXPECT_FALSE(IsRunning(InputDevice(), true));
}

}  // namespace
}  // namespace KestroIntegration
