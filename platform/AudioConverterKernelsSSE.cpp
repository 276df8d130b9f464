// The SSE kernels (SSSE3 shuffles and SSE4.1 sign extension, all part of the
// x86-64-v2 baseline). Each works a frame or a pair of frames at a time and
// finishes a leftover frame with the scalar code.
#include "platform/AudioConverterKernels.h"
#include "platform/AudioConverterSamples.h"

#if defined(__SSE4_1__)
#include <immintrin.h>

#include <cstring>

// The loops are short; two blocks per turn halve their counting overhead.
#define KESTRO_UNROLL _Pragma("GCC unroll 2")

namespace AudioConverterKernels {
namespace {

// Byte shuffles. -1 writes a zero byte. A 24-bit sample lands in the top three
// bytes of its 32-bit lane, so the lane holds sample * 256 and one scale by
// 2^-31 gives sample / 2^23 exactly.
alignas(16) constexpr SInt8 kS24Lanes0[16] = {-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11};
alignas(16) constexpr SInt8 kS24Lanes4[16] = {-1, 4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15};
// Samples 0, 1 of two frames loaded as two 8-byte halves.
alignas(16) constexpr SInt8 kS24PairLanes[16] = {-1, 0, 1, 2, -1, 3, 4, 5, -1, 8, 9, 10, -1, 11, 12, 13};
// The low three bytes of four 32-bit lanes, packed into 12 bytes.
alignas(16) constexpr SInt8 kPackS24[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1};
alignas(16) constexpr SInt8 kPackS24At4[16] = {-1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14};
// Lanes 0, 1 packed as 24-bit at byte 0; lanes 2, 3 at byte 8.
alignas(16) constexpr SInt8 kPackS24Low2[16] = {0, 1, 2, 4, 5, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
alignas(16) constexpr SInt8 kPackS24High2At8[16] = {-1, -1, -1, -1, -1, -1, -1, -1, 8, 9, 10, 12, 13, 14, -1, -1};
// The low 16 bits of four lanes at byte 0 (the rest zero).
alignas(16) constexpr SInt8 kPackS16Low4[16] = {0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1};
// Lanes 0, 1 as 16-bit at byte 0; lanes 2, 3 as 16-bit at byte 0.
alignas(16) constexpr SInt8 kPackS16Low2[16] = {0, 1, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
alignas(16) constexpr SInt8 kPackS16High2[16] = {8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

inline __m128i Mask(const SInt8 (&bytes)[16]) { return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes)); }
inline __m128i Load(const UInt8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load64(const UInt8* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load64Pair(const UInt8* low, const UInt8* high)
{
    return _mm_castpd_si128(
        _mm_loadh_pd(_mm_castsi128_pd(Load64(low)), reinterpret_cast<const double*>(high)));
}
inline int ReadWord(const UInt8* p)
{
    int word;
    std::memcpy(&word, p, sizeof word);
    return word;
}
inline void Store(UInt8* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void Store64(UInt8* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// Lanes holding sample << (32 - bits) to float.
inline __m128 TopAlignedToFloat(__m128i lanes)
{
    return _mm_mul_ps(_mm_cvtepi32_ps(lanes), _mm_set1_ps(1.0f / 2147483648.0f));
}

// Scale, clamp in float, round to nearest. A NaN passes the clamp (max and
// min return their second operand when one is NaN) and converts to
// 0x80000000; every caller keeps only the low 2 or 3 bytes of a lane, which
// are then 0. So NaN becomes 0 without a mask of its own.
template <int Bits>
inline __m128i FloatToLanes(__m128 x)
{
    constexpr float kScale = float(1 << (Bits - 1));
    const __m128 v = _mm_mul_ps(x, _mm_set1_ps(kScale));
    return _mm_cvtps_epi32(_mm_min_ps(_mm_set1_ps(kScale - 1.0f), _mm_max_ps(_mm_set1_ps(-kScale), v)));
}

void S24To8Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m128i m0 = Mask(kS24Lanes0), m4 = Mask(kS24Lanes4);
    KESTRO_UNROLL
    for (std::size_t f = 0; f < frames; ++f, s += 24, d += 8) {
        _mm_storeu_ps(d, TopAlignedToFloat(_mm_shuffle_epi8(Load(s), m0)));
        _mm_storeu_ps(d + 4, TopAlignedToFloat(_mm_shuffle_epi8(Load(s + 8), m4)));
    }
}

void S24To4Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m128i m0 = Mask(kS24Lanes0);
    const __m128 scale = _mm_set1_ps(1.0f / 2147483648.0f);
    // Four frames a turn: the work per frame is one load, shuffle, conversion,
    // multiply and store, so the loop's own counting is a large share of it.
    std::size_t f = 0;
    for (; f + 4 <= frames; f += 4, s += 96, d += 16) {
        const __m128i a = _mm_shuffle_epi8(Load(s), m0), b = _mm_shuffle_epi8(Load(s + 24), m0);
        const __m128i c = _mm_shuffle_epi8(Load(s + 48), m0), e = _mm_shuffle_epi8(Load(s + 72), m0);
        _mm_storeu_ps(d, _mm_mul_ps(_mm_cvtepi32_ps(a), scale));
        _mm_storeu_ps(d + 4, _mm_mul_ps(_mm_cvtepi32_ps(b), scale));
        _mm_storeu_ps(d + 8, _mm_mul_ps(_mm_cvtepi32_ps(c), scale));
        _mm_storeu_ps(d + 12, _mm_mul_ps(_mm_cvtepi32_ps(e), scale));
    }
    for (; f < frames; ++f, s += 24, d += 4) {
        _mm_storeu_ps(d, TopAlignedToFloat(_mm_shuffle_epi8(Load(s), m0)));
    }
}

void S24To2Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m128i m = Mask(kS24PairLanes);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 48, d += 4) {
        _mm_storeu_ps(d, TopAlignedToFloat(_mm_shuffle_epi8(Load64Pair(s, s + 24), m)));
    }
    IntegerFramesToFloat<24, 2>(s, d, frames - f);
}

void S16To8Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
    KESTRO_UNROLL
    for (std::size_t f = 0; f < frames; ++f, s += 16, d += 8) {
        _mm_storeu_ps(d, _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtepi16_epi32(Load64(s))), scale));
        _mm_storeu_ps(d + 4, _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtepi16_epi32(Load64(s + 8))), scale));
    }
}

