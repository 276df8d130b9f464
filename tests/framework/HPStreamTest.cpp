// HPStream: its own properties with their sizes and messages, the hog-mode
// refusal, the inert format interface of the base, the buffer byte size by
// format, and the control relay to stream and device notifications.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <string>
#include <vector>

#include "framework/HPStream.h"
#include "framework/controls/HPLevelControl.h"
#include "framework/controls/HPBooleanControl.h"
#include "platform/AudioHardware.h"
#include "support/CACFString.h"
#include "support/CAException.h"
#include "tests/framework/TestDevice.h"
#include "tests/framework/TestStream.h"

namespace {

// Runs inOperation, expecting a CAException; returns its status (0 if none).
template <typename Operation>
OSStatus StatusOf(Operation&& inOperation)
{
    try {
        inOperation();
    } catch (const CAException& exception) {
        return exception.GetError();
    }
    return 0;
}

// A device on which another process may hold hog mode.
class HogTestDevice : public TestDevice {
public:
    bool HogModeOwnedBySelfOrIsFree() override { return mHogModeFree; }
    bool mHogModeFree = true;
};

// A stream whose current virtual format is whatever the test sets, without a
// format list, for the buffer-size rules.
class FixedFormatStream : public HPStream {
public:
    explicit FixedFormatStream(HPDevice* inDevice) : HPStream(nullptr, inDevice, 300, false, 1) {}
    void GetCurrentVirtualFormat(AudioStreamBasicDescription& outFormat) const override { outFormat = mFormat; }
    void GetCurrentPhysicalFormat(AudioStreamBasicDescription& outFormat) const override { outFormat = mFormat; }
    AudioStreamBasicDescription mFormat{};
};

bool operator==(const HPPropertyAddress& inA, const std::tuple<UInt32, UInt32, UInt8>& inB)
{
    return inA.mSelector == std::get<0>(inB) && inA.mChannel == std::get<1>(inB) && inA.mSection == std::get<2>(inB);
}

std::vector<UInt32> Selectors(const std::vector<HPPropertyAddress>& inAddresses)
{
    std::vector<UInt32> selectors;
    for (const HPPropertyAddress& address : inAddresses) {
        selectors.push_back(address.mSelector);
    }
    return selectors;
}

class HPStreamTest : public testing::Test {
protected:
    HPStreamTest() : mOutput(nullptr, &mDevice, 201, false, 1, 2), mInput(nullptr, &mDevice, 202, true, 3, 4)
    {
        mOutput.Initialize();
        mInput.Initialize();
    }
    ~HPStreamTest() override
    {
        mInput.Teardown();
        mOutput.Teardown();
    }

    UInt32 GetUInt32(HPStream& inStream, UInt32 inSelector)
    {
        UInt32 value = 0xDEADBEEF;
        UInt32 size = sizeof(value);
        inStream.GetPropertyData(HPPropertyAddress(inSelector, 0, 0), size, &value);
        EXPECT_EQ(size, sizeof(value));
        return value;
    }

