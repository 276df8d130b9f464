// The AVX2 kernels, compiled for AVX2 function by function and reached only
// through AVX2Kernels(), which checks the processor first. Each works a block
// of frames at a time and finishes the leftover frames with smaller vectors or
// the scalar code.
#include "platform/AudioConverterKernels.h"
#include "platform/AudioConverterSamples.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstring>

#if defined(__clang__)
// Clang's tuning for the x86-64 baseline splits every unaligned 32-byte load
// and store in two 16-byte halves, which costs these kernels up to half their
// speed; processors with AVX2 do them whole.
#define KESTRO_AVX2 __attribute__((target("avx2,tune=haswell")))
#else
#define KESTRO_AVX2 __attribute__((target("avx2")))
#endif

// The loops are short; two blocks per turn halve their counting overhead.
#define KESTRO_UNROLL _Pragma("GCC unroll 2")

namespace AudioConverterKernels {
namespace {

// Byte shuffles, one 16-byte half per 128-bit lane; -1 writes a zero byte.
// A 24-bit sample lands in the top three bytes of its 32-bit lane.
alignas(32) constexpr SInt8 kS24Frame[32] = {
    -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,       // bytes 0..11 of a frame
    -1, 4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15};  // bytes 12..23, loaded from byte 8
// The same frame from a 32-byte load that starts 4 bytes before it: bytes
// 0..11 are then at 4..15 of the low lane, bytes 12..23 at 0..11 of the high.
alignas(32) constexpr SInt8 kS24FrameFrom4Before[32] = {
    -1, 4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15,
    -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11};
alignas(32) constexpr SInt8 kS24First4[32] = {
    -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,
    -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11};
alignas(32) constexpr SInt8 kS24First2OfPairs[32] = {
    -1, 0, 1, 2, -1, 3, 4, 5, -1, 8, 9, 10, -1, 11, 12, 13,
    -1, 0, 1, 2, -1, 3, 4, 5, -1, 8, 9, 10, -1, 11, 12, 13};
alignas(32) constexpr SInt8 kPackS24[32] = {
    0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
    0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1};
alignas(32) constexpr SInt8 kPackS24Low2[32] = {
    0, 1, 2, 4, 5, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    0, 1, 2, 4, 5, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
alignas(32) constexpr SInt8 kPackS24High2At8[32] = {
    -1, -1, -1, -1, -1, -1, -1, -1, 8, 9, 10, 12, 13, 14, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, 8, 9, 10, 12, 13, 14, -1, -1};
alignas(32) constexpr SInt8 kPackS16Low2[32] = {
    0, 1, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    0, 1, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
alignas(32) constexpr SInt8 kPackS16High2[32] = {
    8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

KESTRO_AVX2 inline __m256i Mask(const SInt8 (&bytes)[32])
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(bytes));
}
KESTRO_AVX2 inline __m128i Load(const UInt8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
KESTRO_AVX2 inline __m128i Load64(const UInt8* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
KESTRO_AVX2 inline __m128i Load64Pair(const UInt8* low, const UInt8* high)
{
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(Load64(low)), reinterpret_cast<const double*>(high)));
}
// Two 16-byte loads as the low and high lanes of one register.
KESTRO_AVX2 inline __m256i Load2x128(const UInt8* low, const UInt8* high)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load(low)), Load(high), 1);
}
KESTRO_AVX2 inline __m256i Load256(const UInt8* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
KESTRO_AVX2 inline int ReadWord(const UInt8* p)
{
    int word;
    std::memcpy(&word, p, sizeof word);
    return word;
}
KESTRO_AVX2 inline void Store(UInt8* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
KESTRO_AVX2 inline void Store(UInt8* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

KESTRO_AVX2 inline __m256 ScaledToFloat(__m256i lanes, float scale)
{
    return _mm256_mul_ps(_mm256_cvtepi32_ps(lanes), _mm256_set1_ps(scale));
}
constexpr float kTopAligned = 1.0f / 2147483648.0f;
constexpr float kS16Scale = 1.0f / 32768.0f;

// Scale, NaN to 0, clamp in float, round to nearest. For 24-bit samples the
// clamp keeps a NaN (max and min return their second operand when one is
// NaN), the conversion turns it into 0x80000000, and the packing keeps only
// its three low bytes: 0. Wider results need the explicit mask.
template <int Bits>
KESTRO_AVX2 inline __m256i FloatToLanes(__m256 x)
{
    constexpr float kScale = float(1 << (Bits - 1));
    __m256 v = _mm256_mul_ps(x, _mm256_set1_ps(kScale));
    if constexpr (Bits != 24) {
        v = _mm256_and_ps(v, _mm256_cmp_ps(v, v, _CMP_ORD_Q));
    }
    v = _mm256_min_ps(_mm256_set1_ps(kScale - 1.0f), _mm256_max_ps(_mm256_set1_ps(-kScale), v));
    return _mm256_cvtps_epi32(v);
}

// One 32-byte load per frame. The frames between the first and the last are
// loaded from 4 bytes before their start, which reads 4 bytes of the frame
// before and 4 of the frame after; the first and the last frame, which have no
// such neighbour, take two 16-byte loads within themselves. (Two 16-byte loads
// for every frame cost about 15 % more time per frame.)
KESTRO_AVX2 void S24To8Float(const void* source, void* destination, std::size_t frames)
{
    if (frames == 0) {
        return;
    }
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m256i edge = Mask(kS24Frame), inner = Mask(kS24FrameFrom4Before);
    _mm256_storeu_ps(d, ScaledToFloat(_mm256_shuffle_epi8(Load2x128(s, s + 8), edge), kTopAligned));
    s += 24, d += 8;
    std::size_t f = 1;
    KESTRO_UNROLL
    for (; f + 1 < frames; ++f, s += 24, d += 8) {
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_shuffle_epi8(Load256(s - 4), inner), kTopAligned));
    }
    if (f < frames) {
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_shuffle_epi8(Load2x128(s, s + 8), edge), kTopAligned));
    }
}

