// Pulling the unit out while both devices run, again and again: nothing
// crashes or hangs, every packet comes back exactly once, and the devices
// come back with the unit.
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

class UnplugTest : public KestroTest {
public:
    std::chrono::seconds TimeBound() const override { return std::chrono::seconds(400); }
};

TEST_F(UnplugTest, UnplugWhileRunning200TimesInARow)
{
    ASSERT_EQ(Unit().SetInputLoopback(Settings::kAudioFormatSDI), noErr);
    ASSERT_EQ(Unit().SetPacing(UnitControl::Pacing::kFast), noErr);
    ASSERT_EQ(LoadBundle(), noErr);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NE(OutputDevice(), 0u);
        ASSERT_NE(InputDevice(), 0u);
        IOProcLog output;
        IOProcLog input;
        output.fill = [](IOProcLog&, float* outData, UInt32 inFrames, UInt32 inChannels, UInt64 inFirst) {
            for (UInt32 index = 0; index < inFrames * inChannels; ++index) {
                outData[index] = Sample24(PatternValue24(inFirst + index / inChannels, index % inChannels));
            }
        };
        output.input.reserve(1);
        input.input.reserve(size_t(1 << 20));
        ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &IOProcLog::Proc, &output), noErr);
        ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &input), noErr);
        ASSERT_EQ(AudioDeviceStart(OutputDevice(), &IOProcLog::Proc), noErr);
        ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);
        // Pull it out at a different moment each round.
        const UInt32 packets = 1 + UInt32(round % 7);
        ASSERT_TRUE(WaitFor([&] { return input.calls.load() >= packets && output.calls.load() >= packets; }))
            << "packets stopped before the unplug";
        PullUnitAndExpectItGone();
        ExpectCleanAccounting();
        // The procs' logs go away with this round: nothing may call them now.
        const UInt32 inputCalls = input.calls.load();
        const UInt32 outputCalls = output.calls.load();
        ASSERT_EQ(Unit().PresentUnit(), noErr);
        Settle();
        FindDevices();
        EXPECT_EQ(input.calls.load(), inputCalls);
        EXPECT_EQ(output.calls.load(), outputCalls);
        if (HasFatalFailure()) {
            return;
        }
    }
    EXPECT_EQ(Unit().GetClientCounts().badClientCalls, 0u);
}

}  // namespace
}  // namespace KestroIntegration
