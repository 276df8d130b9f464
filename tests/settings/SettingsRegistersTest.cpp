// Filling the settings record from an image of the unit's registers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Digitizers/Orvel/Zent_Orvel_AVUnitRegisters.h"
#include "Digitizers/Orvel/Zent_Orvel_Settings.h"

using Zent::Orvel::AVUnitRegisters;
using Zent::Orvel::Settings;

namespace {

// A field by its offset in the shared layout, read from the record's bytes,
// so the test does not depend on member names.
UInt32 FieldAt(const Settings& inSettings, std::size_t inOffset, std::size_t inWidth)
{
    unsigned char bytes[sizeof(Settings)];
    std::memcpy(bytes, &inSettings, sizeof bytes);
    if (inWidth == 4) {
        UInt32 value;
        std::memcpy(&value, bytes + inOffset, 4);
        return value;
    }
    SInt16 value;
    std::memcpy(&value, bytes + inOffset, 2);
    return UInt32(UInt16(value));
}

void SetFieldAt(Settings& ioSettings, std::size_t inOffset, std::size_t inWidth, UInt32 inValue)
{
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&ioSettings);
    if (inWidth == 4) {
        std::memcpy(bytes + inOffset, &inValue, 4);
    } else {
        const UInt16 half = UInt16(inValue);
        std::memcpy(bytes + inOffset, &half, 2);
    }
}

// Which register word and bits each field comes from. A field with an
// all-ones word holds its mask; the pair 1 and 3 adjustments are the word's
// third byte moved down (0xFF).
struct RegisterField {
    std::size_t offset;
    std::size_t width;
    UInt32 word;
    UInt32 fromAllOnes;
};

const std::vector<RegisterField> kRegisterFields = {
    {44, 4, 0x00, 0x7},              // framerate
    {48, 4, 0x00, 0x1C0},            // framegeometry
    {52, 4, 0x00, 0xE000},           // standard
    {0, 4, 0x00, 0x180000},          // genlock
    {4, 4, 0x00, 0x400000},          // direction
    {8, 4, 0x1C, 0xFFFF},            // videoinformat
    {28, 4, 0x20, 0xFFFF0000},       // videooutmode
    {32, 4, 0x20, 0x01000000},       // videooutanalogmonitoringmode
    {24, 4, 0x20, 0xFFFF},           // videooutformat
    {56, 4, 0x34, 0xFF},             // audioinformat
    {60, 4, 0x34, 0xF00},            // audioinwordsize
    {64, 4, 0x34, 0xF000},           // audioinsamplerate
    {68, 4, 0x34, 0x10000},          // audioinsynchronous
    {72, 4, 0x34, 0x20000},          // audioinmute
    {76, 4, 0x38, 0xF},              // audioin0gain
    {80, 4, 0x38, 0xF0},             // audioin1gain
    {84, 4, 0x38, 0xF00},            // audioin2gain
    {88, 4, 0x38, 0xF000},           // audioin3gain
    {92, 2, 0x3C, 0xFF},             // audioin0gainadj
    {94, 2, 0x3C, 0xFF},             // audioin1gainadj
    {96, 2, 0x40, 0xFF},             // audioin2gainadj
    {98, 2, 0x40, 0xFF},             // audioin3gainadj
    {100, 4, 0x44, 0xFF},            // audiooutformat
    {104, 4, 0x44, 0xF00},           // audiooutwordsize
    {108, 4, 0x44, 0xF000},          // audiooutsamplerate
    {112, 4, 0x44, 0x10000},         // audiooutsynchronous
    {116, 4, 0x44, 0x20000},         // audiooutmute
    {120, 4, 0x48, 0xF},             // audioout0gain
    {124, 4, 0x48, 0xF0},            // audioout1gain
    {128, 4, 0x48, 0xF00},           // audioout2gain
    {132, 4, 0x48, 0xF000},          // audioout3gain
    {136, 2, 0x4C, 0xFF},            // audioout0gainadj
    {138, 2, 0x4C, 0xFF},            // audioout1gainadj
    {140, 2, 0x50, 0xFF},            // audioout2gainadj
    {142, 2, 0x50, 0xFF},            // audioout3gainadj
};

