// The device handlers every HPDevice registers: I/O buffer size, stream list
// and the device format relay, reached through the device's property
// operations as the host reaches them.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/HPDevice.h"
#include "framework/HPDeviceFormatProperty.h"
#include "framework/HPIOBufferSizeProperty.h"
#include "framework/HPPropertyAddress.h"
#include "framework/HPStreamListProperty.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"
#include "tests/framework/TestDevice.h"
#include "tests/framework/TestStream.h"

namespace {

struct Outcome {
    OSStatus mStatus;
    std::string mMessage;
};

template <typename Request>
Outcome Capture(Request&& inRequest)
{
    testing::internal::CaptureStderr();
    OSStatus theStatus = 0;
    try {
        inRequest();
    } catch (const CAException& theException) {
        theStatus = theException.GetError();
    }
    return {theStatus, testing::internal::GetCapturedStderr()};
}

std::string Text(UInt32 inCode) { return std::string(FourCCText(inCode).c_str()); }

// A stream that remembers the last address a format request reached it with.
class RecordingStream : public TestStream {
public:
    using TestStream::TestStream;

    void GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override
    {
        mLastAddress = inAddress;
        TestStream::GetPropertyData(inAddress, ioDataSize, outData);
    }

    mutable HPPropertyAddress mLastAddress;
};

// An initialized device with two output streams of 2 channels each (device
// channels 1-2 and 3-4, 8 bytes per virtual frame) and no input stream.
class HPDeviceHandlersTest : public testing::Test {
protected:
    HPDeviceHandlersTest()
        : mOutput1(nullptr, &mDevice, 261, false, 1, 2), mOutput3(nullptr, &mDevice, 263, false, 3, 2)
    {
        mDevice.Initialize();
        mOutput1.Initialize();
        mOutput3.Initialize();
        mDevice.AddStream(&mOutput3);
        mDevice.AddStream(&mOutput1);
    }
    ~HPDeviceHandlersTest() override
    {
        mDevice.RemoveStream(&mOutput1);
        mDevice.RemoveStream(&mOutput3);
        mOutput1.Teardown();
        mOutput3.Teardown();
        mDevice.Teardown();
    }

    UInt32 GetFrames()
    {
        UInt32 theFrames = 0;
        UInt32 theSize = sizeof(theFrames);
        mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyBufferFrameSize, 0, 0), theSize, &theFrames);
        return theFrames;
    }

    Outcome Set(UInt32 inSelector, UInt32 inChannel, UInt8 inSection, UInt32 inValue,
                UInt32 inSize = sizeof(UInt32))
    {
        return Capture([&] {
            mDevice.SetPropertyData(HPPropertyAddress(inSelector, inChannel, inSection), inSize, &inValue, nullptr);
        });
    }

    TestDevice mDevice;
    RecordingStream mOutput1;
    RecordingStream mOutput3;
};

// ---------------------------------------------------------------------------
// Buffer size

TEST_F(HPDeviceHandlersTest, BufferSizeSelectorsReportFramesBytesAndRanges)
{
    ASSERT_EQ(mOutput1.GetCurrentVirtualBytesPerFrame(), 8u);
    struct Case {
        UInt32 mSelector;
        bool mSettable;
        UInt32 mSize;
    };
    const Case theCases[] = {
        {kAudioDevicePropertyBufferSize, true, 4},
        {kAudioDevicePropertyBufferFrameSize, true, 4},
        {kAudioDevicePropertyBufferSizeRange, false, 16},
        {kAudioDevicePropertyBufferFrameSizeRange, false, 16},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(Text(theCase.mSelector));
        HPPropertyAddress theAddress(theCase.mSelector, 2, 0);
        EXPECT_TRUE(mDevice.HasProperty(theAddress));
        EXPECT_EQ(mDevice.PropertyIsSettable(theAddress), theCase.mSettable);
        EXPECT_EQ(mDevice.GetPropertyDataSize(theAddress), theCase.mSize);
    }

    EXPECT_EQ(GetFrames(), 512u);
    UInt32 theBytes = 0;
    UInt32 theSize = sizeof(theBytes);
    mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyBufferSize, 1, 0), theSize, &theBytes);
    EXPECT_EQ(theBytes, 512u * 8u);

    AudioValueRange theRange{};
    theSize = sizeof(theRange);
    mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyBufferFrameSizeRange, 0, 0), theSize, &theRange);
    EXPECT_EQ(theRange.mMinimum, 2.0);
    EXPECT_EQ(theRange.mMaximum, 65536.0);
    theSize = sizeof(theRange);
    mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyBufferSizeRange, 3, 0), theSize, &theRange);
    EXPECT_EQ(theRange.mMinimum, 16.0);
    EXPECT_EQ(theRange.mMaximum, 65536.0 * 8);
}

