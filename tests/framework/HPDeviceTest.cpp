// HPDevice: the device's own properties and their size checks, 'suse',
// streams in channel order and the channel-to-stream lookup, the control
// relay and the hog-mode notifications.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "framework/HPDevice.h"
#include "framework/HPPropertyAddress.h"
#include "framework/HPStream.h"
#include "framework/controls/HPControl.h"
#include "platform/AudioHardware.h"
#include "support/CACFString.h"
#include "support/CAException.h"
#include "tests/framework/TestControls.h"
#include "tests/framework/TestDevice.h"
#include "tests/framework/TestStream.h"

namespace {

struct Outcome {
    OSStatus mStatus;
    std::string mMessage;
};

// Runs the request with standard error captured: the status it threw (0 for
// none) and what it printed.
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

OSStatus IOProcA(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                 AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 0;
}

std::string StringOf(CFStringRef inString)
{
    char theBuffer[256];
    UInt32 theSize = sizeof(theBuffer);
    CACFString(inString, true).GetCString(theBuffer, theSize);
    return std::string(theBuffer);
}

// A device with one output stream of 2 channels starting at channel 1 and no
// input stream.
class HPDeviceTest : public testing::Test {
protected:
    HPDeviceTest() : mOutput(nullptr, &mDevice, 201, false, 1, 2)
    {
        mOutput.Initialize();
        mDevice.AddStream(&mOutput);
    }
    ~HPDeviceTest() override
    {
        mDevice.RemoveStream(&mOutput);
        mOutput.Teardown();
    }

    UInt32 GetUInt32(UInt32 inSelector, UInt8 inSection)
    {
        UInt32 theValue = 0xDEADBEEF;
        UInt32 theSize = sizeof(theValue);
        mDevice.GetPropertyData(HPPropertyAddress(inSelector, 0, inSection), theSize, &theValue);
        EXPECT_EQ(theSize, sizeof(UInt32));
        return theValue;
    }

