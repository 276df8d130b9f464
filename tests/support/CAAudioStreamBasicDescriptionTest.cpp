#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/CAAudioStreamBasicDescription.h"

namespace {

constexpr UInt32 kLPCM = kAudioFormatLinearPCM;
constexpr UInt32 kAC3 = FourCC("ac-3");
constexpr UInt32 kInt = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
constexpr UInt32 kFloat = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;

// rate, ID, bits, channels, flags; bytes follow from them.
CAAudioStreamBasicDescription F(Float64 rate, UInt32 id, UInt32 bits, UInt32 channels, UInt32 flags = 0)
{
    const UInt32 bytes = bits / 8 * channels;
    return CAAudioStreamBasicDescription(rate, id, bytes, bits ? 1 : 0, bytes, channels, bits, flags);
}

AudioStreamBasicDescription Garbage()
{
    AudioStreamBasicDescription format;
    std::memset(&format, 0xEE, sizeof format);
    return format;
}

}  // namespace

TEST(CAAudioStreamBasicDescription, EveryFormatMadeResetOrCopiedHasReservedZero)
{
    const AudioStreamBasicDescription dirty = Garbage();
    const CAAudioStreamBasicDescription copied(dirty);
    EXPECT_EQ(0u, copied.mReserved);
    EXPECT_EQ(dirty.mBitsPerChannel, copied.mBitsPerChannel);
    EXPECT_EQ(0, std::memcmp(&dirty, &copied, offsetof(AudioStreamBasicDescription, mReserved)));

    CAAudioStreamBasicDescription assigned;
    EXPECT_EQ(0u, assigned.mReserved);
    EXPECT_EQ(0.0, assigned.mSampleRate);
    assigned = dirty;
    EXPECT_EQ(0u, assigned.mReserved);
    EXPECT_EQ(dirty.mFormatFlags, assigned.mFormatFlags);

    EXPECT_EQ(0u, F(48000, kLPCM, 24, 2, kInt).mReserved);

    AudioStreamBasicDescription reset = dirty;
    CAAudioStreamBasicDescription::ResetFormat(reset);
    const AudioStreamBasicDescription zero = {};
    EXPECT_EQ(0, std::memcmp(&zero, &reset, sizeof reset));
    static_assert(sizeof(CAAudioStreamBasicDescription) == sizeof(AudioStreamBasicDescription));
}

TEST(CAAudioStreamBasicDescription, NormalizeGivesNativePackedFloat)
{
    AudioStreamBasicDescription format = F(48000, kLPCM, 24, 2, kInt);
    format.mReserved = 7;
    CAAudioStreamBasicDescription::NormalizeLinearPCMFormat(format);
    EXPECT_EQ(32u, format.mBitsPerChannel);
    EXPECT_EQ(8u, format.mBytesPerFrame);
    EXPECT_EQ(1u, format.mFramesPerPacket);
    EXPECT_EQ(8u, format.mBytesPerPacket);
    EXPECT_EQ(48000.0, format.mSampleRate);
    EXPECT_EQ(2u, format.mChannelsPerFrame);
    EXPECT_EQ(0u, format.mReserved);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    EXPECT_EQ(9u, format.mFormatFlags);  // float | packed: the host's own byte order
#else
    EXPECT_EQ(11u, format.mFormatFlags);
#endif
    EXPECT_EQ(UInt32(kAudioFormatFlagsNativeFloatPacked), format.mFormatFlags);

    AudioStreamBasicDescription ac3 = F(48000, kAC3, 0, 2);
    const AudioStreamBasicDescription before = ac3;
    CAAudioStreamBasicDescription::NormalizeLinearPCMFormat(ac3);
    EXPECT_EQ(0, std::memcmp(&before, &ac3, sizeof ac3));
}

