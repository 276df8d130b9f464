// Internal to the platform's audio converter: the sample kernels behind
// AudioConverterConvertBuffer, one table per instruction-set variant, so that
// tests and benchmarks can run every variant directly.
//
// Every kernel converts interleaved frames between the unit's packed
// little-endian 8-channel integer samples and the host's native 32-bit float.
// Integer to float is exact (x / 2^(bits-1)). Float to integer scales by
// 2^(bits-1), maps NaN to 0, clamps in float to the integer range, rounds to
// nearest (ties to even under the default rounding mode): +1.0 gives the
// largest integer and nothing wraps.
//
// Kernels are real-time safe: no allocation, no lock, no output. They read
// exactly frames * source bytes per frame and write exactly frames *
// destination bytes per frame; source and destination must not overlap.
#pragma once

#include <cstddef>

#include "platform/CoreAudioTypes.h"

namespace AudioConverterKernels {

typedef void (*Kernel)(const void* source, void* destination, std::size_t frames);

// The hot shapes. Integer sides are always 8 packed little-endian channels;
// the float side has 8, 4 or 2 channels (fewer: the first channels are kept;
// back to integer: the missing channels are written as zero).
enum KernelID {
    kS24To8Float,
    kS24To4Float,
    kS24To2Float,
    kS16To8Float,
    kS16To4Float,
    kS16To2Float,
    k8FloatToS24,
    k4FloatToS24,
    k2FloatToS24,
    k8FloatToS16,
    k4FloatToS16,
    k2FloatToS16,
    kNumberKernels
};

struct KernelShape {
    const char* name;
    UInt32 integerBits;    // 16 or 24
    UInt32 floatChannels;  // 8, 4 or 2; the integer side has 8
    bool toFloat;          // integer to float, else float to integer
};

// Indexed by KernelID.
extern const KernelShape kKernelShapes[kNumberKernels];

struct KernelTable {
    const char* name;  // "scalar", "sse", "avx2", "avx512"
    Kernel kernels[kNumberKernels];
};

// Plain C++, every machine.
const KernelTable& ScalarKernels();
// SSE up to SSE4.1 (the x86-64-v2 baseline); null elsewhere.
const KernelTable* SSEKernels();
// AVX2; null when the processor or the build lacks it.
const KernelTable* AVX2Kernels();
// AVX-512 with byte permutes (AVX512F, BW, VBMI) for the shapes that gain
// from it, the AVX2 kernels for the others; null when the processor or the
// build lacks it.
const KernelTable* AVX512Kernels();
// The fastest table this processor runs; chosen once.
const KernelTable& BestKernels();

// Every table this machine runs, fastest last; for tests and benchmarks.
// Returns the count written to outTables (at most kMaxKernelTables).
constexpr std::size_t kMaxKernelTables = 4;
std::size_t AvailableKernelTables(const KernelTable* outTables[kMaxKernelTables]);

// The kernel for a pair of formats, or null when no fast path applies.
Kernel FindKernel(const KernelTable& table, const AudioStreamBasicDescription& source,
                  const AudioStreamBasicDescription& destination);

// The general path: any pair of formats the converter accepts (linear PCM,
// signed 16/24/32-bit integer or 32-bit float, either byte order, packed,
// any channel counts). Goes through double, so 32-bit integers are exact too.
struct SampleLayout {
    UInt32 bytesPerSample;  // 2, 3 or 4
    UInt32 channels;
    bool isFloat;
    bool isBigEndian;
};
void ConvertGeneric(const SampleLayout& source, const SampleLayout& destination, const void* sourceData,
                    void* destinationData, std::size_t frames);

}  // namespace AudioConverterKernels
