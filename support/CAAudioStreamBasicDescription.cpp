#include "support/CAAudioStreamBasicDescription.h"

#include <cstdio>

#include "platform/MacTypes.h"

namespace {

constexpr UInt32 kFormatAC3 = FourCC("ac-3");
constexpr UInt32 kFormatAC3ForSPDIF = FourCC("cac3");

void CopyFields(AudioStreamBasicDescription& to, const AudioStreamBasicDescription& from)
{
    to.mSampleRate = from.mSampleRate;
    to.mFormatID = from.mFormatID;
    to.mFormatFlags = from.mFormatFlags;
    to.mBytesPerPacket = from.mBytesPerPacket;
    to.mFramesPerPacket = from.mFramesPerPacket;
    to.mBytesPerFrame = from.mBytesPerFrame;
    to.mChannelsPerFrame = from.mChannelsPerFrame;
    to.mBitsPerChannel = from.mBitsPerChannel;
    to.mReserved = 0;
}

void FillField(UInt32& field, UInt32 from)
{
    if (field == 0) {
        field = from;
    }
}

// Both non-zero and different: the comparison decides.
bool Differ(UInt32 x, UInt32 y) { return x != 0 && y != 0 && x != y; }

// Both zero-or-equal: the wildcard equality holds for this field.
bool Match(UInt32 x, UInt32 y) { return x == 0 || y == 0 || x == y; }

}  // namespace

CAAudioStreamBasicDescription::CAAudioStreamBasicDescription() { ResetFormat(*this); }

CAAudioStreamBasicDescription::CAAudioStreamBasicDescription(const AudioStreamBasicDescription& format)
    : AudioStreamBasicDescription()
{
    CopyFields(*this, format);
}

CAAudioStreamBasicDescription::CAAudioStreamBasicDescription(Float64 sampleRate, UInt32 formatID,
                                                             UInt32 bytesPerPacket, UInt32 framesPerPacket,
                                                             UInt32 bytesPerFrame, UInt32 channelsPerFrame,
                                                             UInt32 bitsPerChannel, UInt32 formatFlags)
    : AudioStreamBasicDescription()
{
    mSampleRate = sampleRate;
    mFormatID = formatID;
    mFormatFlags = formatFlags;
    mBytesPerPacket = bytesPerPacket;
    mFramesPerPacket = framesPerPacket;
    mBytesPerFrame = bytesPerFrame;
    mChannelsPerFrame = channelsPerFrame;
    mBitsPerChannel = bitsPerChannel;
    mReserved = 0;
}

CAAudioStreamBasicDescription& CAAudioStreamBasicDescription::operator=(const AudioStreamBasicDescription& format)
{
    CopyFields(*this, format);
    return *this;
}

void CAAudioStreamBasicDescription::ResetFormat(AudioStreamBasicDescription& format)
{
    format.mSampleRate = 0.0;
    format.mFormatID = 0;
    format.mFormatFlags = 0;
    format.mBytesPerPacket = 0;
    format.mFramesPerPacket = 0;
    format.mBytesPerFrame = 0;
    format.mChannelsPerFrame = 0;
    format.mBitsPerChannel = 0;
    format.mReserved = 0;
}

void CAAudioStreamBasicDescription::FillOutFormat(AudioStreamBasicDescription& ioFormat,
                                                  const AudioStreamBasicDescription& inFromFormat)
{
    if (ioFormat.mSampleRate == 0.0) {
        ioFormat.mSampleRate = inFromFormat.mSampleRate;
    }
    FillField(ioFormat.mFormatID, inFromFormat.mFormatID);
    FillField(ioFormat.mFormatFlags, inFromFormat.mFormatFlags);
    FillField(ioFormat.mBytesPerPacket, inFromFormat.mBytesPerPacket);
    FillField(ioFormat.mFramesPerPacket, inFromFormat.mFramesPerPacket);
    FillField(ioFormat.mBytesPerFrame, inFromFormat.mBytesPerFrame);
    FillField(ioFormat.mChannelsPerFrame, inFromFormat.mChannelsPerFrame);
    FillField(ioFormat.mBitsPerChannel, inFromFormat.mBitsPerChannel);
    ioFormat.mReserved = 0;
}

