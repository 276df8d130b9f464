// Kestro In end to end: the unit's samples reach the IOProc exactly for each
// connector, a sync pattern replaces them for a while, and the input time
// stamps follow the packets.
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

using InputTest = KestroTest;

constexpr UInt32 kLoopFrames = 4000;

// 8-channel integer samples for the unit to play in a loop.
std::vector<SInt32> MakeInputSamples()
{
    std::vector<SInt32> samples(size_t(kLoopFrames) * 8);
    for (UInt32 frame = 0; frame < kLoopFrames; ++frame) {
        for (UInt32 channel = 0; channel < 8; ++channel) {
            samples[frame * 8 + channel] = frame == 0 && channel < 2 ? (channel == 0 ? 8388607 : -8388608)
                                                                     : PatternValue24(frame, channel);
        }
    }
    return samples;
}

// Compares what the IOProc got (inChannels per frame) with the samples the
// unit played, from the unit's frame inFirstFrame on; returns mismatches.
UInt64 CompareWithSamples(const std::vector<float>& inReceived, UInt32 inChannels, const std::vector<SInt32>& inSamples,
                          UInt64 inFirstFrame, UInt64 inFrames, UInt64 inReceivedFirstFrame)
{
    UInt64 mismatches = 0;
    for (UInt64 frame = 0; frame < inFrames; ++frame) {
        for (UInt32 channel = 0; channel < inChannels; ++channel) {
            const float got = inReceived[(inReceivedFirstFrame + frame) * inChannels + channel];
            const float expected = Sample24(inSamples[((inFirstFrame + frame) % kLoopFrames) * 8 + channel]);
            if (got != expected && ++mismatches <= 5) {
                ADD_FAILURE() << "frame " << inFirstFrame + frame << " channel " << channel << ": " << got
                              << " != " << expected;
            }
        }
    }
    return mismatches;
}

TEST_F(InputTest, TheUnitsSamplesReachTheIOProcExactlyForEachConnector)
{
    struct Case {
        UInt32 connector;
        UInt32 channels;
    };
    const Case cases[] = {
        {Settings::kAudioFormatSDI, 8}, {Settings::kAudioFormatAES, 4},   {Settings::kAudioFormatADAT, 8},
        {Settings::kAudioFormatAnalog, 4}, {Settings::kAudioFormatSPDIF, 2},
    };
    const std::vector<SInt32> samples = MakeInputSamples();
    for (const Case& each : cases) {
        SCOPED_TRACE(testing::Message() << "connector " << each.connector);
        TearDown();
        SetUp();
        Settings settings;
        settings.audioinformat = each.connector;
        ASSERT_EQ(Unit().SetUnitSettings(settings), noErr);
        ASSERT_EQ(Unit().SetInputSamples(each.connector, samples.data(), kLoopFrames,
                                         UnitControl::SampleLayout::kInt32, true),
                  noErr);
        ASSERT_EQ(LoadBundle(), noErr);
        ASSERT_NE(InputDevice(), 0u);

        IOProcLog log;
        ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &log), noErr);
        ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);
        Step(4);
        ASSERT_EQ(AudioDeviceStop(InputDevice(), &IOProcLog::Proc), noErr);
        Settle();
        ASSERT_EQ(log.calls.load(), 4u);
        UInt64 frames = 0;
        for (UInt32 call = 0; call < 4; ++call) {
            EXPECT_EQ(log.channels[call], each.channels);
            EXPECT_EQ(log.frames[call], kPacketFrames2997[call]);
            EXPECT_EQ(log.outputTimes[call].mFlags, 0u) << "no output on the input device";
            frames += log.frames[call];
        }
        ASSERT_EQ(log.input.size(), frames * each.channels);
        EXPECT_EQ(CompareWithSamples(log.input, each.channels, samples, 0, frames, 0), 0u);
    }
}