TEST_F(HPDeviceHandlersTest, BufferSizeChangesWithinTheLimits)
{
    struct Case {
        const char* mName;
        UInt32 mSelector;
        UInt32 mValue;
        OSStatus mStatus;
        const char* mMessage;
        UInt32 mFramesAfter;
    };
    const Case theCases[] = {
        {"frames below the minimum", kAudioDevicePropertyBufferFrameSize, 1, kAudioHardwareIllegalOperationError,
         "HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferFrameSize: requested size is too small\n", 512},
        {"frames above the maximum", kAudioDevicePropertyBufferFrameSize, 65537, kAudioHardwareIllegalOperationError,
         "HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferFrameSize: requested size is too large\n", 512},
        {"frames at the minimum", kAudioDevicePropertyBufferFrameSize, 2, 0, "", 2},
        {"frames at the maximum", kAudioDevicePropertyBufferFrameSize, 65536, 0, "", 65536},
        {"bytes below the minimum", kAudioDevicePropertyBufferSize, 15, kAudioHardwareIllegalOperationError,
         "HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferSize: requested size is too small\n", 65536},
        {"bytes above the maximum", kAudioDevicePropertyBufferSize, 8 * 65537, kAudioHardwareIllegalOperationError,
         "HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferSize: requested size is too large\n", 65536},
        {"bytes, remainder dropped", kAudioDevicePropertyBufferSize, 4100, 0, "", 512},
        {"bytes at the minimum", kAudioDevicePropertyBufferSize, 16, 0, "", 2},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mName);
        UInt32 theCommandsBefore = mDevice.mStartCommandExecutionCount.load();
        Outcome theOutcome = Set(theCase.mSelector, 1, 0, theCase.mValue);
        EXPECT_EQ(theOutcome.mStatus, theCase.mStatus);
        EXPECT_EQ(theOutcome.mMessage, theCase.mMessage);
        EXPECT_EQ(GetFrames(), theCase.mFramesAfter);
        EXPECT_EQ(mDevice.mStartCommandExecutionCount.load(), theCommandsBefore + (theCase.mStatus == 0 ? 1 : 0));
    }
}

TEST_F(HPDeviceHandlersTest, SettingTheCurrentSizeBuildsNoCommand)
{
    EXPECT_EQ(Set(kAudioDevicePropertyBufferFrameSize, 0, 0, 512).mStatus, 0);
    EXPECT_EQ(Set(kAudioDevicePropertyBufferSize, 1, 0, 512 * 8 + 7).mStatus, 0);
    EXPECT_EQ(mDevice.mStartCommandExecutionCount.load(), 0u);
    EXPECT_EQ(GetFrames(), 512u);
}