void CAAudioStreamBasicDescription::NormalizeLinearPCMFormat(AudioStreamBasicDescription& ioFormat)
{
    if (ioFormat.mFormatID != kAudioFormatLinearPCM) {
        return;
    }
    ioFormat.mBitsPerChannel = 32;
    ioFormat.mBytesPerFrame = 4 * ioFormat.mChannelsPerFrame;
    ioFormat.mFramesPerPacket = 1;
    ioFormat.mBytesPerPacket = ioFormat.mFramesPerPacket * ioFormat.mBytesPerFrame;
    // The host's own float: clients read exactly the declared format, so the
    // byte order is the native one (big-endian only on a big-endian host).
    ioFormat.mFormatFlags = kAudioFormatFlagsNativeFloatPacked;
    ioFormat.mReserved = 0;
}

void CAAudioStreamBasicDescription::GetSimpleName(const AudioStreamBasicDescription& format, char* outName,
                                                  std::size_t outNameSize, bool abbreviate)
{
    if (outName == nullptr || outNameSize == 0) {
        return;
    }
    if (format.mFormatID == kFormatAC3) {
        std::snprintf(outName, outNameSize, "%s", "AC-3");
        return;
    }
    if (format.mFormatID == kFormatAC3ForSPDIF) {
        std::snprintf(outName, outNameSize, "%s", "AC-3 for SPDIF");
        return;
    }
    if (format.mFormatID != kAudioFormatLinearPCM) {
        std::snprintf(outName, outNameSize, "%s", FourCCText(format.mFormatID).c_str());
        return;
    }

    const UInt32 flags = format.mFormatFlags;
    const char* endianness = (flags & kAudioFormatFlagIsBigEndian) ? nullptr : "Little Endian";
    const char* kind;
    if (flags & kAudioFormatFlagIsFloat) {
        kind = abbreviate ? "Float" : "Floating Point";
    } else if (flags & kAudioFormatFlagIsSignedInteger) {
        kind = abbreviate ? "SInt" : "Signed Integer";
    } else {
        kind = abbreviate ? "UInt" : "Unsigned Integer";
    }
    const char* alignment = nullptr;
    if (!(flags & kAudioFormatFlagIsPacked)) {
        alignment = (flags & kAudioFormatFlagIsAlignedHigh) ? "High" : "Low";
    }
    // A format without channels has no container size to speak of.
    const int containerBits =
        format.mChannelsPerFrame == 0 ? 0 : int(format.mBytesPerFrame / format.mChannelsPerFrame * 8);
    const int channels = int(format.mChannelsPerFrame);
    const int bits = int(format.mBitsPerChannel);

    if (abbreviate) {
        if (endianness != nullptr && alignment != nullptr) {
            std::snprintf(outName, outNameSize, "%d Ch %s %s %s%d/%s%d", channels, endianness, alignment, kind, bits,
                          kind, containerBits);
        } else if (endianness != nullptr) {
            std::snprintf(outName, outNameSize, "%d Ch %s %s%d", channels, endianness, kind, bits);
        } else if (alignment != nullptr) {
            std::snprintf(outName, outNameSize, "%d Ch %s %s%d/%s%d", channels, alignment, kind, bits, kind,
                          containerBits);
        } else {
            std::snprintf(outName, outNameSize, "%d Ch %s%d", channels, kind, bits);
        }
    } else {
        if (endianness != nullptr && alignment != nullptr) {
            std::snprintf(outName, outNameSize, "%d Channel %d Bit %s %s Aligned %s in %d Bits", channels, bits,
                          endianness, kind, alignment, containerBits);
        } else if (endianness != nullptr) {
            std::snprintf(outName, outNameSize, "%d Channel %d Bit %s %s", channels, bits, endianness, kind);
        } else if (alignment != nullptr) {
            std::snprintf(outName, outNameSize, "%d Channel %d Bit %s Aligned %s in %d Bits", channels, bits, kind,
                          alignment, containerBits);
        } else {
            std::snprintf(outName, outNameSize, "%d Channel %d Bit %s", channels, bits, kind);
        }
    }
}