// A sync pattern replaces the input from the packet it arrives with up to,
// but not including, the second marked packet after it, repeating itself
// across packet boundaries; then the unit's samples are back.
TEST_F(InputTest, ASyncPatternReplacesTheInputUpToTheSecondMarkedPacket)
{
    const std::vector<SInt32> samples = MakeInputSamples();
    ASSERT_EQ(Unit().SetInputSamples(Settings::kAudioFormatSDI, samples.data(), kLoopFrames,
                                     UnitControl::SampleLayout::kInt32, true),
              noErr);
    ASSERT_EQ(LoadBundle(), noErr);
    IOProcLog log;
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &log), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);

    constexpr UInt32 kPatternFrames = 100;  // shorter than a packet: repeated within it
    std::vector<float> pattern(kPatternFrames * 8);
    for (UInt32 index = 0; index < pattern.size(); ++index) {
        pattern[index] = Sample24(PatternValue24(index + 77, 3));
    }

    Step(1);                                           // packet 0: input
    ASSERT_EQ(Unit().SetSyncPattern(pattern.data(), kPatternFrames), noErr);
    Step(1);                                           // packet 1: the pattern arrives
    Unit().MarkNextPacket();
    Step(1);                                           // packet 2, first mark: pattern
    Step(1);                                           // packet 3: pattern
    Unit().MarkNextPacket();
    Step(1);                                           // packet 4, second mark: input
    Step(1);                                           // packet 5: input
    ASSERT_EQ(AudioDeviceStop(InputDevice(), &IOProcLog::Proc), noErr);
    Settle();
    ASSERT_EQ(log.calls.load(), 6u);

    const bool isPattern[] = {false, true, true, true, false, false};
    UInt64 first = 0;
    UInt64 patternFrame = 0;
    for (UInt32 packet = 0; packet < 6; ++packet) {
        SCOPED_TRACE(testing::Message() << "packet " << packet);
        const UInt32 frames = log.frames[packet];
        if (isPattern[packet]) {
            UInt64 mismatches = 0;
            for (UInt32 frame = 0; frame < frames; ++frame, ++patternFrame) {
                for (UInt32 channel = 0; channel < 8; ++channel) {
                    const float got = log.input[(first + frame) * 8 + channel];
                    const float expected = pattern[(patternFrame % kPatternFrames) * 8 + channel];
                    if (got != expected && ++mismatches <= 3) {
                        ADD_FAILURE() << "frame " << frame << " channel " << channel << ": " << got
                                      << " != " << expected;
                    }
                }
            }
            EXPECT_EQ(mismatches, 0u);
        } else {
            // The unit kept playing its samples underneath.
            EXPECT_EQ(CompareWithSamples(log.input, 8, samples, first, frames, first), 0u);
        }
        first += frames;
    }
}

// Each input buffer follows the previous one without gap or overlap: the
// sample times advance by exactly the previous packet's frame count, also
// where the 29.97 cadence changes the packet length.
TEST_F(InputTest, InputTimeStampsAdvanceByEachPacketsFrameCount)
{
    ASSERT_EQ(LoadBundle(), noErr);
    IOProcLog log;
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &log), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);
    Step(11);
    ASSERT_EQ(AudioDeviceStop(InputDevice(), &IOProcLog::Proc), noErr);
    Settle();
    ASSERT_EQ(log.calls.load(), 11u);
    for (UInt32 call = 0; call < 11; ++call) {
        EXPECT_EQ(log.inputTimes[call].mFlags, 7u);
        if (call > 0) {
            EXPECT_EQ(log.inputTimes[call].mSampleTime - log.inputTimes[call - 1].mSampleTime,
                      Float64(log.frames[call - 1]))
                << "call " << call << " (" << log.frames[call - 1] << " then " << log.frames[call] << " frames)";
            EXPECT_GT(log.inputTimes[call].mHostTime, log.inputTimes[call - 1].mHostTime);
            EXPECT_EQ(log.nows[call].mFlags, 7u);
        }
    }
}

}  // namespace
}  // namespace KestroIntegration
