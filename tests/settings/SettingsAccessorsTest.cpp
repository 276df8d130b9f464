// The settings record's defaults and the quantities derived from its codes.
#include <gtest/gtest.h>

#include <string>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"

using Zent::Orvel::Settings;

namespace {

TEST(SettingsDefaults, FieldsHoldTheSharedDefaults)
{
    const Settings s;
    EXPECT_EQ(s.genlock, 0u);
    EXPECT_EQ(s.direction, 0x400000u);
    EXPECT_EQ(s.videoinformat, 0u);
    EXPECT_EQ(s.videoinmode, 0x10000u);
    EXPECT_EQ(s.videoincompositentsctype, 0u);
    EXPECT_EQ(s.videoincomponenttype, 0u);
    EXPECT_EQ(s.videooutformat, 0u);
    EXPECT_EQ(s.videooutmode, 0x10000u);
    EXPECT_EQ(s.videooutanalogmonitoringmode, 0u);
    EXPECT_EQ(s.videooutcompositentsctype, 0u);
    EXPECT_EQ(s.videooutcomponenttype, 0u);
    EXPECT_EQ(s.framerate, 4u);
    EXPECT_EQ(s.framegeometry, 128u);
    EXPECT_EQ(s.standard, 0x4000u);
    for (bool in : {true, false}) {
        SCOPED_TRACE(in ? "input" : "output");
        EXPECT_EQ(in ? s.audioinformat : s.audiooutformat, 1u);
        EXPECT_EQ(in ? s.audioinwordsize : s.audiooutwordsize, 0x100u);
        EXPECT_EQ(in ? s.audioinsamplerate : s.audiooutsamplerate, 0x1000u);
        EXPECT_EQ(in ? s.audioinsynchronous : s.audiooutsynchronous, 0u);
        EXPECT_EQ(in ? s.audioinmute : s.audiooutmute, 0u);
    }
    EXPECT_EQ(s.audioin0gain | s.audioin1gain | s.audioin2gain | s.audioin3gain, 0u);
    EXPECT_EQ(s.audioout0gain | s.audioout1gain | s.audioout2gain | s.audioout3gain, 0u);
    EXPECT_EQ(s.audioin0gainadj | s.audioin1gainadj | s.audioin2gainadj | s.audioin3gainadj, 0);
    EXPECT_EQ(s.audioout0gainadj | s.audioout1gainadj | s.audioout2gainadj | s.audioout3gainadj, 0);
    EXPECT_EQ(s.avsyncStartVideoAfterAudioWait, 3);
    EXPECT_EQ(s.avsyncReleaseAudioAfterVideoWait, 7);
    EXPECT_EQ(s.avsyncNewMode, 1);
}

TEST(SettingsDefaults, DerivedQuantitiesOfADefaultRecord)
{
    const Settings s;
    for (bool in : {true, false}) {
        SCOPED_TRACE(in ? "input" : "output");
        EXPECT_EQ(s.GetSampleRate(in), 48000u);
        EXPECT_EQ(s.GetWordSizeAsBytes(in), 3u);
        EXPECT_EQ(s.GetChannelCount(in), 8u);
        EXPECT_EQ(s.GetAudioFormat(in), 1u);
        EXPECT_EQ(s.GetPacketCount(in), 261u);
        EXPECT_EQ(s.GetVideoPacketCount(in), 234u);
        EXPECT_EQ(s.GetAudioPacketCount(in), 27u);
        EXPECT_EQ(s.GetBytesPerPacket(in), 3008u);
        EXPECT_EQ(s.GetFourCC(in), FourCC("2vuy"));
        EXPECT_EQ(s.GetRowBytes(in), 1440u);
        EXPECT_EQ(s.GetAudioMaxBufferFrameSize(in), 3840u);
        EXPECT_EQ(s.GetAudioMinBufferFrameSize(in), 1471u);
    }
    EXPECT_EQ(s.GetFrameRateAsFixed(), 0x1DF851);
    EXPECT_EQ(s.GetScale(), 2997u);
    EXPECT_EQ(s.GetWidth(), 720u);
    EXPECT_EQ(s.GetHeight(), 486u);
}

TEST(SettingsDefaults, CopiesCompareEqualAndDifferByAnyField)
{
    Settings a;
    Settings b = a;
    EXPECT_EQ(a, b);
    b.avsyncNewMode = 2;
    EXPECT_NE(a, b);
}

// Audio codes, one direction at a time: the other direction's field holds a
// different code, so a mix-up of directions shows.
struct AudioCodeCase {
    UInt32 rateCode;
    UInt32 sampleRate;
    UInt32 wordCode;
    UInt32 wordBytes;
};

class SettingsAudioCodes : public testing::TestWithParam<AudioCodeCase> {};

TEST_P(SettingsAudioCodes, RateAndWordSizeFollowTheDirectionsCodes)
{
    const AudioCodeCase c = GetParam();
    for (bool in : {true, false}) {
        SCOPED_TRACE(in ? "input" : "output");
        Settings s;
        s.SetSampleRateCode(in, c.rateCode);
        s.SetWordSizeCode(in, c.wordCode);
        s.SetAudioFormat(in, Settings::kAudioFormatADAT);
        s.SetSampleRateCode(!in, Settings::kSampleRate96000);
        s.SetWordSizeCode(!in, Settings::kWordSize16);
        s.SetAudioFormat(!in, Settings::kAudioFormatAnalog);
        EXPECT_EQ(s.GetSampleRate(in), c.sampleRate);
        EXPECT_EQ(s.GetWordSizeAsBytes(in), c.wordBytes);
        EXPECT_EQ(s.GetAudioFormat(in), Settings::kAudioFormatADAT);
        EXPECT_EQ(s.GetSampleRate(!in), 96000u);
        EXPECT_EQ(s.GetWordSizeAsBytes(!in), 2u);
        EXPECT_EQ(s.GetAudioFormat(!in), Settings::kAudioFormatAnalog);
        EXPECT_EQ(s.GetChannelCount(in), 8u);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, SettingsAudioCodes,
                         testing::Values(AudioCodeCase{0, 44100, 0, 2}, AudioCodeCase{0x1000, 48000, 0x100, 3},
                                         AudioCodeCase{0x2000, 96000, 0, 2},
                                         // Unknown codes: no rate, and the zero-divisor ratio as word size.
                                         AudioCodeCase{0x3000, 0, 0x200, Settings::kFixRatioZeroByZero},
                                         AudioCodeCase{0xF000, 0, 0xF00, Settings::kFixRatioZeroByZero},
                                         AudioCodeCase{1, 0, 1, Settings::kFixRatioZeroByZero}));

TEST(SettingsAudioCodes, SettersStoreCodesAsGiven)
{
    Settings s;
    s.SetAudioFormat(true, 16);
    s.SetWordSizeCode(true, 0);
    s.SetSampleRateCode(true, 0x2000);
    s.SetAudioFormat(false, 0xABCD);
    s.SetWordSizeCode(false, 0x7);
    s.SetSampleRateCode(false, 0x3000);
    EXPECT_EQ(s.audioinformat, 16u);
    EXPECT_EQ(s.audioinwordsize, 0u);
    EXPECT_EQ(s.audioinsamplerate, 0x2000u);
    EXPECT_EQ(s.audiooutformat, 0xABCDu);
    EXPECT_EQ(s.audiooutwordsize, 0x7u);
    EXPECT_EQ(s.audiooutsamplerate, 0x3000u);
}

// Frame-rate codes.
struct FrameRateCase {
    UInt32 code;
    Fixed fixed;
    UInt32 scale;
    UInt32 packets;
    bool message;  // "unknown packetcount\n" on standard output
};

class SettingsFrameRates : public testing::TestWithParam<FrameRateCase> {};

TEST_P(SettingsFrameRates, FixedScaleAndPacketCount)
{
    const FrameRateCase c = GetParam();
    Settings s;
    s.framerate = c.code;
    EXPECT_EQ(s.GetFrameRateAsFixed(), c.fixed);
    EXPECT_FLOAT_EQ(s.GetFrameRateAsfloat(), float(double(c.fixed) / 65536.0));
    EXPECT_EQ(s.GetScale(), c.scale);
    for (bool in : {true, false}) {
        testing::internal::CaptureStdout();
        const UInt32 packets = s.GetPacketCount(in);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(packets, c.packets);
        EXPECT_EQ(out, c.message ? "unknown packetcount\n" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SettingsFrameRates,
    testing::Values(FrameRateCase{0, Fixed(Settings::kFixRatioZeroByZero), Settings::kFixRatioZeroByZero, 261, true},
                    FrameRateCase{1, 0x3C0000, 6000, 261, true}, FrameRateCase{2, 0x3BF0A3, 5994, 261, true},
                    FrameRateCase{3, 0x1E0000, 3000, 261, true}, FrameRateCase{4, 0x1DF851, 2997, 261, false},
                    FrameRateCase{5, 0x190000, 2500, 309, false}, FrameRateCase{6, 0x180000, 2400, 261, true},
                    FrameRateCase{7, 0x17F9DB, 2398, 261, true}, FrameRateCase{8, 0, 0, 261, true},
                    FrameRateCase{0xFFFFFFFF, 0, 0, 261, true}));

TEST(SettingsFrameRates, FractionalRatesAreTruncatedDecimalRatesNotRatios)
{
    Settings s;
    s.framerate = Settings::kFrameRate5994;
    EXPECT_EQ(s.GetFrameRateAsFixed(), Fixed(59.94 * 65536));
    s.framerate = Settings::kFrameRate2997;
    EXPECT_EQ(s.GetFrameRateAsFixed(), Fixed(29.97 * 65536));
    EXPECT_NE(s.GetFrameRateAsFixed(), Fixed(30000.0 / 1001.0 * 65536));
    s.framerate = Settings::kFrameRate23976;
    EXPECT_EQ(s.GetFrameRateAsFixed(), Fixed(23.976 * 65536));
}

// How the packets of a frame divide between video and audio.
struct PacketSplitCase {
    UInt32 standard;
    UInt32 format;
    UInt32 video;
    UInt32 audio;
    bool message;
};

class SettingsPacketSplit : public testing::TestWithParam<PacketSplitCase> {};

TEST_P(SettingsPacketSplit, VideoAndAudioPacketsByStandardAndFormat)
{
    const PacketSplitCase c = GetParam();
    for (bool in : {true, false}) {
        SCOPED_TRACE(in ? "input" : "output");
        Settings s;
        s.standard = c.standard;
        (in ? s.videoinformat : s.videooutformat) = c.format;
        // The other direction's format must not matter.
        (in ? s.videooutformat : s.videoinformat) = c.format == 0 ? 1 : 0;
        testing::internal::CaptureStdout();
        const UInt32 video = s.GetVideoPacketCount(in);
        const UInt32 audio = s.GetAudioPacketCount(in);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(video, c.video);
        EXPECT_EQ(audio, c.audio);
        EXPECT_EQ(out, c.message ? "unknown packetcount\nunknown packetcount\n" : "");
        if (!c.message) {
            s.framerate = c.standard == Settings::kStandard25 ? Settings::kFrameRate25 : Settings::kFrameRate2997;
            EXPECT_EQ(video + audio, s.GetPacketCount(in));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, SettingsPacketSplit,
                         testing::Values(PacketSplitCase{0x4000, 0, 234, 27, false},
                                         PacketSplitCase{0x4000, 1, 240, 21, false},
                                         PacketSplitCase{0x6000, 0, 276, 33, false},
                                         PacketSplitCase{0x6000, 1, 284, 25, false},
                                         PacketSplitCase{0x2000, 0, 234, 27, true},
                                         PacketSplitCase{0x4000, 2, 234, 27, true},
                                         PacketSplitCase{0x6000, 0x8000, 234, 27, true}));

// Frame spacing: isochronous cycles per frame without a packet.
struct SpacingCase {
    UInt32 frameRate;
    float spacing;
};

class SettingsFrameSpacing : public testing::TestWithParam<SpacingCase> {};

TEST_P(SettingsFrameSpacing, CyclesWithoutPacketPerFrame)
{
    Settings s;
    s.framerate = GetParam().frameRate;
    testing::internal::CaptureStdout();
    const float spacing = s.GetFrameSpacing(true);
    testing::internal::GetCapturedStdout();
    EXPECT_NEAR(spacing, GetParam().spacing, 0.001f);
}

INSTANTIATE_TEST_SUITE_P(Rates, SettingsFrameSpacing,
                         testing::Values(SpacingCase{5, 11.0f},  // (8000 - 309 * 25) / 25
                                         SpacingCase{4, 5.9337f},  // (8000 - 261 * 29.97) / 29.97, with 29.97 as 0x1DF851
                                         SpacingCase{3, 5.6667f},  // 261 packets assumed: (8000 - 7830) / 30
                                         // No frame rate: nothing to space, and no division by zero.
                                         SpacingCase{0, 0.0f}, SpacingCase{9, 0.0f}));

TEST(SettingsFrameSpacing, TwentyFiveIsExactInSinglePrecision)
{
    Settings s;
    s.framerate = Settings::kFrameRate25;
    EXPECT_EQ(s.GetFrameSpacing(false), 11.0f);
}

// Frame geometry and row bytes in both frame formats.
struct GeometryCase {
    UInt32 code;
    UInt32 width;
    UInt32 height;
    UInt32 rowBytes2vuy;
    UInt32 rowBytesv210;
};

class SettingsGeometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(SettingsGeometry, SizeBoundsAndRowBytes)
{
    const GeometryCase c = GetParam();
    Settings s;
    s.framegeometry = c.code;
    EXPECT_EQ(s.GetWidth(), c.width);
    EXPECT_EQ(s.GetHeight(), c.height);
    const Rect bounds = s.GetBounds();
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.bottom, SInt16(c.height));
    EXPECT_EQ(bounds.right, SInt16(c.width));
    s.videoinformat = Settings::kVideoFormat2vuy;
    s.videooutformat = Settings::kVideoFormatv210;
    EXPECT_EQ(s.GetRowBytes(true), c.rowBytes2vuy);
    EXPECT_EQ(s.GetRowBytes(false), c.rowBytesv210);
    s.videoinformat = Settings::kVideoFormatv210;
    s.videooutformat = Settings::kVideoFormat2vuy;
    EXPECT_EQ(s.GetRowBytes(true), c.rowBytesv210);
    EXPECT_EQ(s.GetRowBytes(false), c.rowBytes2vuy);
}

INSTANTIATE_TEST_SUITE_P(Codes, SettingsGeometry,
                         testing::Values(GeometryCase{0, 1920, 1080, 3840, 5120},
                                         // 1280 is not a multiple of 48: 27 groups of 128 bytes.
                                         GeometryCase{64, 1280, 720, 2560, 3456},
                                         GeometryCase{128, 720, 486, 1440, 1920},
                                         GeometryCase{192, 720, 576, 1440, 1920},
                                         // 648 is not a multiple of 48: (13 + 1) * 128.
                                         GeometryCase{384, 648, 486, 1296, 1792},
                                         GeometryCase{448, 768, 576, 1536, 2048},
                                         GeometryCase{256, 0, 0, 0, 0}, GeometryCase{1, 0, 0, 0, 0}));

TEST(SettingsFrameFormat, KnownFormatsGivePacketSizeAndPixelFormat)
{
    Settings s;
    s.videoinformat = Settings::kVideoFormatv210;
    s.videooutformat = Settings::kVideoFormat2vuy;
    EXPECT_EQ(s.GetBytesPerPacket(true), 3904u);
    EXPECT_EQ(s.GetFourCC(true), 0x76323130u);
    EXPECT_EQ(s.GetBytesPerPacket(false), 3008u);
    EXPECT_EQ(s.GetFourCC(false), 0x32767579u);
}

}  // namespace