// Fields no register sets: the input mode and types, the output types, avsync.
const std::vector<std::pair<std::size_t, std::size_t>> kUntouchedFields = {
    {12, 4}, {16, 4}, {20, 4}, {36, 4}, {40, 4}, {144, 2}, {146, 2}, {148, 2}};

constexpr UInt32 kSentinel = 0x5A5A;

Settings SentinelSettings()
{
    Settings s;
    for (const RegisterField& f : kRegisterFields) {
        SetFieldAt(s, f.offset, f.width, kSentinel);
    }
    for (const auto& [offset, width] : kUntouchedFields) {
        SetFieldAt(s, offset, width, kSentinel);
    }
    return s;
}

class SettingsRegisterWord : public testing::TestWithParam<UInt32> {};

// With one word all ones and the others zero, exactly the fields of that word
// take their bits; every other register field becomes 0 and the fields no
// register sets keep their values.
TEST_P(SettingsRegisterWord, EachWordFillsExactlyItsFields)
{
    const UInt32 word = GetParam();
    AVUnitRegisters registers;
    ASSERT_TRUE(registers.SetWord(word, 0xFFFFFFFF));
    Settings s = SentinelSettings();
    testing::internal::CaptureStderr();
    s.GetRegisterSettings(&registers);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (const RegisterField& f : kRegisterFields) {
        EXPECT_EQ(FieldAt(s, f.offset, f.width), f.word == word ? f.fromAllOnes : 0u) << "offset " << f.offset;
    }
    for (const auto& [offset, width] : kUntouchedFields) {
        EXPECT_EQ(FieldAt(s, offset, width), kSentinel) << "offset " << offset;
    }
}

INSTANTIATE_TEST_SUITE_P(Words, SettingsRegisterWord,
                         testing::Values(0x00, 0x1C, 0x20, 0x34, 0x38, 0x3C, 0x40, 0x44, 0x48, 0x4C, 0x50));

TEST(SettingsRegisters, WordsNotReadChangeNothing)
{
    AVUnitRegisters registers;
    for (UInt32 offset : {0x04u, 0x08u, 0x0Cu, 0x10u, 0x14u, 0x18u, 0x24u, 0x28u, 0x2Cu, 0x30u}) {
        ASSERT_TRUE(registers.SetWord(offset, 0xFFFFFFFF));
    }
    Settings s = SentinelSettings();
    s.GetRegisterSettings(&registers);
    for (const RegisterField& f : kRegisterFields) {
        EXPECT_EQ(FieldAt(s, f.offset, f.width), 0u) << "offset " << f.offset;
    }
}

TEST(SettingsRegisters, FineAdjustmentsOfAllFourPairs)
{
    AVUnitRegisters registers;
    registers.SetWord(AVUnitRegisters::kAudioInGainAdj01Word, 0x00120034);
    registers.SetWord(AVUnitRegisters::kAudioInGainAdj23Word, 0xAB56CD78);
    registers.SetWord(AVUnitRegisters::kAudioOutGainAdj01Word, 0x00FF00FF);
    registers.SetWord(AVUnitRegisters::kAudioOutGainAdj23Word, 0x0001FF02);
    Settings s;
    s.GetRegisterSettings(&registers);
    EXPECT_EQ(s.audioin0gainadj, 0x34);
    EXPECT_EQ(s.audioin1gainadj, 0x12);
    EXPECT_EQ(s.audioin2gainadj, 0x78);
    EXPECT_EQ(s.audioin3gainadj, 0x56);
    EXPECT_EQ(s.audioout0gainadj, 0xFF);
    EXPECT_EQ(s.audioout1gainadj, 0xFF);
    EXPECT_EQ(s.audioout2gainadj, 0x02);
    EXPECT_EQ(s.audioout3gainadj, 0x01);
}

