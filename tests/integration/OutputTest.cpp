// Kestro Out end to end: what IOProcs write reaches the unit's packets,
// converted exactly, mixed, skipped as the muxer asks, and time-stamped.
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

class OutputTest : public KestroTest {
public:
    void SetUp() override
    {
        KestroTest::SetUp();
        ASSERT_EQ(LoadBundle(), noErr);
        ASSERT_NE(OutputDevice(), 0u);
        ASSERT_EQ(Unit().StartCapture(1 << 20), noErr);
    }

    // Everything the unit captured, 8 channels per frame.
    std::vector<SInt32> ReadAllCaptured()
    {
        std::vector<SInt32> frames(size_t(Unit().GetCapturedFrameCount()) * 8);
        const UInt32 read = Unit().ReadCapture(frames.data(), UInt32(frames.size() / 8));
        frames.resize(size_t(read) * 8);
        return frames;
    }
};

// Frame 0 holds the edge values; every other frame the pattern.
constexpr float kEdges[8] = {1.0f, -1.0f, 1.5f, -1.5f, 0.5f, 1.0f / 8388608.0f, -1.0f / 8388608.0f, 0.0f};
constexpr SInt32 kEdges24[8] = {8388607, -8388608, 8388607, -8388608, 4194304, 1, -1, 0};

void FillPattern(IOProcLog&, float* outData, UInt32 inFrames, UInt32 inChannels, UInt64 inFirstFrame)
{
    for (UInt32 frame = 0; frame < inFrames; ++frame) {
        for (UInt32 channel = 0; channel < inChannels; ++channel) {
            const UInt64 index = inFirstFrame + frame;
            outData[frame * inChannels + channel] =
                index == 0 ? kEdges[channel] : Sample24(PatternValue24(index, channel));
        }
    }
}

SInt32 ExpectedPattern(UInt64 inFrame, UInt32 inChannel)
{
    return inFrame == 0 ? kEdges24[inChannel] : PatternValue24(inFrame, inChannel);
}

