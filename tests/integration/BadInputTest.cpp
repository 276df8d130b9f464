// Bad requests through the client API: each gets its status and changes
// nothing, on the device, its stream, or the unit.
#include "tests/integration/KestroTest.h"

#include <cstring>

namespace KestroIntegration {
namespace {

class BadInputTest : public KestroTest {
public:
    void SetUp() override
    {
        KestroTest::SetUp();
        // No S/PDIF input on this unit.
        ASSERT_EQ(Unit().SetConnectors(SimulatedUnit::kAllConnectors & ~Settings::kAudioFormatSPDIF), noErr);
        ASSERT_EQ(LoadBundle(), noErr);
        ASSERT_NE(OutputDevice(), 0u);
        ASSERT_NE(InputDevice(), 0u);
        mBefore = Snapshot();
    }

    // What a bad request must leave alone.
    struct State {
        UInt32 frameSize[2] = {};
        UInt32 source = 0;
        std::vector<AudioStreamID> streams[2];
        AudioStreamBasicDescription physical[2] = {};
        AudioStreamBasicDescription virtualFormat[2] = {};
        Float64 nominal[2] = {};
        Settings unit;
        UInt64 applied = 0;
        UInt32 running = 0;

        bool operator==(const State& inOther) const
        {
            for (int index = 0; index < 2; ++index) {
                if (frameSize[index] != inOther.frameSize[index] || streams[index] != inOther.streams[index] ||
                    std::memcmp(&physical[index], &inOther.physical[index], sizeof(physical[index])) != 0 ||
                    std::memcmp(&virtualFormat[index], &inOther.virtualFormat[index],
                                sizeof(virtualFormat[index])) != 0 ||
                    nominal[index] != inOther.nominal[index]) {
                    return false;
                }
            }
            return source == inOther.source && unit == inOther.unit && applied == inOther.applied &&
                   running == inOther.running;
        }
    };

    State Snapshot()
    {
        Settle();
        State state;
        const AudioDeviceID devices[2] = {OutputDevice(), InputDevice()};
        for (int index = 0; index < 2; ++index) {
            const bool isInput = index == 1;
            GetDeviceUInt32(devices[index], isInput, kAudioDevicePropertyBufferFrameSize, state.frameSize[index]);
            state.streams[index] = GetStreams(devices[index], isInput);
            if (!state.streams[index].empty()) {
                GetStreamFormat(state.streams[index][0], kAudioStreamPropertyPhysicalFormat, state.physical[index]);
                GetStreamFormat(state.streams[index][0], kAudioDevicePropertyStreamFormat,
                                state.virtualFormat[index]);
            }
            UInt32 size = sizeof(Float64);
            AudioDeviceGetProperty(devices[index], 0, isInput, kAudioDevicePropertyNominalSampleRate, &size,
                                   &state.nominal[index]);
        }
        GetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, state.source);
        state.unit = Unit().GetUnitSettings();
        state.applied = Unit().GetClientCounts().applySettingsCalls;
        state.running = Unit().GetClientCounts().running;
        return state;
    }

    void ExpectUnchanged() { EXPECT_TRUE(Snapshot() == mBefore) << "a failed request changed something"; }