    HogTestDevice mDevice;
    TestStream mOutput;
    TestStream mInput;
};

TEST_F(HPStreamTest, OwnPropertiesReportTheirValuesOnEveryChannelAndSection)
{
    EXPECT_EQ(GetUInt32(mOutput, kAudioStreamPropertyDirection), 0u);
    EXPECT_EQ(GetUInt32(mInput, kAudioStreamPropertyDirection), 1u);
    EXPECT_EQ(GetUInt32(mOutput, kAudioStreamPropertyStartingChannel), 1u);
    EXPECT_EQ(GetUInt32(mInput, kAudioStreamPropertyStartingChannel), 3u);
    EXPECT_EQ(GetUInt32(mInput, kAudioStreamPropertyOwningDevice), TestDevice::kDefaultDeviceID);
    mInput.mTerminalType = 0x0206;
    EXPECT_EQ(GetUInt32(mInput, kAudioStreamPropertyTerminalType), 0x0206u);

    const UInt32 selectors[] = {kAudioDevicePropertyDeviceName,       kAudioDevicePropertyDeviceNameCFString,
                                kAudioStreamPropertyStartingChannel,  kAudioStreamPropertyDirection,
                                kAudioStreamPropertyOwningDevice,     kAudioStreamPropertyTerminalType};
    for (UInt32 selector : selectors) {
        for (HPPropertyAddress address : {HPPropertyAddress(selector, 0, 0), HPPropertyAddress(selector, 7, 1),
                                          HPPropertyAddress(selector, 0xFFFFFFFF, 0xFF)}) {
            SCOPED_TRACE(FourCCText(selector).c_str());
            EXPECT_TRUE(mInput.HasProperty(address));
            EXPECT_FALSE(mInput.PropertyIsSettable(address));
        }
    }
    EXPECT_EQ(mInput.GetPropertyDataSize(HPPropertyAddress(kAudioStreamPropertyDirection, 0, 0)), 4u);
    EXPECT_EQ(mInput.GetPropertyDataSize(HPPropertyAddress(kAudioDevicePropertyDeviceNameCFString, 0, 0)),
              sizeof(CFStringRef));
}

TEST_F(HPStreamTest, FixedSizePropertiesRefuseAnyOtherSizeWithTheirMessage)
{
    struct Case {
        UInt32 mSelector;
        const char* mMessage;
    };
    const Case cases[] = {
        {kAudioDevicePropertyDeviceNameCFString,
         "HPStream::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceNameCFString\n"},
        {kAudioStreamPropertyStartingChannel,
         "HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyStartingChannel\n"},
        {kAudioStreamPropertyDirection, "HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyDirection\n"},
        {kAudioStreamPropertyOwningDevice,
         "HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyOwningDevice\n"},
        {kAudioStreamPropertyTerminalType,
         "HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyTerminalType\n"},
    };
    for (const Case& testCase : cases) {
        // 4 is the right size of the numbers but not of a pointer-sized name
        // reference on this host; 0, 3 and 16 are wrong for all.
        std::vector<UInt32> sizes = {0, 3, 16};
        if (testCase.mSelector == kAudioDevicePropertyDeviceNameCFString) {
            sizes.push_back(4);
        } else {
            sizes.push_back(8);
        }
        for (UInt32 size : sizes) {
            SCOPED_TRACE(std::string(FourCCText(testCase.mSelector).c_str()) + " size " + std::to_string(size));
            unsigned char buffer[16];
            std::memset(buffer, 0xAB, sizeof(buffer));
            UInt32 ioSize = size;
            testing::internal::CaptureStderr();
            const OSStatus status = StatusOf(
                [&] { mInput.GetPropertyData(HPPropertyAddress(testCase.mSelector, 0, 0), ioSize, buffer); });
            EXPECT_EQ(testing::internal::GetCapturedStderr(), testCase.mMessage);
            EXPECT_EQ(status, kAudioHardwareBadPropertySizeError);
            EXPECT_EQ(ioSize, size);
            for (unsigned char byte : buffer) {
                ASSERT_EQ(byte, 0xAB);
            }
        }
    }
}

TEST_F(HPStreamTest, NameReferenceIsACopyTheCallerReleases)
{
    CFStringRef name = nullptr;
    UInt32 size = sizeof(name);
    mOutput.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyDeviceNameCFString, 0, 0), size, &name);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(size, sizeof(name));
    char text[64];
    UInt32 textSize = sizeof(text);
    CACFString::GetCString(name, text, textSize);
    EXPECT_STREQ(text, "Test Stream");
    CFRelease(name);

    mOutput.mName = nullptr;
    name = reinterpret_cast<CFStringRef>(&size);
    size = sizeof(name);
    mOutput.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyDeviceNameCFString, 0, 0), size, &name);
    EXPECT_EQ(name, nullptr);
}

TEST_F(HPStreamTest, NameIsWrittenAsATerminatedStringTruncatedToTheBuffer)
{
    const std::string longName(300, 'x');
    struct Case {
        const char* mName;
        UInt32 mBufferSize;
        UInt32 mExpectedDataSize;  // what GetPropertyDataSize reports
        std::string mExpectedText;
        UInt32 mExpectedSize;      // what GetPropertyData reports
    };
    const Case cases[] = {
        {"Twenty Characters!!!", 64, 21, "Twenty Characters!!!", 21},
        {"Twenty Characters!!!", 10, 21, "Twenty Ch", 10},  // 9 characters and the zero
        {nullptr, 64, 1, "", 1},
        {longName.c_str(), 512, 256, std::string(300, 'x'), 301},
        {longName.c_str(), 256, 256, std::string(255, 'x'), 256},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.mBufferSize);
        mOutput.mName = testCase.mName;
        const HPPropertyAddress address(kAudioDevicePropertyDeviceName, 0, 0);
        EXPECT_EQ(mOutput.GetPropertyDataSize(address), testCase.mExpectedDataSize);
        std::vector<char> buffer(testCase.mBufferSize + 1, '#');
        UInt32 size = testCase.mBufferSize;
        mOutput.GetPropertyData(address, size, buffer.data());
        EXPECT_EQ(size, testCase.mExpectedSize);
        EXPECT_EQ(std::string(buffer.data()), testCase.mExpectedText);
        EXPECT_EQ(buffer[testCase.mBufferSize], '#');  // nothing past the buffer
    }
}