    TestDevice mDevice;
    TestStream mOutput;
};

// ---------------------------------------------------------------------------
// The plain UInt32 properties

TEST_F(HPDeviceTest, UInt32PropertiesReportTheirHooks)
{
    mDevice.mTransportType = kAudioDeviceTransportTypeFireWire;
    mDevice.mCanBeDefaultInput = false;
    mDevice.mCanBeDefaultOutput = true;
    mDevice.mCanBeDefaultSystemDevice = true;
    mDevice.mOutputLatency = 33;
    mDevice.mOutputSafetyOffset = 17;

    struct Case {
        UInt32 mSelector;
        UInt8 mSection;
        UInt32 mExpected;
    };
    const Case theCases[] = {
        {kAudioDevicePropertyTransportType, 0, kAudioDeviceTransportTypeFireWire},
        {kAudioDevicePropertyDeviceIsAlive, 0, 1},
        {kAudioDevicePropertyDeviceIsRunning, 0, 0},
        {kAudioDevicePropertyDeviceIsRunningSomewhere, 1, 0},
        {kAudioDevicePropertyDeviceCanBeDefaultDevice, 0, 1},
        {kAudioDevicePropertyDeviceCanBeDefaultDevice, 1, 0},
        {kAudioDevicePropertyDeviceCanBeDefaultSystemDevice, 0, 1},
        {kAudioDevicePropertyLatency, 0, 33},
        {kAudioDevicePropertySafetyOffset, 0, 17},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(Text(theCase.mSelector) + " section " + std::to_string(theCase.mSection));
        HPPropertyAddress theAddress(theCase.mSelector, 0, theCase.mSection);
        EXPECT_TRUE(mDevice.HasProperty(theAddress));
        EXPECT_FALSE(mDevice.PropertyIsSettable(theAddress));
        EXPECT_EQ(mDevice.GetPropertyDataSize(theAddress), sizeof(UInt32));
        EXPECT_EQ(GetUInt32(theCase.mSelector, theCase.mSection), theCase.mExpected);
    }
}

TEST_F(HPDeviceTest, IsRunningAndIsRunningSomewhereBothFollowTheEngine)
{
    mDevice.StartEngine();
    EXPECT_EQ(GetUInt32(kAudioDevicePropertyDeviceIsRunning, 0), 1u);
    EXPECT_EQ(GetUInt32(kAudioDevicePropertyDeviceIsRunningSomewhere, 0), 1u);
    mDevice.StopEngine();
    EXPECT_EQ(GetUInt32(kAudioDevicePropertyDeviceIsRunning, 0), 0u);
    EXPECT_EQ(GetUInt32(kAudioDevicePropertyDeviceIsRunningSomewhere, 0), 0u);
}

// Every fixed-size property refuses any other size with '!siz' and its own
// line, before it computes or writes anything.
TEST_F(HPDeviceTest, FixedSizePropertiesRefuseAnyOtherSizeWithTheirMessage)
{
    const std::string thePrefix = "HPDevice::GetPropertyData: wrong data size for ";
    struct Case {
        UInt32 mSelector;
        const char* mConstant;
        UInt32 mRightSize;
    };
    const Case theCases[] = {
        {kAudioDevicePropertyDeviceNameCFString, "kAudioDevicePropertyDeviceNameCFString", sizeof(CFStringRef)},
        {kAudioDevicePropertyDeviceManufacturerCFString, "kAudioDevicePropertyDeviceManufacturerCFString",
         sizeof(CFStringRef)},
        {kAudioDevicePropertyDeviceUID, "kAudioDevicePropertyDeviceUID", sizeof(CFStringRef)},
        {kAudioDevicePropertyTransportType, "kAudioDevicePropertyTransportType", 4},
        {kAudioDevicePropertyDeviceIsAlive, "kAudioDevicePropertyDeviceIsAlive", 4},
        {kAudioDevicePropertyDeviceIsRunning, "kAudioDevicePropertyDeviceIsRunning", 4},
        {kAudioDevicePropertyDeviceIsRunningSomewhere, "kAudioDevicePropertyDeviceIsRunningSomewhere", 4},
        {kAudioDevicePropertyDeviceCanBeDefaultDevice, "kAudioDevicePropertyDeviceCanBeDefaultDevice", 4},
        {kAudioDevicePropertyDeviceCanBeDefaultSystemDevice, "kAudioDevicePropertyDeviceCanBeDefaultSystemDevice",
         4},
        {kAudioDevicePropertyLatency, "kAudioDevicePropertyLatency", 4},
        {kAudioDevicePropertySafetyOffset, "kAudioDevicePropertySafetyOffset", 4},
        {kAudioDevicePropertyIOProcStreamUsage, "kAudioDevicePropertyIOProcStreamUsage",
         AudioHardwareIOProcStreamUsageSize(1)},
        {kAudioDevicePropertyActualSampleRate, "kAudioDevicePropertyActualSampleRate", 8},
    };
    for (const Case& theCase : theCases) {
        for (UInt32 theSize : {theCase.mRightSize - 1, theCase.mRightSize + 1, UInt32(0)}) {
            SCOPED_TRACE(std::string(theCase.mConstant) + " size " + std::to_string(theSize));
            unsigned char theBuffer[64];
            std::memset(theBuffer, 0xA5, sizeof(theBuffer));
            UInt32 theIOSize = theSize;
            Outcome theOutcome = Capture([&] {
                mDevice.GetPropertyData(HPPropertyAddress(theCase.mSelector, 0, 0), theIOSize, theBuffer);
            });
            EXPECT_EQ(theOutcome.mStatus, kAudioHardwareBadPropertySizeError);
            EXPECT_EQ(theOutcome.mMessage, thePrefix + theCase.mConstant + "\n");
            EXPECT_EQ(theIOSize, theSize);
            for (unsigned char theByte : theBuffer) {
                ASSERT_EQ(theByte, 0xA5);
            }
        }
    }
}

// The manufacturer reference used to have no size check: a short buffer
// received a full pointer.
TEST_F(HPDeviceTest, ManufacturerReferenceIntoAShortBufferIsRefusedNotOverrun)
{
    unsigned char theBuffer[sizeof(CFStringRef) + 4];
    std::memset(theBuffer, 0x5A, sizeof(theBuffer));
    UInt32 theSize = 4;
    Outcome theOutcome = Capture([&] {
        mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyDeviceManufacturerCFString, 0, 0), theSize,
                                theBuffer);
    });
    EXPECT_EQ(theOutcome.mStatus, kAudioHardwareBadPropertySizeError);
    EXPECT_EQ(theOutcome.mMessage, "HPDevice::GetPropertyData: wrong data size for "
                                   "kAudioDevicePropertyDeviceManufacturerCFString\n");
    for (unsigned char theByte : theBuffer) {
        EXPECT_EQ(theByte, 0x5A);
    }
}

TEST_F(HPDeviceTest, StringReferencesAreCopiesTheCallerReleases)
{
    struct Case {
        UInt32 mSelector;
        const char* mExpected;
    };
    const Case theCases[] = {
        {kAudioDevicePropertyDeviceNameCFString, "Test Device"},
        {kAudioDevicePropertyDeviceManufacturerCFString, "Kestro Test Maker"},
        {kAudioDevicePropertyDeviceUID, "TestDevice:0"},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(Text(theCase.mSelector));
        HPPropertyAddress theAddress(theCase.mSelector, 0, 0);
        EXPECT_TRUE(mDevice.HasProperty(theAddress));
        EXPECT_FALSE(mDevice.PropertyIsSettable(theAddress));
        ASSERT_EQ(mDevice.GetPropertyDataSize(theAddress), sizeof(CFStringRef));
        CFStringRef theString = nullptr;
        UInt32 theSize = sizeof(theString);
        mDevice.GetPropertyData(theAddress, theSize, &theString);
        EXPECT_EQ(theSize, sizeof(CFStringRef));
        ASSERT_NE(theString, nullptr);
        EXPECT_EQ(StringOf(theString), theCase.mExpected);
    }
}