TEST_F(HPDeviceHandlersTest, WrongSizesAndMissingStreamsAreRefused)
{
    struct Case {
        const char* mName;
        bool mIsGet;
        UInt32 mSelector;
        UInt8 mSection;
        UInt32 mSize;
        OSStatus mStatus;
        const char* mMessage;
    };
    const Case theCases[] = {
        {"get bsiz size", true, kAudioDevicePropertyBufferSize, 0, 8, kAudioHardwareBadPropertySizeError,
         "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferSize\n"},
        {"get fsiz size", true, kAudioDevicePropertyBufferFrameSize, 0, 2, kAudioHardwareBadPropertySizeError,
         "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferFrameSize\n"},
        {"get bsz# size", true, kAudioDevicePropertyBufferSizeRange, 0, 8, kAudioHardwareBadPropertySizeError,
         "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferSizeRange\n"},
        {"get fsz# size", true, kAudioDevicePropertyBufferFrameSizeRange, 0, 4, kAudioHardwareBadPropertySizeError,
         "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferFrameSizeRange\n"},
        {"set bsiz size", false, kAudioDevicePropertyBufferSize, 0, 2, kAudioHardwareBadPropertySizeError,
         "HPIOBufferSizeProperty::SetData: wrong data size for kAudioDevicePropertyBufferSize\n"},
        {"set fsiz size", false, kAudioDevicePropertyBufferFrameSize, 0, 8, kAudioHardwareBadPropertySizeError,
         "HPIOBufferSizeProperty::SetData: wrong data size for kAudioDevicePropertyBufferFrameSize\n"},
        {"get bsiz without stream", true, kAudioDevicePropertyBufferSize, 1, 4, kAudioHardwareBadStreamError, ""},
        {"get bsz# without stream", true, kAudioDevicePropertyBufferSizeRange, 1, 16, kAudioHardwareBadStreamError,
         ""},
        {"set bsiz without stream", false, kAudioDevicePropertyBufferSize, 1, 4, kAudioHardwareBadStreamError, ""},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mName);
        unsigned char theBuffer[32];
        std::memset(theBuffer, 0xC3, sizeof(theBuffer));
        const UInt32 theValue = 1024;
        std::memcpy(theBuffer, &theValue, sizeof(theValue));
        UInt32 theSize = theCase.mSize;
        HPPropertyAddress theAddress(theCase.mSelector, 1, theCase.mSection);
        Outcome theOutcome = Capture([&] {
            if (theCase.mIsGet) {
                mDevice.GetPropertyData(theAddress, theSize, theBuffer);
            } else {
                mDevice.SetPropertyData(theAddress, theSize, theBuffer, nullptr);
            }
        });
        EXPECT_EQ(theOutcome.mStatus, theCase.mStatus);
        EXPECT_EQ(theOutcome.mMessage, theCase.mMessage);
        EXPECT_EQ(theSize, theCase.mSize);
        UInt32 theWord = 0;
        std::memcpy(&theWord, theBuffer, sizeof(theWord));
        EXPECT_EQ(theWord, theValue) << "nothing written";
        EXPECT_EQ(GetFrames(), 512u);
        EXPECT_EQ(mDevice.mStartCommandExecutionCount.load(), 0u);
    }
}

TEST_F(HPDeviceHandlersTest, ChangeFromTheIOThreadWaitsForTheEndOfTheCycle)
{
    std::thread theIOThread([&] {
        mDevice.MarkCurrentThreadAsIOThread();
        EXPECT_EQ(Set(kAudioDevicePropertyBufferFrameSize, 0, 0, 256).mStatus, 0);
        EXPECT_EQ(GetFrames(), 512u);
        EXPECT_EQ(mDevice.GetNumberQueuedCommands(), 1u);
        mDevice.ExecuteAllCommands();
        mDevice.ClearIOThread();
    });
    theIOThread.join();
    EXPECT_EQ(GetFrames(), 256u);
}

// ---------------------------------------------------------------------------
// Stream list

TEST_F(HPDeviceHandlersTest, StreamIDsComeInChannelOrderAndAShortBufferGetsTheFirst)
{
    HPPropertyAddress theOutputAddress(kAudioDevicePropertyStreams, 0, 0);
    EXPECT_TRUE(mDevice.HasProperty(theOutputAddress));
    EXPECT_FALSE(mDevice.PropertyIsSettable(theOutputAddress));
    EXPECT_EQ(mDevice.GetPropertyDataSize(theOutputAddress), 8u);
    EXPECT_EQ(mDevice.GetPropertyDataSize(HPPropertyAddress(kAudioDevicePropertyStreams, 0, 1)), 0u);

    struct Case {
        UInt8 mSection;
        UInt32 mBufferSize;
        std::vector<AudioStreamID> mExpected;
    };
    const Case theCases[] = {
        {0, 8, {261, 263}},
        {0, 4, {261}},
        {0, 7, {261}},
        {0, 16, {261, 263}},
        {0, 0, {}},
        {1, 8, {}},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE("section " + std::to_string(theCase.mSection) + " size " + std::to_string(theCase.mBufferSize));
        AudioStreamID theIDs[4] = {0, 0, 0, 0};
        UInt32 theSize = theCase.mBufferSize;
        mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyStreams, 0, theCase.mSection), theSize, theIDs);
        EXPECT_EQ(theSize, 4 * theCase.mExpected.size());
        EXPECT_EQ(std::vector<AudioStreamID>(theIDs, theIDs + theCase.mExpected.size()), theCase.mExpected);
        EXPECT_EQ(theIDs[theCase.mExpected.size()], 0u);
    }
}

