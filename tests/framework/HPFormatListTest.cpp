// HPFormatList and HPChangeFormatCommand: the sorted lists and their
// duplicate rules, best matches, the ten properties with their sizes and
// messages, format and rate changes applied at once and deferred as
// commands, refusals that change nothing, and the order of the
// notifications a change sends.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/HPChangeFormatCommand.h"
#include "framework/HPFormatList.h"
#include "framework/HPPlugIn.h"
#include "platform/AudioHardwareServer.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"
#include "tests/framework/TestDevice.h"
#include "tests/framework/TestStream.h"

namespace {

using Entry = TestStream::PhysicalFormatEntry;

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

AudioStreamBasicDescription Int(Float64 inRate, UInt32 inChannels, UInt32 inBits)
{
    return TestStream::MakeIntegerFormat(inRate, inChannels, inBits);
}

AudioStreamBasicDescription Float(Float64 inRate, UInt32 inChannels)
{
    return TestStream::MakeFloatFormat(inRate, inChannels);
}

AudioStreamBasicDescription AC3(Float64 inRate)
{
    return AudioStreamBasicDescription{inRate, FourCC("ac-3"), 0, 6144, 1536, 0, 6, 0, 0};
}

// Every field, mReserved included: what a client receives must be exactly
// the declared format.
bool SameBytes(const AudioStreamBasicDescription& inA, const AudioStreamBasicDescription& inB)
{
    return std::memcmp(&inA, &inB, sizeof(inA)) == 0;
}

std::string Describe(const AudioStreamBasicDescription& inFormat)
{
    return std::to_string(inFormat.mSampleRate) + " " + FourCCText(inFormat.mFormatID).c_str() + " flags " +
           std::to_string(inFormat.mFormatFlags) + " bpp " + std::to_string(inFormat.mBytesPerPacket) + " fpp " +
           std::to_string(inFormat.mFramesPerPacket) + " bpf " + std::to_string(inFormat.mBytesPerFrame) + " ch " +
           std::to_string(inFormat.mChannelsPerFrame) + " bits " + std::to_string(inFormat.mBitsPerChannel) +
           " reserved " + std::to_string(inFormat.mReserved);
}

#define EXPECT_FORMAT(actual, expected) \
    EXPECT_TRUE(SameBytes((actual), (expected))) << Describe(actual) << "\n vs " << Describe(expected)

std::vector<AudioStreamBasicDescription> PhysicalFormats(const HPFormatList& inList)
{
    std::vector<AudioStreamBasicDescription> formats(inList.GetNumberAvailablePhysicalFormats());
    for (UInt32 index = 0; index < formats.size(); ++index) {
        inList.GetAvailablePhysicalFormatByIndex(index, formats[index]);
    }
    return formats;
}

std::vector<AudioStreamBasicDescription> VirtualFormats(const HPFormatList& inList)
{
    std::vector<AudioStreamBasicDescription> formats(inList.GetNumberAvailableVirtualFormats());
    for (UInt32 index = 0; index < formats.size(); ++index) {
        inList.GetAvailableVirtualFormatByIndex(index, formats[index]);
    }
    return formats;
}

std::vector<std::pair<Float64, Float64>> Ranges(const HPFormatList& inList)
{
    std::vector<std::pair<Float64, Float64>> ranges;
    for (UInt32 index = 0; index < inList.GetNumberNominalSampleRateRanges(); ++index) {
        AudioValueRange range;
        inList.GetAvailableNominalSampleRateRangeByIndex(index, range);
        ranges.emplace_back(range.mMinimum, range.mMaximum);
    }
    return ranges;
}

void ExpectFormats(const std::vector<AudioStreamBasicDescription>& inActual,
                   const std::vector<AudioStreamBasicDescription>& inExpected)
{
    ASSERT_EQ(inActual.size(), inExpected.size());
    for (std::size_t index = 0; index < inActual.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_FORMAT(inActual[index], inExpected[index]);
    }
}

// (selector, channel, section) of recorded notifications, compared exactly.
using Note = std::tuple<UInt32, UInt32, UInt8>;

std::vector<Note> Notes(const std::vector<HPPropertyAddress>& inAddresses)
{
    std::vector<Note> notes;
    for (const HPPropertyAddress& address : inAddresses) {
        notes.emplace_back(address.mSelector, address.mChannel, address.mSection);
    }
    return notes;
}

// ---------------------------------------------------------------------------
// The lists, built directly.

class FormatListBuildTest : public testing::Test {
protected:
    FormatListBuildTest() : mStream(nullptr, &mDevice), mList(&mStream) {}

    TestDevice mDevice;
    TestStream mStream;  // not initialized: only the owner of mList
    HPFormatList mList;
};

TEST_F(FormatListBuildTest, OneFormatGivesOneOfEachAndTheNativeFloatImage)
{
    const AudioStreamBasicDescription physical = Int(48000.0, 8, 24);
    mList.AddPhysicalFormat(AudioValueRange{48000.0, 48000.0}, physical);
    mList.DirectSetCurrentPhysicalFormat(physical);

    EXPECT_EQ(mList.GetNumberAvailablePhysicalFormats(), 1u);
    EXPECT_EQ(mList.GetNumberAvailableVirtualFormats(), 1u);
    EXPECT_EQ(mList.GetNumberNominalSampleRateRanges(), 1u);

    // Native packed float: flags 9 on this little-endian host.
    AudioStreamBasicDescription expectedVirtual{48000.0, kAudioFormatLinearPCM, 9, 32, 1, 32, 8, 32, 0};
    ASSERT_EQ(UInt32(kAudioFormatFlagsNativeFloatPacked), 9u);
    AudioStreamBasicDescription format;
    mList.GetAvailableVirtualFormatByIndex(0, format);
    EXPECT_FORMAT(format, expectedVirtual);
    mList.GetCurrentVirtualFormat(format);
    EXPECT_FORMAT(format, expectedVirtual);
    mList.GetCurrentPhysicalFormat(format);
    EXPECT_FORMAT(format, physical);

    Float64 rate = 0.0;
    UInt32 size = sizeof(rate);
    mList.GetData(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, 0), size, &rate);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_EQ(size, 8u);
}

TEST_F(FormatListBuildTest, NewListHasAZeroCurrentFormat)
{
    AudioStreamBasicDescription format;
    std::memset(&format, 0xFF, sizeof(format));
    mList.GetCurrentPhysicalFormat(format);
    EXPECT_FORMAT(format, AudioStreamBasicDescription{});
    EXPECT_EQ(mList.GetCurrentNominalSampleRate(), 0.0);
}

