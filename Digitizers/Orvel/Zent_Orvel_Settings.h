// The unit's audio and video configuration as one plain record, shared with
// the muxer component: the muxer fills one on request (GetSettings) and
// applies one the driver hands it (ApplySettings). Its layout is therefore an
// interface: 152 bytes, the fields below at fixed offsets, native byte order,
// no gaps, 2 bytes of trailing padding.
//
// Most codes are bit fields of a register word of AVUnitRegisters, kept in
// place rather than shifted (audioinsamplerate for 48000 Hz is 0x1000).
//
// The record is a plain value with no lock of its own; the accessors are
// const, never block, never throw and may be called from any thread. With
// codes of the tables they neither print nor allocate, so the muxer's I/O
// thread may use them; the preference form allocates and is not for that
// thread. Codes outside the known tables give the
// fallbacks documented per accessor; some print a line on standard output
// ("unknown packetcount\n", "unknown frame format\n"), and a broken
// invariant of the record also writes
// "Digitizers/Orvel/Zent_VDO_Orvel_VideoUnitRegisters:<line>: failed assertion `<condition>'\n"
// to standard error, after which the program carries on.
//
// Direction arguments (inIsInput): true reads the input-side field, false
// the output-side field.
#pragma once

#include <cstddef>
#include <type_traits>

#include "Digitizers/Orvel/Zent_Orvel_AVUnitRegisters.h"
#include "Digitizers/Orvel/Zent_Orvel_Prefs.h"
#include "platform/MacTypes.h"

namespace Zent {
namespace Orvel {

class Settings {
public:
    // Frame-rate codes (framerate).
    static constexpr UInt32 kFrameRateUndefined = 0;
    static constexpr UInt32 kFrameRate60 = 1;
    static constexpr UInt32 kFrameRate5994 = 2;
    static constexpr UInt32 kFrameRate30 = 3;
    static constexpr UInt32 kFrameRate2997 = 4;
    static constexpr UInt32 kFrameRate25 = 5;
    static constexpr UInt32 kFrameRate24 = 6;
    static constexpr UInt32 kFrameRate23976 = 7;
    // Frame-geometry codes (framegeometry).
    static constexpr UInt32 kGeometry1920x1080 = 0;
    static constexpr UInt32 kGeometry1280x720 = 64;
    static constexpr UInt32 kGeometry720x486 = 128;
    static constexpr UInt32 kGeometry720x576 = 192;
    static constexpr UInt32 kGeometry648x486 = 384;
    static constexpr UInt32 kGeometry768x576 = 448;
    // Video standard codes (standard): 261 packets per frame at 29.97 frames
    // per second, or 309 at 25.
    static constexpr UInt32 kStandard2997 = 0x4000;
    static constexpr UInt32 kStandard25 = 0x6000;
    // Video frame formats (videoinformat, videooutformat).
    static constexpr UInt32 kVideoFormat2vuy = 0;
    static constexpr UInt32 kVideoFormatv210 = 1;
    // Audio interface codes (audioinformat, audiooutformat), one bit each.
    static constexpr UInt32 kAudioFormatSDI = 1;
    static constexpr UInt32 kAudioFormatAES = 2;
    static constexpr UInt32 kAudioFormatADAT = 4;
    static constexpr UInt32 kAudioFormatAnalog = 8;
    static constexpr UInt32 kAudioFormatSPDIF = 16;
    // Word-size codes (audioinwordsize, audiooutwordsize).
    static constexpr UInt32 kWordSize16 = 0;
    static constexpr UInt32 kWordSize24 = 0x100;
    // Sample-rate codes (audioinsamplerate, audiooutsamplerate).
    static constexpr UInt32 kSampleRate44100 = 0;
    static constexpr UInt32 kSampleRate48000 = 0x1000;
    static constexpr UInt32 kSampleRate96000 = 0x2000;
    // What the accessors return where a 16.16 ratio with a zero divisor
    // stands: frame-rate code 0 in GetFrameRateAsFixed and GetScale, and an
    // unknown word-size code in GetWordSizeAsBytes. 0 is no valid frame rate,
    // scale or word size, so callers can tell it apart, and it keeps every
    // size computed from it at zero instead of overflowing.
    static constexpr UInt32 kFixRatioZeroByZero = 0;