TEST_F(HPDeviceTest, NamesAreTerminatedStringsCutToTheBuffer)
{
    mDevice.mName = "Kestro Out";
    struct Case {
        UInt32 mSelector;
        UInt32 mBufferSize;
        const char* mExpected;
        UInt32 mExpectedSize;
    };
    const Case theCases[] = {
        {kAudioDevicePropertyDeviceName, 64, "Kestro Out", 11},
        {kAudioDevicePropertyDeviceName, 4, "Kes", 4},
        {kAudioDevicePropertyDeviceName, 1, "", 1},
        {kAudioDevicePropertyDeviceManufacturer, 64, "Kestro Test Maker", 18},
        {kAudioDevicePropertyDeviceManufacturer, 7, "Kestro", 7},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(Text(theCase.mSelector) + " buffer " + std::to_string(theCase.mBufferSize));
        char theBuffer[65];  // one guard byte beyond the largest buffer
        std::memset(theBuffer, 'x', sizeof(theBuffer));
        UInt32 theSize = theCase.mBufferSize;
        mDevice.GetPropertyData(HPPropertyAddress(theCase.mSelector, 0, 0), theSize, theBuffer);
        EXPECT_EQ(theSize, theCase.mExpectedSize);
        EXPECT_STREQ(theBuffer, theCase.mExpected);
        EXPECT_EQ(theBuffer[theCase.mBufferSize], 'x') << "wrote past the buffer";
    }
    EXPECT_EQ(mDevice.GetPropertyDataSize(HPPropertyAddress(kAudioDevicePropertyDeviceName, 0, 0)), 11u);
    EXPECT_EQ(mDevice.GetPropertyDataSize(HPPropertyAddress(kAudioDevicePropertyDeviceManufacturer, 0, 0)), 18u);
}

TEST_F(HPDeviceTest, MissingNameIsAnEmptyString)
{
    mDevice.mName = nullptr;
    EXPECT_EQ(mDevice.GetPropertyDataSize(HPPropertyAddress(kAudioDevicePropertyDeviceName, 0, 0)), 1u);
    char theBuffer[8] = "abc";
    UInt32 theSize = sizeof(theBuffer);
    mDevice.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyDeviceName, 0, 0), theSize, theBuffer);
    EXPECT_EQ(theSize, 1u);
    EXPECT_STREQ(theBuffer, "");
}

// The host must not be able to make the device write through a null pointer.
TEST_F(HPDeviceTest, NullDataWithASizeIsRefused)
{
    for (UInt32 theSelector : {kAudioDevicePropertyDeviceName, kAudioDevicePropertyTransportType,
                               kAudioDevicePropertyDeviceNameCFString}) {
        SCOPED_TRACE(Text(theSelector));
        HPPropertyAddress theAddress(theSelector, 0, 0);
        UInt32 theSize = mDevice.GetPropertyDataSize(theAddress);
        Outcome theOutcome = Capture([&] { mDevice.GetPropertyData(theAddress, theSize, nullptr); });
        EXPECT_EQ(theOutcome.mStatus, kAudioHardwareIllegalOperationError);
        EXPECT_EQ(theOutcome.mMessage, "HPDevice::GetPropertyData: the data can't be NULL\n");
    }
}

TEST_F(HPDeviceTest, SectionRulesOfLatencySafetyOffsetAndSystemDefault)
{
    struct Case {
        UInt32 mSelector;
        OSStatus mStatus;
        const char* mMessage;
    };
    const Case theCases[] = {
        {kAudioDevicePropertyLatency, kAudioHardwareUnknownPropertyError,
         "HPDevice::GetPropertyData: kAudioDevicePropertyLatency: device doesn't have given section\n"},
        {kAudioDevicePropertySafetyOffset, kAudioHardwareUnknownPropertyError,
         "HPDevice::GetPropertyData: kAudioDevicePropertySafetyOffset: device doesn't have given section\n"},
        {kAudioDevicePropertyDeviceCanBeDefaultSystemDevice, kAudioHardwareBadPropertySizeError,
         "HPDevice::GetPropertyData: kAudioDevicePropertyDeviceCanBeDefaultSystemDevice only exists for output\n"},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(Text(theCase.mSelector));
        // The device has no input stream: section 1 is missing.
        for (UInt32 theChannel : {0u, 1u, 7u}) {
            EXPECT_FALSE(mDevice.HasProperty(HPPropertyAddress(theCase.mSelector, theChannel, 1)));
        }
        EXPECT_TRUE(mDevice.HasProperty(HPPropertyAddress(theCase.mSelector, 0, 0)));
        UInt32 theValue = 0xDEADBEEF;
        UInt32 theSize = sizeof(theValue);
        Outcome theOutcome =
            Capture([&] { mDevice.GetPropertyData(HPPropertyAddress(theCase.mSelector, 0, 1), theSize, &theValue); });
        EXPECT_EQ(theOutcome.mStatus, theCase.mStatus);
        EXPECT_EQ(theOutcome.mMessage, theCase.mMessage);
        EXPECT_EQ(theValue, 0xDEADBEEF);
    }
}

TEST_F(HPDeviceTest, SettableAnswers)
{
    for (UInt32 theSelector :
         {kAudioDevicePropertyDeviceName, kAudioDevicePropertyDeviceNameCFString,
          kAudioDevicePropertyDeviceManufacturer,
          kAudioDevicePropertyDeviceManufacturerCFString, kAudioDevicePropertyDeviceUID,
          kAudioDevicePropertyTransportType, kAudioDevicePropertyDeviceIsAlive, kAudioDevicePropertyDeviceIsRunning,
          kAudioDevicePropertyDeviceIsRunningSomewhere, kAudioDevicePropertyDeviceCanBeDefaultDevice,
          kAudioDevicePropertyDeviceCanBeDefaultSystemDevice, kAudioDevicePropertyLatency,
          kAudioDevicePropertySafetyOffset, kAudioDevicePropertyActualSampleRate}) {
        EXPECT_FALSE(mDevice.PropertyIsSettable(HPPropertyAddress(theSelector, 0, 0))) << Text(theSelector);
    }
    EXPECT_TRUE(mDevice.PropertyIsSettable(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1)));
}

