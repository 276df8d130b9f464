// The driver's small pieces: the test ramp, the rate window ring, the
// converter holder and the stream's fixed format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/AudioConverterHolder.h"
#include "driver/RateWindow.h"
#include "driver/WriteRamp.h"
#include "support/Zent_LWE_OSStatus.h"
#include "tests/driver/DriverFixture.h"

namespace DriverTest {
namespace {

using Zent::CA::HALPlugIn::Orvel::AudioConverterHolder;
using Zent::CA::HALPlugIn::Orvel::RateRecord;
using Zent::CA::HALPlugIn::Orvel::RateWindow;

TEST(WriteRamp, SixteenBitRampOverThreeFrames)
{
    std::vector<UInt8> theData(3 * 8 * 2, 0xAA);
    Zent::CA::HALPlugIn::Orvel::WriteRamp(reinterpret_cast<char*>(theData.data()), 3, 2, 8);
    std::vector<UInt8> theExpected;
    const UInt8 theFrameStarts[3][2] = {{0xFF, 0xFF}, {0x01, 0x00}, {0x02, 0x00}};
    for (const auto& theStart : theFrameStarts) {
        theExpected.push_back(theStart[0]);
        theExpected.push_back(theStart[1]);
        for (int i = 0; i < 14; ++i) {
            theExpected.push_back(0);
        }
    }
    EXPECT_EQ(theData, theExpected);
}

TEST(WriteRamp, TwentyFourBitAndUnknownSizes)
{
    std::vector<UInt8> theData(2 * 2 * 3, 0xAA);
    Zent::CA::HALPlugIn::Orvel::WriteRamp(reinterpret_cast<char*>(theData.data()), 2, 3, 2);
    EXPECT_EQ(theData, (std::vector<UInt8>{0xFF, 0xFF, 0xFF, 0, 0, 0, 1, 0, 0, 0, 0, 0}));

    std::vector<UInt8> theOther(2 * 4, 0xAA);
    testing::internal::CaptureStdout();
    Zent::CA::HALPlugIn::Orvel::WriteRamp(reinterpret_cast<char*>(theOther.data()), 1, 4, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "bas bytespersample in writeRamp\nbas bytespersample in writeRamp\n");
    EXPECT_EQ(theOther, std::vector<UInt8>(8, 0xAA));
}

TEST(RateWindow, KeepsArrivalOrderAndDropsTheOldestWhenFull)
{
    RateWindow theWindow;
    EXPECT_TRUE(theWindow.IsEmpty());
    for (UInt32 i = 0; i < RateWindow::kCapacity; ++i) {
        EXPECT_EQ(theWindow.PushBack(RateRecord{i, i + 1, 1}), 0u);
    }
    EXPECT_TRUE(theWindow.IsFull());
    EXPECT_EQ(theWindow.Front().mTime, 0u);
    // The dropped record's count comes back for the running total.
    EXPECT_EQ(theWindow.PushBack(RateRecord{5000, 9, 0}), 1u);
    EXPECT_EQ(theWindow.Front().mTime, 1u);
    EXPECT_EQ(theWindow.Back().mTime, 5000u);
    EXPECT_EQ(theWindow.GetSize(), RateWindow::kCapacity);
    theWindow.PopFront();
    EXPECT_EQ(theWindow.Front().mTime, 2u);
    theWindow.Clear();
    EXPECT_TRUE(theWindow.IsEmpty());
    theWindow.PopFront();
    EXPECT_TRUE(theWindow.IsEmpty());
}

TEST(AudioConverterHolder, RefusesUnsupportedFormatsWithTheStatus)
{
    AudioConverterHolder theHolder;
    AudioStreamBasicDescription theSource{};
    theSource.mSampleRate = 48000;
    theSource.mFormatID = FourCC("lpcm");
    theSource.mFormatFlags = 12;
    theSource.mBitsPerChannel = 24;
    theSource.mChannelsPerFrame = 8;
    theSource.mBytesPerFrame = 24;
    theSource.mBytesPerPacket = 24;
    theSource.mFramesPerPacket = 1;
    AudioStreamBasicDescription theDestination = theSource;
    theDestination.mSampleRate = 44100;
    try {
        theHolder.Set(&theSource, &theDestination);
        ADD_FAILURE();
    } catch (const Zent::LWE::OSStatus& theError) {
        EXPECT_NE(theError.GetStatus(), 0);
    }
    EXPECT_TRUE(theHolder.IsEmpty());
    UInt32 theSize = 4;
    EXPECT_EQ(theHolder.Convert(4, &theSize, theSize, &theSize), OSStatus(FourCC("nope")));
    theHolder.Set(&theSource, &theSource);
    EXPECT_FALSE(theHolder.IsEmpty());
    theHolder.Set(nullptr, nullptr);
    EXPECT_TRUE(theHolder.IsEmpty());
}

class DriverStreamTest : public DriverFixture {};

TEST_F(DriverStreamTest, SpdifStreamOffersOneTwoChannelFormat)
{
    OrvelDevice* theDevice = MakeDevice(true);
    Stream* theStream = theDevice->GetStreamForCode(FourCC("ispd"));
    ASSERT_NE(theStream, nullptr);
    ASSERT_EQ(theStream->GetNumberAvailablePhysicalFormats(), 1u);
    AudioStreamBasicDescription theFormat;
    theStream->GetAvailablePhysicalFormatByIndex(0, theFormat);
    EXPECT_EQ(theFormat.mChannelsPerFrame, 2u);
    EXPECT_EQ(theFormat.mBitsPerChannel, 24u);
    EXPECT_EQ(theFormat.mBytesPerFrame, 6u);
    EXPECT_EQ(theFormat.mBytesPerPacket, 6u);
    EXPECT_EQ(theFormat.mSampleRate, 48000.0);
    EXPECT_EQ(theFormat.mFormatFlags, 12u);
    EXPECT_FALSE(theStream->SupportsNominalSampleRate(44100.0));
    EXPECT_EQ(Stream::GetChannelCountForCode(FourCC("iaes")), 4u);
    EXPECT_EQ(Stream::GetChannelCountForCode(FourCC("zzzz")), 4u);
}

TEST_F(DriverStreamTest, PhysicalFormatChangedWithEqualFormatsChangesNothing)
{
    OrvelDevice* theDevice = MakeDevice(false);
    Stream* theStream = theDevice->GetCurrentStream();
    AudioStreamBasicDescription theFormat;
    theStream->GetCurrentPhysicalFormat(theFormat);
    AudioHardwareServerClearEvents();
    theStream->PhysicalFormatChanged(theFormat, theFormat);
    AudioStreamBasicDescription theAfter;
    theStream->GetCurrentPhysicalFormat(theAfter);
    EXPECT_EQ(std::memcmp(&theFormat, &theAfter, sizeof(theFormat)), 0);
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
}

TEST_F(DriverStreamTest, SettingStreamFormatSendsFormatThenPhysicalFormat)
{
    OrvelDevice* theDevice = MakeDevice(false);
    Stream* theStream = theDevice->GetCurrentStream();
    AudioStreamBasicDescription theFormat;
    theStream->GetCurrentVirtualFormat(theFormat);
    AudioHardwareServerClearEvents();
    theStream->SetPropertyData(HPPropertyAddress(FourCC("sfmt"), 0, 0), sizeof(theFormat), &theFormat, nullptr);
    std::vector<UInt32> theSelectors;
    for (const auto& theEvent : AudioHardwareServerCopyEvents()) {
        if (theEvent.mKind == AudioHardwareServerEvent::kStreamPropertyChanged) {
            theSelectors.push_back(theEvent.mSelector);
        }
    }
    ASSERT_GE(theSelectors.size(), 2u);
    EXPECT_EQ(theSelectors[theSelectors.size() - 2], FourCC("sfmt"));
    EXPECT_EQ(theSelectors.back(), FourCC("pft "));
}

}  // namespace
}  // namespace DriverTest
