// The Orvel device outside the I/O cycle: stream publishing, settings for
// the muxer, buffer-size limits, its own properties, the mute and
// data-source controls.
#include <gtest/gtest.h>

#include "driver/DataSourceControl.h"
#include "driver/MuteControl.h"
#include "framework/HPPropertyAddress.h"
#include "framework/controls/HPControl.h"
#include "support/CAException.h"
#include "tests/driver/DriverFixture.h"

namespace DriverTest {
namespace {

using Zent::CA::HALPlugIn::Orvel::DataSourceControl;
using Zent::CA::HALPlugIn::Orvel::MuteControl;

class OrvelDeviceTest : public DriverFixture {};

struct ConnectorCase {
    UInt32 mSourceCode;
    UInt32 mStreamCode;
    UInt32 mChannels;
    const char* mName;
};

TEST_F(OrvelDeviceTest, InputDevicePublishesTheStreamOfTheUnitsSource)
{
    const ConnectorCase theCases[] = {
        {1, FourCC("isdi"), 8, "SDI - 8 channels"},
        {2, FourCC("iaes"), 4, "AES/EBU - 4 channels"},
        {4, FourCC("iadt"), 8, "ADAT - 8 channels"},
        {8, FourCC("ialg"), 4, "Analog - 4 channels"},
        {16, FourCC("ispd"), 2, "S/PDIF PCM - 2 channels"},
    };
    for (const ConnectorCase& theCase : theCases) {
        SCOPED_TRACE(theCase.mName);
        mMuxer.mSettings.audioinformat = theCase.mSourceCode;
        OrvelDevice* theDevice = MakeDevice(true);
        EXPECT_EQ(theDevice->GetCurrentStreamCode(), theCase.mStreamCode);
        ASSERT_EQ(theDevice->GetNumberStreams(true), 1u);
        HPStream* theStream = theDevice->GetStreamByIndex(true, 0);
        EXPECT_EQ(theStream->GetCurrentNumberChannels(), theCase.mChannels);
        CFStringRef theName = theStream->CopyStreamName();
        char theBuffer[64] = {};
        CFStringGetCString(theName, theBuffer, sizeof(theBuffer), kCFStringEncodingUTF8);
        CFRelease(theName);
        EXPECT_STREQ(theBuffer, theCase.mName);
        EXPECT_EQ(theDevice->GetInputSource(), theCase.mSourceCode);
        // The settings sent to the muxer name that source, 24 bits, 48 kHz.
        ASSERT_FALSE(mMuxer.mApplied.empty());
        EXPECT_EQ(mMuxer.mApplied.back().GetAudioFormat(true), theCase.mSourceCode);
        EXPECT_EQ(mMuxer.mApplied.back().GetWordSizeAsBytes(true), 3u);
        EXPECT_EQ(mMuxer.mApplied.back().GetSampleRate(true), 48000u);
        DestroyDevice(theDevice);
    }
}

TEST_F(OrvelDeviceTest, OutputDevicePublishesOneEightChannelStream)
{
    OrvelDevice* theDevice = MakeDevice(false);
    EXPECT_EQ(theDevice->GetCurrentStreamCode(), FourCC("out "));
    ASSERT_EQ(theDevice->GetNumberStreams(false), 1u);
    EXPECT_EQ(theDevice->GetStreamByIndex(false, 0)->GetCurrentNumberChannels(), 8u);
    EXPECT_EQ(theDevice->GetStreamByIndex(false, 0)->GetTerminalType(), 0x0206u);
    EXPECT_EQ(theDevice->GetInputSource(), 1u);
    ASSERT_FALSE(mMuxer.mApplied.empty());
    EXPECT_FALSE(mMuxer.mAppliedIsInput.back());
    EXPECT_EQ(mMuxer.mApplied.back().GetAudioFormat(false), 1u);
}

TEST_F(OrvelDeviceTest, UnitWithoutInputsGetsNoStreams)
{
    mMuxer.mHasSDI = mMuxer.mHasAES = mMuxer.mHasADAT = mMuxer.mHasSPDIF = mMuxer.mHasAnalog = false;
    OrvelDevice* theDevice = MakeDevice(true);
    EXPECT_EQ(theDevice->GetNumberCreatedStreams(), 0u);
    EXPECT_EQ(theDevice->GetCurrentStream(), nullptr);
    EXPECT_EQ(theDevice->GetNumberStreams(true), 0u);
    theDevice->ResetStream(FourCC("isdi"));
    EXPECT_EQ(theDevice->GetCurrentStream(), nullptr);
}

// The unit names a connector it lacks and has no analog input: the control
// picks the first connector available, and the device publishes that one.
TEST_F(OrvelDeviceTest, MissingConnectorAndNoAnalogSelectsFirstAvailable)
{
    mMuxer.mHasSDI = false;
    mMuxer.mHasAES = false;
    mMuxer.mHasSPDIF = false;
    mMuxer.mHasAnalog = false;
    mMuxer.mSettings.audioinformat = 16;
    OrvelDevice* theDevice = MakeDevice(true);
    EXPECT_EQ(theDevice->GetCurrentStreamCode(), FourCC("iadt"));
    EXPECT_EQ(theDevice->GetDataSourceControl()->GetCurrentItemID(), FourCC("iadt"));
    EXPECT_EQ(theDevice->GetInputSource(), 4u);
    EXPECT_EQ(mMuxer.mApplied.back().GetAudioFormat(true), 4u);
}

TEST_F(OrvelDeviceTest, MissingConnectorFallsBackToAnalog)
{
    mMuxer.mHasSPDIF = false;
    mMuxer.mSettings.audioinformat = 16;
    OrvelDevice* theDevice = MakeDevice(true);
    EXPECT_EQ(theDevice->GetCurrentStreamCode(), FourCC("ialg"));
    EXPECT_EQ(theDevice->GetInputSource(), 8u);
}

TEST_F(OrvelDeviceTest, ResetStreamWithCurrentCodeDoesNothingAndZeroUnpublishes)
{
    OrvelDevice* theDevice = MakeDevice(true);
    AudioStreamID thePublished = theDevice->GetCurrentStream()->GetObjectID();
    AudioHardwareServerClearEvents();
    const size_t theApplied = mMuxer.mApplied.size();

    theDevice->ResetStream(theDevice->GetCurrentStreamCode());
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
    EXPECT_EQ(mMuxer.mApplied.size(), theApplied);

    theDevice->ResetStream(0);
    EXPECT_EQ(theDevice->GetCurrentStream(), nullptr);
    EXPECT_EQ(theDevice->GetNumberStreams(true), 0u);
    EXPECT_EQ(mPlugIn->GetStreamByAudioStreamID(thePublished), nullptr);
    EXPECT_EQ(mMuxer.mApplied.size(), theApplied);
    auto theEvents = AudioHardwareServerCopyEvents();
    ASSERT_EQ(theEvents.size(), 1u);
    EXPECT_EQ(theEvents[0].mKind, AudioHardwareServerEvent::kStreamsDied);
}

TEST_F(OrvelDeviceTest, ResetStreamPublishesThenAnnouncesFormatChangesInOrder)
{
    OrvelDevice* theDevice = MakeDevice(true);
    AudioHardwareServerClearEvents();
    theDevice->ResetStream(FourCC("iaes"));
    EXPECT_EQ(theDevice->GetCurrentStream(), theDevice->GetStreamForCode(FourCC("iaes")));
    std::vector<UInt32> theSelectors;
    std::vector<AudioHardwareServerEvent::Kind> theKinds;
    for (const auto& theEvent : AudioHardwareServerCopyEvents()) {
        theKinds.push_back(theEvent.mKind);
        if (theEvent.mKind == AudioHardwareServerEvent::kDevicePropertyChanged) {
            theSelectors.push_back(theEvent.mSelector);
            EXPECT_TRUE(theEvent.mIsInput);
            EXPECT_EQ(theEvent.mChannel, 0u);
        }
    }
    ASSERT_GE(theKinds.size(), 2u);
    EXPECT_EQ(theKinds[0], AudioHardwareServerEvent::kStreamsDied);
    EXPECT_EQ(theKinds[1], AudioHardwareServerEvent::kStreamsCreated);
    EXPECT_EQ(theSelectors, (std::vector<UInt32>{FourCC("sfmt"), FourCC("dch2"), FourCC("diff")}));
}

TEST_F(OrvelDeviceTest, SetSettingsSendsThisDirectionsCodes)
{
    OrvelDevice* theDevice = MakeDevice(false);
    struct Case {
        UInt32 mBits;
        Float64 mRate;
        UInt32 mWordSizeCode;
        UInt32 mRateCode;
    };
    const Case theCases[] = {{16, 44100, 0, 0}, {24, 48000, 256, 4096}, {16, 96000, 0, 8192}};
    for (const Case& theCase : theCases) {
        AudioStreamBasicDescription theFormat{};
        theFormat.mBitsPerChannel = theCase.mBits;
        theFormat.mSampleRate = theCase.mRate;
        theDevice->SetSettings(theFormat);
        const Zent::Orvel::Settings& theSent = mMuxer.mApplied.back();
        EXPECT_FALSE(mMuxer.mAppliedIsInput.back());
        EXPECT_EQ(theSent.audiooutwordsize, theCase.mWordSizeCode);
        EXPECT_EQ(theSent.audiooutsamplerate, theCase.mRateCode);
        EXPECT_EQ(theSent.audiooutformat, 1u);
        EXPECT_EQ(theDevice->GetSettingsFormat().mSampleRate, theCase.mRate);
    }
}

TEST_F(OrvelDeviceTest, SetSettingsRefusesOtherDepthsAndRatesAndSendsNothing)
{
    OrvelDevice* theDevice = MakeDevice(true);
    const AudioStreamBasicDescription theBefore = theDevice->GetSettingsFormat();
    const size_t theApplied = mMuxer.mApplied.size();
    struct Case {
        UInt32 mBits;
        Float64 mRate;
    };
    for (const Case& theCase : {Case{32, 48000}, Case{24, 88200}, Case{8, 44100}, Case{24, 0}}) {
        AudioStreamBasicDescription theFormat{};
        theFormat.mBitsPerChannel = theCase.mBits;
        theFormat.mSampleRate = theCase.mRate;
        try {
            theDevice->SetSettings(theFormat);
            ADD_FAILURE() << "accepted " << theCase.mBits << " bits at " << theCase.mRate;
        } catch (OSStatus theError) {
            EXPECT_EQ(theError, OSStatus(FourCC("what")));
        }
    }
    EXPECT_EQ(mMuxer.mApplied.size(), theApplied);
    EXPECT_EQ(std::memcmp(&theBefore, &theDevice->GetSettingsFormat(), sizeof(theBefore)), 0);
}

TEST_F(OrvelDeviceTest, BufferSizeLimits)
{
    OrvelDevice* theDevice = MakeDevice(false);
    EXPECT_EQ(theDevice->GetIOBufferFrameSize(), 3840u);
    struct Case {
        UInt32 mFrames;
        const char* mMessage;
    };
    const Case theRefused[] = {
        {1470, "HPSampleDevice::SetIOBufferFrameSize: requested size is too small\n"},
        {3841, "HPSampleDevice::SetIOBufferFrameSize: requested size is too large\n"},
        {0, "HPSampleDevice::SetIOBufferFrameSize: requested size is too small\n"},
    };
    for (const Case& theCase : theRefused) {
        testing::internal::CaptureStderr();
        try {
            theDevice->SetIOBufferFrameSize(theCase.mFrames);
            ADD_FAILURE() << theCase.mFrames;
        } catch (const CAException& theException) {
            EXPECT_EQ(theException.GetError(), OSStatus(FourCC("nope")));
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), theCase.mMessage);
        EXPECT_EQ(theDevice->GetIOBufferFrameSize(), 3840u);
    }
    AudioHardwareServerClearEvents();
    theDevice->SetIOBufferFrameSize(1471);
    EXPECT_EQ(theDevice->GetIOBufferFrameSize(), 1471u);
    auto theEvents = AudioHardwareServerCopyEvents();
    ASSERT_EQ(theEvents.size(), 2u);
    EXPECT_EQ(theEvents[0].mSelector, FourCC("bsiz"));
    EXPECT_EQ(theEvents[1].mSelector, FourCC("fsiz"));
    EXPECT_FALSE(theEvents[0].mIsInput);
    theDevice->SetIOBufferFrameSize(3840);
    EXPECT_EQ(theDevice->GetIOBufferFrameSize(), 3840u);
    // The same size again: no notification.
    AudioHardwareServerClearEvents();
    theDevice->SetIOBufferFrameSize(3840);
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
}

TEST_F(OrvelDeviceTest, OwnPropertiesAndTheirSizes)
{
    OrvelDevice* theDevice = MakeDevice(true);
    struct Case {
        UInt32 mSelector;
        UInt32 mValue;
        const char* mMessage;
    };
    const Case theCases[] = {
        {FourCC("Dvrv"), 1, "HPDevice::GetPropertyData: wrong data size for kDovekinRequiresVideo\n"},
        {FourCC("vfsz"), 3840,
         "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyUsesVariableBufferFrameSizes\n"},
    };
    for (const Case& theCase : theCases) {
        HPPropertyAddress theAddress(theCase.mSelector, 0, 1);
        EXPECT_TRUE(theDevice->HasProperty(theAddress));
        EXPECT_FALSE(theDevice->PropertyIsSettable(theAddress));
        EXPECT_EQ(theDevice->GetPropertyDataSize(theAddress), 4u);
        UInt32 theValue = 0;
        UInt32 theSize = 4;
        theDevice->GetPropertyData(theAddress, theSize, &theValue);
        EXPECT_EQ(theValue, theCase.mValue);
        for (UInt32 theWrongSize : {0u, 2u, 8u}) {
            UInt32 theBig[2] = {5, 5};
            theSize = theWrongSize;
            testing::internal::CaptureStderr();
            try {
                theDevice->GetPropertyData(theAddress, theSize, theBig);
                ADD_FAILURE();
            } catch (const CAException& theException) {
                EXPECT_EQ(theException.GetError(), OSStatus(FourCC("!siz")));
            }
            EXPECT_EQ(testing::internal::GetCapturedStderr(), theCase.mMessage);
            EXPECT_EQ(theBig[0], 5u);
        }
    }
    EXPECT_EQ(theDevice->GetLatency(true), 1600u);
    EXPECT_EQ(theDevice->GetLatency(false), 1600u);
    EXPECT_TRUE(theDevice->HogModeOwnedBySelfOrIsFree());
    AudioTimeStamp theTime{};
    EXPECT_THROW(theDevice->Read(theTime, nullptr), OSStatus);
}

TEST_F(OrvelDeviceTest, MuteSetTwiceNotifiesOnce)
{
    OrvelDevice* theDevice = MakeDevice(false);
    auto* theMute = dynamic_cast<MuteControl*>(
        theDevice->GetBooleanControl(FourCC("mute"), 0, HPControl::kOutputSection));
    ASSERT_NE(theMute, nullptr);
    EXPECT_FALSE(theMute->GetValue());
    AudioHardwareServerClearEvents();
    theMute->SetValue(true);
    theMute->SetValue(true);
    EXPECT_TRUE(theMute->GetValue());
    size_t theMuteEvents = 0;
    for (const auto& theEvent : AudioHardwareServerCopyEvents()) {
        theMuteEvents += (theEvent.mSelector == FourCC("mute")) ? 1 : 0;
    }
    EXPECT_EQ(theMuteEvents, 1u);
}

TEST_F(OrvelDeviceTest, DataSourceItemsFollowTheConnectors)
{
    mMuxer.mHasSPDIF = false;
    OrvelDevice* theDevice = MakeDevice(true);
    DataSourceControl* theControl = theDevice->GetDataSourceControl();
    ASSERT_NE(theControl, nullptr);
    EXPECT_EQ(theControl->GetNumberItems(), 4u);
    EXPECT_EQ(theControl->GetCurrentItemID(), FourCC("isdi"));

    const size_t theApplied = mMuxer.mApplied.size();
    testing::internal::CaptureStderr();
    try {
        theControl->SetCurrentItemByID(FourCC("ispd"));
        ADD_FAILURE();
    } catch (const CAException& theException) {
        EXPECT_EQ(theException.GetError(), OSStatus(FourCC("nope")));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "DataSourceControl::SetCurrentItemByID: ID doesn't exist\n");
    EXPECT_EQ(theControl->GetCurrentItemID(), FourCC("isdi"));
    EXPECT_EQ(theDevice->GetCurrentStreamCode(), FourCC("isdi"));
    EXPECT_EQ(mMuxer.mApplied.size(), theApplied);

    // The current item again sends nothing.
    theControl->SetCurrentItemByID(FourCC("isdi"));
    EXPECT_EQ(mMuxer.mApplied.size(), theApplied);

    AudioHardwareServerClearEvents();
    theControl->SetCurrentItemByID(FourCC("iadt"));
    EXPECT_EQ(theControl->GetCurrentItemID(), FourCC("iadt"));
    EXPECT_EQ(theDevice->GetCurrentStreamCode(), FourCC("iadt"));
    EXPECT_EQ(theDevice->GetInputSource(), 4u);
    EXPECT_EQ(mMuxer.mApplied.back().GetAudioFormat(true), 4u);
    bool sawDataSourceChange = false;
    for (const auto& theEvent : AudioHardwareServerCopyEvents()) {
        sawDataSourceChange |= (theEvent.mSelector == FourCC("ssrc"));
    }
    EXPECT_TRUE(sawDataSourceChange);
}

TEST_F(OrvelDeviceTest, StartingWithoutAPublishedStreamFailsAndChangesNothing)
{
    mMuxer.mHasSDI = mMuxer.mHasAES = mMuxer.mHasADAT = mMuxer.mHasSPDIF = mMuxer.mHasAnalog = false;
    OrvelDevice* theDevice = MakeDevice(true);
    mMuxer.TakeCalls();
    testing::internal::CaptureStderr();
    try {
        theDevice->DoStartIOProc(nullptr);
        ADD_FAILURE();
    } catch (const CAException& theException) {
        EXPECT_EQ(theException.GetError(), OSStatus(FourCC("nope")));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "OrvelDevice::StartEngine: the device publishes no stream\n");
    EXPECT_FALSE(theDevice->IsEngineRunning());
    EXPECT_TRUE(mMuxer.TakeCalls().empty());
}

}  // namespace
}  // namespace DriverTest