TEST_F(HPDeviceTest, UnknownSelectorGoesToTheEmptyPropertyTable)
{
    HPPropertyAddress theAddress(FourCC("zzzz"), 0, 0);
    EXPECT_FALSE(mDevice.HasProperty(theAddress));
    Outcome theOutcome = Capture([&] { mDevice.GetPropertyDataSize(theAddress); });
    EXPECT_EQ(theOutcome.mStatus, kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(theOutcome.mMessage, "");
}

// ---------------------------------------------------------------------------
// Sample rates

TEST_F(HPDeviceTest, ActualRateIsTheFirstOutputStreamsRate)
{
    HPPropertyAddress theAddress(kAudioDevicePropertyActualSampleRate, 0, 1);
    EXPECT_TRUE(mDevice.HasProperty(theAddress));
    EXPECT_EQ(mDevice.GetPropertyDataSize(theAddress), sizeof(Float64));
    Float64 theRate = 0;
    UInt32 theSize = sizeof(theRate);
    mDevice.GetPropertyData(theAddress, theSize, &theRate);
    EXPECT_EQ(theRate, 48000.0);
}

TEST(HPDeviceSampleRateTest, RateComesFromOutputFirstThenInputAndIsZeroWithoutStreams)
{
    TestDevice theDevice;
    EXPECT_EQ(theDevice.GetNominalSampleRate(), 0.0);
    EXPECT_EQ(theDevice.GetActualSampleRate(), 0.0);

    TestStream theInput(nullptr, &theDevice, 301, true, 1,
                        {{AudioValueRange{44100.0, 44100.0}, TestStream::MakeIntegerFormat(44100.0, 2, 16)}},
                        TestStream::MakeIntegerFormat(44100.0, 2, 16));
    theInput.Initialize();
    theDevice.AddStream(&theInput);
    EXPECT_EQ(theDevice.GetNominalSampleRate(), 44100.0);

    TestStream theOutput(nullptr, &theDevice, 302, false, 1, 2);
    theOutput.Initialize();
    theDevice.AddStream(&theOutput);
    EXPECT_EQ(theDevice.GetNominalSampleRate(), 48000.0);
    EXPECT_EQ(theDevice.GetActualSampleRate(), 48000.0);

    theDevice.RemoveStream(&theOutput);
    theDevice.RemoveStream(&theInput);
    theOutput.Teardown();
    theInput.Teardown();
}

// ---------------------------------------------------------------------------
// 'suse'

class HPDeviceStreamUsageTest : public testing::Test {
protected:
    HPDeviceStreamUsageTest()
        : mInput1(nullptr, &mDevice, 211, true, 1, 2), mInput3(nullptr, &mDevice, 213, true, 3, 2)
    {
        mInput1.Initialize();
        mInput3.Initialize();
        mDevice.AddStream(&mInput1);
        mDevice.AddStream(&mInput3);
    }
    ~HPDeviceStreamUsageTest() override
    {
        mDevice.RemoveStream(&mInput1);
        mDevice.RemoveStream(&mInput3);
        mInput1.Teardown();
        mInput3.Teardown();
    }

    // The words of a usage record for inIOProc with inFlags.
    static std::vector<UInt32> MakeRecord(AudioDeviceIOProc inIOProc, std::vector<UInt32> inFlags)
    {
        std::vector<UInt32> theRecord(AudioHardwareIOProcStreamUsageSize(UInt32(inFlags.size())) / 4 + 1, 0);
        auto* theUsage = reinterpret_cast<AudioHardwareIOProcStreamUsage*>(theRecord.data());
        std::memcpy(&theUsage->mIOProc, &inIOProc, sizeof(inIOProc));
        theUsage->mNumberStreams = UInt32(inFlags.size());
        for (size_t theIndex = 0; theIndex < inFlags.size(); ++theIndex) {
            theUsage->mStreamIsOn[theIndex] = inFlags[theIndex];
        }
        return theRecord;
    }

    // Reads 'suse' for inIOProc: the stream count and one flag per stream.
    std::vector<UInt32> ReadUsage(AudioDeviceIOProc inIOProc)
    {
        std::vector<UInt32> theRecord = MakeRecord(inIOProc, {0xEE, 0xEE, 0xEE});
        auto* theUsage = reinterpret_cast<AudioHardwareIOProcStreamUsage*>(theRecord.data());
        theUsage->mNumberStreams = 0xEE;
        HPPropertyAddress theAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1);
        UInt32 theSize = mDevice.GetPropertyDataSize(theAddress);
        mDevice.GetPropertyData(theAddress, theSize, theRecord.data());
        AudioDeviceIOProc theIOProc = nullptr;
        std::memcpy(&theIOProc, &theUsage->mIOProc, sizeof(theIOProc));
        EXPECT_EQ(theIOProc, inIOProc) << "the IOProc word is left as given";
        std::vector<UInt32> theResult{theUsage->mNumberStreams};
        for (UInt32 theIndex = 0; theIndex < mDevice.GetNumberStreams(true); ++theIndex) {
            theResult.push_back(theUsage->mStreamIsOn[theIndex]);
        }
        return theResult;
    }

    TestDevice mDevice;
    TestStream mInput1;
    TestStream mInput3;
};

