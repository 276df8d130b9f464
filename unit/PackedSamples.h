// The unit's sample words: 8 interleaved channels of packed little-endian
// signed integers, 2 or 3 bytes each, and the conversions the simulated unit
// needs between them, 32-bit integers and floats. Pure functions: no
// allocation, no locks; any thread, including the I/O thread.
#pragma once

#include "platform/MacTypes.h"

namespace Kestro {
namespace Unit {

class PackedSamples {
public:
    // The integer range of a word of inBits bits (16 or 24).
    static SInt32 GetMaximum(UInt32 inBits) { return SInt32((SInt64(1) << (inBits - 1)) - 1); }
    static SInt32 GetMinimum(UInt32 inBits) { return SInt32(-(SInt64(1) << (inBits - 1))); }
    // Clamps inValue to the range of inBits bits.
    static SInt32 Saturate(SInt64 inValue, UInt32 inBits)
    {
        const SInt64 maximum = GetMaximum(inBits);
        const SInt64 minimum = GetMinimum(inBits);
        return SInt32(inValue > maximum ? maximum : (inValue < minimum ? minimum : inValue));
    }
    // inValue × 2^(bits-1), rounded to nearest, saturated; NaN gives 0.
    static SInt32 FromFloat(float inValue, UInt32 inBits);

    // Writes inSampleCount samples (right-justified integers, saturated to
    // the word) as inBytesPerSample-byte little-endian words (2 or 3; any
    // other size writes nothing).
    static void Pack(const SInt32* inSamples, UInt32 inSampleCount, UInt32 inBytesPerSample, void* outData);
    // Reads inSampleCount words, sign-extended (2 or 3 bytes; any other size
    // reads nothing).
    static void Unpack(const void* inData, UInt32 inSampleCount, UInt32 inBytesPerSample, SInt32* outSamples);

    // A native float as four bytes, most significant first.
    static void StoreBigEndianFloat(float inValue, UInt8* outBytes);
};

}  // namespace Unit
}  // namespace Kestro