TEST_F(FormatListBuildTest, FormatsAreKeptInOrderWithoutDuplicates)
{
    // Added out of order, with repeats and with images that coincide.
    const AudioStreamBasicDescription added[] = {
        AC3(48000.0),         Int(48000.0, 2, 24), Int(44100.0, 2, 16), Float(44100.0, 2),
        Int(48000.0, 2, 16),  Int(44100.0, 2, 24), Int(48000.0, 2, 24), Int(44100.0, 8, 16),
        Int(44100.0, 2, 16),
    };
    for (const AudioStreamBasicDescription& format : added) {
        mList.AddPhysicalFormat(AudioValueRange{format.mSampleRate, format.mSampleRate}, format);
    }
    // Linear PCM before other formats, integer before float, then bits,
    // rate, channels.
    ExpectFormats(PhysicalFormats(mList), {Int(44100.0, 2, 16), Int(44100.0, 8, 16), Int(48000.0, 2, 16),
                                           Int(44100.0, 2, 24), Int(48000.0, 2, 24), Float(44100.0, 2),
                                           AC3(48000.0)});
    // One image per rate and channel count; AC-3 is its own image.
    ExpectFormats(VirtualFormats(mList), {Float(44100.0, 2), Float(44100.0, 8), Float(48000.0, 2), AC3(48000.0)});
    EXPECT_EQ(Ranges(mList), (std::vector<std::pair<Float64, Float64>>{{44100.0, 44100.0}, {48000.0, 48000.0}}));
}

TEST_F(FormatListBuildTest, RangesAreOrderedByMinimumAndKeptOncePerBounds)
{
    const AudioStreamBasicDescription format = Int(48000.0, 2, 24);
    const AudioValueRange added[] = {{48000.0, 48000.0}, {44100.0, 44100.0}, {48000.0, 48000.0},
                                     {44100.0, 48000.0}, {96000.0, 96000.0}, {44100.0, 44100.0}};
    for (const AudioValueRange& range : added) {
        mList.AddPhysicalFormat(range, format);
    }
    // A new range goes before the first whose minimum is not less than its
    // own, so {44100, 48000} lands before the earlier {44100, 44100}.
    EXPECT_EQ(Ranges(mList), (std::vector<std::pair<Float64, Float64>>{
                                 {44100.0, 48000.0}, {44100.0, 44100.0}, {48000.0, 48000.0}, {96000.0, 96000.0}}));
    EXPECT_EQ(mList.GetNumberAvailablePhysicalFormats(), 1u);
    EXPECT_TRUE(mList.SupportsNominalSampleRate(46000.0));
    EXPECT_TRUE(mList.SupportsNominalSampleRate(96000.0));
    EXPECT_FALSE(mList.SupportsNominalSampleRate(50000.0));
    EXPECT_FALSE(mList.SupportsNominalSampleRate(0.0));
}

TEST_F(FormatListBuildTest, BestMatchIsTheFirstEqualElseTheGreatest)
{
    for (const AudioStreamBasicDescription& format :
         {Int(44100.0, 8, 16), Int(48000.0, 8, 16), Int(44100.0, 8, 24), Int(48000.0, 8, 24)}) {
        mList.AddPhysicalFormat(AudioValueRange{format.mSampleRate, format.mSampleRate}, format);
    }
    AudioStreamBasicDescription rate48000{};
    rate48000.mSampleRate = 48000.0;
    AudioStreamBasicDescription twoChannels{};
    twoChannels.mChannelsPerFrame = 2;
    AudioStreamBasicDescription bits24{};
    bits24.mFormatID = kAudioFormatLinearPCM;
    bits24.mBitsPerChannel = 24;

    struct Case {
        const char* mName;
        AudioStreamBasicDescription mRequest;
        AudioStreamBasicDescription mPhysical;
        AudioStreamBasicDescription mVirtual;
    };
    const Case cases[] = {
        // An integer format is no virtual format: the greatest virtual one.
        {"exact", Int(44100.0, 8, 24), Int(44100.0, 8, 24), Float(48000.0, 8)},
        {"rate only", rate48000, Int(48000.0, 8, 16), Float(48000.0, 8)},
        {"all zero", AudioStreamBasicDescription{}, Int(44100.0, 8, 16), Float(44100.0, 8)},
        {"24 bits", bits24, Int(44100.0, 8, 24), Float(48000.0, 8)},  // no 24-bit virtual format: the greatest
        {"two channels", twoChannels, Int(48000.0, 8, 24), Float(48000.0, 8)},
        {"other format", AC3(48000.0), Int(48000.0, 8, 24), Float(48000.0, 8)},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.mName);
        AudioStreamBasicDescription format = testCase.mRequest;
        UInt32 size = sizeof(format);
        mList.GetData(HPPropertyAddress(kAudioStreamPropertyPhysicalFormatMatch, 0, 0), size, &format);
        EXPECT_FORMAT(format, testCase.mPhysical);
        EXPECT_EQ(size, 40u);
        format = testCase.mRequest;
        mList.GetData(HPPropertyAddress(kAudioDevicePropertyStreamFormatMatch, 0, 0), size, &format);
        EXPECT_FORMAT(format, testCase.mVirtual);
    }
}

TEST_F(FormatListBuildTest, BestMatchOnAnEmptyListLeavesTheRequest)
{
    AudioStreamBasicDescription format = Int(48000.0, 2, 24);
    mList.BestMatchForPhysicalFormat(format);
    EXPECT_FORMAT(format, Int(48000.0, 2, 24));
    mList.BestMatchForVirtualFormat(format);
    EXPECT_FORMAT(format, Int(48000.0, 2, 24));
}

