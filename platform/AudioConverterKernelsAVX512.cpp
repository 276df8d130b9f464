// The AVX-512 kernels (AVX512F, AVX512BW masked byte loads and AVX512VBMI
// byte permutes), compiled for those features function by function and
// reached only through AVX512Kernels(), which checks the processor first.
// One byte permute places 16 samples from anywhere in a 64-byte register into
// 16 lanes, so a 64-byte load becomes 64 bytes of float in four instructions.
// The table holds these where they do better than AVX2 and the AVX2 kernels
// for every other shape.
#include "platform/AudioConverterKernels.h"
#include "platform/AudioConverterSamples.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstdint>

#define KESTRO_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))

// The loops are short; two blocks per turn halve their counting overhead.
#define KESTRO_UNROLL _Pragma("GCC unroll 2")

namespace AudioConverterKernels {

// Defined with the AVX2 kernels.
const KernelTable* AVX2KernelTable();

namespace {

// Byte permutes: byte i of the result is byte order[i] of the source, or zero
// where the mask bit i is clear. The samples land in the top bytes of their
// 32-bit lanes (sample << (32 - bits)), so one scale by 2^-31 gives
// sample / 2^(bits-1) exactly.
struct alignas(64) ByteOrder {
    SInt8 bytes[64];
};

// 16 packed 24-bit samples (48 bytes) into 16 lanes; byte 0 of each lane zero.
constexpr ByteOrder MakeS24Order()
{
    ByteOrder order{};
    for (int lane = 0; lane < 16; ++lane) {
        for (int byte = 1; byte < 4; ++byte) {
            order.bytes[lane * 4 + byte] = SInt8(lane * 3 + byte - 1);
        }
    }
    return order;
}
constexpr ByteOrder kS24Order = MakeS24Order();
constexpr __mmask64 kTopThreeBytes = 0xEEEEEEEEEEEEEEEEull;

// Channels 0..3 of four 8-channel 16-bit frames (64 bytes) into 16 lanes;
// bytes 0 and 1 of each lane zero.
constexpr ByteOrder MakeS16First4Order()
{
    ByteOrder order{};
    for (int lane = 0; lane < 16; ++lane) {
        const int sample = (lane / 4) * 16 + (lane % 4) * 2;
        order.bytes[lane * 4 + 2] = SInt8(sample);
        order.bytes[lane * 4 + 3] = SInt8(sample + 1);
    }
    return order;
}
constexpr ByteOrder kS16First4Order = MakeS16First4Order();
constexpr __mmask64 kTopTwoBytes = 0xCCCCCCCCCCCCCCCCull;

constexpr float kTopAligned = 1.0f / 2147483648.0f;

KESTRO_AVX512 inline __m512i LoadOrder(const ByteOrder& order) { return _mm512_load_si512(order.bytes); }

// The first count bytes (count < 64).
inline __mmask64 FirstBytes(std::size_t count) { return (std::uint64_t(1) << count) - 1u; }
// The first count lanes (count <= 16).
inline __mmask16 FirstLanes(std::size_t count) { return __mmask16((1u << count) - 1u); }

KESTRO_AVX512 inline __m512 TopAlignedToFloat(__m512i lanes)
{
    // Every lane selected: the plain conversion. (GCC 12 warns about the
    // undefined pass-through operand of the unmasked intrinsic.)
    return _mm512_mul_ps(_mm512_maskz_cvtepi32_ps(__mmask16(0xFFFF), lanes), _mm512_set1_ps(kTopAligned));
}

// Two frames a turn: a 64-byte load holds their 48 bytes and 16 of the next
// frame, so it is used while a third frame follows; the last one or two
// frames are loaded and stored with masks, which touch only their own bytes.
KESTRO_AVX512 void S24To8Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m512i order = LoadOrder(kS24Order);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 3 <= frames; f += 2, s += 48, d += 16) {
        const __m512i lanes = _mm512_maskz_permutexvar_epi8(kTopThreeBytes, order, _mm512_loadu_si512(s));
        _mm512_storeu_ps(d, TopAlignedToFloat(lanes));
    }
    if (f < frames) {
        const std::size_t samples = (frames - f) * kUnitChannels;  // 8 or 16
        const __m512i bytes = _mm512_maskz_loadu_epi8(FirstBytes(samples * 3), s);
        _mm512_mask_storeu_ps(d, FirstLanes(samples),
                              TopAlignedToFloat(_mm512_maskz_permutexvar_epi8(kTopThreeBytes, order, bytes)));
    }
}

// Four frames a turn, one 64-byte load each; the last one to three frames
// with masks.
KESTRO_AVX512 void S16To4Float(const void* source, void* destination, std::size_t frames)
{
    const auto* s = static_cast<const UInt8*>(source);
    auto* d = static_cast<Float32*>(destination);
    const __m512i order = LoadOrder(kS16First4Order);
    std::size_t f = 0;
    KESTRO_UNROLL
    for (; f + 4 <= frames; f += 4, s += 64, d += 16) {
        const __m512i lanes = _mm512_maskz_permutexvar_epi8(kTopTwoBytes, order, _mm512_loadu_si512(s));
        _mm512_storeu_ps(d, TopAlignedToFloat(lanes));
    }
    if (f < frames) {
        const std::size_t rest = frames - f;  // 1..3
        const __m512i bytes = _mm512_maskz_loadu_epi8(FirstBytes(rest * 16), s);
        _mm512_mask_storeu_ps(d, FirstLanes(rest * 4),
                              TopAlignedToFloat(_mm512_maskz_permutexvar_epi8(kTopTwoBytes, order, bytes)));
    }
}

}  // namespace

const KernelTable* AVX512KernelTable()
{
    static const KernelTable table = [] {
        KernelTable t = *AVX2KernelTable();
        t.name = "avx512";
        t.kernels[kS24To8Float] = S24To8Float;
        t.kernels[kS16To4Float] = S16To4Float;
        return t;
    }();
    return &table;
}

}  // namespace AudioConverterKernels

#else

namespace AudioConverterKernels {
const KernelTable* AVX512KernelTable() { return nullptr; }
}  // namespace AudioConverterKernels

#endif