    // The number of preference keys (GetPrefs, SetFromPrefs).
    static constexpr UInt32 kPrefsKeyCount = 43;

    // The defaults: 29.97 frames per second, 720 x 486, standard 0x4000,
    // '2vuy' both ways, SDI audio both ways at 24 bits and 48000 Hz.
    Settings() = default;

    bool operator==(const Settings&) const = default;

    // Audio.
    // 44100, 48000 or 96000 for the rate codes 0, 0x1000, 0x2000; 0 otherwise.
    UInt32 GetSampleRate(bool inIsInput) const;
    // 2 for code 0, 3 for 0x100, kFixRatioZeroByZero otherwise.
    UInt32 GetWordSizeAsBytes(bool inIsInput) const;
    // The audio interface code, unchanged.
    UInt32 GetAudioFormat(bool inIsInput) const;
    // Always 8: the unit's packets carry 8 interleaved channels.
    UInt32 GetChannelCount(bool inIsInput) const;
    UInt32 GetAudioMaxBufferFrameSize(bool inIsInput) const;
    UInt32 GetAudioMinBufferFrameSize(bool inIsInput) const;

    // Video timing.
    // 16.16 frames per second; the fractional rates are the decimal rates
    // times 65536, truncated (29.97 gives 0x1DF851). Code 0 gives
    // kFixRatioZeroByZero, unknown codes 0.
    Fixed GetFrameRateAsFixed() const;
    float GetFrameRateAsfloat() const;
    // Frames per second times 100, truncated (2997 for 29.97).
    UInt32 GetScale() const;
    // IEEE 1394 isochronous packets per video frame: 261 at 29.97, 309 at 25;
    // any other frame rate prints "unknown packetcount\n" and gives 261.
    UInt32 GetPacketCount(bool inIsInput) const;
    // How those packets divide between video and audio, by standard and frame
    // format; an unknown pair prints "unknown packetcount\n" and gives the
    // 0x4000 / '2vuy' split (234 + 27).
    UInt32 GetVideoPacketCount(bool inIsInput) const;
    UInt32 GetAudioPacketCount(bool inIsInput) const;
    // Isochronous cycles per frame (8000 per second) that carry no packet.
    // 0 when the frame rate is not positive.
    float GetFrameSpacing(bool inIsInput) const;

    // Video frames. An unknown frame format prints "unknown frame format\n",
    // reports a broken invariant and is treated as '2vuy'.
    UInt32 GetBytesPerPacket(bool inIsInput) const;
    UInt32 GetFourCC(bool inIsInput) const;
    UInt32 GetHeight() const;
    UInt32 GetWidth() const;
    // (0, 0, height, width) as top, left, bottom, right.
    Rect GetBounds() const;
    UInt32 GetRowBytes(bool inIsInput) const;

    // Audio samples in video frame number inFrameIndex, following the cadence
    // of the fractional frame rate (see Digitizers/Orvel/README.md). 0 for a
    // frame rate other than 29.97 and 25; 0 with a broken-invariant report
    // for an unknown sample-rate code at those rates.
    UInt32 GetSampleCountForSequence(bool inIsInput, UInt32 inFrameIndex) const;
    // The 1-based position of that frame in its cadence; 0 as above.
    UInt32 GetFrameCadenceCountForSequence(bool inIsInput, UInt32 inFrameIndex) const;

    // Fills the record's register-backed fields from a register image (each
    // the masked word, kept in place). The mode, composite NTSC type and
    // component type of the video input, the output's NTSC and component
    // types and the avsync fields are left as they are. The fine adjustments
    // of pairs 0 and 2 are the low byte of their word, those of pairs 1 and 3
    // its third byte (bits 16..23), shifted down. A null image reports a
    // broken invariant and changes nothing.
    void GetRegisterSettings(const AVUnitRegisters* inRegisters);

    // The three fields the muxer applies for one direction: interface code,
    // word-size code and sample-rate code, stored as given.
    void SetAudioFormat(bool inIsInput, UInt32 inCode);
    void SetWordSizeCode(bool inIsInput, UInt32 inCode);
    void SetSampleRateCode(bool inIsInput, UInt32 inCode);