TEST_F(HPStreamTest, ReportedNameSizeIsWhatALargeEnoughBufferReceives)
{
    for (const char* name : {"", "A", "Kestro Out stream"}) {
        mOutput.mName = name;
        const HPPropertyAddress address(kAudioDevicePropertyDeviceName, 0, 0);
        UInt32 size = mOutput.GetPropertyDataSize(address);
        std::vector<char> buffer(size);
        mOutput.GetPropertyData(address, size, buffer.data());
        EXPECT_EQ(size, buffer.size());
    }
}

TEST_F(HPStreamTest, EverySetIsRefusedWhileAnotherProcessHoldsHogMode)
{
    mDevice.mHogModeFree = false;
    const Float64 rate = 44100.0;
    const UInt32 zero = 0;
    struct Case {
        UInt32 mSelector;
        UInt32 mSize;
        const void* mData;
    };
    const Case cases[] = {
        {kAudioDevicePropertyNominalSampleRate, sizeof(rate), &rate},
        {kAudioDevicePropertyVolumeScalar, sizeof(zero), &zero},
        {kAudioStreamPropertyDirection, sizeof(zero), &zero},
        {FourCC("zzzz"), sizeof(zero), &zero},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(FourCCText(testCase.mSelector).c_str());
        testing::internal::CaptureStderr();
        const OSStatus status = StatusOf([&] {
            mOutput.SetPropertyData(HPPropertyAddress(testCase.mSelector, 0, 0), testCase.mSize, testCase.mData,
                                    nullptr);
        });
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "HPStream::SetPropertyData: can't set property because hog mode is owned by another process\n");
        EXPECT_EQ(status, kAudioDevicePermissionsError);
    }
    EXPECT_EQ(mOutput.GetCurrentNominalSampleRate(), 48000.0);
    EXPECT_EQ(mOutput.mChangePhysicalFormatCount, 0u);
    EXPECT_TRUE(mOutput.GetNotifications().empty());

    // With hog mode free the same rate request goes through.
    mDevice.mHogModeFree = true;
    mOutput.SetPropertyData(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, 0), sizeof(rate), &rate,
                            nullptr);
    EXPECT_EQ(mOutput.GetCurrentNominalSampleRate(), 44100.0);
}