TEST(CAAudioStreamBasicDescription, FillOutTakesOnlyTheZeroFields)
{
    AudioStreamBasicDescription format = CAAudioStreamBasicDescription(0, kLPCM, 0, 1, 0, 2, 0, 0);
    const AudioStreamBasicDescription from = CAAudioStreamBasicDescription(44100, kAC3, 16, 4, 8, 6, 32, 11);
    CAAudioStreamBasicDescription::FillOutFormat(format, from);
    EXPECT_EQ(44100.0, format.mSampleRate);
    EXPECT_EQ(11u, format.mFormatFlags);
    EXPECT_EQ(kLPCM, format.mFormatID);  // already set
    EXPECT_EQ(16u, format.mBytesPerPacket);
    EXPECT_EQ(1u, format.mFramesPerPacket);  // already set
    EXPECT_EQ(8u, format.mBytesPerFrame);
    EXPECT_EQ(2u, format.mChannelsPerFrame);  // already set
    EXPECT_EQ(32u, format.mBitsPerChannel);
}

TEST(CAAudioStreamBasicDescription, EqualityTreatsZeroFieldsAsWildcards)
{
    struct Case {
        AudioStreamBasicDescription x, y;
        bool equal;
        const char* what;
    };
    auto withFlags = [](CAAudioStreamBasicDescription f, UInt32 flags) {
        f.mFormatFlags = flags;
        return f;
    };
    const Case cases[] = {
        {F(48000, kLPCM, 0, 2), F(0, kLPCM, 0, 2), true, "zero rate matches any rate"},
        {F(48000, kLPCM, 0, 2), F(44100, kLPCM, 0, 2), false, "rates differ"},
        {F(48000, kLPCM, 16, 2, kInt), F(48000, kLPCM, 16, 2, kInt), true, "identical"},
        {F(48000, kLPCM, 16, 2, kInt), F(48000, kLPCM, 16, 2, kFloat), false, "flags differ"},
        {F(48000, kLPCM, 16, 2, kInt), F(48000, kLPCM, 16, 2, 0), true, "zero flags match"},
        {withFlags(F(48000, 0, 16, 2), kInt), withFlags(F(48000, kLPCM, 16, 2), kFloat), true,
         "flags ignored without both IDs"},
        {F(48000, kLPCM, 16, 2), F(48000, kAC3, 16, 2), false, "IDs differ"},
        {F(48000, kLPCM, 16, 2), F(48000, kLPCM, 24, 2), false, "bits differ"},
        {F(48000, kLPCM, 16, 2), F(48000, kLPCM, 16, 8), false, "channels differ"},
        {F(48000, kLPCM, 16, 2), F(48000, kLPCM, 0, 0), true, "zero bits and channels match"},
        {CAAudioStreamBasicDescription(), F(96000, kAC3, 32, 6, kFloat), true, "all zero matches all"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.equal, c.x == c.y) << c.what;
        EXPECT_EQ(c.equal, c.y == c.x) << c.what;
    }
    AudioStreamBasicDescription reserved = F(48000, kLPCM, 16, 2, kInt);
    reserved.mReserved = 99;
    EXPECT_TRUE(reserved == F(48000, kLPCM, 16, 2, kInt)) << "mReserved is never compared";
}

TEST(CAAudioStreamBasicDescription, OrderingPutsLinearPCMFirstThenIntegerThenBitsRateChannels)
{
    struct Case {
        AudioStreamBasicDescription x, y;
        const char* what;
    };
    // Each x is less than its y, and y is not less than x.
    const Case less[] = {
        {F(96000, kLPCM, 32, 8, kFloat), F(8000, kAC3, 16, 2), "linear PCM before AC-3 whatever the rate"},
        {F(48000, kAC3, 16, 2), F(48000, FourCC("cac3"), 16, 2), "other IDs by value"},
        {F(48000, kLPCM, 16, 2, kInt), F(48000, kLPCM, 32, 2, kFloat), "integer before float"},
        {F(48000, kLPCM, 32, 2, kInt), F(44100, kLPCM, 16, 2, kFloat), "float bit before depth and rate"},
        {F(48000, kLPCM, 16, 2, kInt), F(44100, kLPCM, 24, 2, kInt), "bit depth before rate"},
        {F(44100, kLPCM, 16, 2, kInt), F(48000, kLPCM, 16, 2, kInt), "rate"},
        {F(44100, kLPCM, 16, 8, kInt), F(48000, kLPCM, 16, 2, kInt), "rate before channels"},
        {F(48000, kLPCM, 16, 2, kInt), F(48000, kLPCM, 16, 8, kInt), "channels"},
    };
    for (const Case& c : less) {
        EXPECT_TRUE(c.x < c.y) << c.what;
        EXPECT_FALSE(c.y < c.x) << c.what;
    }
    const Case neither[] = {
        {F(48000, kLPCM, 16, 2, kInt), F(0, kLPCM, 0, 2, kInt), "equal under wildcards"},
        {F(48000, kLPCM, 16, 2, kInt),
         CAAudioStreamBasicDescription(48000, kLPCM, 8, 2, 4, 2, 16, kInt | kAudioFormatFlagIsBigEndian),
         "differ only in fields not inspected"},
        {F(48000, 0, 16, 2), F(48000, kAC3, 16, 2), "a zero ID"},
    };
    for (const Case& c : neither) {
        EXPECT_FALSE(c.x < c.y) << c.what;
        EXPECT_FALSE(c.y < c.x) << c.what;
    }
}