TEST_F(HPDeviceStreamUsageTest, SizeIsTheRecordForTheSectionsStreams)
{
    EXPECT_TRUE(mDevice.HasProperty(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1)));
    EXPECT_EQ(mDevice.GetPropertyDataSize(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1)),
              AudioHardwareIOProcStreamUsageSize(2));
    EXPECT_EQ(mDevice.GetPropertyDataSize(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 0)),
              AudioHardwareIOProcStreamUsageSize(0));
    // The record holds the IOProc in a pointer-wide field.
    EXPECT_EQ(AudioHardwareIOProcStreamUsageSize(2), offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn) + 8);
}

TEST_F(HPDeviceStreamUsageTest, ReadsUnknownAsNoneUnsetAsAllAndSetAsSet)
{
    EXPECT_EQ(ReadUsage(IOProcA), (std::vector<UInt32>{2, 0, 0}));
    mDevice.DoAddIOProc(IOProcA, nullptr);
    EXPECT_EQ(ReadUsage(IOProcA), (std::vector<UInt32>{2, 1, 1}));

    std::vector<UInt32> theRecord = MakeRecord(IOProcA, {7, 0});
    mDevice.SetPropertyData(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1),
                            AudioHardwareIOProcStreamUsageSize(2), theRecord.data(), nullptr);
    EXPECT_EQ(ReadUsage(IOProcA), (std::vector<UInt32>{2, 1, 0}));
    EXPECT_EQ(mDevice.mStreamUsageChangedCount.load(), 1u);
}

TEST_F(HPDeviceStreamUsageTest, WrongSizesAreRefusedAndChangeNothing)
{
    mDevice.DoAddIOProc(IOProcA, nullptr);
    std::vector<UInt32> theRecord = MakeRecord(IOProcA, {0, 0, 0});
    HPPropertyAddress theAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1);
    UInt32 theRightSize = AudioHardwareIOProcStreamUsageSize(2);
    for (UInt32 theSize : {theRightSize - 4, theRightSize + 4}) {
        SCOPED_TRACE(theSize);
        Outcome theSetOutcome =
            Capture([&] { mDevice.SetPropertyData(theAddress, theSize, theRecord.data(), nullptr); });
        EXPECT_EQ(theSetOutcome.mStatus, kAudioHardwareBadPropertySizeError);
        EXPECT_EQ(theSetOutcome.mMessage,
                  "HPDevice::SetPropertyData: wrong data size for kAudioDevicePropertyIOProcStreamUsage\n");
        EXPECT_EQ(ReadUsage(IOProcA), (std::vector<UInt32>{2, 1, 1}));
        EXPECT_EQ(mDevice.mStreamUsageChangedCount.load(), 0u);

        UInt32 theIOSize = theSize;
        Outcome theGetOutcome = Capture([&] { mDevice.GetPropertyData(theAddress, theIOSize, theRecord.data()); });
        EXPECT_EQ(theGetOutcome.mStatus, kAudioHardwareBadPropertySizeError);
        EXPECT_EQ(theGetOutcome.mMessage,
                  "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyIOProcStreamUsage\n");
    }
}

TEST_F(HPDeviceStreamUsageTest, SettingForAnUnknownIOProcChangesNothing)
{
    std::vector<UInt32> theRecord = MakeRecord(IOProcA, {1, 0});
    mDevice.SetPropertyData(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1),
                            AudioHardwareIOProcStreamUsageSize(2), theRecord.data(), nullptr);
    EXPECT_FALSE(mDevice.IsIOProcRegistered(IOProcA));
    EXPECT_EQ(mDevice.mStreamUsageChangedCount.load(), 0u);
    EXPECT_EQ(ReadUsage(IOProcA), (std::vector<UInt32>{2, 0, 0}));
}

// A usage array chosen for two streams used to be read with the device's
// current stream count: a third stream read past the end of the array.
TEST_F(HPDeviceStreamUsageTest, UsageChosenBeforeAStreamWasAddedCountsTheNewStreamAsUsed)
{
    mDevice.DoAddIOProc(IOProcA, nullptr);
    std::vector<UInt32> theRecord = MakeRecord(IOProcA, {0, 0});
    mDevice.SetPropertyData(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 1),
                            AudioHardwareIOProcStreamUsageSize(2), theRecord.data(), nullptr);

    TestStream theInput5(nullptr, &mDevice, 215, true, 5, 2);
    theInput5.Initialize();
    mDevice.AddStream(&theInput5);
    EXPECT_EQ(ReadUsage(IOProcA), (std::vector<UInt32>{3, 0, 0, 1}));
    const HPIOProcInfo* theInfo = mDevice.GetIOProcInfo(IOProcA);
    ASSERT_NE(theInfo, nullptr);
    EXPECT_EQ(theInfo->mInputStreamUsageCount, 2u);
    EXPECT_TRUE(theInfo->IsStreamUsed(true, 2));
    EXPECT_TRUE(theInfo->IsStreamUsed(false, 0)) << "the other direction was never chosen";
    mDevice.RemoveStream(&theInput5);
    theInput5.Teardown();
}