KESTRO_AVX2 void S24To4Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m256i m = Mask(kS24First4);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 48, d += 8) {
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_shuffle_epi8(Load2x128(s, s + 24), m), kTopAligned));
    }
    IntegerFramesToFloat<24, 4>(s, d, frames - f);
}

KESTRO_AVX2 void S24To2Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m256i m = Mask(kS24First2OfPairs);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 4 <= frames; f += 4, s += 96, d += 8) {
        const __m256i v =
            _mm256_inserti128_si256(_mm256_castsi128_si256(Load64Pair(s, s + 24)), Load64Pair(s + 48, s + 72), 1);
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_shuffle_epi8(v, m), kTopAligned));
    }
    IntegerFramesToFloat<24, 2>(s, d, frames - f);
}

KESTRO_AVX2 void S16To8Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    KESTRO_UNROLL
    for (std::size_t f = 0; f < frames; ++f, s += 16, d += 8) {
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_cvtepi16_epi32(Load(s)), kS16Scale));
    }
}

// Four frames a turn from two 32-byte loads: pairing the lanes' low halves
// gives channels 0..3 of frames 0, 2 | 1, 3, and interleaving them with zero
// puts each sample in the top half of a 32-bit lane (sample * 2^16), in frame
// order, so one scale by 2^-31 gives sample / 2^15 exactly. The last one to
// three frames are converted in a pair and a single frame.
KESTRO_AVX2 void S16To4Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m256i zero = _mm256_setzero_si256();
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 4 <= frames; f += 4, s += 64, d += 16) {
        const __m256i firstHalves = _mm256_unpacklo_epi64(Load256(s), Load256(s + 32));
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_unpacklo_epi16(zero, firstHalves), kTopAligned));
        _mm256_storeu_ps(d + 8, ScaledToFloat(_mm256_unpackhi_epi16(zero, firstHalves), kTopAligned));
    }
    if (f + 2 <= frames) {
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_cvtepi16_epi32(Load64Pair(s, s + 16)), kS16Scale));
        f += 2, s += 32, d += 8;
    }
    if (f < frames) {
        _mm_storeu_ps(d, _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtepi16_epi32(Load64(s))), _mm_set1_ps(kS16Scale)));
    }
}

KESTRO_AVX2 void S16To2Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 4 <= frames; f += 4, s += 64, d += 8) {
        const __m128i v = _mm_setr_epi32(ReadWord(s), ReadWord(s + 16), ReadWord(s + 32), ReadWord(s + 48));
        _mm256_storeu_ps(d, ScaledToFloat(_mm256_cvtepi16_epi32(v), kS16Scale));
    }
    IntegerFramesToFloat<16, 2>(s, d, frames - f);
}