TEST_F(HPDeviceHandlersTest, StreamConfigurationDescribesEachStreamsBuffer)
{
    mDevice.SetIOBufferFrameSize(100);
    HPPropertyAddress theAddress(kAudioDevicePropertyStreamConfiguration, 0, 0);
    EXPECT_FALSE(mDevice.PropertyIsSettable(theAddress));
    UInt32 theSize = mDevice.GetPropertyDataSize(theAddress);
    ASSERT_EQ(theSize, AudioBufferListSize(2));
    std::vector<unsigned char> theBuffer(theSize, 0xEE);
    mDevice.GetPropertyData(theAddress, theSize, theBuffer.data());
    EXPECT_EQ(theSize, AudioBufferListSize(2));
    const auto* theList = reinterpret_cast<const AudioBufferList*>(theBuffer.data());
    ASSERT_EQ(theList->mNumberBuffers, 2u);
    for (UInt32 theIndex = 0; theIndex < 2; ++theIndex) {
        EXPECT_EQ(theList->mBuffers[theIndex].mNumberChannels, 2u);
        EXPECT_EQ(theList->mBuffers[theIndex].mDataByteSize, 800u);
        EXPECT_EQ(theList->mBuffers[theIndex].mData, nullptr);
    }
}

TEST_F(HPDeviceHandlersTest, StreamConfigurationOfAnEmptySectionIsAListOfNoBuffers)
{
    HPPropertyAddress theAddress(kAudioDevicePropertyStreamConfiguration, 0, 1);
    UInt32 theSize = mDevice.GetPropertyDataSize(theAddress);
    EXPECT_EQ(theSize, AudioBufferListSize(0));
    AudioBufferList theList;
    theList.mNumberBuffers = 99;
    mDevice.GetPropertyData(theAddress, theSize, &theList);
    EXPECT_EQ(theList.mNumberBuffers, 0u);
}

TEST_F(HPDeviceHandlersTest, StreamConfigurationRefusesAnyOtherSize)
{
    HPPropertyAddress theAddress(kAudioDevicePropertyStreamConfiguration, 0, 0);
    for (UInt32 theSize : {AudioBufferListSize(2) - 1, AudioBufferListSize(1), AudioBufferListSize(3)}) {
        SCOPED_TRACE(theSize);
        std::vector<unsigned char> theBuffer(AudioBufferListSize(3), 0xEE);
        UInt32 theIOSize = theSize;
        Outcome theOutcome = Capture([&] { mDevice.GetPropertyData(theAddress, theIOSize, theBuffer.data()); });
        EXPECT_EQ(theOutcome.mStatus, kAudioHardwareBadPropertySizeError);
        EXPECT_EQ(theOutcome.mMessage,
                  "HPStreamListProperty::GetData: wrong data size for kAudioDevicePropertyStreamConfiguration\n");
        EXPECT_EQ(theBuffer, std::vector<unsigned char>(AudioBufferListSize(3), 0xEE));
    }
}

// ---------------------------------------------------------------------------
// Device format relay

TEST_F(HPDeviceHandlersTest, FormatRequestsReachTheStreamCarryingTheChannel)
{
    struct Case {
        UInt32 mChannel;
        const RecordingStream* mStream;
        UInt32 mStreamChannel;
    };
    const Case theCases[] = {
        {0, &mOutput1, 0},  // the master channel stays 0
        {1, &mOutput1, 0},
        {2, &mOutput1, 1},
        {3, &mOutput3, 0},
        {4, &mOutput3, 1},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mChannel);
        mOutput1.mLastAddress = HPPropertyAddress();
        mOutput3.mLastAddress = HPPropertyAddress();
        AudioStreamBasicDescription theFormat{};
        UInt32 theSize = sizeof(theFormat);
        mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyStreamFormat, theCase.mChannel, 0), theSize,
                                &theFormat);
        EXPECT_EQ(theSize, sizeof(AudioStreamBasicDescription));
        EXPECT_EQ(theFormat.mChannelsPerFrame, 2u);
        EXPECT_EQ(theCase.mStream->mLastAddress.mSelector, kAudioDevicePropertyStreamFormat);
        EXPECT_EQ(theCase.mStream->mLastAddress.mChannel, theCase.mStreamChannel);
    }
}