void S16To4Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
    // Four frames a turn, for the same reason as S24To4Float.
    std::size_t f = 0;
    for (; f + 4 <= frames; f += 4, s += 64, d += 16) {
        const __m128i a = _mm_cvtepi16_epi32(Load64(s)), b = _mm_cvtepi16_epi32(Load64(s + 16));
        const __m128i c = _mm_cvtepi16_epi32(Load64(s + 32)), e = _mm_cvtepi16_epi32(Load64(s + 48));
        _mm_storeu_ps(d, _mm_mul_ps(_mm_cvtepi32_ps(a), scale));
        _mm_storeu_ps(d + 4, _mm_mul_ps(_mm_cvtepi32_ps(b), scale));
        _mm_storeu_ps(d + 8, _mm_mul_ps(_mm_cvtepi32_ps(c), scale));
        _mm_storeu_ps(d + 12, _mm_mul_ps(_mm_cvtepi32_ps(e), scale));
    }
    for (; f < frames; ++f, s += 16, d += 4) {
        _mm_storeu_ps(d, _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtepi16_epi32(Load64(s))), scale));
    }
}

void S16To2Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m128i zero = _mm_setzero_si128();
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 32, d += 4) {
        const __m128i pair = _mm_unpacklo_epi32(_mm_cvtsi32_si128(ReadWord(s)), _mm_cvtsi32_si128(ReadWord(s + 16)));
        _mm_storeu_ps(d, TopAlignedToFloat(_mm_unpacklo_epi16(zero, pair)));
    }
    IntegerFramesToFloat<16, 2>(s, d, frames - f);
}