TEST_F(FormatListBuildTest, ListReadsReturnAsManyWholeEntriesAsFit)
{
    mList.AddPhysicalFormat(AudioValueRange{44100.0, 44100.0}, Int(44100.0, 2, 16));
    mList.AddPhysicalFormat(AudioValueRange{48000.0, 48000.0}, Int(48000.0, 2, 16));
    mList.AddPhysicalFormat(AudioValueRange{48000.0, 48000.0}, Int(48000.0, 2, 24));

    struct Case {
        UInt32 mSelector;
        UInt32 mBufferSize;
        UInt32 mExpectedSize;
    };
    const Case cases[] = {
        {kAudioDevicePropertyAvailableNominalSampleRates, 20, 16},
        {kAudioDevicePropertyAvailableNominalSampleRates, 0, 0},
        {kAudioDevicePropertyAvailableNominalSampleRates, 64, 32},
        {kAudioDevicePropertyStreamFormats, 79, 40},
        {kAudioDevicePropertyStreamFormats, 200, 80},
        {kAudioStreamPropertyPhysicalFormats, 39, 0},
        {kAudioStreamPropertyPhysicalFormats, 80, 80},
        {kAudioStreamPropertyPhysicalFormats, 200, 120},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(std::string(FourCCText(testCase.mSelector).c_str()) + " " + std::to_string(testCase.mBufferSize));
        const HPPropertyAddress address(testCase.mSelector, 0, 0);
        std::vector<unsigned char> buffer(256, 0xAB);
        UInt32 size = testCase.mBufferSize;
        mList.GetData(address, size, buffer.data());
        EXPECT_EQ(size, testCase.mExpectedSize);
        for (std::size_t index = size; index < buffer.size(); ++index) {
            ASSERT_EQ(buffer[index], 0xAB) << "byte " << index;
        }
    }
    EXPECT_EQ(mList.GetDataSize(HPPropertyAddress(kAudioDevicePropertyAvailableNominalSampleRates, 0, 0)), 32u);
    EXPECT_EQ(mList.GetDataSize(HPPropertyAddress(kAudioDevicePropertyStreamFormats, 0, 0)), 80u);
    EXPECT_EQ(mList.GetDataSize(HPPropertyAddress(kAudioStreamPropertyPhysicalFormats, 0, 0)), 120u);

    // The entries come out in index order.
    AudioStreamBasicDescription formats[3];
    UInt32 size = sizeof(formats);
    mList.GetData(HPPropertyAddress(kAudioStreamPropertyPhysicalFormats, 0, 0), size, formats);
    EXPECT_FORMAT(formats[0], Int(44100.0, 2, 16));
    EXPECT_FORMAT(formats[2], Int(48000.0, 2, 24));
}

TEST_F(FormatListBuildTest, IndexPastTheEndIsRefused)
{
    mList.AddPhysicalFormat(AudioValueRange{48000.0, 48000.0}, Int(48000.0, 2, 24));
    AudioValueRange range{1.0, 2.0};
    AudioStreamBasicDescription format = AC3(1.0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { mList.GetAvailableNominalSampleRateRangeByIndex(1, range); }),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(StatusOf([&] { mList.GetAvailableVirtualFormatByIndex(1, format); }),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(StatusOf([&] { mList.GetAvailablePhysicalFormatByIndex(1, format); }),
              kAudioHardwareIllegalOperationError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "HPFormatList::GetAvailableNominalSampleRateRangeByIndex: index out of range\n"
              "HPFormatList::GetAvailableVirtualFormatByIndex: index out of range\n"
              "HPFormatList::GetAvailablePhysicalFormatByIndex: index out of range\n");
    EXPECT_EQ(range.mMinimum, 1.0);
    EXPECT_FORMAT(format, AC3(1.0));
}

TEST_F(FormatListBuildTest, ImplementsTheTenSelectorsOnEveryChannelAndSection)
{
    const UInt32 expected[] = {
        kAudioDevicePropertyNominalSampleRate,       kAudioDevicePropertyAvailableNominalSampleRates,
        kAudioDevicePropertyStreamFormat,            kAudioDevicePropertyStreamFormats,
        kAudioDevicePropertyStreamFormatSupported,   kAudioDevicePropertyStreamFormatMatch,
        kAudioStreamPropertyPhysicalFormat,          kAudioStreamPropertyPhysicalFormats,
        kAudioStreamPropertyPhysicalFormatSupported, kAudioStreamPropertyPhysicalFormatMatch,
    };
    ASSERT_EQ(mList.GetNumberAddressesImplemented(), 10u);
    for (UInt32 index = 0; index < 10; ++index) {
        HPPropertyAddress address;
        mList.GetImplementedAddressByIndex(index, address);
        EXPECT_EQ(address.mSelector, expected[index]);
        EXPECT_EQ(address.mChannel, 0xFFFFFFFFu);
        EXPECT_EQ(address.mSection, 0xFF);
        const bool settable = expected[index] == kAudioDevicePropertyNominalSampleRate ||
                              expected[index] == kAudioDevicePropertyStreamFormat ||
                              expected[index] == kAudioStreamPropertyPhysicalFormat;
        EXPECT_EQ(mList.IsSettable(HPPropertyAddress(expected[index], 3, 1)), settable);
        EXPECT_TRUE(mList.IsActive(HPPropertyAddress(expected[index], 3, 1)));
    }
    HPPropertyAddress untouched(1, 2, 3);
    mList.GetImplementedAddressByIndex(10, untouched);
    EXPECT_EQ(untouched.mSelector, 1u);
    EXPECT_EQ(untouched.mChannel, 2u);
    EXPECT_EQ(untouched.mSection, 3);
    EXPECT_EQ(mList.GetDataSize(HPPropertyAddress(FourCC("zzzz"), 0, 0)), 0u);
    EXPECT_EQ(mList.GetDataSize(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, 0)), 8u);
    EXPECT_EQ(mList.GetDataSize(HPPropertyAddress(kAudioStreamPropertyPhysicalFormatMatch, 0, 0)), 40u);
}

// ---------------------------------------------------------------------------
// A stream with the default formats on an output-only device: reads and
// changes through the stream's property calls.

class FormatListStreamTest : public testing::Test {
protected:
    FormatListStreamTest() : mStream(nullptr, &mDevice, 201, false, 1, 2)
    {
        mStream.Initialize();
        mDevice.AddStream(&mStream);
    }
    ~FormatListStreamTest() override
    {
        mDevice.ClearIOThread();
        mDevice.ClearAllCommands();
        mDevice.RemoveStream(&mStream);
        mStream.Teardown();
    }

    // A set through the stream, as the host would make it: its status and
    // what it wrote to standard error.
    std::pair<OSStatus, std::string> Set(UInt32 inSelector, UInt32 inSize, const void* inData)
    {
        testing::internal::CaptureStderr();
        const OSStatus status = StatusOf(
            [&] { mStream.SetPropertyData(HPPropertyAddress(inSelector, 0, 0), inSize, inData, nullptr); });
        return {status, testing::internal::GetCapturedStderr()};
    }

    AudioStreamBasicDescription CurrentPhysical() const
    {
        AudioStreamBasicDescription format;
        mStream.GetCurrentPhysicalFormat(format);
        return format;
    }

