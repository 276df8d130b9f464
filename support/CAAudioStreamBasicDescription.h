// AudioStreamBasicDescription with constructors and static helpers that
// reset, complete, normalise and name a format; plus the wildcard equality
// and the ordering that the format lists rely on.
#pragma once

#include <cstddef>

#include "platform/CoreAudioTypes.h"

// Adds no members and no virtual operations: it is an
// AudioStreamBasicDescription. Every format made, reset or copied here has
// mReserved 0, so no uninitialised bytes ever reach a client.
class CAAudioStreamBasicDescription : public AudioStreamBasicDescription {
public:
    // Capacity GetSimpleName assumes when the caller gives no size.
    static constexpr std::size_t kSimpleNameSize = 128;

    // Every field zero.
    CAAudioStreamBasicDescription();
    CAAudioStreamBasicDescription(const AudioStreamBasicDescription& format);
    CAAudioStreamBasicDescription(Float64 sampleRate, UInt32 formatID, UInt32 bytesPerPacket, UInt32 framesPerPacket,
                                  UInt32 bytesPerFrame, UInt32 channelsPerFrame, UInt32 bitsPerChannel,
                                  UInt32 formatFlags);
    CAAudioStreamBasicDescription& operator=(const AudioStreamBasicDescription& format);

    // Sets every field to zero: a format that matches anything.
    static void ResetFormat(AudioStreamBasicDescription& format);

    // Every zero field of ioFormat takes the value of the same field of
    // inFromFormat; fields already set stay as they are.
    static void FillOutFormat(AudioStreamBasicDescription& ioFormat, const AudioStreamBasicDescription& inFromFormat);

    // Turns a linear PCM format into the host's native packed 32-bit float
    // format with the same rate and channel count (flags 9 on a little-endian
    // host). Any other format ID is left unchanged.
    static void NormalizeLinearPCMFormat(AudioStreamBasicDescription& ioFormat);

    // Writes a display name such as "2 Ch Little Endian SInt24" (abbreviated)
    // or "2 Channel 24 Bit Little Endian Signed Integer". The name is cut to
    // fit outNameSize bytes including its NUL; the three-argument form
    // assumes kSimpleNameSize bytes.
    static void GetSimpleName(const AudioStreamBasicDescription& format, char* outName, std::size_t outNameSize,
                              bool abbreviate);
    static void GetSimpleName(const AudioStreamBasicDescription& format, char* outName, bool abbreviate);

    // Writes the format, one field a line, to standard error.
    static void PrintToLog(const AudioStreamBasicDescription& format);
};

// Wildcard equality: a field that is zero in either format matches anything;
// mReserved is never compared.
bool operator==(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);

// Ordering of formats: linear PCM first, then integer before float, then by
// bit depth, sample rate and channel count; zero fields are skipped as the
// equality skips them.
bool operator<(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);