    // The preference form. GetPrefs sets the entry of every key to the
    // field's decimal text (32-bit codes as signed int, so a code with the top
    // bit set prints negative); other entries are kept. SetFromPrefs sets
    // every field whose key is present to stringtoi of its value (a 16-bit
    // field keeps the low 16 bits); absent keys leave their field alone,
    // other keys are ignored, nothing is validated. Applying SetFromPrefs to
    // the output of GetPrefs reproduces every field.
    void GetPrefs(PrefsMap& ioPrefs) const;
    void SetFromPrefs(const PrefsMap& inPrefs);
    // The keys in the order both operations visit them; null past the end.
    static const char* GetPrefsKey(UInt32 inIndex);

    // The fields, named by their preference keys, at their shared offsets.
    UInt32 genlock = 0;                                 // 0
    UInt32 direction = 0x400000;                        // 4
    UInt32 videoinformat = kVideoFormat2vuy;            // 8
    UInt32 videoinmode = 0x10000;                       // 12
    UInt32 videoincompositentsctype = 0;                // 16
    UInt32 videoincomponenttype = 0;                    // 20
    UInt32 videooutformat = kVideoFormat2vuy;           // 24
    UInt32 videooutmode = 0x10000;                      // 28
    UInt32 videooutanalogmonitoringmode = 0;            // 32
    UInt32 videooutcompositentsctype = 0;               // 36
    UInt32 videooutcomponenttype = 0;                   // 40
    UInt32 framerate = kFrameRate2997;                  // 44
    UInt32 framegeometry = kGeometry720x486;            // 48
    UInt32 standard = kStandard2997;                    // 52
    UInt32 audioinformat = kAudioFormatSDI;             // 56
    UInt32 audioinwordsize = kWordSize24;               // 60
    UInt32 audioinsamplerate = kSampleRate48000;        // 64
    UInt32 audioinsynchronous = 0;                      // 68
    UInt32 audioinmute = 0;                             // 72
    UInt32 audioin0gain = 0;                            // 76
    UInt32 audioin1gain = 0;                            // 80
    UInt32 audioin2gain = 0;                            // 84
    UInt32 audioin3gain = 0;                            // 88
    SInt16 audioin0gainadj = 0;                         // 92
    SInt16 audioin1gainadj = 0;                         // 94
    SInt16 audioin2gainadj = 0;                         // 96
    SInt16 audioin3gainadj = 0;                         // 98
    UInt32 audiooutformat = kAudioFormatSDI;            // 100
    UInt32 audiooutwordsize = kWordSize24;              // 104
    UInt32 audiooutsamplerate = kSampleRate48000;       // 108
    UInt32 audiooutsynchronous = 0;                     // 112
    UInt32 audiooutmute = 0;                            // 116
    UInt32 audioout0gain = 0;                           // 120
    UInt32 audioout1gain = 0;                           // 124
    UInt32 audioout2gain = 0;                           // 128
    UInt32 audioout3gain = 0;                           // 132
    SInt16 audioout0gainadj = 0;                        // 136
    SInt16 audioout1gainadj = 0;                        // 138
    SInt16 audioout2gainadj = 0;                        // 140
    SInt16 audioout3gainadj = 0;                        // 142
    SInt16 avsyncStartVideoAfterAudioWait = 3;          // 144
    SInt16 avsyncReleaseAudioAfterVideoWait = 7;        // 146
    SInt16 avsyncNewMode = 1;                           // 148

private:
    UInt32 GetVideoFormat(bool inIsInput) const { return inIsInput ? videoinformat : videooutformat; }
    UInt32 GetSampleRateCode(bool inIsInput) const { return inIsInput ? audioinsamplerate : audiooutsamplerate; }
    UInt32 GetWordSizeCode(bool inIsInput) const { return inIsInput ? audioinwordsize : audiooutwordsize; }
    // The video frame format of the direction, '2vuy' for an unknown one
    // after the message and the broken-invariant report.
    UInt32 GetKnownVideoFormat(bool inIsInput) const;
};

}  // namespace Orvel
}  // namespace Zent