    // Nothing happened: the format, the hooks, the queue, the notifications.
    void ExpectUnchanged()
    {
        EXPECT_FORMAT(CurrentPhysical(), Int(48000.0, 2, 24));
        EXPECT_EQ(mStream.mChangePhysicalFormatCount, 0u);
        EXPECT_EQ(mDevice.mPhysicalFormatChangedCount, 0u);
        EXPECT_EQ(mDevice.GetNumberQueuedCommands(), 0u);
        EXPECT_TRUE(mStream.GetNotifications().empty());
        EXPECT_TRUE(mDevice.GetNotifications().empty());
    }

    TestDevice mDevice;
    TestStream mStream;
};

TEST_F(FormatListStreamTest, FixedSizeReadsRefuseAnyOtherSize)
{
    struct Case {
        UInt32 mSelector;
        const char* mMessage;
    };
    const Case cases[] = {
        {kAudioDevicePropertyNominalSampleRate,
         "HPFormatList::GetData: wrong data size for kAudioDevicePropertyNominalSampleRate\n"},
        {kAudioDevicePropertyStreamFormat, "HPFormatList::GetData: wrong data size for kAudioDevicePropertyStreamFormat\n"},
        {kAudioDevicePropertyStreamFormatSupported,
         "HPFormatList::GetData: wrong data size for kAudioDevicePropertyStreamFormatSupported\n"},
        {kAudioDevicePropertyStreamFormatMatch,
         "HPFormatList::GetData: wrong data size for kAudioDevicePropertyStreamFormatMatch\n"},
        {kAudioStreamPropertyPhysicalFormat,
         "HPFormatList::GetData: wrong data size for kAudioStreamPropertyPhysicalFormat\n"},
        {kAudioStreamPropertyPhysicalFormatSupported,
         "HPFormatList::GetData: wrong data size for kAudioStreamPropertyPhysicalFormatSupported\n"},
        {kAudioStreamPropertyPhysicalFormatMatch,
         "HPFormatList::GetData: wrong data size for kAudioStreamPropertyPhysicalFormatMatch\n"},
    };
    for (const Case& testCase : cases) {
        const UInt32 rightSize = (testCase.mSelector == kAudioDevicePropertyNominalSampleRate) ? 8 : 40;
        for (UInt32 size : {0u, rightSize - 1, rightSize + 1, rightSize == 8 ? 40u : 8u}) {
            SCOPED_TRACE(std::string(FourCCText(testCase.mSelector).c_str()) + " " + std::to_string(size));
            std::vector<unsigned char> buffer(64, 0xAB);
            UInt32 ioSize = size;
            testing::internal::CaptureStderr();
            const OSStatus status = StatusOf([&] {
                mStream.GetPropertyData(HPPropertyAddress(testCase.mSelector, 0, 0), ioSize, buffer.data());
            });
            EXPECT_EQ(testing::internal::GetCapturedStderr(), testCase.mMessage);
            EXPECT_EQ(status, kAudioHardwareBadPropertySizeError);
            EXPECT_EQ(ioSize, size);
            for (unsigned char byte : buffer) {
                ASSERT_EQ(byte, 0xAB);
            }
        }
    }
}

TEST_F(FormatListStreamTest, SupportedQueriesWriteNothingOrFail)
{
    struct Case {
        UInt32 mSelector;
        AudioStreamBasicDescription mFormat;
        OSStatus mStatus;
        const char* mMessage;
    };
    const Case cases[] = {
        {kAudioDevicePropertyStreamFormatSupported, Float(44100.0, 2), 0, ""},
        {kAudioDevicePropertyStreamFormatSupported, Float(44100.0, 4), kAudioDeviceUnsupportedFormatError,
         "HPFormatList::GetData: kAudioDevicePropertyStreamFormatSupported: format not supported\n"},
        {kAudioDevicePropertyStreamFormatSupported, Int(44100.0, 2, 16), kAudioDeviceUnsupportedFormatError,
         "HPFormatList::GetData: kAudioDevicePropertyStreamFormatSupported: format not supported\n"},
        {kAudioStreamPropertyPhysicalFormatSupported, Int(44100.0, 2, 16), 0, ""},
        {kAudioStreamPropertyPhysicalFormatSupported, Int(96000.0, 2, 16), kAudioDeviceUnsupportedFormatError,
         "HPFormatList::GetData: kAudioStreamPropertyPhysicalFormatSupported: format not supported\n"},
        {kAudioStreamPropertyPhysicalFormatSupported, Float(48000.0, 2), kAudioDeviceUnsupportedFormatError,
         "HPFormatList::GetData: kAudioStreamPropertyPhysicalFormatSupported: format not supported\n"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(Describe(testCase.mFormat));
        AudioStreamBasicDescription format = testCase.mFormat;
        UInt32 size = sizeof(format);
        testing::internal::CaptureStderr();
        const OSStatus status = StatusOf(
            [&] { mStream.GetPropertyData(HPPropertyAddress(testCase.mSelector, 0, 0), size, &format); });
        EXPECT_EQ(testing::internal::GetCapturedStderr(), testCase.mMessage);
        EXPECT_EQ(status, testCase.mStatus);
        EXPECT_FORMAT(format, testCase.mFormat);
        EXPECT_EQ(size, 40u);
    }
}

TEST_F(FormatListStreamTest, RefusedSetsChangeNothingAndBuildNoCommand)
{
    const Float64 unsupportedRate = 96000.0;
    const Float64 rate = 44100.0;
    const AudioStreamBasicDescription unsupportedPhysical = Int(48000.0, 2, 32);
    const AudioStreamBasicDescription otherChannels = Float(48000.0, 4);
    const AudioStreamBasicDescription physicalAsVirtual = Int(44100.0, 2, 16);
    struct Case {
        const char* mName;
        UInt32 mSelector;
        UInt32 mSize;
        const void* mData;
        OSStatus mStatus;
        const char* mMessage;
    };
    const Case cases[] = {
        {"rate outside every range", kAudioDevicePropertyNominalSampleRate, 8, &unsupportedRate,
         kAudioDeviceUnsupportedFormatError, ""},
        {"rate of 4 bytes", kAudioDevicePropertyNominalSampleRate, 4, &rate, kAudioHardwareBadPropertySizeError,
         "HPFormatList::SetData: wrong data size for kAudioDevicePropertyNominalSampleRate\n"},
        {"virtual with other channel count", kAudioDevicePropertyStreamFormat, 40, &otherChannels,
         kAudioDeviceUnsupportedFormatError,
         "HPFormatList::SetData: kAudioDevicePropertyStreamFormat: format not supported\n"},
        {"integer as virtual", kAudioDevicePropertyStreamFormat, 40, &physicalAsVirtual,
         kAudioDeviceUnsupportedFormatError,
         "HPFormatList::SetData: kAudioDevicePropertyStreamFormat: format not supported\n"},
        {"virtual of 39 bytes", kAudioDevicePropertyStreamFormat, 39, &otherChannels,
         kAudioHardwareBadPropertySizeError,
         "HPFormatList::SetData: wrong data size for kAudioDevicePropertyStreamFormat\n"},
        {"unsupported physical", kAudioStreamPropertyPhysicalFormat, 40, &unsupportedPhysical,
         kAudioDeviceUnsupportedFormatError, ""},
        {"physical of 8 bytes", kAudioStreamPropertyPhysicalFormat, 8, &unsupportedPhysical,
         kAudioHardwareBadPropertySizeError, ""},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.mName);
        const UInt32 bracketsBefore = mDevice.mStartCommandExecutionCount;
        const auto [status, message] = Set(testCase.mSelector, testCase.mSize, testCase.mData);
        EXPECT_EQ(status, testCase.mStatus);
        EXPECT_EQ(message, testCase.mMessage);
        EXPECT_EQ(mDevice.mStartCommandExecutionCount, bracketsBefore);
        ExpectUnchanged();
    }
}

