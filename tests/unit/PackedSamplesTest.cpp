// The unit's sample words: packing, sign extension, saturation and the float
// scaling used for a caller's float input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "unit/PackedSamples.h"

namespace {

using Kestro::Unit::PackedSamples;

TEST(PackedSamples, PacksLittleEndianAndUnpacksSignExtended)
{
    const SInt32 values[] = {0, 1, -1, 0x7FFFFF, -0x800000, 0x123456};
    UInt8 bytes[sizeof values / sizeof values[0] * 3] = {};
    PackedSamples::Pack(values, 6, 3, bytes);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(bytes[4], 0x00);
    EXPECT_EQ(bytes[6], 0xFF);
    EXPECT_EQ(bytes[7], 0xFF);
    EXPECT_EQ(bytes[8], 0xFF);
    EXPECT_EQ(bytes[15], 0x56);
    EXPECT_EQ(bytes[16], 0x34);
    EXPECT_EQ(bytes[17], 0x12);
    SInt32 back[6] = {};
    PackedSamples::Unpack(bytes, 6, 3, back);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(back[i], values[i]) << i;
    }
}

TEST(PackedSamples, SixteenBitRoundTripCoversTheWholeRange)
{
    std::vector<SInt32> values;
    for (SInt32 value = -32768; value <= 32767; ++value) {
        values.push_back(value);
    }
    std::vector<UInt8> bytes(values.size() * 2);
    PackedSamples::Pack(values.data(), UInt32(values.size()), 2, bytes.data());
    std::vector<SInt32> back(values.size());
    PackedSamples::Unpack(bytes.data(), UInt32(values.size()), 2, back.data());
    EXPECT_EQ(back, values);
}

TEST(PackedSamples, PackSaturatesInsteadOfWrapping)
{
    const SInt32 values[] = {40000, -40000, 0x1000000, -0x1000000};
    UInt8 bytes16[8];
    PackedSamples::Pack(values, 2, 2, bytes16);
    SInt32 back[4];
    PackedSamples::Unpack(bytes16, 2, 2, back);
    EXPECT_EQ(back[0], 32767);
    EXPECT_EQ(back[1], -32768);
    UInt8 bytes24[6];
    PackedSamples::Pack(values + 2, 2, 3, bytes24);
    PackedSamples::Unpack(bytes24, 2, 3, back);
    EXPECT_EQ(back[0], 0x7FFFFF);
    EXPECT_EQ(back[1], -0x800000);
}

TEST(PackedSamples, FromFloatScalesRoundsAndSaturates)
{
    struct Case {
        float value;
        UInt32 bits;
        SInt32 expected;
    };
    const float lsb16 = 1.0f / 32768.0f;
    const Case cases[] = {
        {0.0f, 16, 0},
        {1.0f, 16, 32767},
        {-1.0f, 16, -32768},
        {1.1f, 24, 0x7FFFFF},
        {-1.1f, 24, -0x800000},
        {lsb16, 16, 1},
        {-lsb16, 16, -1},
        {0.75f * lsb16, 16, 1},
        {0.25f * lsb16, 16, 0},
        {std::numeric_limits<float>::infinity(), 16, 32767},
        {std::numeric_limits<float>::quiet_NaN(), 24, 0},
        {0.5f, 24, 0x400000},
    };
    for (const Case& each : cases) {
        EXPECT_EQ(PackedSamples::FromFloat(each.value, each.bits), each.expected)
            << each.value << " at " << each.bits << " bits";
    }
}

TEST(PackedSamples, BigEndianFloatPutsTheSignByteFirst)
{
    UInt8 bytes[4];
    PackedSamples::StoreBigEndianFloat(-2.0f, bytes);
    EXPECT_EQ(bytes[0], 0xC0);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x00);
}

}  // namespace