TEST_F(HPDeviceStreamUsageTest, SetIsRefusedWhileAnotherProcessHoldsHogMode)
{
    class HoggedDevice : public TestDevice {
    public:
        bool HogModeOwnedBySelfOrIsFree() override { return false; }
    };
    HoggedDevice theDevice;
    std::vector<UInt32> theRecord = MakeRecord(IOProcA, {});
    Outcome theOutcome = Capture([&] {
        theDevice.SetPropertyData(HPPropertyAddress(kAudioDevicePropertyIOProcStreamUsage, 0, 0),
                                  AudioHardwareIOProcStreamUsageSize(0), theRecord.data(), nullptr);
    });
    EXPECT_EQ(theOutcome.mStatus, kAudioDevicePermissionsError);
    EXPECT_EQ(theOutcome.mMessage,
              "HPDevice::SetPropertyData: can't set property because hog mode is owned by another process\n");
    EXPECT_EQ(theDevice.mStartCommandExecutionCount.load(), 0u);
}

// ---------------------------------------------------------------------------
// Streams

class HPDeviceStreamOrderTest : public testing::Test {
protected:
    HPDeviceStreamOrderTest()
        : mStream5(nullptr, &mDevice, 205, false, 5, 2),
          mStream1(nullptr, &mDevice, 201, false, 1, 2),
          mStream3(nullptr, &mDevice, 203, false, 3, 2)
    {
        for (TestStream* theStream : {&mStream5, &mStream1, &mStream3}) {
            theStream->Initialize();
            mDevice.AddStream(theStream);
        }
    }
    ~HPDeviceStreamOrderTest() override
    {
        for (TestStream* theStream : {&mStream5, &mStream1, &mStream3}) {
            mDevice.RemoveStream(theStream);
            theStream->Teardown();
        }
    }

    TestDevice mDevice;
    TestStream mStream5;
    TestStream mStream1;
    TestStream mStream3;
};

TEST_F(HPDeviceStreamOrderTest, StreamsAreKeptInStartingChannelOrder)
{
    EXPECT_EQ(mDevice.GetNumberStreams(false), 3u);
    EXPECT_EQ(mDevice.GetNumberStreams(true), 0u);
    EXPECT_TRUE(mDevice.HasSection(false));
    EXPECT_FALSE(mDevice.HasSection(true));
    EXPECT_EQ(mDevice.GetStreamByIndex(false, 0), &mStream1);
    EXPECT_EQ(mDevice.GetStreamByIndex(false, 1), &mStream3);
    EXPECT_EQ(mDevice.GetStreamByIndex(false, 2), &mStream5);
    EXPECT_EQ(mDevice.GetStreamByIndex(false, 3), nullptr);
    EXPECT_EQ(mDevice.GetStreamByIndex(true, 0), nullptr);
    EXPECT_EQ(mDevice.GetTotalNumberChannels(false), 6u);
    EXPECT_EQ(mDevice.GetTotalNumberChannels(true), 0u);
}

TEST_F(HPDeviceStreamOrderTest, DeviceChannelFindsTheStreamCarryingIt)
{
    struct Case {
        bool mIsInput;
        UInt32 mChannel;
        HPStream* mExpected;
    };
    const Case theCases[] = {
        {false, 0, &mStream1},  // the check has no lower bound
        {false, 1, &mStream1}, {false, 2, &mStream1}, {false, 3, &mStream3}, {false, 4, &mStream3},
        {false, 5, &mStream5}, {false, 6, &mStream5}, {false, 7, nullptr},   {true, 1, nullptr},
    };
    for (const Case& theCase : theCases) {
        EXPECT_EQ(mDevice.GetStreamByDeviceChannel(theCase.mIsInput, theCase.mChannel), theCase.mExpected)
            << (theCase.mIsInput ? "input" : "output") << " channel " << theCase.mChannel;
    }
}

TEST_F(HPDeviceStreamOrderTest, EqualStartingChannelGoesFirstAndRemovalIgnoresStrangers)
{
    TestStream theOther3(nullptr, &mDevice, 233, false, 3, 2);
    mDevice.AddStream(&theOther3);
    EXPECT_EQ(mDevice.GetStreamByIndex(false, 1), &theOther3);
    EXPECT_EQ(mDevice.GetStreamByIndex(false, 2), &mStream3);
    mDevice.RemoveStream(&theOther3);
    mDevice.RemoveStream(&theOther3);
    TestStream theInput(nullptr, &mDevice, 234, true, 1, 2);
    mDevice.RemoveStream(&theInput);
    EXPECT_EQ(mDevice.GetNumberStreams(false), 3u);
    EXPECT_EQ(mDevice.GetStreamByIndex(false, 1), &mStream3);
}

TEST_F(HPDeviceStreamOrderTest, BufferListHasOneBufferPerStreamWithMemoryOnlyWhereUsed)
{
    mDevice.SetIOBufferFrameSize(64);
    const bool theUsage[] = {true, false, true};
    AudioBufferList* theList = mDevice.AllocateAudioBufferList(false, theUsage);
    ASSERT_NE(theList, nullptr);
    ASSERT_EQ(theList->mNumberBuffers, 3u);
    for (UInt32 theIndex = 0; theIndex < 3; ++theIndex) {
        EXPECT_EQ(theList->mBuffers[theIndex].mNumberChannels, 2u);
        EXPECT_EQ(theList->mBuffers[theIndex].mDataByteSize, 64u * 8u);
        EXPECT_EQ(theList->mBuffers[theIndex].mData != nullptr, theUsage[theIndex]);
    }
    std::memset(theList->mBuffers[2].mData, 0, theList->mBuffers[2].mDataByteSize);
    mDevice.FreeAudioBufferList(theList);

    AudioBufferList* theFullList = mDevice.AllocateAudioBufferList(false, nullptr);
    for (UInt32 theIndex = 0; theIndex < 3; ++theIndex) {
        EXPECT_NE(theFullList->mBuffers[theIndex].mData, nullptr);
    }
    mDevice.FreeAudioBufferList(theFullList);
    mDevice.FreeAudioBufferList(nullptr);
}