TEST_F(FormatListStreamTest, DirectSetsRefuseUnsupportedFormatsWithTheirMessages)
{
    AudioStreamBasicDescription ac3 = AC3(48000.0);
    struct Case {
        const char* mName;
        std::function<void(TestStream&)> mOperation;
        const char* mMessage;
    };
    const Case cases[] = {
        {"rate", [](TestStream& stream) { stream.SetCurrentNominalSampleRate(96000.0); },
         "HPFormatList::SetCurrentNominalSampleRate: sample rate not supported\n"},
        {"physical", [](TestStream& stream) { stream.SetCurrentPhysicalFormat(Int(48000.0, 2, 32)); },
         "HPFormatList::SetCurrentPhysicalFormat: format not supported\n"},
        {"virtual, channels", [](TestStream& stream) { stream.SetCurrentVirtualFormat(Float(48000.0, 4)); },
         "HPFormatList::SetCurrentVirtualFormat: format not supported (number channels)\n"},
        {"virtual, format ID", [ac3](TestStream& stream) { stream.SetCurrentVirtualFormat(ac3); },
         "HPFormatList::SetCurrentVirtualFormat: format not supported (format ID)\n"},
        {"virtual, rate", [](TestStream& stream) { stream.SetCurrentVirtualFormat(Float(96000.0, 2)); },
         "HPFormatList::SetCurrentVirtualFormat: format not supported (sample rate)\n"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.mName);
        testing::internal::CaptureStderr();
        const OSStatus status = StatusOf([&] { testCase.mOperation(mStream); });
        EXPECT_EQ(testing::internal::GetCapturedStderr(), testCase.mMessage);
        EXPECT_EQ(status, kAudioDeviceUnsupportedFormatError);
        ExpectUnchanged();
    }
}

TEST_F(FormatListStreamTest, ChangesAppliedAtOnceSendTheirNotificationsInOrder)
{
    const Float64 rate = 44100.0;
    const AudioStreamBasicDescription physical16 = Int(48000.0, 2, 16);
    const AudioStreamBasicDescription virtual44100 = Float(44100.0, 2);
    constexpr UInt32 pft = kAudioStreamPropertyPhysicalFormat;
    constexpr UInt32 sfmt = kAudioDevicePropertyStreamFormat;
    constexpr UInt32 nsrt = kAudioDevicePropertyNominalSampleRate;
    const std::vector<Note> rateChangeOnDevice = {
        {pft, 1, 0}, {sfmt, 1, 0}, {pft, 0, 0}, {sfmt, 0, 0},
        {nsrt, 0, 0}, {kAudioDevicePropertyLatency, 0, 0}, {kAudioDevicePropertySafetyOffset, 0, 0}};
    struct Case {
        const char* mName;
        UInt32 mSelector;
        UInt32 mSize;
        const void* mData;
        AudioStreamBasicDescription mExpectedPhysical;
        std::vector<Note> mStreamNotes;
        std::vector<Note> mDeviceNotes;
    };
    const Case cases[] = {
        // Same rate and channels: only the physical format changed.
        {"physical bit depth", pft, 40, &physical16, physical16, {{pft, 0, 0}}, {{pft, 1, 0}, {pft, 0, 0}}},
        // The rate keeps the bit depth.
        {"nominal rate", nsrt, 8, &rate, Int(44100.0, 2, 24), {{pft, 0, 0}, {sfmt, 0, 0}, {nsrt, 0, 0}},
         rateChangeOnDevice},
        // A virtual format selects the first physical format serving it.
        {"virtual format", sfmt, 40, &virtual44100, Int(44100.0, 2, 16), {{pft, 0, 0}, {sfmt, 0, 0}, {nsrt, 0, 0}},
         rateChangeOnDevice},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.mName);
        mStream.GetFormatList()->DirectSetCurrentPhysicalFormat(Int(48000.0, 2, 24));
        mStream.ClearNotifications();
        mDevice.ClearNotifications();
        mStream.mChangePhysicalFormatCount = 0;
        mDevice.mPhysicalFormatChangedCount = 0;

        const auto [status, message] = Set(testCase.mSelector, testCase.mSize, testCase.mData);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(message, "");
        EXPECT_FORMAT(CurrentPhysical(), testCase.mExpectedPhysical);
        EXPECT_EQ(mStream.mChangePhysicalFormatCount, 1u);
        EXPECT_FORMAT(mStream.mLastChangeOldFormat, Int(48000.0, 2, 24));
        EXPECT_FORMAT(mStream.mLastChangeNewFormat, testCase.mExpectedPhysical);
        EXPECT_EQ(mDevice.mPhysicalFormatChangedCount, 1u);
        EXPECT_EQ(Notes(mStream.GetNotifications()), testCase.mStreamNotes);
        EXPECT_EQ(Notes(mDevice.GetNotifications()), testCase.mDeviceNotes);
        EXPECT_EQ(mDevice.GetNumberQueuedCommands(), 0u);
    }
}