KESTRO_AVX2 void From8FloatToS24(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m256i pack = Mask(kPackS24);
    // 12 packed bytes in each lane, then the six used dwords moved together:
    // one frame's 24 bytes at the bottom of the register.
    const __m256i together = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    std::size_t f = 0;
    // The 32-byte store also writes 8 bytes of the next frame, which the next
    // store overwrites; the last frame is stored in 16 + 8 bytes instead.
    KESTRO_UNROLL
    for (; f + 2 <= frames; ++f, s += 8, d += 24) {
        const __m256i packed = _mm256_shuffle_epi8(FloatToLanes<24>(_mm256_loadu_ps(s)), pack);
        Store(d, _mm256_permutevar8x32_epi32(packed, together));
    }
    if (f < frames) {
        const __m256i packed = _mm256_permutevar8x32_epi32(
            _mm256_shuffle_epi8(FloatToLanes<24>(_mm256_loadu_ps(s)), pack), together);
        Store(d, _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(packed, 1));
        ++f, s += 8, d += 24;
    }
    FloatFramesToInteger<24, 8>(s, d, frames - f);
}

KESTRO_AVX2 void From4FloatToS24(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m256i pack = Mask(kPackS24);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 8, d += 48) {
        const __m256i packed = _mm256_shuffle_epi8(FloatToLanes<24>(_mm256_loadu_ps(s)), pack);
        const __m128i first = _mm256_castsi256_si128(packed);
        const __m128i second = _mm256_extracti128_si256(packed, 1);
        Store(d, first);                               // frame 0, then 4 zero bytes
        Store(d + 16, _mm_slli_si128(second, 8));      // 8 zero bytes, frame 1 bytes 0..7
        Store(d + 32, _mm_srli_si128(second, 8));      // frame 1 bytes 8..11, then zero
    }
    FloatFramesToInteger<24, 4>(s, d, frames - f);
}

KESTRO_AVX2 void From2FloatToS24(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m256i low = Mask(kPackS24Low2), high = Mask(kPackS24High2At8);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 4 <= frames; f += 4, s += 8, d += 96) {
        const __m256i lanes = FloatToLanes<24>(_mm256_loadu_ps(s));
        const __m256i x = _mm256_shuffle_epi8(lanes, low);   // bytes 0..15 of frames 0 | 2
        const __m256i y = _mm256_shuffle_epi8(lanes, high);  // bytes 16..31 of frames 0 | 2
        Store(d, _mm256_permute2x128_si256(x, y, 0x20));
        Store(d + 32, _mm256_permute2x128_si256(x, x, 0x18));  // zero | x high
        Store(d + 64, _mm256_permute2x128_si256(y, y, 0x81));  // y high | zero
    }
    FloatFramesToInteger<24, 2>(s, d, frames - f);
}

KESTRO_AVX2 void From8FloatToS16(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 16, d += 32) {
        // The lanes are already within 16 bits: the saturating pack only
        // narrows; it interleaves the two frames by lane, the permute undoes it.
        const __m256i packed =
            _mm256_packs_epi32(FloatToLanes<16>(_mm256_loadu_ps(s)), FloatToLanes<16>(_mm256_loadu_ps(s + 8)));
        Store(d, _mm256_permute4x64_epi64(packed, 0xD8));
    }
    FloatFramesToInteger<16, 8>(s, d, frames - f);
}

KESTRO_AVX2 void From4FloatToS16(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 2 <= frames; f += 2, s += 8, d += 32) {
        Store(d, _mm256_packs_epi32(FloatToLanes<16>(_mm256_loadu_ps(s)), _mm256_setzero_si256()));
    }
    FloatFramesToInteger<16, 4>(s, d, frames - f);
}

KESTRO_AVX2 void From2FloatToS16(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const Float32*>(source);
    auto* d = static_cast<UInt8*>(destination);
    const __m256i low = Mask(kPackS16Low2), high = Mask(kPackS16High2);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 4 <= frames; f += 4, s += 8, d += 64) {
        const __m256i lanes = FloatToLanes<16>(_mm256_loadu_ps(s));
        const __m256i x = _mm256_shuffle_epi8(lanes, low);   // frames 0 | 2
        const __m256i y = _mm256_shuffle_epi8(lanes, high);  // frames 1 | 3
        Store(d, _mm256_permute2x128_si256(x, y, 0x20));
        Store(d + 32, _mm256_permute2x128_si256(x, y, 0x31));
    }
    FloatFramesToInteger<16, 2>(s, d, frames - f);
}

const KernelTable kAVX2Table = {
    "avx2",
    {
        S24To8Float, S24To4Float, S24To2Float, S16To8Float, S16To4Float, S16To2Float,
        From8FloatToS24, From4FloatToS24, From2FloatToS24, From8FloatToS16, From4FloatToS16, From2FloatToS16,
    },
};

}  // namespace

const KernelTable* AVX2KernelTable() { return &kAVX2Table; }

}  // namespace AudioConverterKernels

#else

namespace AudioConverterKernels {
const KernelTable* AVX2KernelTable() { return nullptr; }
}  // namespace AudioConverterKernels

#endif