// ---------------------------------------------------------------------------
// Controls

class HPDeviceControlTest : public testing::Test {
protected:
    HPDeviceControlTest() : mInput(nullptr, &mDevice, 221, true, 3, 2)
    {
        mInput.Initialize();
        mDevice.AddStream(&mInput);
    }
    ~HPDeviceControlTest() override
    {
        mDevice.RemoveStream(&mInput);
        mInput.Teardown();
    }

    template <typename Control>
    Control* AddDeviceControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection)
    {
        auto* theControl = new Control(inClassID, inChannel, inSection, &mDevice);
        theControl->Initialize();
        mDevice.AddControl(theControl);
        return theControl;
    }

    static std::vector<std::pair<std::string, UInt32>> Describe(const std::vector<HPPropertyAddress>& inAddresses)
    {
        std::vector<std::pair<std::string, UInt32>> theResult;
        for (const HPPropertyAddress& theAddress : inAddresses) {
            theResult.emplace_back(Text(theAddress.mSelector) + (theAddress.mSection != 0 ? " in" : " out"),
                                   theAddress.mChannel);
        }
        return theResult;
    }

    TestDevice mDevice;
    TestStream mInput;  // device channels 3 and 4
};

TEST_F(HPDeviceControlTest, LookupFallsBackToTheStreamOnlyForAChannelOfOneSection)
{
    HPControl* theMaster = AddDeviceControl<TestLevelControl>(kAudioDevicePropertyVolumeScalar, 0, 1);
    auto* theStreamControl = new TestBooleanControl(kAudioDevicePropertyMute, 2, 1, &mInput);
    mInput.AddControl(theStreamControl);

    EXPECT_EQ(mDevice.GetControl(kAudioDevicePropertyVolumeScalar, 0, 1), theMaster);
    // Device channel 4 is the stream's channel 2.
    EXPECT_EQ(mDevice.GetControl(kAudioDevicePropertyMute, 4, 1), theStreamControl);
    EXPECT_EQ(mDevice.GetControl(kAudioDevicePropertyMute, 3, 1), nullptr);
    EXPECT_EQ(mDevice.GetControl(kAudioDevicePropertyMute, 4, 0), nullptr) << "no output stream";
    EXPECT_EQ(mDevice.GetControl(kAudioDevicePropertyMute, 4, HPControl::kAllSections), nullptr);
    // Channel 1 lies below the stream's first channel: no stream channel.
    EXPECT_EQ(mDevice.GetControl(kAudioDevicePropertyMute, 1, 1), nullptr);
    // The master channel never reaches the streams.
    auto* theStreamMaster = new TestBooleanControl(kAudioDevicePropertyMute, 0, 1, &mInput);
    mInput.AddControl(theStreamMaster);
    EXPECT_EQ(mDevice.GetControl(kAudioDevicePropertyMute, 0, 1), nullptr);
}

TEST_F(HPDeviceControlTest, ValueAndRangeChangesNotifyByControlClass)
{
    struct Case {
        UInt32 mClassID;
        std::vector<std::string> mValueSelectors;
        std::vector<std::string> mRangeSelectors;
    };
    const Case theCases[] = {
        {kAudioDevicePropertyVolumeScalar, {"volm", "vold"}, {"vdb#"}},
        {kAudioDevicePropertyMute, {"mute"}, {}},
        {kAudioDevicePropertyPlayThru, {"thru"}, {}},
        {kAudioDevicePropertyDataSource, {"ssrc"}, {"ssc#"}},
        {kAudioDevicePropertyClockSource, {"csrc"}, {"csc#"}},
        {FourCC("gain"), {}, {}},
    };
    UInt32 theChannel = 1;
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(Text(theCase.mClassID));
        HPControl* theControl = AddDeviceControl<TestBooleanControl>(theCase.mClassID, theChannel, 0);
        for (bool isValue : {true, false}) {
            mDevice.ClearNotifications();
            if (isValue) {
                mDevice.ControlValueChanged(theControl);
            } else {
                mDevice.ControlRangeChanged(theControl);
            }
            std::vector<std::pair<std::string, UInt32>> theExpected;
            for (const std::string& theSelector : isValue ? theCase.mValueSelectors : theCase.mRangeSelectors) {
                theExpected.emplace_back(theSelector + " out", theChannel);
            }
            EXPECT_EQ(Describe(mDevice.GetNotifications()), theExpected) << (isValue ? "value" : "range");
        }
        ++theChannel;
    }
}

TEST_F(HPDeviceControlTest, AllSectionsVolumeNotifiesInputThenOutput)
{
    HPControl* theControl = AddDeviceControl<TestLevelControl>(kAudioDevicePropertyVolumeScalar, 0,
                                                               HPControl::kAllSections);
    mDevice.ControlValueChanged(theControl);
    EXPECT_EQ(Describe(mDevice.GetNotifications()),
              (std::vector<std::pair<std::string, UInt32>>{{"volm in", 0}, {"vold in", 0}, {"volm out", 0},
                                                           {"vold out", 0}}));
    mDevice.ClearNotifications();
    mDevice.ControlRangeChanged(theControl);
    EXPECT_EQ(Describe(mDevice.GetNotifications()),
              (std::vector<std::pair<std::string, UInt32>>{{"vdb# in", 0}, {"vdb# out", 0}}));
}

