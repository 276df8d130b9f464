#include "unit/PackedSamples.h"

#include <cmath>
#include <cstring>

namespace Kestro {
namespace Unit {

SInt32 PackedSamples::Saturate(SInt64 inValue, UInt32 inBits)
{
    const SInt64 maximum = GetMaximum(inBits);
    const SInt64 minimum = GetMinimum(inBits);
    return SInt32(inValue > maximum ? maximum : (inValue < minimum ? minimum : inValue));
}

SInt32 PackedSamples::FromFloat(float inValue, UInt32 inBits)
{
    if (std::isnan(inValue)) {
        return 0;
    }
    // Clamp in double first: a huge float must not overflow the integer.
    const double scaled = double(inValue) * double(SInt64(1) << (inBits - 1));
    const double clamped = std::fmin(std::fmax(scaled, double(GetMinimum(inBits))), double(GetMaximum(inBits)));
    return SInt32(std::lrint(clamped));
}

void PackedSamples::Pack(const SInt32* inSamples, UInt32 inSampleCount, UInt32 inBytesPerSample, void* outData)
{
    UInt8* bytes = static_cast<UInt8*>(outData);
    const UInt32 bits = inBytesPerSample * 8;
    for (UInt32 index = 0; index < inSampleCount; ++index) {
        const UInt32 word = UInt32(Saturate(inSamples[index], bits));
        for (UInt32 byte = 0; byte < inBytesPerSample; ++byte) {
            *bytes++ = UInt8(word >> (8 * byte));
        }
    }
}

void PackedSamples::Unpack(const void* inData, UInt32 inSampleCount, UInt32 inBytesPerSample, SInt32* outSamples)
{
    const UInt8* bytes = static_cast<const UInt8*>(inData);
    const UInt32 shift = 32 - inBytesPerSample * 8;
    for (UInt32 index = 0; index < inSampleCount; ++index) {
        UInt32 word = 0;
        for (UInt32 byte = 0; byte < inBytesPerSample; ++byte) {
            word |= UInt32(*bytes++) << (8 * byte);
        }
        // Left-justify, then shift back arithmetically to sign-extend.
        outSamples[index] = SInt32(word << shift) >> shift;
    }
}

void PackedSamples::StoreBigEndianFloat(float inValue, UInt8* outBytes)
{
    UInt32 word = 0;
    std::memcpy(&word, &inValue, sizeof word);
    outBytes[0] = UInt8(word >> 24);
    outBytes[1] = UInt8(word >> 16);
    outBytes[2] = UInt8(word >> 8);
    outBytes[3] = UInt8(word);
}

}  // namespace Unit
}  // namespace Kestro