TEST_F(OutputTest, WhatAnIOProcWritesReachesThePacketsExactlyAt24Bits)
{
    IOProcLog log;
    log.fill = &FillPattern;
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &IOProcLog::Proc, &log), noErr);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &IOProcLog::Proc), noErr);
    Step(10);
    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &IOProcLog::Proc), noErr);
    Settle();
    ASSERT_EQ(log.calls.load(), 10u);

    const std::vector<SInt32> captured = ReadAllCaptured();
    UInt64 expectedFrames = 0;
    for (UInt32 call = 0; call < 10; ++call) {
        EXPECT_EQ(log.frames[call], kPacketFrames2997[call % 5]) << "call " << call;
        EXPECT_EQ(log.channels[call], 8u);
        EXPECT_EQ(log.bufferCounts[call], 1u);
        expectedFrames += log.frames[call];
    }
    ASSERT_EQ(captured.size(), expectedFrames * 8);
    UInt64 mismatches = 0;
    for (UInt64 frame = 0; frame < expectedFrames; ++frame) {
        for (UInt32 channel = 0; channel < 8; ++channel) {
            if (captured[frame * 8 + channel] != ExpectedPattern(frame, channel) && ++mismatches <= 5) {
                ADD_FAILURE() << "frame " << frame << " channel " << channel << ": "
                              << captured[frame * 8 + channel] << " != " << ExpectedPattern(frame, channel);
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// Two IOProcs each write half of a value; the packet carries the sum.
TEST_F(OutputTest, TwoIOProcsAreMixed)
{
    IOProcLog first;
    IOProcLog second;
    first.value = 1;
    second.value = 2;
    auto fill = [](IOProcLog& log, float* outData, UInt32 inFrames, UInt32 inChannels, UInt64 inFirstFrame) {
        for (UInt32 frame = 0; frame < inFrames; ++frame) {
            for (UInt32 channel = 0; channel < inChannels; ++channel) {
                const SInt32 whole = PatternValue24(inFirstFrame + frame, channel) / 2;
                // The first proc writes a third, the second the rest.
                const SInt32 part = log.value == 1 ? whole / 3 : whole - whole / 3;
                outData[frame * inChannels + channel] = Sample24(part);
            }
        }
    };
    first.fill = fill;
    second.fill = fill;
    second.self = &IOProcLog::Other<2>;
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &IOProcLog::Proc, &first), noErr);
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &IOProcLog::Other<2>, &second), noErr);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &IOProcLog::Proc), noErr);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &IOProcLog::Other<2>), noErr);
    Step(3);
    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &IOProcLog::Proc), noErr);
    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &IOProcLog::Other<2>), noErr);
    Settle();
    ASSERT_EQ(first.calls.load(), 3u);
    ASSERT_EQ(second.calls.load(), 3u);

    const std::vector<SInt32> captured = ReadAllCaptured();
    ASSERT_EQ(captured.size(), size_t(1602 + 1601 + 1602) * 8);
    UInt64 mismatches = 0;
    for (size_t frame = 0; frame < captured.size() / 8; ++frame) {
        for (UInt32 channel = 0; channel < 8; ++channel) {
            const SInt32 expected = PatternValue24(frame, channel) / 2;
            if (captured[frame * 8 + channel] != expected && ++mismatches <= 5) {
                ADD_FAILURE() << "frame " << frame << " channel " << channel << ": "
                              << captured[frame * 8 + channel] << " != " << expected;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// After a processed packet with the muxer's skip count at 5 the counter is 6;
// raised to 8, the next two unmarked packets are passed over (their samples
// stay silent, no IOProc runs) and the third is processed. A marked packet
// is never passed over.
TEST_F(OutputTest, TheSkipCounterPassesOverUnmarkedPacketsAsTheMuxerAsks)
{
    IOProcLog log;
    log.fill = [](IOProcLog&, float* outData, UInt32 inFrames, UInt32 inChannels, UInt64) {
        std::fill(outData, outData + size_t(inFrames) * inChannels, 0.25f);
    };
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &IOProcLog::Proc, &log), noErr);
    Unit().SetOutputSkipCount(5);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &IOProcLog::Proc), noErr);
    Step(5);
    EXPECT_EQ(log.calls.load(), 0u) << "the counter starts at 0: five packets passed over";
    Step(1);
    EXPECT_EQ(log.calls.load(), 1u) << "counter 5: processed, counter 6";

    Unit().SetOutputSkipCount(8);
    Step(1);
    EXPECT_EQ(log.calls.load(), 1u) << "counter 6 -> 7: skipped";
    Step(1);
    EXPECT_EQ(log.calls.load(), 1u) << "counter 7 -> 8: skipped";
    Step(1);
    EXPECT_EQ(log.calls.load(), 2u) << "counter 8: processed, counter 9";

    Unit().SetOutputSkipCount(20);
    Step(1);
    EXPECT_EQ(log.calls.load(), 2u) << "counter 9 -> 10: skipped";
    Unit().MarkNextPacket();
    Step(1);
    EXPECT_EQ(log.calls.load(), 3u) << "a marked packet is processed, counter 21";
    Step(1);
    EXPECT_EQ(log.calls.load(), 4u) << "counter 21 is past 20: processed";

    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &IOProcLog::Proc), noErr);
    Settle();
    // Processed packets carry the IOProc's 0.25, skipped ones silence.
    const std::vector<SInt32> captured = ReadAllCaptured();
    const bool processed[] = {false, false, false, false, false, true, false, false, true, false, true, true};
    size_t offset = 0;
    for (UInt32 packet = 0; packet < 12; ++packet) {
        const size_t frames = kPacketFrames2997[packet % 5];
        ASSERT_LE((offset + frames) * 8, captured.size());
        const SInt32 expected = processed[packet] ? 2097152 : 0;
        EXPECT_EQ(captured[offset * 8], expected) << "packet " << packet;
        EXPECT_EQ(captured[(offset + frames - 1) * 8 + 7], expected) << "packet " << packet;
        offset += frames;
    }
}

// The output time stamps advance by exactly each packet's frame count.
TEST_F(OutputTest, OutputTimeStampsAdvanceByEachPacketsFrameCount)
{
    IOProcLog log;
    log.fill = &FillPattern;
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &IOProcLog::Proc, &log), noErr);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &IOProcLog::Proc), noErr);
    Step(12);
    ASSERT_EQ(log.calls.load(), 12u);
    UInt32 safety = 0;
    EXPECT_EQ(GetDeviceUInt32(OutputDevice(), false, kAudioDevicePropertySafetyOffset, safety), noErr);
    EXPECT_EQ(log.outputTimes[0].mSampleTime, Float64(safety)) << "the first packet starts at the anchor";
    for (UInt32 call = 0; call < 12; ++call) {
        EXPECT_EQ(log.outputTimes[call].mFlags, 7u);
        EXPECT_EQ(log.inputTimes[call].mFlags, 0u) << "no input on the output device";
        EXPECT_EQ(log.outputTimes[call].mRateScalar, 1.0) << "fewer than 150 packets: the nominal rate";
        if (call > 0) {
            EXPECT_EQ(log.outputTimes[call].mSampleTime - log.outputTimes[call - 1].mSampleTime,
                      Float64(log.frames[call - 1]))
                << "call " << call;
            EXPECT_GT(log.outputTimes[call].mHostTime, log.outputTimes[call - 1].mHostTime);
        }
    }
    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &IOProcLog::Proc), noErr);
    Settle();
}

}  // namespace
}  // namespace KestroIntegration