    State mBefore;
};

TEST_F(BadInputTest, UnknownObjectIDsAreRefused)
{
    const AudioDeviceID unknown = OutputDevice() + InputDevice() + 1000;
    UInt32 value = 0;
    UInt32 size = sizeof(value);
    EXPECT_EQ(AudioDeviceGetProperty(unknown, 0, false, kAudioDevicePropertyTransportType, &size, &value),
              kAudioHardwareBadDeviceError);
    EXPECT_EQ(AudioDeviceAddIOProc(unknown, &IOProcLog::Proc, nullptr), kAudioHardwareBadDeviceError);
    EXPECT_EQ(AudioDeviceStart(unknown, &IOProcLog::Proc), kAudioHardwareBadDeviceError);
    AudioTimeStamp time = {};
    EXPECT_EQ(AudioDeviceGetCurrentTime(unknown, &time), kAudioHardwareBadDeviceError);
    EXPECT_EQ(AudioStreamGetProperty(unknown, 0, kAudioDevicePropertyDeviceName, &size, &value),
              kAudioHardwareBadStreamError);
    // A device ID is not a stream ID, and the other way round.
    EXPECT_EQ(AudioStreamGetProperty(OutputDevice(), 0, kAudioDevicePropertyDeviceName, &size, &value),
              kAudioHardwareBadStreamError);
    const std::vector<AudioStreamID> streams = GetStreams(OutputDevice(), false);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(AudioDeviceGetProperty(streams[0], 0, false, kAudioDevicePropertyTransportType, &size, &value),
              kAudioHardwareBadDeviceError);
    ExpectUnchanged();
}

TEST_F(BadInputTest, WrongSizesGetBadPropertySize)
{
    struct Case {
        AudioDevicePropertyID selector;
        UInt32 size;
        const char* message;  // null: not checked
    };
    const Case cases[] = {
        {FourCC("Dvrv"), 2, "HPDevice::GetPropertyData: wrong data size for kDovekinRequiresVideo"},
        {FourCC("Dvrv"), 8, "HPDevice::GetPropertyData: wrong data size for kDovekinRequiresVideo"},
        {kAudioDevicePropertyUsesVariableBufferFrameSizes, 3,
         "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyUsesVariableBufferFrameSizes"},
        {kAudioDevicePropertyTransportType, 2, nullptr},
        {kAudioDevicePropertyBufferFrameSize, 1, nullptr},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(testing::Message() << CodeText(each.selector) << " size " << each.size);
        UInt64 data = 0x1122334455667788ull;
        UInt32 size = each.size;
        testing::internal::CaptureStderr();
        EXPECT_EQ(AudioDeviceGetProperty(OutputDevice(), 0, false, each.selector, &size, &data),
                  kAudioHardwareBadPropertySizeError);
        const std::string said = testing::internal::GetCapturedStderr();
        if (each.message != nullptr) {
            EXPECT_EQ(said, std::string(each.message) + "\n");
        }
        EXPECT_EQ(data, 0x1122334455667788ull) << "nothing written";
    }
    // The good size answers.
    UInt32 value = 0;
    EXPECT_EQ(GetDeviceUInt32(OutputDevice(), false, FourCC("Dvrv"), value), noErr);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(GetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyUsesVariableBufferFrameSizes, value), noErr);
    EXPECT_EQ(value, 3840u);
    // A short set.
    const UInt16 shortSize = 2048;
    EXPECT_EQ(AudioDeviceSetProperty(OutputDevice(), nullptr, 0, false, kAudioDevicePropertyBufferFrameSize,
                                     sizeof(shortSize), &shortSize),
              kAudioHardwareBadPropertySizeError);
    ExpectUnchanged();
}

TEST_F(BadInputTest, NullPointersAreRefused)
{
    testing::internal::CaptureStderr();
    UInt32 size = 4;
    EXPECT_EQ(AudioDeviceGetProperty(OutputDevice(), 0, false, kAudioDevicePropertyTransportType, &size, nullptr),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioDeviceGetProperty(OutputDevice(), 0, false, kAudioDevicePropertyTransportType, nullptr, &size),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioDeviceSetProperty(OutputDevice(), nullptr, 0, false, kAudioDevicePropertyBufferFrameSize, 4,
                                     nullptr),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioDeviceAddIOProc(OutputDevice(), nullptr, nullptr), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioDeviceGetCurrentTime(OutputDevice(), nullptr), kAudioHardwareIllegalOperationError);
    AudioTimeStamp time = {};
    time.mFlags = kAudioTimeStampSampleTimeValid;
    EXPECT_EQ(AudioDeviceTranslateTime(InputDevice(), nullptr, &time), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioDeviceTranslateTime(InputDevice(), &time, nullptr), kAudioHardwareIllegalOperationError);
    const std::vector<AudioStreamID> streams = GetStreams(InputDevice(), true);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(AudioStreamGetProperty(streams[0], 0, kAudioStreamPropertyPhysicalFormat, &size, nullptr),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioStreamSetProperty(streams[0], nullptr, 0, kAudioStreamPropertyPhysicalFormat,
                                     sizeof(AudioStreamBasicDescription), nullptr),
              kAudioHardwareIllegalOperationError);
    testing::internal::GetCapturedStderr();
    ExpectUnchanged();
}