TEST_F(HPDeviceHandlersTest, RateOfAMissingSectionIsAnsweredByTheOtherSectionsStream)
{
    for (UInt32 theSelector :
         {kAudioDevicePropertyNominalSampleRate, kAudioDevicePropertyAvailableNominalSampleRates}) {
        SCOPED_TRACE(Text(theSelector));
        HPPropertyAddress theAddress(theSelector, 3, 1);
        EXPECT_TRUE(mDevice.HasProperty(theAddress));
        EXPECT_GT(mDevice.GetPropertyDataSize(theAddress), 0u);
        mOutput3.mLastAddress = HPPropertyAddress();
        std::vector<unsigned char> theBuffer(mDevice.GetPropertyDataSize(theAddress));
        UInt32 theSize = UInt32(theBuffer.size());
        mDevice.GetPropertyData(theAddress, theSize, theBuffer.data());
        EXPECT_EQ(mOutput3.mLastAddress.mSelector, theSelector);
    }
    Float64 theRate = 0;
    UInt32 theSize = sizeof(theRate);
    mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, 1), theSize, &theRate);
    EXPECT_EQ(theRate, 48000.0);
}

TEST_F(HPDeviceHandlersTest, FormatRequestsWithoutAStreamAreRefused)
{
    struct Case {
        UInt32 mSelector;
        UInt32 mChannel;
        UInt8 mSection;
        OSStatus mStatus;  // what every operation throws
    };
    const Case theCases[] = {
        // 'sfm#' is always present, so a section without streams gives 'nope'.
        {kAudioDevicePropertyStreamFormats, 1, 1, kAudioHardwareIllegalOperationError},
        {kAudioDevicePropertyStreamFormats, 5, 0, kAudioHardwareIllegalOperationError},
        {kAudioDevicePropertyStreamFormat, 1, 1, kAudioHardwareUnknownPropertyError},
        {kAudioStreamPropertyPhysicalFormat, 1, 1, kAudioHardwareUnknownPropertyError},
        {kAudioDevicePropertyNominalSampleRate, 5, 1, kAudioHardwareUnknownPropertyError},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(Text(theCase.mSelector) + " channel " + std::to_string(theCase.mChannel));
        HPPropertyAddress theAddress(theCase.mSelector, theCase.mChannel, theCase.mSection);
        Outcome theHas = Capture([&] { mDevice.HasProperty(theAddress); });
        EXPECT_EQ(theHas.mStatus, theCase.mStatus);
        EXPECT_EQ(theHas.mMessage, "");
        // The other operations ask the relay's IsActive first.
        Outcome theSize = Capture([&] { mDevice.GetPropertyDataSize(theAddress); });
        EXPECT_EQ(theSize.mStatus, theCase.mStatus);
        EXPECT_EQ(theSize.mMessage, "");
        AudioStreamBasicDescription theFormat{};
        UInt32 theIOSize = sizeof(theFormat);
        Outcome theSet = Capture([&] { mDevice.SetPropertyData(theAddress, theIOSize, &theFormat, nullptr); });
        EXPECT_EQ(theSet.mStatus, theCase.mStatus);
        EXPECT_EQ(theSet.mMessage, "");
    }
}