TEST_F(FormatListStreamTest, RequestsForTheCurrentFormatChangeAndSendNothing)
{
    const Float64 rate = 48000.0;
    const AudioStreamBasicDescription currentVirtual = Float(48000.0, 2);
    const AudioStreamBasicDescription currentPhysical = Int(48000.0, 2, 24);
    struct Case {
        UInt32 mSelector;
        UInt32 mSize;
        const void* mData;
    };
    const Case cases[] = {
        {kAudioDevicePropertyNominalSampleRate, 8, &rate},
        {kAudioDevicePropertyStreamFormat, 40, &currentVirtual},
        {kAudioStreamPropertyPhysicalFormat, 40, &currentPhysical},
    };
    // The stream offers 16 and 24 bits at 48000 Hz. Asking for the current
    // virtual format must keep 24 bits, not fall to the first 48000 Hz
    // format in list order.
    for (const Case& testCase : cases) {
        SCOPED_TRACE(FourCCText(testCase.mSelector).c_str());
        const UInt32 bracketsBefore = mDevice.mStartCommandExecutionCount;
        const auto [status, message] = Set(testCase.mSelector, testCase.mSize, testCase.mData);
        EXPECT_EQ(status, 0);
        // A command was built and run; it found nothing to do.
        EXPECT_EQ(mDevice.mStartCommandExecutionCount, bracketsBefore + 1);
        ExpectUnchanged();
    }
}

TEST_F(FormatListStreamTest, StreamThatDeclinesKeepsItsFormatAndNothingIsSent)
{
    mStream.mAllowFormatChange = false;
    const Float64 rate = 44100.0;
    const AudioStreamBasicDescription physical16 = Int(48000.0, 2, 16);
    const AudioStreamBasicDescription virtual44100 = Float(44100.0, 2);
    EXPECT_EQ(Set(kAudioDevicePropertyNominalSampleRate, 8, &rate).first, 0);
    EXPECT_EQ(Set(kAudioStreamPropertyPhysicalFormat, 40, &physical16).first, 0);
    EXPECT_EQ(Set(kAudioDevicePropertyStreamFormat, 40, &virtual44100).first, 0);
    EXPECT_EQ(mStream.mChangePhysicalFormatCount, 3u);
    mStream.mChangePhysicalFormatCount = 0;
    mStream.SetCurrentNominalSampleRate(44100.0);
    EXPECT_EQ(mStream.mChangePhysicalFormatCount, 1u);
    mStream.mChangePhysicalFormatCount = 0;
    ExpectUnchanged();
}

TEST_F(FormatListStreamTest, StreamHookFailureReachesTheCallerAndChangesNothing)
{
    mStream.mChangeFormatError = FourCC("what");
    const Float64 rate = 44100.0;
    const AudioStreamBasicDescription physical16 = Int(48000.0, 2, 16);
    const AudioStreamBasicDescription virtual44100 = Float(44100.0, 2);
    EXPECT_EQ(Set(kAudioDevicePropertyNominalSampleRate, 8, &rate).first, OSStatus(FourCC("what")));
    EXPECT_EQ(Set(kAudioStreamPropertyPhysicalFormat, 40, &physical16).first, OSStatus(FourCC("what")));
    EXPECT_EQ(Set(kAudioDevicePropertyStreamFormat, 40, &virtual44100).first, OSStatus(FourCC("what")));
    EXPECT_EQ(mStream.mChangePhysicalFormatCount, 3u);
    mStream.mChangePhysicalFormatCount = 0;
    ExpectUnchanged();
}

TEST_F(FormatListStreamTest, PartialPhysicalRequestIsCompletedIntoASupportedFormat)
{
    // Only the rate: the rest comes from the current format (24 bits kept).
    AudioStreamBasicDescription rateOnly{};
    rateOnly.mSampleRate = 44100.0;
    // Only the bit depth: completing it from the current 24-bit format
    // would give 16 bits in 6-byte frames, a format nothing can run; it is
    // completed from the 16-bit format it names instead.
    AudioStreamBasicDescription bitsOnly{};
    bitsOnly.mFormatID = kAudioFormatLinearPCM;
    bitsOnly.mBitsPerChannel = 16;
    struct Case {
        const char* mName;
        AudioStreamBasicDescription mRequest;
        AudioStreamBasicDescription mExpected;
    };
    const Case cases[] = {
        {"rate only", rateOnly, Int(44100.0, 2, 24)},
        {"bits only", bitsOnly, Int(48000.0, 2, 16)},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.mName);
        mStream.GetFormatList()->DirectSetCurrentPhysicalFormat(Int(48000.0, 2, 24));
        const auto [status, message] = Set(kAudioStreamPropertyPhysicalFormat, 40, &testCase.mRequest);
        EXPECT_EQ(status, 0);
        EXPECT_FORMAT(CurrentPhysical(), testCase.mExpected);
        EXPECT_TRUE(mStream.SupportsPhysicalFormat(CurrentPhysical()));
    }
}

TEST_F(FormatListStreamTest, ChangesFromTheIOThreadWaitForTheQueue)
{
    const Float64 rate = 44100.0;
    const AudioStreamBasicDescription physical16 = Int(48000.0, 2, 16);
    // A real second thread plays the I/O thread; its requests succeed at
    // once and change nothing yet.
    std::thread ioThread([&] {
        mDevice.MarkCurrentThreadAsIOThread();
        EXPECT_EQ(Set(kAudioDevicePropertyNominalSampleRate, 8, &rate).first, 0);
        EXPECT_EQ(Set(kAudioStreamPropertyPhysicalFormat, 40, &physical16).first, 0);
    });
    ioThread.join();
    mDevice.ClearIOThread();
    EXPECT_EQ(mDevice.GetNumberQueuedCommands(), 2u);
    EXPECT_FORMAT(CurrentPhysical(), Int(48000.0, 2, 24));
    EXPECT_EQ(mStream.mChangePhysicalFormatCount, 0u);
    EXPECT_TRUE(mStream.GetNotifications().empty());
    EXPECT_TRUE(mDevice.GetNotifications().empty());

    // The queue runs in arrival order: the rate first, then the physical
    // request, which names 48000 Hz again.
    mDevice.ExecuteAllCommands();
    EXPECT_EQ(mDevice.GetNumberQueuedCommands(), 0u);
    EXPECT_FORMAT(CurrentPhysical(), Int(48000.0, 2, 16));
    EXPECT_EQ(mStream.mChangePhysicalFormatCount, 2u);
    EXPECT_FORMAT(mStream.mLastChangeOldFormat, Int(44100.0, 2, 24));
    const std::vector<Note> streamNotes = {
        {kAudioStreamPropertyPhysicalFormat, 0, 0}, {kAudioDevicePropertyStreamFormat, 0, 0},
        {kAudioDevicePropertyNominalSampleRate, 0, 0},                                       // 48000 -> 44100
        {kAudioStreamPropertyPhysicalFormat, 0, 0}, {kAudioDevicePropertyStreamFormat, 0, 0},
        {kAudioDevicePropertyNominalSampleRate, 0, 0}};                                      // 44100/24 -> 48000/16
    EXPECT_EQ(Notes(mStream.GetNotifications()), streamNotes);
}