// A unit at 25 fps, 720 x 576, 'v210' in, 96000 Hz 16-bit ADAT in, AES out.
TEST(SettingsRegisters, ARealisticImageDrivesTheAccessors)
{
    AVUnitRegisters registers;
    registers.SetWord(AVUnitRegisters::kVideoFormatWord, 0x400000 | 0x6000 | 192 | 5);
    registers.SetWord(AVUnitRegisters::kVideoInFormatWord, 0xABCD0001);
    registers.SetWord(AVUnitRegisters::kVideoOutWord, 0x00020000);
    registers.SetWord(AVUnitRegisters::kAudioInWord, 0x10000 | 0x2000 | 0x000 | 4);
    registers.SetWord(AVUnitRegisters::kAudioOutWord, 0x20000 | 0x0000 | 0x100 | 2);
    registers.SetWord(AVUnitRegisters::kAudioInGainWord, 0x4321);
    Settings s;
    s.GetRegisterSettings(&registers);
    EXPECT_EQ(s.direction, 0x400000u);
    EXPECT_EQ(s.genlock, 0u);
    EXPECT_EQ(s.GetScale(), 2500u);
    EXPECT_EQ(s.GetWidth(), 720u);
    EXPECT_EQ(s.GetHeight(), 576u);
    EXPECT_EQ(s.GetFourCC(true), FourCC("v210"));
    EXPECT_EQ(s.GetFourCC(false), FourCC("2vuy"));
    EXPECT_EQ(s.videooutmode, 0x20000u);
    EXPECT_EQ(s.GetPacketCount(true), 309u);
    EXPECT_EQ(s.GetVideoPacketCount(true) + s.GetAudioPacketCount(true), 309u);
    EXPECT_EQ(s.GetSampleRate(true), 96000u);
    EXPECT_EQ(s.GetWordSizeAsBytes(true), 2u);
    EXPECT_EQ(s.GetAudioFormat(true), Settings::kAudioFormatADAT);
    EXPECT_EQ(s.audioinsynchronous, 0x10000u);
    EXPECT_EQ(s.GetSampleRate(false), 44100u);
    EXPECT_EQ(s.GetWordSizeAsBytes(false), 3u);
    EXPECT_EQ(s.GetAudioFormat(false), Settings::kAudioFormatAES);
    EXPECT_EQ(s.audiooutmute, 0x20000u);
    EXPECT_EQ(s.GetSampleCountForSequence(true, 9), 3840u);
    EXPECT_EQ(s.GetSampleCountForSequence(false, 9), 1764u);
    EXPECT_EQ(s.audioin0gain, 0x1u);
    EXPECT_EQ(s.audioin1gain, 0x20u);
    EXPECT_EQ(s.audioin2gain, 0x300u);
    EXPECT_EQ(s.audioin3gain, 0x4000u);
}

TEST(AVUnitRegisters, WordsByByteOffsetWithinTheImage)
{
    AVUnitRegisters registers;
    for (UInt32 offset = 0; offset < AVUnitRegisters::kByteSize; offset += 4) {
        EXPECT_EQ(registers.GetWord(offset), 0u);
        EXPECT_TRUE(registers.SetWord(offset, offset * 3 + 1));
    }
    for (UInt32 offset = 0; offset < AVUnitRegisters::kByteSize; offset += 4) {
        EXPECT_EQ(registers.GetWord(offset), offset * 3 + 1);
    }
}

TEST(AVUnitRegisters, OffsetsOutsideTheImageAreRefusedAndChangeNothing)
{
    AVUnitRegisters registers;
    registers.SetWord(0x50, 7);
    const AVUnitRegisters before = registers;
    for (UInt32 offset : {0x54u, 0x55u, 0x1000u, 0xFFFFFFFCu, 0x1u, 0x4Eu}) {
        EXPECT_FALSE(registers.SetWord(offset, 0xFFFFFFFF)) << offset;
        EXPECT_EQ(registers.GetWord(offset), 0u) << offset;
    }
    EXPECT_EQ(std::memcmp(&registers, &before, sizeof registers), 0);
}

}  // namespace
