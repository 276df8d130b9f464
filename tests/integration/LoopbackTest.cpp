// Output to the unit and back to the input, bit for bit, over more than a
// minute of audio at fast pacing (the host clock runs virtually, a packet as
// soon as the previous one is done).
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

class LoopbackTest : public KestroTest {
public:
    std::chrono::seconds TimeBound() const override { return std::chrono::seconds(300); }
};

// The output proc writes the pattern; the input proc waits for its first
// frame and from then on checks every frame against it.
struct LoopbackCheck {
    UInt64 written = 0;
    bool synced = false;
    UInt64 expected = 0;  // next pattern frame the input should carry
    std::atomic<UInt64> verified{0};
    std::atomic<UInt64> mismatches{0};
    UInt64 firstMismatch = ~0ull;
};

OSStatus WriteProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                   AudioBufferList* outOutputData, const AudioTimeStamp*, void* inClientData)
{
    LoopbackCheck& check = *static_cast<LoopbackCheck*>(inClientData);
    check.written += FillPattern(outOutputData->mBuffers[0], check.written);
    return noErr;
}

OSStatus ReadProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInputData, const AudioTimeStamp*,
                  AudioBufferList*, const AudioTimeStamp*, void* inClientData)
{
    LoopbackCheck& check = *static_cast<LoopbackCheck*>(inClientData);
    const AudioBuffer& buffer = inInputData->mBuffers[0];
    const float* data = static_cast<const float*>(buffer.mData);
    const UInt32 channels = buffer.mNumberChannels;
    const UInt32 frames = buffer.mDataByteSize / (channels * sizeof(float));
    for (UInt32 frame = 0; frame < frames; ++frame) {
        const float* samples = data + size_t(frame) * channels;
        if (!check.synced) {
            // Silence until the output's first frame comes round.
            if (samples[0] == 0.0f) {
                continue;
            }
            check.synced = true;
            check.expected = 0;
        }
        for (UInt32 channel = 0; channel < channels; ++channel) {
            if (samples[channel] != Sample24(PatternValue24(check.expected, channel))) {
                if (check.mismatches.fetch_add(1) == 0) {
                    check.firstMismatch = check.expected;
                }
            }
        }
        ++check.expected;
        check.verified.fetch_add(1);
    }
    return noErr;
}

TEST_F(LoopbackTest, OutputComesBackBitExactForMoreThanAMinute)
{
    ASSERT_EQ(Unit().SetInputLoopback(Settings::kAudioFormatSDI), noErr);
    ASSERT_EQ(LoadBundle(), noErr);
    ASSERT_NE(InputDevice(), 0u);
    ASSERT_NE(OutputDevice(), 0u);
    ASSERT_EQ(Unit().SetPacing(UnitControl::Pacing::kFast), noErr);

    LoopbackCheck check;
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &ReadProc, &check), noErr);
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &WriteProc, &check), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &ReadProc), noErr);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &WriteProc), noErr);

    constexpr UInt64 kMinute = 48000 * 61;
    const bool done = WaitFor([&] { return check.verified.load() >= kMinute || check.mismatches.load() != 0; },
                              std::chrono::seconds(200));
    // The input first: once the output stops, silence comes round.
    ASSERT_EQ(AudioDeviceStop(InputDevice(), &ReadProc), noErr);
    Settle();
    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &WriteProc), noErr);
    Settle();
    ASSERT_TRUE(WaitFor([&] { return Unit().GetClientCounts().running == 0; }));
    EXPECT_TRUE(done) << "only " << check.verified.load() << " frames came back";
    EXPECT_EQ(check.mismatches.load(), 0u) << "first wrong frame " << check.firstMismatch;
    EXPECT_GE(check.verified.load(), kMinute);
    EXPECT_EQ(Unit().GetLoopbackOverruns(), 0u);
}

}  // namespace
}  // namespace KestroIntegration