TEST_F(FormatListStreamTest, RateInARangeButWithoutAFormatFailsWhenTheCommandRuns)
{
    // A format stored at 48000 Hz serves only that rate, whatever range was
    // added with it.
    TestStream stream(nullptr, &mDevice, 301, false, 1,
                      {Entry{AudioValueRange{44100.0, 48000.0}, Int(48000.0, 2, 24)}}, Int(48000.0, 2, 24));
    stream.Initialize();
    const Float64 rate = 44100.0;
    const HPPropertyAddress address(kAudioDevicePropertyNominalSampleRate, 0, 0);

    // At once: the failure reaches the caller.
    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { stream.SetPropertyData(address, 8, &rate, nullptr); }),
              kAudioDeviceUnsupportedFormatError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "HPFormatList::SetCurrentPhysicalFormat: format not supported\n");
    EXPECT_EQ(stream.GetCurrentNominalSampleRate(), 48000.0);

    // Queued: the request succeeds, the later failure is dropped.
    std::thread ioThread([&] {
        mDevice.MarkCurrentThreadAsIOThread();
        EXPECT_EQ(StatusOf([&] { stream.SetPropertyData(address, 8, &rate, nullptr); }), 0);
    });
    ioThread.join();
    mDevice.ClearIOThread();
    testing::internal::CaptureStderr();
    mDevice.ExecuteAllCommands();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(stream.GetCurrentNominalSampleRate(), 48000.0);
    EXPECT_EQ(stream.mChangePhysicalFormatCount, 0u);
    EXPECT_TRUE(stream.GetNotifications().empty());
    stream.Teardown();
}

TEST_F(FormatListStreamTest, ChannelCountChangeAndStartingChannelDecideTheDeviceNotes)
{
    // Two channel counts at one rate, on a stream that starts at channel 3.
    TestStream stream(nullptr, &mDevice, 302, false, 3,
                      {Entry{AudioValueRange{48000.0, 48000.0}, Int(48000.0, 2, 24)},
                       Entry{AudioValueRange{48000.0, 48000.0}, Int(48000.0, 8, 24)}},
                      Int(48000.0, 2, 24));
    stream.Initialize();
    const AudioStreamBasicDescription eight = Int(48000.0, 8, 24);
    stream.SetPropertyData(HPPropertyAddress(kAudioStreamPropertyPhysicalFormat, 0, 0), 40, &eight, nullptr);
    EXPECT_EQ(Notes(stream.GetNotifications()),
              (std::vector<Note>{{kAudioStreamPropertyPhysicalFormat, 0, 0}, {kAudioDevicePropertyStreamFormat, 0, 0}}));
    // No master-channel notes (the stream does not start at channel 1); the
    // layout changed on the output side, the device's only section.
    EXPECT_EQ(Notes(mDevice.GetNotifications()),
              (std::vector<Note>{{kAudioStreamPropertyPhysicalFormat, 3, 0},
                                 {kAudioDevicePropertyStreamFormat, 3, 0},
                                 {kAudioDevicePropertyStreamConfiguration, 0, 0}}));
    stream.Teardown();
}

TEST(HPChangeFormatCommandTest, CarriesItsFormatForTheStreamsDevice)
{
    TestDevice device;
    TestStream stream(nullptr, &device);
    stream.Initialize();
    const AudioStreamBasicDescription format = Int(44100.0, 2, 16);
    HPChangeFormatCommand command(stream.GetFormatList(), format, false);
    EXPECT_EQ(command.GetCommandID(), FourCC("fmat"));
    EXPECT_EQ(command.GetDevice(), &device);
    EXPECT_EQ(command.GetFormatList(), stream.GetFormatList());
    EXPECT_FALSE(command.IsPhysical());
    EXPECT_TRUE(SameBytes(command.GetRequestedFormat(), format));

    // Executed directly, a physical command applies and notifies.
    HPChangeFormatCommand physical(stream.GetFormatList(), format, true);
    physical.Execute();
    AudioStreamBasicDescription current;
    stream.GetCurrentPhysicalFormat(current);
    EXPECT_TRUE(SameBytes(current, format));
    EXPECT_FALSE(stream.GetNotifications().empty());
    stream.Teardown();
}

// ---------------------------------------------------------------------------
// The order of every notification of a rate change, across the device and
// both of its streams.

struct LoggedNote {
    char mKind;  // 'd' device, 's' stream
    AudioObjectID mObject;
    Note mNote;
    bool operator==(const LoggedNote&) const = default;
};

class NotificationLog {
public:
    void Add(char inKind, AudioObjectID inObject, const HPPropertyAddress& inAddress)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mNotes.push_back({inKind, inObject, {inAddress.mSelector, inAddress.mChannel, inAddress.mSection}});
    }
    std::vector<LoggedNote> Get() const
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mNotes;
    }

private:
    mutable std::mutex mMutex;
    std::vector<LoggedNote> mNotes;
};

void PrintTo(const LoggedNote& inNote, std::ostream* outStream)
{
    *outStream << inNote.mKind << inNote.mObject << " '" << FourCCText(std::get<0>(inNote.mNote)).c_str() << "' "
               << std::get<1>(inNote.mNote) << " " << int(std::get<2>(inNote.mNote));
}

class LoggingDevice : public TestDevice {
public:
    explicit LoggingDevice(NotificationLog& inLog) : mLog(inLog) {}
    void PropertyChanged(const HPPropertyAddress& inAddress) const override
    {
        mLog.Add('d', GetObjectID(), inAddress);
        TestDevice::PropertyChanged(inAddress);
    }

private:
    NotificationLog& mLog;
};

class LoggingStream : public TestStream {
public:
    LoggingStream(NotificationLog& inLog, HPDevice* inDevice, AudioStreamID inID, bool inIsInput)
        : TestStream(nullptr, inDevice, inID, inIsInput, 1, 2), mLog(inLog)
    {
    }
    void PropertyChanged(const HPPropertyAddress& inAddress) const override
    {
        mLog.Add('s', GetObjectID(), inAddress);
        TestStream::PropertyChanged(inAddress);
    }

private:
    NotificationLog& mLog;
};