TEST_F(BadInputTest, UnsupportedFormatsAndRatesAreRefused)
{
    const std::vector<AudioStreamID> streams = GetStreams(OutputDevice(), false);
    ASSERT_EQ(streams.size(), 1u);
    AudioStreamBasicDescription physical = mBefore.physical[0];
    ASSERT_EQ(physical.mBitsPerChannel, 24u);
    ASSERT_EQ(physical.mSampleRate, 48000.0);

    struct Case {
        const char* what;
        AudioStreamBasicDescription format;
    };
    std::vector<Case> cases;
    AudioStreamBasicDescription format = physical;
    format.mBitsPerChannel = 16;
    format.mBytesPerFrame = format.mBytesPerPacket = 2 * format.mChannelsPerFrame;
    cases.push_back({"16 bits", format});
    format = physical;
    format.mBitsPerChannel = 32;
    format.mBytesPerFrame = format.mBytesPerPacket = 4 * format.mChannelsPerFrame;
    cases.push_back({"32 bits", format});
    format = physical;
    format.mSampleRate = 88200;
    cases.push_back({"88200 Hz", format});
    format = physical;
    format.mSampleRate = 44100;
    cases.push_back({"44100 Hz", format});
    format = physical;
    format.mFormatID = FourCC("ac-3");
    cases.push_back({"not linear PCM", format});
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_NE(AudioStreamSetProperty(streams[0], nullptr, 0, kAudioStreamPropertyPhysicalFormat,
                                         sizeof(each.format), &each.format),
                  noErr);
        EXPECT_NE(AudioDeviceSetProperty(OutputDevice(), nullptr, 0, false, kAudioDevicePropertyStreamFormat,
                                         sizeof(each.format), &each.format),
                  noErr);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }
    for (const Float64 rate : {44100.0, 96000.0, 0.0, -48000.0}) {
        SCOPED_TRACE(rate);
        testing::internal::CaptureStderr();
        EXPECT_NE(AudioDeviceSetProperty(OutputDevice(), nullptr, 0, false, kAudioDevicePropertyNominalSampleRate,
                                         sizeof(rate), &rate),
                  noErr);
        testing::internal::GetCapturedStderr();
    }
    ExpectUnchanged();
}

TEST_F(BadInputTest, BufferSizesOutsideTheLimitsAreRefused)
{
    for (const UInt32 size : {1470u, 3841u, 0u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(size);
        for (const bool isInput : {false, true}) {
            const AudioDeviceID device = isInput ? InputDevice() : OutputDevice();
            testing::internal::CaptureStderr();
            EXPECT_EQ(SetDeviceUInt32(device, isInput, kAudioDevicePropertyBufferFrameSize, size),
                      kAudioHardwareIllegalOperationError);
            const std::string said = testing::internal::GetCapturedStderr();
            // The buffer-size handler checks the device's limits before the
            // device is asked, with its own message.
            EXPECT_NE(said.find(size < 1471 ? "requested size is too small" : "requested size is too large"),
                      std::string::npos)
                << said;
        }
    }
    ExpectUnchanged();
    for (const UInt32 size : {1471u, 3840u}) {
        EXPECT_EQ(SetDeviceUInt32(OutputDevice(), false, kAudioDevicePropertyBufferFrameSize, size), noErr);
        UInt32 now = 0;
        EXPECT_EQ(GetDeviceUInt32(OutputDevice(), false, kAudioDevicePropertyBufferFrameSize, now), noErr);
        EXPECT_EQ(now, size);
    }
}

TEST_F(BadInputTest, UnknownDataSourceItemsAreRefused)
{
    for (const UInt32 item : {FourCC("xxxx"), FourCC("ispd"), FourCC("out "), 0u}) {
        SCOPED_TRACE(CodeText(item));
        testing::internal::CaptureStderr();
        EXPECT_EQ(SetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, item),
                  kAudioHardwareIllegalOperationError);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "DataSourceControl::SetCurrentItemByID: ID doesn't exist\n");
    }
    // The name of an unknown item.
    UInt32 item = FourCC("xxxx");
    CFStringRef name = nullptr;
    AudioValueTranslation translation = {&item, sizeof(item), &name, sizeof(name)};
    UInt32 size = sizeof(translation);
    testing::internal::CaptureStderr();
    EXPECT_NE(AudioDeviceGetProperty(InputDevice(), 0, true, kAudioDevicePropertyDataSourceNameForIDCFString, &size,
                                     &translation),
              noErr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(name, nullptr);
    ExpectUnchanged();
}

// Bad requests while the device runs: still refused, and the audio goes on.
TEST_F(BadInputTest, BadRequestsWhileRunningChangeNothing)
{
    IOProcLog log;
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &IOProcLog::Proc, &log), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &IOProcLog::Proc), noErr);
    Step(1);
    mBefore = Snapshot();
    testing::internal::CaptureStderr();
    EXPECT_EQ(SetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyBufferFrameSize, 3841),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(SetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, FourCC("ispd")),
              kAudioHardwareIllegalOperationError);
    testing::internal::GetCapturedStderr();
    ExpectUnchanged();
    Step(2);
    EXPECT_EQ(log.calls.load(), 3u);
    ASSERT_EQ(AudioDeviceStop(InputDevice(), &IOProcLog::Proc), noErr);
    Settle();
}

}  // namespace
}  // namespace KestroIntegration