TEST_F(HPStreamTest, UnknownSelectorIsWhoWithoutAMessage)
{
    const HPPropertyAddress address(FourCC("zzzz"), 0, 0);
    EXPECT_FALSE(mOutput.HasProperty(address));
    UInt32 size = 4;
    UInt32 data = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { mOutput.GetPropertyData(address, size, &data); }), kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(StatusOf([&] { mOutput.GetPropertyDataSize(address); }), kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(StatusOf([&] { mOutput.PropertyIsSettable(address); }), kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(StatusOf([&] { mOutput.SetPropertyData(address, size, &data, nullptr); }),
              kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(HPStreamBaseTest, BaseStreamHasNoFormatsAndAnswersNoFormatSelectors)
{
    TestDevice device;
    HPStream stream(nullptr, &device, 400, true, 1);
    stream.Initialize();

    for (UInt32 selector : {UInt32(kAudioDevicePropertyStreamFormat), UInt32(kAudioDevicePropertyNominalSampleRate),
                            UInt32(kAudioStreamPropertyPhysicalFormat), UInt32(kAudioStreamPropertyPhysicalFormats)}) {
        SCOPED_TRACE(FourCCText(selector).c_str());
        const HPPropertyAddress address(selector, 0, 0);
        EXPECT_FALSE(stream.HasProperty(address));
        AudioStreamBasicDescription format{};
        UInt32 size = sizeof(format);
        EXPECT_EQ(StatusOf([&] { stream.GetPropertyData(address, size, &format); }),
                  kAudioHardwareUnknownPropertyError);
    }
    EXPECT_EQ(stream.GetCurrentNumberChannels(), 0u);
    EXPECT_EQ(stream.GetCurrentNominalSampleRate(), 0.0);
    EXPECT_EQ(stream.GetNumberNominalSampleRateRanges(), 0u);
    EXPECT_EQ(stream.GetNumberAvailableVirtualFormats(), 0u);
    EXPECT_EQ(stream.GetNumberAvailablePhysicalFormats(), 0u);
    EXPECT_FALSE(stream.SupportsNominalSampleRate(48000.0));
    EXPECT_FALSE(stream.SupportsPhysicalFormat(AudioStreamBasicDescription{}));
    EXPECT_FALSE(stream.SupportsVirtualFormat(AudioStreamBasicDescription{}));
    EXPECT_EQ(stream.GetCurrentVirtualBytesPerFrame(), 0u);
    EXPECT_TRUE(stream.ChangePhysicalFormat(AudioStreamBasicDescription{}, AudioStreamBasicDescription{}));
    CFStringRef name = stream.CopyStreamName();
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(stream.GetTerminalType(), 0u);

    // The control properties are attached between Initialize and Teardown:
    // a volume control of the stream is visible through them only then.
    auto* volume = new HPLevelControl(kAudioDevicePropertyVolumeScalar, 0, HPControl::kAllSections, &stream);
    volume->Initialize();
    stream.AddControl(volume);
    const HPPropertyAddress volumeAddress(kAudioDevicePropertyVolumeScalar, 0, 0);
    EXPECT_TRUE(stream.HasProperty(volumeAddress));
    stream.Teardown();
    EXPECT_FALSE(stream.HasProperty(volumeAddress));
    stream.Initialize();
    EXPECT_TRUE(stream.HasProperty(volumeAddress));
    stream.Teardown();
}

TEST(HPStreamBufferSizeTest, ByteSizeFollowsTheVirtualFormat)
{
    TestDevice device;
    FixedFormatStream stream(&device);
    struct Case {
        const char* mName;
        AudioStreamBasicDescription mFormat;
        UInt32 mFrames;
        UInt32 mExpectedBytes;
    };
    AudioStreamBasicDescription pcm24 = TestStream::MakeIntegerFormat(48000.0, 8, 24);  // 24 bytes per frame
    AudioStreamBasicDescription float2 = TestStream::MakeFloatFormat(48000.0, 2);
    AudioStreamBasicDescription spdif{48000.0, FourCC("cac3"), 0, 0, 0, 0, 2, 16, 0};
    AudioStreamBasicDescription ac3{48000.0, FourCC("ac-3"), 0, 6144, 1536, 0, 6, 0, 0};
    const Case cases[] = {
        {"24-bit PCM", pcm24, 512, 12288},
        {"float PCM", float2, 512, 4096},
        {"AC-3 over S/PDIF", spdif, 512, 2048},
        {"AC-3, one packet", ac3, 1536, 6144},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.mName);
        stream.mFormat = testCase.mFormat;
        EXPECT_EQ(stream.CalculateIOBufferByteSize(testCase.mFrames), testCase.mExpectedBytes);
    }

    stream.mFormat = ac3;
    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { stream.CalculateIOBufferByteSize(512); }), kAudioDeviceUnsupportedFormatError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "HPStream::GetBufferByteSize: illegal buffer size\n");

    stream.mFormat = pcm24;
    EXPECT_EQ(stream.GetCurrentNumberChannels(), 8u);
    EXPECT_EQ(stream.GetCurrentVirtualBytesPerFrame(), 24u);
}

// Control changes: a stream's own notifications, then the device's.
class HPStreamControlTest : public testing::Test {
protected:
    HPStreamControlTest()
        : mFirst(nullptr, &mDevice, 201, false, 1, 2), mSecond(nullptr, &mDevice, 202, false, 3, 2)
    {
        mFirst.Initialize();
        mSecond.Initialize();
        mDevice.AddStream(&mFirst);
    }
    ~HPStreamControlTest() override
    {
        mDevice.RemoveStream(&mSecond);
        mDevice.RemoveStream(&mFirst);
        mSecond.Teardown();
        mFirst.Teardown();
    }

    // A control of the first stream, owned by it from here on.
    template <typename Control>
    Control* AddControl(UInt32 inClassID, UInt32 inChannel)
    {
        auto* control = new Control(inClassID, inChannel, HPControl::kOutputSection, &mFirst);
        control->Initialize();
        mFirst.AddControl(control);
        return control;
    }

    TestDevice mDevice;
    TestStream mFirst;
    TestStream mSecond;
};

