// The unit's arrival and departure as a client sees them: the two devices
// the bundle publishes, their identity and streams, and their withdrawal.
#include "tests/integration/KestroTest.h"

namespace KestroIntegration {
namespace {

using ArrivalTest = KestroTest;

UInt32 ChannelsOf(AudioStreamID inStream)
{
    AudioStreamBasicDescription format = {};
    if (KestroTest::GetStreamFormat(inStream, kAudioDevicePropertyStreamFormat, format) != noErr) {
        return 0;
    }
    return format.mChannelsPerFrame;
}

TEST_F(ArrivalTest, WithoutAMuxerComponentInitializeFailsAndNothingIsPublished)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadBundle(false), kAudioHardwareUnspecifiedError);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(GetDevices().empty());
    EXPECT_TRUE(EventsOfKind(AudioHardwareServerEvent::kDevicesCreated).empty());
    EXPECT_TRUE(EventsOfKind(AudioHardwareServerEvent::kStreamsCreated).empty());
    EXPECT_EQ(Unit().GetClientCounts().attached, 0u);
}

TEST_F(ArrivalTest, ArrivalPublishesKestroOutThenKestroIn)
{
    ASSERT_EQ(LoadBundle(), noErr);
    const std::vector<AudioHardwareServerEvent> created = EventsOfKind(AudioHardwareServerEvent::kDevicesCreated);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(GetDevices(), (std::vector<AudioDeviceID>{created[0].mDevice, created[1].mDevice}));
    EXPECT_EQ(created[0].mDevice, OutputDevice());
    EXPECT_EQ(created[1].mDevice, InputDevice());

    struct Expected {
        AudioDeviceID device;
        bool isInput;
        const char* name;
        const char* uid;
        const char* streamName;
    };
    const Expected devices[] = {
        {OutputDevice(), false, "Kestro Out", "com_haldrix_Kestro_Out:0", "8 channels"},
        {InputDevice(), true, "Kestro In", "com_haldrix_Kestro_In:0", "SDI - 8 channels"},
    };
    for (const Expected& expected : devices) {
        SCOPED_TRACE(expected.name);
        ASSERT_NE(expected.device, 0u);
        EXPECT_EQ(GetDeviceString(expected.device, expected.isInput, kAudioDevicePropertyDeviceName), expected.name);
        EXPECT_EQ(GetDeviceString(expected.device, expected.isInput, kAudioDevicePropertyDeviceManufacturer),
                  "Haldrix Computer, Inc.");
        EXPECT_EQ(GetDeviceUID(expected.device), expected.uid);
        UInt32 transport = 0;
        EXPECT_EQ(GetDeviceUInt32(expected.device, expected.isInput, kAudioDevicePropertyTransportType, transport),
                  noErr);
        EXPECT_EQ(transport, FourCC("1394"));

        const std::vector<AudioStreamID> streams = GetStreams(expected.device, expected.isInput);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_TRUE(GetStreams(expected.device, !expected.isInput).empty());
        EXPECT_EQ(AudioHardwareServerCopyStreams(expected.device), streams);
        EXPECT_EQ(GetStreamName(streams[0]), expected.streamName);
        EXPECT_EQ(ChannelsOf(streams[0]), 8u);
    }
}

// Which stream the input device publishes for the connector the unit names,
// and what its data-source control says.
TEST_F(ArrivalTest, TheInputStreamFollowsTheUnitsConnector)
{
    struct Case {
        UInt32 connectors;
        UInt32 named;
        UInt32 expectedSource;  // 0: no stream published
        const char* streamName;
        UInt32 channels;
    };
    const UInt32 all = SimulatedUnit::kAllConnectors;
    const Case cases[] = {
        {all, Settings::kAudioFormatSDI, FourCC("isdi"), "SDI - 8 channels", 8},
        {all, Settings::kAudioFormatAES, FourCC("iaes"), "AES/EBU - 4 channels", 4},
        {all, Settings::kAudioFormatADAT, FourCC("iadt"), "ADAT - 8 channels", 8},
        {all, Settings::kAudioFormatAnalog, FourCC("ialg"), "Analog - 4 channels", 4},
        {all, Settings::kAudioFormatSPDIF, FourCC("ispd"), "S/PDIF PCM - 2 channels", 2},
        // The named connector is missing: the analog input stands in.
        {Settings::kAudioFormatAnalog | Settings::kAudioFormatAES, Settings::kAudioFormatSPDIF, FourCC("ialg"),
         "Analog - 4 channels", 4},
        // Neither it nor the analog input exists: the first available one.
        {Settings::kAudioFormatSPDIF | Settings::kAudioFormatADAT, Settings::kAudioFormatSDI, FourCC("iadt"),
         "ADAT - 8 channels", 8},
        // No inputs at all: no stream.
        {0, Settings::kAudioFormatSDI, 0, nullptr, 0},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(testing::Message() << "connectors " << each.connectors << ", named " << each.named);
        TearDown();
        SetUp();
        ASSERT_EQ(Unit().SetConnectors(each.connectors), noErr);
        Settings settings;
        settings.audioinformat = each.named;
        ASSERT_EQ(Unit().SetUnitSettings(settings), noErr);
        ASSERT_EQ(LoadBundle(), noErr);
        ASSERT_NE(InputDevice(), 0u);
        const std::vector<AudioStreamID> streams = GetStreams(InputDevice(), true);
        UInt32 source = 0;
        const OSStatus sourceStatus = GetDeviceUInt32(InputDevice(), true, kAudioDevicePropertyDataSource, source);
        if (each.expectedSource == 0) {
            EXPECT_TRUE(streams.empty());
            continue;
        }
        EXPECT_EQ(sourceStatus, noErr);
        EXPECT_EQ(CodeText(source), CodeText(each.expectedSource));
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(GetStreamName(streams[0]), each.streamName);
        EXPECT_EQ(ChannelsOf(streams[0]), each.channels);
        // The unit was told the same connector the device publishes.
        EXPECT_EQ(Unit().GetUnitSettings().audioinformat,
                  each.expectedSource == FourCC("isdi")   ? Settings::kAudioFormatSDI
                  : each.expectedSource == FourCC("iaes") ? Settings::kAudioFormatAES
                  : each.expectedSource == FourCC("iadt") ? Settings::kAudioFormatADAT
                  : each.expectedSource == FourCC("ialg") ? Settings::kAudioFormatAnalog
                                                          : Settings::kAudioFormatSPDIF);
    }
}

