// Changes while audio runs: the data source, the buffer size and a stream
// format, each serialised with the I/O cycle and announced in order.
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

class RunningChangesTest : public KestroTest {
public:
    void SetUp() override
    {
        KestroTest::SetUp();
        samples.resize(size_t(kLoopFrames) * 8);
        for (UInt32 index = 0; index < samples.size(); ++index) {
            samples[index] = PatternValue24(index / 8, index % 8);
        }
        for (UInt32 connector : {Settings::kAudioFormatSDI, Settings::kAudioFormatAES, Settings::kAudioFormatSPDIF}) {
            ASSERT_EQ(Unit().SetInputSamples(connector, samples.data(), kLoopFrames,
                                             UnitControl::SampleLayout::kInt32, true),
                      noErr);
        }
        ASSERT_EQ(LoadBundle(), noErr);
        ASSERT_NE(InputDevice(), 0u);
        ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &log), noErr);
        ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);
        Step(2);
        AudioHardwareServerClearEvents();
    }

    void TearDown() override
    {
        if (InputDevice() != 0) {
            AudioDeviceStop(InputDevice(), &IOProcLog::Proc);
            Settle();
        }
        KestroTest::TearDown();
    }

    bool IsRunning(AudioDeviceID inDevice)
    {
        UInt32 running = 0;
        return GetDeviceUInt32(inDevice, true, kAudioDevicePropertyDeviceIsRunning, running) == noErr && running != 0;
    }

    // Device property notifications of the input device since the last clear.
    static std::vector<UInt32> DeviceSelectors()
    {
        std::vector<UInt32> selectors;
        for (const AudioHardwareServerEvent& event : EventsOfKind(AudioHardwareServerEvent::kDevicePropertyChanged)) {
            selectors.push_back(event.mSelector);
        }
        return selectors;
    }

    static constexpr UInt32 kLoopFrames = 4800;
    std::vector<SInt32> samples;
    IOProcLog log;
};

// Checks that the last inPackets calls got inChannels channels of the unit's
// samples. Each connector plays its own loop, which advances only while that
// connector is selected: from call inSourceStartCall on.
void ExpectSamplesInLastCalls(const IOProcLog& inLog, const std::vector<SInt32>& inSamples, UInt32 inPackets,
                              UInt32 inChannels, UInt32 inLoopFrames, UInt32 inSourceStartCall)
{
    const UInt32 calls = inLog.calls.load();
    ASSERT_GE(calls, inPackets);
    UInt64 unitFrame = 0;
    size_t offset = 0;
    for (UInt32 call = 0; call < calls; ++call) {
        const UInt32 frames = inLog.frames[call];
        if (call >= calls - inPackets) {
            ASSERT_EQ(inLog.channels[call], inChannels) << "call " << call;
            for (UInt32 frame = 0; frame < frames; ++frame) {
                for (UInt32 channel = 0; channel < inChannels; ++channel) {
                    const float expected = Sample24(inSamples[((unitFrame + frame) % inLoopFrames) * 8 + channel]);
                    ASSERT_EQ(inLog.input[offset + size_t(frame) * inChannels + channel], expected)
                        << "call " << call << " frame " << frame << " channel " << channel;
                }
            }
        }
        if (call >= inSourceStartCall) {
            unitFrame += frames;
        }
        offset += size_t(frames) * inLog.channels[call];
    }
}

TEST_F(RunningChangesTest, SwitchingTheDataSourceRepublishesTheStreamAndReconfiguresTheUnit)
{
    const std::vector<AudioStreamID> before = GetStreams(InputDevice(), true);
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(SetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, FourCC("iaes")), noErr);
    Settle();

    const std::vector<AudioStreamID> after = GetStreams(InputDevice(), true);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(after[0], before[0]);
    EXPECT_EQ(GetStreamName(after[0]), "AES/EBU - 4 channels");
    UInt32 source = 0;
    EXPECT_EQ(GetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, source), noErr);
    EXPECT_EQ(CodeText(source), "iaes");
    EXPECT_EQ(Unit().GetUnitSettings().audioinformat, Settings::kAudioFormatAES);
    EXPECT_TRUE(IsRunning(InputDevice()));

    Step(3);
    EXPECT_TRUE(IsRunning(InputDevice()));
    ExpectSamplesInLastCalls(log, samples, 3, 4, kLoopFrames, 2);

    // The stream went out before the format notifications, and the control's
    // own change came last.
    const std::vector<AudioHardwareServerEvent> created = EventsOfKind(AudioHardwareServerEvent::kStreamsCreated);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].mStream, after[0]);
    const std::vector<UInt32> selectors = DeviceSelectors();
    std::vector<UInt32> wanted = {FourCC("sfmt"), FourCC("dch2"), FourCC("diff"), FourCC("ssrc")};
    auto next = selectors.begin();
    for (UInt32 selector : wanted) {
        next = std::find(next, selectors.end(), selector);
        EXPECT_NE(next, selectors.end()) << CodeText(selector) << " missing or out of order";
    }
}