TEST(FormatChangeNotificationOrderTest, RateChangeOnTheInputStreamOfADeviceWithOneStreamEachWay)
{
    NotificationLog log;
    LoggingDevice device(log);
    LoggingStream output(log, &device, 201, false);
    LoggingStream input(log, &device, 202, true);
    output.Initialize();
    input.Initialize();
    device.AddStream(&output);
    device.AddStream(&input);

    const Float64 rate = 44100.0;
    input.SetPropertyData(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, 0), 8, &rate, nullptr);

    constexpr UInt32 pft = kAudioStreamPropertyPhysicalFormat;
    constexpr UInt32 sfmt = kAudioDevicePropertyStreamFormat;
    constexpr UInt32 nsrt = kAudioDevicePropertyNominalSampleRate;
    constexpr UInt32 ltnc = kAudioDevicePropertyLatency;
    constexpr UInt32 saft = kAudioDevicePropertySafetyOffset;
    const AudioObjectID dev = TestDevice::kDefaultDeviceID;
    const std::vector<LoggedNote> expected = {
        {'s', 202, {pft, 0, 1}},  {'s', 202, {sfmt, 0, 1}}, {'s', 202, {nsrt, 0, 1}}, {'s', 201, {nsrt, 0, 0}},
        {'d', dev, {pft, 1, 1}},  {'d', dev, {sfmt, 1, 1}}, {'d', dev, {pft, 0, 1}},  {'d', dev, {sfmt, 0, 1}},
        {'d', dev, {nsrt, 0, 1}}, {'d', dev, {ltnc, 0, 1}}, {'d', dev, {saft, 0, 1}}, {'d', dev, {nsrt, 0, 0}},
        {'d', dev, {ltnc, 0, 0}}, {'d', dev, {saft, 0, 0}},
    };
    EXPECT_EQ(log.Get(), expected);

    // The output stream followed the new rate without a change of its own.
    EXPECT_EQ(input.GetCurrentNominalSampleRate(), 44100.0);
    EXPECT_EQ(output.GetCurrentNominalSampleRate(), 44100.0);
    EXPECT_EQ(output.mPhysicalFormatChangedCount, 1u);
    EXPECT_EQ(output.mChangePhysicalFormatCount, 0u);
    EXPECT_EQ(input.mPhysicalFormatChangedCount, 0u);
    EXPECT_EQ(device.mPhysicalFormatChangedCount, 1u);

    device.RemoveStream(&input);
    device.RemoveStream(&output);
    input.Teardown();
    output.Teardown();
}

// The same change made through the plug-in's interface table, as the host
// makes it, and seen where the host sees it: the server's record of the
// notifications it was sent.
TEST(FormatChangeNotificationOrderTest, HostReceivesTheRateChangeNotificationsInOrder)
{
    // A factory of this test only.
    CFUUIDRef factory = CFUUIDGetConstantUUIDWithBytes(nullptr, 0x4B, 0x45, 0x53, 0x54, 0x52, 0x4F, 0x53, 0x54,
                                                       0x52, 0x45, 0x41, 0x4D, 0x00, 0x00, 0x00, 0x08);
    HPPlugIn plugIn(factory);
    constexpr AudioDeviceID kDeviceID = 150;
    constexpr AudioStreamID kOutputID = 251;
    constexpr AudioStreamID kInputID = 252;
    TestDevice device(&plugIn, kDeviceID);
    TestStream output(&plugIn, &device, kOutputID, false, 1, 2);
    TestStream input(&plugIn, &device, kInputID, true, 1, 2);
    device.mForwardNotifications = true;
    output.mForwardNotifications = true;
    input.mForwardNotifications = true;
    output.Initialize();
    input.Initialize();
    device.AddStream(&output);
    device.AddStream(&input);
    plugIn.AddDevice(&device);
    plugIn.AddStream(&output);
    plugIn.AddStream(&input);

    AudioHardwareServerClearEvents();
    const Float64 rate = 44100.0;
    const AudioHardwarePlugInRef self = plugIn.GetInterface();
    EXPECT_EQ(HPPlugIn::sInterface.StreamSetProperty(self, kInputID, nullptr, 0, kAudioDevicePropertyNominalSampleRate,
                                                     sizeof(rate), &rate),
              0);

    using Event = AudioHardwareServerEvent;
    struct Expected {
        Event::Kind mKind;
        AudioStreamID mStream;
        UInt32 mChannel;
        Boolean mIsInput;
        UInt32 mSelector;
    };
    constexpr auto stream = Event::kStreamPropertyChanged;
    constexpr auto dev = Event::kDevicePropertyChanged;
    const Expected expected[] = {
        {stream, kInputID, 0, 0, kAudioStreamPropertyPhysicalFormat},
        {stream, kInputID, 0, 0, kAudioDevicePropertyStreamFormat},
        {stream, kInputID, 0, 0, kAudioDevicePropertyNominalSampleRate},
        {stream, kOutputID, 0, 0, kAudioDevicePropertyNominalSampleRate},
        {dev, 0, 1, 1, kAudioStreamPropertyPhysicalFormat},
        {dev, 0, 1, 1, kAudioDevicePropertyStreamFormat},
        {dev, 0, 0, 1, kAudioStreamPropertyPhysicalFormat},
        {dev, 0, 0, 1, kAudioDevicePropertyStreamFormat},
        {dev, 0, 0, 1, kAudioDevicePropertyNominalSampleRate},
        {dev, 0, 0, 1, kAudioDevicePropertyLatency},
        {dev, 0, 0, 1, kAudioDevicePropertySafetyOffset},
        {dev, 0, 0, 0, kAudioDevicePropertyNominalSampleRate},
        {dev, 0, 0, 0, kAudioDevicePropertyLatency},
        {dev, 0, 0, 0, kAudioDevicePropertySafetyOffset},
    };
    std::vector<Event> events;
    for (const Event& event : AudioHardwareServerCopyEvents()) {
        if (event.mPlugIn == self) {
            events.push_back(event);
        }
    }
    ASSERT_EQ(events.size(), std::size(expected));
    for (std::size_t index = 0; index < events.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(events[index].mKind, expected[index].mKind);
        EXPECT_EQ(events[index].mDevice, kDeviceID);
        EXPECT_EQ(events[index].mStream, expected[index].mStream);
        EXPECT_EQ(events[index].mChannel, expected[index].mChannel);
        if (expected[index].mKind == dev) {
            EXPECT_EQ(events[index].mIsInput, expected[index].mIsInput);
        }
        EXPECT_EQ(FourCCText(events[index].mSelector).c_str(),
                  std::string(FourCCText(expected[index].mSelector).c_str()));
    }
    EXPECT_EQ(output.GetCurrentNominalSampleRate(), 44100.0);

    plugIn.RemoveStream(&input);
    plugIn.RemoveStream(&output);
    plugIn.RemoveDevice(&device);
    device.RemoveStream(&input);
    device.RemoveStream(&output);
    input.Teardown();
    output.Teardown();
}

}  // namespace
