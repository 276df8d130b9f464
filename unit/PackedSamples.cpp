#include "unit/PackedSamples.h"

#include <cmath>
#include <cstring>

namespace Kestro {
namespace Unit {

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

namespace {

// One loop per word size, so the compiler sees constant widths and the
// fast-paced unit keeps up with hundreds of times real time.
template <UInt32 kBytes>
void PackWords(const SInt32* inSamples, UInt32 inSampleCount, UInt8* outBytes)
{
    constexpr SInt32 kMaximum = SInt32((SInt64(1) << (kBytes * 8 - 1)) - 1);
    constexpr SInt32 kMinimum = -kMaximum - 1;
    for (UInt32 index = 0; index < inSampleCount; ++index) {
        const SInt32 value = inSamples[index];
        const UInt32 word = UInt32(value > kMaximum ? kMaximum : (value < kMinimum ? kMinimum : value));
        for (UInt32 byte = 0; byte < kBytes; ++byte) {
            outBytes[byte] = UInt8(word >> (8 * byte));
        }
        outBytes += kBytes;
    }
}

template <UInt32 kBytes>
void UnpackWords(const UInt8* inBytes, UInt32 inSampleCount, SInt32* outSamples)
{
    constexpr UInt32 kShift = 32 - kBytes * 8;
    for (UInt32 index = 0; index < inSampleCount; ++index) {
        UInt32 word = 0;
        for (UInt32 byte = 0; byte < kBytes; ++byte) {
            word |= UInt32(inBytes[byte]) << (8 * byte);
        }
        inBytes += kBytes;
        // Left-justify, then shift back arithmetically to sign-extend.
        outSamples[index] = SInt32(word << kShift) >> kShift;
    }
}

}  // namespace

void PackedSamples::Pack(const SInt32* inSamples, UInt32 inSampleCount, UInt32 inBytesPerSample, void* outData)
{
    UInt8* bytes = static_cast<UInt8*>(outData);
    if (inBytesPerSample == 2) {
        PackWords<2>(inSamples, inSampleCount, bytes);
    } else if (inBytesPerSample == 3) {
        PackWords<3>(inSamples, inSampleCount, bytes);
    }
}

void PackedSamples::Unpack(const void* inData, UInt32 inSampleCount, UInt32 inBytesPerSample, SInt32* outSamples)
{
    const UInt8* bytes = static_cast<const UInt8*>(inData);
    if (inBytesPerSample == 2) {
        UnpackWords<2>(bytes, inSampleCount, outSamples);
    } else if (inBytesPerSample == 3) {
        UnpackWords<3>(bytes, inSampleCount, outSamples);
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