// An IOProc switching the data source from inside its call: the switch waits
// for the end of the cycle, and the next packet arrives in the new layout.
TEST_F(RunningChangesTest, ASwitchAskedFromInsideAnIOProcTakesEffectAfterTheCycle)
{
    IOProcLog switcher;
    switcher.self = &IOProcLog::Other<3>;
    struct Switch {
        static OSStatus Proc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInput,
                             const AudioTimeStamp* inInputTime, AudioBufferList* outOutput,
                             const AudioTimeStamp* inOutputTime, void* inClientData)
        {
            IOProcLog& log = *static_cast<IOProcLog*>(inClientData);
            if (log.calls.load() == 0) {
                const UInt32 source = FourCC("ispd");
                log.stopStatus = AudioDeviceSetProperty(inDevice, nullptr, 0, true, kAudioDevicePropertyDataSource,
                                                        sizeof(source), &source);
            }
            return IOProcLog::Proc(inDevice, inNow, inInput, inInputTime, outOutput, inOutputTime, inClientData);
        }
    };
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &Switch::Proc, &switcher), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &Switch::Proc), noErr);
    Step(1);
    EXPECT_EQ(switcher.stopStatus, noErr);
    EXPECT_EQ(switcher.channels[0], 8u) << "the cycle that asked still had the old stream";
    Settle();
    const std::vector<AudioStreamID> streams = GetStreams(InputDevice(), true);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(GetStreamName(streams[0]), "S/PDIF PCM - 2 channels");
    EXPECT_EQ(Unit().GetUnitSettings().audioinformat, Settings::kAudioFormatSPDIF);
    Step(2);
    EXPECT_EQ(switcher.channels[1], 2u);
    EXPECT_EQ(switcher.channels[2], 2u);
    ExpectSamplesInLastCalls(log, samples, 2, 2, kLoopFrames, 3);
    ASSERT_EQ(AudioDeviceStop(InputDevice(), &Switch::Proc), noErr);
    ASSERT_EQ(AudioDeviceRemoveIOProc(InputDevice(), &Switch::Proc), noErr);
}

// The unit refuses the audio while a switch reconfigures it (as it does while
// it leaves): the switch fails, yet the device stays coherent. It publishes
// exactly the stream of its current data source, the next switch succeeds and
// audio flows in the new layout; the teardown finds every stream (a stale
// stream left in the plug-in's registry once crashed later host calls).
TEST_F(RunningChangesTest, ASwitchTheUnitRefusesLeavesTheDeviceCoherent)
{
    Unit().SetAcquireRefusal(true, true);
    EXPECT_NE(SetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, FourCC("iaes")), noErr);
    Unit().SetAcquireRefusal(true, false);
    Settle();
    UInt32 source = 0;
    ASSERT_EQ(GetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, source), noErr);
    std::vector<AudioStreamID> streams = GetStreams(InputDevice(), true);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(CodeText(source), "iaes");
    EXPECT_EQ(GetStreamName(streams[0]), "AES/EBU - 4 channels");

    ASSERT_EQ(SetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, FourCC("ispd")), noErr);
    Settle();
    streams = GetStreams(InputDevice(), true);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(GetStreamName(streams[0]), "S/PDIF PCM - 2 channels");
    EXPECT_EQ(Unit().GetUnitSettings().audioinformat, Settings::kAudioFormatSPDIF);
    const UInt32 callsBefore = log.calls.load();
    Step(2);
    ASSERT_EQ(log.calls.load(), callsBefore + 2);
    EXPECT_EQ(log.channels[callsBefore + 1], 2u);
}

TEST_F(RunningChangesTest, ABufferSizeChangeWhileRunningReallocatesSafely)
{
    for (UInt32 size : {1471u, 3840u, 2048u}) {
        SCOPED_TRACE(size);
        AudioHardwareServerClearEvents();
        ASSERT_EQ(SetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyBufferFrameSize, size), noErr);
        Settle();
        UInt32 now = 0;
        EXPECT_EQ(GetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyBufferFrameSize, now), noErr);
        EXPECT_EQ(now, size);
        const std::vector<UInt32> selectors = DeviceSelectors();
        const auto bsiz = std::find(selectors.begin(), selectors.end(), FourCC("bsiz"));
        const auto fsiz = std::find(selectors.begin(), selectors.end(), FourCC("fsiz"));
        EXPECT_NE(bsiz, selectors.end());
        EXPECT_NE(fsiz, selectors.end());
        EXPECT_LT(bsiz, fsiz) << "'bsiz' goes out before 'fsiz'";
        Step(2);
        EXPECT_TRUE(IsRunning(InputDevice()));
        // A whole packet still arrives, whatever the buffer size.
        EXPECT_GE(log.frames.back(), 1601u);
        ExpectSamplesInLastCalls(log, samples, 2, 8, kLoopFrames, 0);
    }
}

// Setting a stream's format announces 'sfmt' and then 'pft ' on the stream.
TEST_F(RunningChangesTest, AStreamFormatChangeNotifiesInOrder)
{
    const std::vector<AudioStreamID> streams = GetStreams(InputDevice(), true);
    ASSERT_EQ(streams.size(), 1u);
    AudioStreamBasicDescription format = {};
    ASSERT_EQ(GetStreamFormat(streams[0], kAudioDevicePropertyStreamFormat, format), noErr);
    EXPECT_EQ(format.mSampleRate, 48000.0);
    EXPECT_EQ(format.mBitsPerChannel, 32u);
    ASSERT_EQ(AudioStreamSetProperty(streams[0], nullptr, 0, kAudioDevicePropertyStreamFormat, sizeof(format),
                                     &format),
              noErr);
    Settle();
    std::vector<UInt32> selectors;
    for (const AudioHardwareServerEvent& event : EventsOfKind(AudioHardwareServerEvent::kStreamPropertyChanged)) {
        if (event.mStream == streams[0]) {
            selectors.push_back(event.mSelector);
        }
    }
    const auto sfmt = std::find(selectors.begin(), selectors.end(), FourCC("sfmt"));
    const auto pft = std::find(selectors.begin(), selectors.end(), FourCC("pft "));
    ASSERT_NE(sfmt, selectors.end());
    ASSERT_NE(pft, selectors.end());
    EXPECT_LT(sfmt, pft);
    Step(1);
    EXPECT_TRUE(IsRunning(InputDevice()));
}

}  // namespace
}  // namespace KestroIntegration