TEST_F(HPStreamControlTest, MasterVolumeChangeOfTheOnlyStreamReachesTheDevice)
{
    HPLevelControl* volume = AddControl<HPLevelControl>(kAudioDevicePropertyVolumeScalar, 0);
    volume->ValueChanged();
    EXPECT_EQ(mFirst.GetNotifications(),
              (std::vector<HPPropertyAddress>{HPPropertyAddress(kAudioDevicePropertyVolumeScalar, 0, 0),
                                              HPPropertyAddress(kAudioDevicePropertyVolumeDecibels, 0, 0)}));
    for (const HPPropertyAddress& address : mFirst.GetNotifications()) {
        EXPECT_EQ(address.mSection, 0);
        EXPECT_EQ(address.mChannel, 0u);
    }
    EXPECT_EQ(Selectors(mDevice.GetNotifications()),
              (std::vector<UInt32>{kAudioDevicePropertyVolumeScalar, kAudioDevicePropertyVolumeDecibels}));

    // With a second output stream on the device the master change stays at
    // the stream.
    mDevice.AddStream(&mSecond);
    mFirst.ClearNotifications();
    mDevice.ClearNotifications();
    volume->ValueChanged();
    EXPECT_EQ(Selectors(mFirst.GetNotifications()),
              (std::vector<UInt32>{kAudioDevicePropertyVolumeScalar, kAudioDevicePropertyVolumeDecibels}));
    EXPECT_TRUE(mDevice.GetNotifications().empty());
}

TEST_F(HPStreamControlTest, ChannelControlChangesReachTheDeviceWhateverTheStreamCount)
{
    mDevice.AddStream(&mSecond);
    HPBooleanControl* mute = AddControl<HPBooleanControl>(kAudioDevicePropertyMute, 2);
    mute->ValueChanged();
    ASSERT_EQ(mFirst.GetNotifications().size(), 1u);
    EXPECT_TRUE(mFirst.GetNotifications()[0] == std::make_tuple(UInt32(kAudioDevicePropertyMute), 2u, UInt8(0)));
    EXPECT_EQ(Selectors(mDevice.GetNotifications()), (std::vector<UInt32>{kAudioDevicePropertyMute}));

    // A range change of a channel control goes on to the device too.
    mFirst.ClearNotifications();
    mDevice.ClearNotifications();
    HPLevelControl* volume = AddControl<HPLevelControl>(kAudioDevicePropertyVolumeScalar, 2);
    volume->RangeChanged();
    EXPECT_EQ(Selectors(mFirst.GetNotifications()), (std::vector<UInt32>{kAudioDevicePropertyVolumeRangeDecibels}));
    EXPECT_EQ(Selectors(mDevice.GetNotifications()), (std::vector<UInt32>{kAudioDevicePropertyVolumeRangeDecibels}));
}

TEST_F(HPStreamControlTest, MasterRangeChangeStaysAtTheStream)
{
    HPLevelControl* volume = AddControl<HPLevelControl>(kAudioDevicePropertyVolumeScalar, 0);
    volume->RangeChanged();
    EXPECT_EQ(Selectors(mFirst.GetNotifications()), (std::vector<UInt32>{kAudioDevicePropertyVolumeRangeDecibels}));
    EXPECT_TRUE(mDevice.GetNotifications().empty());
}

TEST_F(HPStreamControlTest, NotificationsByControlClass)
{
    struct Case {
        UInt32 mClassID;
        std::vector<UInt32> mValueSelectors;
        std::vector<UInt32> mRangeSelectors;
    };
    const Case cases[] = {
        {kAudioDevicePropertyMute, {kAudioDevicePropertyMute}, {}},
        {kAudioDevicePropertyPlayThru, {kAudioDevicePropertyPlayThru}, {}},
        {kAudioDevicePropertyDataSource, {kAudioDevicePropertyDataSource}, {kAudioDevicePropertyDataSources}},
        {kAudioDevicePropertyClockSource, {kAudioDevicePropertyClockSource}, {kAudioDevicePropertyClockSources}},
        {FourCC("gain"), {}, {}},
    };
    UInt32 channel = 1;
    for (const Case& testCase : cases) {
        SCOPED_TRACE(FourCCText(testCase.mClassID).c_str());
        // Boolean controls serve any class ID for the relay.
        HPBooleanControl* control = AddControl<HPBooleanControl>(testCase.mClassID, channel++);
        mFirst.ClearNotifications();
        control->ValueChanged();
        EXPECT_EQ(Selectors(mFirst.GetNotifications()), testCase.mValueSelectors);
        mFirst.ClearNotifications();
        control->RangeChanged();
        EXPECT_EQ(Selectors(mFirst.GetNotifications()), testCase.mRangeSelectors);
    }
}

TEST_F(HPStreamControlTest, ControlNotFoundUnderItsOwnKeySendsNoStreamNotification)
{
    // A control whose owner is the stream but which was never added: the
    // lookup does not find it, so only the device hears of it.
    HPBooleanControl stray(kAudioDevicePropertyMute, 1, HPControl::kOutputSection, &mFirst);
    mFirst.ControlValueChanged(&stray);
    EXPECT_TRUE(mFirst.GetNotifications().empty());
}

}  // namespace