void CAAudioStreamBasicDescription::GetSimpleName(const AudioStreamBasicDescription& format, char* outName,
                                                  bool abbreviate)
{
    GetSimpleName(format, outName, kSimpleNameSize, abbreviate);
}

void CAAudioStreamBasicDescription::PrintToLog(const AudioStreamBasicDescription& format)
{
    std::fprintf(stderr, "%s%.6f\n", "  Sample Rate:        ", format.mSampleRate);
    std::fprintf(stderr, "%s'%s'\n", "  Format ID:          ", FourCCText(format.mFormatID).c_str());
    std::fprintf(stderr, "%s0x%lX\n", "  Format Flags:       ", static_cast<unsigned long>(format.mFormatFlags));
    std::fprintf(stderr, "%s%ld\n", "  Bytes per Packet:   ", long(format.mBytesPerPacket));
    std::fprintf(stderr, "%s%ld\n", "  Frames per Packet:  ", long(format.mFramesPerPacket));
    std::fprintf(stderr, "%s%ld\n", "  Bytes per Frame:    ", long(format.mBytesPerFrame));
    std::fprintf(stderr, "%s%ld\n", "  Channels per Frame: ", long(format.mChannelsPerFrame));
    std::fprintf(stderr, "%s%ld\n", "  Bits per Channel:   ", long(format.mBitsPerChannel));
}

bool operator==(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y)
{
    if (x.mSampleRate != 0.0 && y.mSampleRate != 0.0 && x.mSampleRate != y.mSampleRate) {
        return false;
    }
    if (!Match(x.mFormatID, y.mFormatID)) {
        return false;
    }
    // Flags only mean something once both formats say what they are.
    if (x.mFormatID != 0 && y.mFormatID != 0 && !Match(x.mFormatFlags, y.mFormatFlags)) {
        return false;
    }
    return Match(x.mBytesPerPacket, y.mBytesPerPacket) && Match(x.mFramesPerPacket, y.mFramesPerPacket) &&
           Match(x.mBytesPerFrame, y.mBytesPerFrame) && Match(x.mChannelsPerFrame, y.mChannelsPerFrame) &&
           Match(x.mBitsPerChannel, y.mBitsPerChannel);
}

bool operator<(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y)
{
    if (Differ(x.mFormatID, y.mFormatID)) {
        if (x.mFormatID == kAudioFormatLinearPCM) {
            return true;
        }
        if (y.mFormatID == kAudioFormatLinearPCM) {
            return false;
        }
        return x.mFormatID < y.mFormatID;
    }
    if (x.mFormatID == kAudioFormatLinearPCM && y.mFormatID == kAudioFormatLinearPCM &&
        (x.mFormatFlags & kAudioFormatFlagIsFloat) != (y.mFormatFlags & kAudioFormatFlagIsFloat)) {
        return (y.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
    }
    if (Differ(x.mBitsPerChannel, y.mBitsPerChannel)) {
        return x.mBitsPerChannel < y.mBitsPerChannel;
    }
    if (x.mSampleRate != 0.0 && y.mSampleRate != 0.0 && x.mSampleRate != y.mSampleRate) {
        return x.mSampleRate < y.mSampleRate;
    }
    if (Differ(x.mChannelsPerFrame, y.mChannelsPerFrame)) {
        return x.mChannelsPerFrame < y.mChannelsPerFrame;
    }
    return false;
}