// The layout shared with the muxer.
static_assert(std::is_standard_layout_v<Zent::Orvel::Settings>);
static_assert(std::is_trivially_copyable_v<Zent::Orvel::Settings>);
static_assert(sizeof(Zent::Orvel::Settings) == 152);
static_assert(alignof(Zent::Orvel::Settings) == 4);
static_assert(offsetof(Zent::Orvel::Settings, genlock) == 0);
static_assert(offsetof(Zent::Orvel::Settings, direction) == 4);
static_assert(offsetof(Zent::Orvel::Settings, videoinformat) == 8);
static_assert(offsetof(Zent::Orvel::Settings, videoinmode) == 12);
static_assert(offsetof(Zent::Orvel::Settings, videoincompositentsctype) == 16);
static_assert(offsetof(Zent::Orvel::Settings, videoincomponenttype) == 20);
static_assert(offsetof(Zent::Orvel::Settings, videooutformat) == 24);
static_assert(offsetof(Zent::Orvel::Settings, videooutmode) == 28);
static_assert(offsetof(Zent::Orvel::Settings, videooutanalogmonitoringmode) == 32);
static_assert(offsetof(Zent::Orvel::Settings, videooutcompositentsctype) == 36);
static_assert(offsetof(Zent::Orvel::Settings, videooutcomponenttype) == 40);
static_assert(offsetof(Zent::Orvel::Settings, framerate) == 44);
static_assert(offsetof(Zent::Orvel::Settings, framegeometry) == 48);
static_assert(offsetof(Zent::Orvel::Settings, standard) == 52);
static_assert(offsetof(Zent::Orvel::Settings, audioinformat) == 56);
static_assert(offsetof(Zent::Orvel::Settings, audioinwordsize) == 60);
static_assert(offsetof(Zent::Orvel::Settings, audioinsamplerate) == 64);
static_assert(offsetof(Zent::Orvel::Settings, audioinsynchronous) == 68);
static_assert(offsetof(Zent::Orvel::Settings, audioinmute) == 72);
static_assert(offsetof(Zent::Orvel::Settings, audioin0gain) == 76);
static_assert(offsetof(Zent::Orvel::Settings, audioin1gain) == 80);
static_assert(offsetof(Zent::Orvel::Settings, audioin2gain) == 84);
static_assert(offsetof(Zent::Orvel::Settings, audioin3gain) == 88);
static_assert(offsetof(Zent::Orvel::Settings, audioin0gainadj) == 92);
static_assert(offsetof(Zent::Orvel::Settings, audioin1gainadj) == 94);
static_assert(offsetof(Zent::Orvel::Settings, audioin2gainadj) == 96);
static_assert(offsetof(Zent::Orvel::Settings, audioin3gainadj) == 98);
static_assert(offsetof(Zent::Orvel::Settings, audiooutformat) == 100);
static_assert(offsetof(Zent::Orvel::Settings, audiooutwordsize) == 104);
static_assert(offsetof(Zent::Orvel::Settings, audiooutsamplerate) == 108);
static_assert(offsetof(Zent::Orvel::Settings, audiooutsynchronous) == 112);
static_assert(offsetof(Zent::Orvel::Settings, audiooutmute) == 116);
static_assert(offsetof(Zent::Orvel::Settings, audioout0gain) == 120);
static_assert(offsetof(Zent::Orvel::Settings, audioout1gain) == 124);
static_assert(offsetof(Zent::Orvel::Settings, audioout2gain) == 128);
static_assert(offsetof(Zent::Orvel::Settings, audioout3gain) == 132);
static_assert(offsetof(Zent::Orvel::Settings, audioout0gainadj) == 136);
static_assert(offsetof(Zent::Orvel::Settings, audioout1gainadj) == 138);
static_assert(offsetof(Zent::Orvel::Settings, audioout2gainadj) == 140);
static_assert(offsetof(Zent::Orvel::Settings, audioout3gainadj) == 142);
static_assert(offsetof(Zent::Orvel::Settings, avsyncStartVideoAfterAudioWait) == 144);
static_assert(offsetof(Zent::Orvel::Settings, avsyncReleaseAudioAfterVideoWait) == 146);
static_assert(offsetof(Zent::Orvel::Settings, avsyncNewMode) == 148);
