// The settings record's derived quantities and its filling from registers.
// The cadence and packet arithmetic is derived in Digitizers/Orvel/README.md.
#include "Digitizers/Orvel/Zent_Orvel_Settings.h"

#include <cstdio>

namespace Zent {
namespace Orvel {

namespace {

const char kModulePath[] = "Digitizers/Orvel/Zent_VDO_Orvel_VideoUnitRegisters";

// A broken invariant of the record: one line on standard error, then the
// caller carries on with its fallback. No lock, no allocation.
void ReportBrokenInvariant(const char* inCondition, unsigned inLine)
{
    std::fprintf(stderr, "%s:%u: failed assertion `%s'\n", kModulePath, inLine, inCondition);
}

// True when the condition holds; otherwise reports it and gives false.
#define ZENT_ORVEL_CHECK(condition) ((condition) ? true : (ReportBrokenInvariant(#condition, __LINE__), false))

void PrintUnknownPacketCount() { std::fputs("unknown packetcount\n", stdout); }

constexpr UInt32 FourCC2vuy = FourCC("2vuy");
constexpr UInt32 FourCCv210 = FourCC("v210");

// Isochronous cycles per second on the bus.
constexpr float kCyclesPerSecond = 8000.0f;

}  // namespace

// Audio ----------------------------------------------------------------------

UInt32 Settings::GetSampleRate(bool inIsInput) const
{
    switch (GetSampleRateCode(inIsInput)) {
    case kSampleRate44100: return 44100;
    case kSampleRate48000: return 48000;
    case kSampleRate96000: return 96000;
    default: return 0;
    }
}

UInt32 Settings::GetWordSizeAsBytes(bool inIsInput) const
{
    switch (GetWordSizeCode(inIsInput)) {
    case kWordSize16: return 2;
    case kWordSize24: return 3;
    default: return kFixRatioZeroByZero;
    }
}

UInt32 Settings::GetAudioFormat(bool inIsInput) const { return inIsInput ? audioinformat : audiooutformat; }

UInt32 Settings::GetChannelCount(bool) const { return 8; }

// The longest frame (25 fps at 96000 Hz) and the shortest (the short frame of
// the 29.97 fps cadence at 44100 Hz) the unit delivers.
UInt32 Settings::GetAudioMaxBufferFrameSize(bool) const { return 3840; }
UInt32 Settings::GetAudioMinBufferFrameSize(bool) const { return 1471; }

// Video timing -----------------------------------------------------------------

Fixed Settings::GetFrameRateAsFixed() const
{
    switch (framerate) {
    case kFrameRateUndefined: return Fixed(kFixRatioZeroByZero);
    case kFrameRate60: return 0x3C0000;
    case kFrameRate5994: return 0x3BF0A3;  // 59.94 * 65536, truncated
    case kFrameRate30: return 0x1E0000;
    case kFrameRate2997: return 0x1DF851;  // 29.97 * 65536, truncated
    case kFrameRate25: return 0x190000;
    case kFrameRate24: return 0x180000;
    case kFrameRate23976: return 0x17F9DB;  // 23.976 * 65536, truncated
    default: return 0;
    }
}

float Settings::GetFrameRateAsfloat() const { return float(double(GetFrameRateAsFixed()) / 65536.0); }

UInt32 Settings::GetScale() const
{
    switch (framerate) {
    case kFrameRateUndefined: return kFixRatioZeroByZero;
    case kFrameRate60: return 6000;
    case kFrameRate5994: return 5994;
    case kFrameRate30: return 3000;
    case kFrameRate2997: return 2997;
    case kFrameRate25: return 2500;
    case kFrameRate24: return 2400;
    case kFrameRate23976: return 2398;
    default: return 0;
    }
}

UInt32 Settings::GetPacketCount(bool) const
{
    switch (framerate) {
    case kFrameRate2997: return 261;
    case kFrameRate25: return 309;
    default: PrintUnknownPacketCount(); return 261;
    }
}

UInt32 Settings::GetVideoPacketCount(bool inIsInput) const
{
    switch (standard | GetVideoFormat(inIsInput)) {
    case kStandard2997 | kVideoFormat2vuy: return 234;
    case kStandard2997 | kVideoFormatv210: return 240;
    case kStandard25 | kVideoFormat2vuy: return 276;
    case kStandard25 | kVideoFormatv210: return 284;
    default: PrintUnknownPacketCount(); return 234;
    }
}

UInt32 Settings::GetAudioPacketCount(bool inIsInput) const
{
    switch (standard | GetVideoFormat(inIsInput)) {
    case kStandard2997 | kVideoFormat2vuy: return 27;
    case kStandard2997 | kVideoFormatv210: return 21;
    case kStandard25 | kVideoFormat2vuy: return 33;
    case kStandard25 | kVideoFormatv210: return 25;
    default: PrintUnknownPacketCount(); return 27;
    }
}

float Settings::GetFrameSpacing(bool inIsInput) const
{
    const float rate = GetFrameRateAsfloat();
    const float packets = float(GetPacketCount(inIsInput));
    // No frame rate, no frames to space: avoid dividing by zero.
    if (!(rate > 0.0f)) {
        return 0.0f;
    }
    return (kCyclesPerSecond - packets * rate) / rate;
}

// Video frames -----------------------------------------------------------------

UInt32 Settings::GetKnownVideoFormat(bool inIsInput) const
{
    const UInt32 format = GetVideoFormat(inIsInput);
    if (format == kVideoFormat2vuy || format == kVideoFormatv210) {
        return format;
    }
    std::fputs("unknown frame format\n", stdout);
    ZENT_ORVEL_CHECK(format == kVideoFormat2vuy || format == kVideoFormatv210);
    return kVideoFormat2vuy;
}

UInt32 Settings::GetBytesPerPacket(bool inIsInput) const
{
    return GetKnownVideoFormat(inIsInput) == kVideoFormatv210 ? 3904 : 3008;
}

UInt32 Settings::GetFourCC(bool inIsInput) const
{
    return GetKnownVideoFormat(inIsInput) == kVideoFormatv210 ? FourCCv210 : FourCC2vuy;
}

UInt32 Settings::GetHeight() const
{
    switch (framegeometry) {
    case kGeometry1920x1080: return 1080;
    case kGeometry1280x720: return 720;
    case kGeometry720x486: return 486;
    case kGeometry720x576: return 576;
    case kGeometry648x486: return 486;
    case kGeometry768x576: return 576;
    default: return 0;
    }
}

UInt32 Settings::GetWidth() const
{
    switch (framegeometry) {
    case kGeometry1920x1080: return 1920;
    case kGeometry1280x720: return 1280;
    case kGeometry720x486: return 720;
    case kGeometry720x576: return 720;
    case kGeometry648x486: return 648;
    case kGeometry768x576: return 768;
    default: return 0;
    }
}

Rect Settings::GetBounds() const { return Rect{0, 0, SInt16(GetHeight()), SInt16(GetWidth())}; }

UInt32 Settings::GetRowBytes(bool inIsInput) const
{
    const Rect bounds = GetBounds();
    const UInt32 width = UInt32(bounds.right - bounds.left);
    if (GetKnownVideoFormat(inIsInput) == kVideoFormat2vuy) {
        return 2 * width;
    }
    // 'v210' packs 6 pixels into 16 bytes; rows are padded to whole 128-byte
    // groups of 48 pixels.
    if (width % 48 == 0) {
        return width * 8 / 3;
    }
    return (width / 48 + 1) * 128;
}

// Audio cadence ----------------------------------------------------------------

UInt32 Settings::GetSampleCountForSequence(bool inIsInput, UInt32 inFrameIndex) const
{
    const UInt32 rateCode = GetSampleRateCode(inIsInput);
    if (framerate == kFrameRate25) {
        switch (rateCode) {
        case kSampleRate44100: return 1764;
        case kSampleRate48000: return 1920;
        case kSampleRate96000: return 3840;
        default: break;
        }
    } else if (framerate == kFrameRate2997) {
        switch (rateCode) {
        case kSampleRate44100: {
            // 147147 samples per 100 frames: odd frames and 22, 46, 70 are short.
            const UInt32 r = inFrameIndex % 100;
            return (r % 2 == 1 || r == 22 || r == 46 || r == 70) ? 1471 : 1472;
        }
        case kSampleRate48000:
            // 8008 samples per 5 frames: 1602, 1601, 1602, 1601, 1602.
            return (inFrameIndex % 5) % 2 == 1 ? 1601 : 1602;
        case kSampleRate96000: return 3203;
        default: break;
        }
    } else {
        return 0;
    }
    ZENT_ORVEL_CHECK(rateCode == kSampleRate44100 || rateCode == kSampleRate48000 || rateCode == kSampleRate96000);
    return 0;
}

UInt32 Settings::GetFrameCadenceCountForSequence(bool inIsInput, UInt32 inFrameIndex) const
{
    const UInt32 rateCode = GetSampleRateCode(inIsInput);
    if (framerate == kFrameRate25) {
        switch (rateCode) {
        case kSampleRate44100:
        case kSampleRate48000:
        case kSampleRate96000: return 1;
        default: break;
        }
    } else if (framerate == kFrameRate2997) {
        switch (rateCode) {
        case kSampleRate44100: return inFrameIndex % 100 + 1;
        case kSampleRate48000: return inFrameIndex % 5 + 1;
        case kSampleRate96000: return 1;
        default: break;
        }
    } else {
        return 0;
    }
    ZENT_ORVEL_CHECK(rateCode == kSampleRate44100 || rateCode == kSampleRate48000 || rateCode == kSampleRate96000);
    return 0;
}

// Registers ----------------------------------------------------------------------

void Settings::GetRegisterSettings(const AVUnitRegisters* inRegisters)
{
    if (!ZENT_ORVEL_CHECK(inRegisters != nullptr)) {
        return;
    }
    const AVUnitRegisters& r = *inRegisters;

    const UInt32 video = r.GetWord(AVUnitRegisters::kVideoFormatWord);
    framerate = video & 0x7;
    framegeometry = video & 0x1C0;
    standard = video & 0xE000;
    genlock = video & 0x180000;
    direction = video & 0x400000;

    videoinformat = r.GetWord(AVUnitRegisters::kVideoInFormatWord) & 0xFFFF;

    const UInt32 videoOut = r.GetWord(AVUnitRegisters::kVideoOutWord);
    videooutmode = videoOut & 0xFFFF0000;
    videooutanalogmonitoringmode = videoOut & 0x01000000;
    videooutformat = videoOut & 0xFFFF;

    const UInt32 audioIn = r.GetWord(AVUnitRegisters::kAudioInWord);
    audioinformat = audioIn & 0xFF;
    audioinwordsize = audioIn & 0xF00;
    audioinsamplerate = audioIn & 0xF000;
    audioinsynchronous = audioIn & 0x10000;
    audioinmute = audioIn & 0x20000;

    const UInt32 audioInGain = r.GetWord(AVUnitRegisters::kAudioInGainWord);
    audioin0gain = audioInGain & 0xF;
    audioin1gain = audioInGain & 0xF0;
    audioin2gain = audioInGain & 0xF00;
    audioin3gain = audioInGain & 0xF000;

    // Pair 0 (2) in the low byte of its word, pair 1 (3) in the third byte.
    const UInt32 audioInAdj01 = r.GetWord(AVUnitRegisters::kAudioInGainAdj01Word);
    const UInt32 audioInAdj23 = r.GetWord(AVUnitRegisters::kAudioInGainAdj23Word);
    audioin0gainadj = SInt16(audioInAdj01 & 0xFF);
    audioin1gainadj = SInt16((audioInAdj01 >> 16) & 0xFF);
    audioin2gainadj = SInt16(audioInAdj23 & 0xFF);
    audioin3gainadj = SInt16((audioInAdj23 >> 16) & 0xFF);

    const UInt32 audioOut = r.GetWord(AVUnitRegisters::kAudioOutWord);
    audiooutformat = audioOut & 0xFF;
    audiooutwordsize = audioOut & 0xF00;
    audiooutsamplerate = audioOut & 0xF000;
    audiooutsynchronous = audioOut & 0x10000;
    audiooutmute = audioOut & 0x20000;

    const UInt32 audioOutGain = r.GetWord(AVUnitRegisters::kAudioOutGainWord);
    audioout0gain = audioOutGain & 0xF;
    audioout1gain = audioOutGain & 0xF0;
    audioout2gain = audioOutGain & 0xF00;
    audioout3gain = audioOutGain & 0xF000;

    const UInt32 audioOutAdj01 = r.GetWord(AVUnitRegisters::kAudioOutGainAdj01Word);
    const UInt32 audioOutAdj23 = r.GetWord(AVUnitRegisters::kAudioOutGainAdj23Word);
    audioout0gainadj = SInt16(audioOutAdj01 & 0xFF);
    audioout1gainadj = SInt16((audioOutAdj01 >> 16) & 0xFF);
    audioout2gainadj = SInt16(audioOutAdj23 & 0xFF);
    audioout3gainadj = SInt16((audioOutAdj23 >> 16) & 0xFF);
}

// Setters ----------------------------------------------------------------------

void Settings::SetAudioFormat(bool inIsInput, UInt32 inCode) { (inIsInput ? audioinformat : audiooutformat) = inCode; }

void Settings::SetWordSizeCode(bool inIsInput, UInt32 inCode)
{
    (inIsInput ? audioinwordsize : audiooutwordsize) = inCode;
}

void Settings::SetSampleRateCode(bool inIsInput, UInt32 inCode)
{
    (inIsInput ? audioinsamplerate : audiooutsamplerate) = inCode;
}

}  // namespace Orvel
}  // namespace Zent
