// Internal to the platform's audio converter: single samples and whole frames
// of the unit's packed little-endian integers and the host's float, in plain
// C++. The scalar kernels are made of these, and the vector kernels finish
// their tails with them, so every variant rounds and saturates alike.
#pragma once

#include <cmath>
#include <cstddef>

#include "platform/MacTypes.h"

namespace AudioConverterKernels {

// The integer side of every fast path carries this many channels.
constexpr std::size_t kUnitChannels = 8;

template <int Bits>
inline SInt32 ReadIntegerLE(const UInt8* p)
{
    if constexpr (Bits == 16) {
        return SInt16(UInt16(p[0] | (UInt16(p[1]) << 8)));
    } else {
        static_assert(Bits == 24);
        const UInt32 u = UInt32(p[0]) | (UInt32(p[1]) << 8) | (UInt32(p[2]) << 16);
        return SInt32(u << 8) >> 8;
    }
}

template <int Bits>
inline void WriteIntegerLE(UInt8* p, SInt32 value)
{
    p[0] = UInt8(value);
    p[1] = UInt8(value >> 8);
    if constexpr (Bits == 24) {
        p[2] = UInt8(value >> 16);
    }
}

template <int Bits>
inline Float32 IntegerToFloat(SInt32 value)
{
    // Both factors are exact in float, so the quotient is too.
    return Float32(value) * (1.0f / Float32(1 << (Bits - 1)));
}

// Scales by 2^(Bits-1), maps NaN to 0, clamps in float and rounds to nearest:
// +1.0 gives the largest integer, and no input wraps.
template <int Bits>
inline SInt32 FloatToInteger(Float32 x)
{
    constexpr Float32 kScale = Float32(1 << (Bits - 1));
    constexpr Float32 kLowest = -kScale;
    constexpr Float32 kHighest = kScale - 1.0f;
    Float32 v = x * kScale;
    if (v != v) {
        v = 0.0f;
    }
    v = v < kLowest ? kLowest : v;
    v = v > kHighest ? kHighest : v;
    return SInt32(std::lrintf(v));
}

template <int Bits, std::size_t FloatChannels>
inline void IntegerFramesToFloat(const UInt8* source, Float32* destination, std::size_t frames)
{
    constexpr std::size_t kBytes = Bits / 8;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t c = 0; c < FloatChannels; ++c) {
            destination[c] = IntegerToFloat<Bits>(ReadIntegerLE<Bits>(source + c * kBytes));
        }
        source += kUnitChannels * kBytes;
        destination += FloatChannels;
    }
}

template <int Bits, std::size_t FloatChannels>
inline void FloatFramesToInteger(const Float32* source, UInt8* destination, std::size_t frames)
{
    constexpr std::size_t kBytes = Bits / 8;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t c = 0; c < kUnitChannels; ++c) {
            const SInt32 value = c < FloatChannels ? FloatToInteger<Bits>(source[c]) : 0;
            WriteIntegerLE<Bits>(destination + c * kBytes, value);
        }
        source += FloatChannels;
        destination += kUnitChannels * kBytes;
    }
}

}  // namespace AudioConverterKernels