void From8FloatToS24(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    // Four packed groups of 12 bytes, some at byte 0 and some at byte 4, so
    // that one alignr each joins them into 16-byte stores.
    const __m128i at0 = Mask(kPackS24), at4 = Mask(kPackS24At4);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 16, d += 48) {
        const __m128i a = FloatToLanes<24>(_mm_loadu_ps(s));
        const __m128i b = FloatToLanes<24>(_mm_loadu_ps(s + 4));
        const __m128i c = FloatToLanes<24>(_mm_loadu_ps(s + 8));
        const __m128i e = FloatToLanes<24>(_mm_loadu_ps(s + 12));
        Store(d, _mm_alignr_epi8(_mm_shuffle_epi8(b, at0), _mm_shuffle_epi8(a, at4), 4));
        Store(d + 16, _mm_alignr_epi8(_mm_shuffle_epi8(c, at0), _mm_shuffle_epi8(b, at4), 8));
        Store(d + 32, _mm_alignr_epi8(_mm_shuffle_epi8(e, at0), _mm_shuffle_epi8(c, at4), 12));
    }
    FloatFramesToInteger<24, 8>(s, d, frames - f);
}

void From4FloatToS24(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m128i pack = Mask(kPackS24);
    const __m128i zero = _mm_setzero_si128();
    KESTRO_UNROLL
    for (std::size_t f = 0; f < frames; ++f, s += 4, d += 24) {
        Store(d, _mm_shuffle_epi8(FloatToLanes<24>(_mm_loadu_ps(s)), pack));
        Store64(d + 16, zero);
    }
}

void From2FloatToS24(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m128i low = Mask(kPackS24Low2), high = Mask(kPackS24High2At8);
    const __m128i zero = _mm_setzero_si128();
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 4, d += 48) {
        const __m128i lanes = FloatToLanes<24>(_mm_loadu_ps(s));
        Store(d, _mm_shuffle_epi8(lanes, low));
        Store(d + 16, _mm_shuffle_epi8(lanes, high));
        Store(d + 32, zero);
    }
    FloatFramesToInteger<24, 2>(s, d, frames - f);
}

// Scale, zero a NaN, clamp from above and round to nearest. Values below the
// range and -inf convert to 0x80000000 or to a number under -32768, which the
// saturating pack that follows turns into -32768; +inf and large values are
// clamped first because they, too, would convert to 0x80000000.
inline __m128i FloatToS16Lanes(__m128 x)
{
    const __m128 v = _mm_mul_ps(x, _mm_set1_ps(32768.0f));
    return _mm_cvtps_epi32(_mm_min_ps(_mm_and_ps(v, _mm_cmpord_ps(v, v)), _mm_set1_ps(32767.0f)));
}

void From8FloatToS16(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 16, d += 32) {
        const __m128i a = FloatToS16Lanes(_mm_loadu_ps(s)), b = FloatToS16Lanes(_mm_loadu_ps(s + 4));
        const __m128i c = FloatToS16Lanes(_mm_loadu_ps(s + 8)), e = FloatToS16Lanes(_mm_loadu_ps(s + 12));
        Store(d, _mm_packs_epi32(a, b));
        Store(d + 16, _mm_packs_epi32(c, e));
    }
    FloatFramesToInteger<16, 8>(s, d, frames - f);
}

void From4FloatToS16(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m128i low = Mask(kPackS16Low4);
    KESTRO_UNROLL
    for (std::size_t f = 0; f < frames; ++f, s += 4, d += 16) {
        Store(d, _mm_shuffle_epi8(FloatToLanes<16>(_mm_loadu_ps(s)), low));
    }
}

void From2FloatToS16(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m128i low = Mask(kPackS16Low2), high = Mask(kPackS16High2);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 4, d += 32) {
        const __m128i lanes = FloatToLanes<16>(_mm_loadu_ps(s));
        Store(d, _mm_shuffle_epi8(lanes, low));
        Store(d + 16, _mm_shuffle_epi8(lanes, high));
    }
    FloatFramesToInteger<16, 2>(s, d, frames - f);
}

const KernelTable kSSETable = {
    "sse",
    {
        S24To8Float, S24To4Float, S24To2Float, S16To8Float, S16To4Float, S16To2Float,
        From8FloatToS24, From4FloatToS24, From2FloatToS24, From8FloatToS16, From4FloatToS16, From2FloatToS16,
    },
};

}  // namespace

const KernelTable* SSEKernelTable() { return &kSSETable; }

}  // namespace AudioConverterKernels

#else

namespace AudioConverterKernels {
const KernelTable* SSEKernelTable() { return nullptr; }
}  // namespace AudioConverterKernels

#endif