TEST(HPDeviceFormatPropertyTest, RelayThrowsWhoWithoutAStreamAndNopeForFormatsInIsActive)
{
    TestDevice theDevice;
    HPDeviceFormatProperty theProperty(&theDevice);
    HPPropertyAddress theFormats(kAudioDevicePropertyStreamFormats, 1, 0);
    HPPropertyAddress theFormat(kAudioDevicePropertyStreamFormat, 1, 0);
    struct Case {
        const char* mName;
        std::function<void()> mCall;
        OSStatus mStatus;
    };
    UInt32 theSize = 0;
    const Case theCases[] = {
        {"IsActive sfm#", [&] { theProperty.IsActive(theFormats); }, kAudioHardwareIllegalOperationError},
        {"IsActive sfmt", [&] { theProperty.IsActive(theFormat); }, kAudioHardwareUnknownPropertyError},
        {"IsSettable sfm#", [&] { theProperty.IsSettable(theFormats); }, kAudioHardwareUnknownPropertyError},
        {"GetDataSize sfmt", [&] { theProperty.GetDataSize(theFormat); }, kAudioHardwareUnknownPropertyError},
        {"GetData sfmt", [&] { theProperty.GetData(theFormat, theSize, nullptr); },
         kAudioHardwareUnknownPropertyError},
        {"SetData sfmt", [&] { theProperty.SetData(theFormat, 0, nullptr, nullptr); },
         kAudioHardwareUnknownPropertyError},
    };
    for (const Case& theCase : theCases) {
        Outcome theOutcome = Capture(theCase.mCall);
        EXPECT_EQ(theOutcome.mStatus, theCase.mStatus) << theCase.mName;
        EXPECT_EQ(theOutcome.mMessage, "") << theCase.mName;
    }
}

TEST(HPDeviceHandlerAddressTest, HandlersImplementTheirSelectorsInOrderUnderWildcards)
{
    TestDevice theDevice;
    HPIOBufferSizeProperty theBufferSize(&theDevice);
    HPStreamListProperty theStreamList(&theDevice);
    HPDeviceFormatProperty theFormat(&theDevice);
    struct Case {
        const HPProperty* mProperty;
        std::vector<const char*> mSelectors;
    };
    const Case theCases[] = {
        {&theBufferSize, {"bsiz", "fsiz", "bsz#", "fsz#"}},
        {&theStreamList, {"stm#", "slay"}},
        {&theFormat, {"nsrt", "nsr#", "sfmt", "sfm#", "sfm?", "sfmm", "pft ", "pft#", "pft?", "pftm"}},
    };
    for (const Case& theCase : theCases) {
        ASSERT_EQ(theCase.mProperty->GetNumberAddressesImplemented(), theCase.mSelectors.size());
        for (UInt32 theIndex = 0; theIndex < theCase.mSelectors.size(); ++theIndex) {
            HPPropertyAddress theAddress;
            theCase.mProperty->GetImplementedAddressByIndex(theIndex, theAddress);
            EXPECT_EQ(Text(theAddress.mSelector), theCase.mSelectors[theIndex]);
            EXPECT_EQ(theAddress.mChannel, HPPropertyAddress::kWildcardChannel);
            EXPECT_EQ(theAddress.mSection, HPPropertyAddress::kWildcardSection);
        }
    }
}

TEST(HPDeviceInitializeTest, InitializeRegistersEveryHandlerAndTeardownRemovesThem)
{
    TestDevice theDevice;
    const UInt32 theSelectors[] = {kAudioDevicePropertyBufferFrameSize, kAudioDevicePropertyStreams,
                                   kAudioDevicePropertyStreamConfiguration, kAudioDevicePropertyNominalSampleRate,
                                   kAudioDevicePropertyVolumeScalar, kAudioDevicePropertyMute};
    EXPECT_FALSE(theDevice.HasProperty(HPPropertyAddress(kAudioDevicePropertyBufferFrameSize, 0, 0)));
    theDevice.Initialize();
    EXPECT_TRUE(theDevice.HasProperty(HPPropertyAddress(kAudioDevicePropertyBufferFrameSize, 0, 0)));
    EXPECT_TRUE(theDevice.HasProperty(HPPropertyAddress(kAudioDevicePropertyStreams, 7, 1)));
    theDevice.Teardown();
    for (UInt32 theSelector : theSelectors) {
        Outcome theOutcome = Capture([&] { theDevice.GetPropertyDataSize(HPPropertyAddress(theSelector, 0, 0)); });
        EXPECT_EQ(theOutcome.mStatus, kAudioHardwareUnknownPropertyError) << Text(theSelector);
    }
    // A second round works: nothing of the first is left behind.
    theDevice.Initialize();
    EXPECT_TRUE(theDevice.HasProperty(HPPropertyAddress(kAudioDevicePropertyBufferFrameSize, 0, 0)));
    theDevice.Teardown();
}

}  // namespace