TEST_F(HPDeviceControlTest, StreamControlNotifiesOnItsDeviceChannelAndStrangersAreIgnored)
{
    auto* theStreamControl = new TestBooleanControl(kAudioDevicePropertyMute, 2, 1, &mInput);
    mInput.AddControl(theStreamControl);
    UInt32 theChannel = 99;
    EXPECT_EQ(mDevice.GetControlOwnerIfStream(theStreamControl, theChannel), &mInput);
    EXPECT_EQ(theChannel, 4u);
    mDevice.ControlValueChanged(theStreamControl);
    EXPECT_EQ(Describe(mDevice.GetNotifications()), (std::vector<std::pair<std::string, UInt32>>{{"mute in", 4}}));

    mDevice.ClearNotifications();
    HPControlOwner theStranger;
    auto* theStrangeControl = new TestBooleanControl(kAudioDevicePropertyMute, 1, 1, &theStranger);
    theStranger.AddControl(theStrangeControl);
    theChannel = 99;
    EXPECT_EQ(mDevice.GetControlOwnerIfStream(theStrangeControl, theChannel), nullptr);
    EXPECT_EQ(theChannel, 99u);
    mDevice.ControlValueChanged(theStrangeControl);
    mDevice.ControlRangeChanged(theStrangeControl);
    EXPECT_TRUE(mDevice.GetNotifications().empty());
}

// ---------------------------------------------------------------------------
// Notifications and hog mode

TEST(HPDevicePropertyChangedTest, HostErrorIsPrintedAndSwallowed)
{
    // No plug-in: the host refuses the notification (or takes it quietly).
    OSStatus theHostError = AudioHardwareDevicePropertyChanged(nullptr, TestDevice::kDefaultDeviceID, 0, false,
                                                               kAudioDevicePropertyDeviceIsRunning);
    TestDevice theDevice;
    theDevice.mForwardNotifications = true;
    Outcome theOutcome =
        Capture([&] { theDevice.PropertyChanged(HPPropertyAddress(kAudioDevicePropertyDeviceIsRunning, 0, 0)); });
    EXPECT_EQ(theOutcome.mStatus, 0);
    if (theHostError != 0) {
        EXPECT_EQ(theOutcome.mMessage,
                  "HPDevice::PropertyChanged: got an error from AudioHardwareDevicePropertyChanged, Error: " +
                      std::to_string(long(theHostError)) + "\n");
    } else {
        EXPECT_EQ(theOutcome.mMessage, "");
    }
}

TEST(HPDeviceHogModeTest, HooksNotifyEachSectionTheDeviceHasAndTakenByOtherStopsAll)
{
    TestDevice theDevice;
    EXPECT_TRUE(theDevice.HogModeOwnedBySelfOrIsFree());
    theDevice.HogModeTakenBySelf();
    EXPECT_TRUE(theDevice.GetNotifications().empty()) << "a device without streams has no section";

    TestStream theInput(nullptr, &theDevice, 241, true, 1, 2);
    TestStream theOutput(nullptr, &theDevice, 242, false, 1, 2);
    theInput.Initialize();
    theOutput.Initialize();
    theDevice.AddStream(&theOutput);
    theDevice.AddStream(&theInput);

    theDevice.DoAddIOProc(IOProcA, nullptr);
    theDevice.DoStartIOProc(IOProcA);
    theDevice.DoStartIOProc(nullptr);
    ASSERT_TRUE(theDevice.IsEngineRunning());

    using Hook = void (HPDevice::*)();
    for (Hook theHook : {&HPDevice::HogModeTakenBySelf, &HPDevice::HogModeReleasedBySelf,
                         &HPDevice::HogModeReleasedByOther, &HPDevice::HogModeTakenByOther}) {
        theDevice.ClearNotifications();
        (theDevice.*theHook)();
        std::vector<HPPropertyAddress> theNotifications = theDevice.GetNotifications();
        ASSERT_EQ(theNotifications.size(), 2u);
        EXPECT_EQ(theNotifications[0].mSelector, kAudioDevicePropertyHogMode);
        EXPECT_EQ(theNotifications[0].mSection, 1);
        EXPECT_EQ(theNotifications[1].mSelector, kAudioDevicePropertyHogMode);
        EXPECT_EQ(theNotifications[1].mSection, 0);
        EXPECT_EQ(theNotifications[1].mChannel, 0u);
    }
    // Taken by another process: every start was stopped.
    EXPECT_FALSE(theDevice.IsEngineRunning());
    EXPECT_EQ(theDevice.GetHostStartCount(), 0u);
    EXPECT_EQ(theDevice.GetNumberStartedIOProcs(), 0u);
    EXPECT_FALSE(theDevice.GetIOProcInfo(IOProcA)->mIsStarted);

    theDevice.DoRemoveIOProc(IOProcA);
    theDevice.RemoveStream(&theInput);
    theDevice.RemoveStream(&theOutput);
    theInput.Teardown();
    theOutput.Teardown();
}

}  // namespace