TEST(CAAudioStreamBasicDescription, SimpleNames)
{
    struct Case {
        AudioStreamBasicDescription format;
        const char* abbreviated;
        const char* full;
    };
    const UInt32 bigEndian = kAudioFormatFlagIsBigEndian;
    const Case cases[] = {
        {F(48000, kAC3, 0, 2), "AC-3", "AC-3"},
        {F(48000, FourCC("cac3"), 0, 2), "AC-3 for SPDIF", "AC-3 for SPDIF"},
        {F(48000, FourCC("mp3 "), 0, 2), "mp3 ", "mp3 "},
        {F(48000, kLPCM, 24, 2, kInt), "2 Ch Little Endian SInt24", "2 Channel 24 Bit Little Endian Signed Integer"},
        {F(48000, kLPCM, 32, 8, kFloat | bigEndian), "8 Ch Float32", "8 Channel 32 Bit Floating Point"},
        {CAAudioStreamBasicDescription(48000, kLPCM, 8, 1, 8, 2, 24, kAudioFormatFlagIsSignedInteger),
         "2 Ch Little Endian Low SInt24/SInt32", "2 Channel 24 Bit Little Endian Signed Integer Aligned Low in 32 Bits"},
        {CAAudioStreamBasicDescription(48000, kLPCM, 4, 1, 4, 1, 20,
                                       kAudioFormatFlagIsAlignedHigh | bigEndian),
         "1 Ch High UInt20/UInt32", "1 Channel 20 Bit Unsigned Integer Aligned High in 32 Bits"},
        {CAAudioStreamBasicDescription(48000, kLPCM, 0, 1, 0, 0, 16, kAudioFormatFlagIsSignedInteger),
         "0 Ch Little Endian Low SInt16/SInt0", "0 Channel 16 Bit Little Endian Signed Integer Aligned Low in 0 Bits"},
    };
    for (const Case& c : cases) {
        char name[CAAudioStreamBasicDescription::kSimpleNameSize];
        CAAudioStreamBasicDescription::GetSimpleName(c.format, name, true);
        EXPECT_STREQ(c.abbreviated, name);
        CAAudioStreamBasicDescription::GetSimpleName(c.format, name, false);
        EXPECT_STREQ(c.full, name);
    }
    // A short buffer gets a cut, terminated name and nothing beyond it.
    char small[8 + 4];
    std::memset(small, 'X', sizeof small);
    CAAudioStreamBasicDescription::GetSimpleName(F(48000, kLPCM, 24, 2, kInt), small, 8, false);
    EXPECT_STREQ("2 Chann", small);
    EXPECT_EQ('X', small[8]);
}

TEST(CAAudioStreamBasicDescription, PrintToLogWritesOneFieldALine)
{
    testing::internal::CaptureStderr();
    CAAudioStreamBasicDescription::PrintToLog(F(48000, kLPCM, 24, 8, kInt));
    EXPECT_EQ("  Sample Rate:        48000.000000\n"
              "  Format ID:          'lpcm'\n"
              "  Format Flags:       0xC\n"
              "  Bytes per Packet:   24\n"
              "  Frames per Packet:  1\n"
              "  Bytes per Frame:    24\n"
              "  Channels per Frame: 8\n"
              "  Bits per Channel:   24\n",
              testing::internal::GetCapturedStderr());
}