TEST_F(ArrivalTest, DepartureWithdrawsBothDevicesAndAnotherArrivalPublishesThemAgain)
{
    ASSERT_EQ(LoadBundle(), noErr);
    const AudioDeviceID output = OutputDevice();
    const AudioDeviceID input = InputDevice();
    AudioHardwareServerClearEvents();

    ASSERT_EQ(Unit().RemoveUnit(), noErr);
    Settle();
    EXPECT_TRUE(GetDevices().empty());
    const std::vector<AudioHardwareServerEvent> died = EventsOfKind(AudioHardwareServerEvent::kDevicesDied);
    ASSERT_EQ(died.size(), 2u);
    EXPECT_EQ(died[0].mDevice, output);
    EXPECT_EQ(died[1].mDevice, input);
    UInt32 transport = 0;
    EXPECT_EQ(GetDeviceUInt32(output, false, kAudioDevicePropertyTransportType, transport),
              kAudioHardwareBadDeviceError);
    EXPECT_EQ(Unit().GetClientCounts().attached, 0u);

    ASSERT_EQ(Unit().PresentUnit(), noErr);
    Settle();
    FindDevices();
    EXPECT_NE(OutputDevice(), 0u);
    EXPECT_NE(InputDevice(), 0u);
    EXPECT_EQ(GetDevices().size(), 2u);
    EXPECT_EQ(Unit().GetClientCounts().attached, 2u);
}

TEST_F(ArrivalTest, TeardownAfterDepartureOnlyDetaches)
{
    ASSERT_EQ(LoadBundle(), noErr);
    ASSERT_EQ(Unit().RemoveUnit(), noErr);
    Settle();
    AudioHardwareServerClearEvents();
    EXPECT_EQ(UnloadBundle(), noErr);
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
    EXPECT_EQ(Unit().GetClientCounts().badClientCalls, 0u);
    // The registration is gone: a new arrival reaches nobody.
    ASSERT_EQ(Unit().PresentUnit(), noErr);
    Settle();
    EXPECT_TRUE(GetDevices().empty());
}

// A unit whose settings the streams can't serve (16 bits here) fails each
// device's Initialize; the plug-in reports it, deletes the half-built device
// and carries on, and the muxer's notification thread survives.
TEST_F(ArrivalTest, ADeviceThatFailsToInitializeIsReportedAndDeleted)
{
    ASSERT_EQ(Unit().SetWordSize(16), noErr);
    testing::internal::CaptureStderr();
    ASSERT_EQ(LoadBundle(), noErr);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages, "");
    EXPECT_TRUE(GetDevices().empty());
    EXPECT_TRUE(EventsOfKind(AudioHardwareServerEvent::kDevicesCreated).empty());
    EXPECT_EQ(Unit().GetClientCounts().attached, 0u) << "a failed device stayed attached to the muxer";
    // The notification thread still works: a departure and a 24-bit arrival
    // publish both devices.
    ASSERT_EQ(Unit().RemoveUnit(), noErr);
    ASSERT_EQ(Unit().SetWordSize(24), noErr);
    ASSERT_EQ(Unit().PresentUnit(), noErr);
    Settle();
    EXPECT_EQ(GetDevices().size(), 2u);
}

}  // namespace
}  // namespace KestroIntegration
