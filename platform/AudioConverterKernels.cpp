#include "platform/AudioConverterKernels.h"

#include <cmath>
#include <cstring>

#include "platform/AudioConverterSamples.h"

namespace AudioConverterKernels {

const KernelShape kKernelShapes[kNumberKernels] = {
    {"s24x8_to_f32x8", 24, 8, true},  {"s24x8_to_f32x4", 24, 4, true},  {"s24x8_to_f32x2", 24, 2, true},
    {"s16x8_to_f32x8", 16, 8, true},  {"s16x8_to_f32x4", 16, 4, true},  {"s16x8_to_f32x2", 16, 2, true},
    {"f32x8_to_s24x8", 24, 8, false}, {"f32x4_to_s24x8", 24, 4, false}, {"f32x2_to_s24x8", 24, 2, false},
    {"f32x8_to_s16x8", 16, 8, false}, {"f32x4_to_s16x8", 16, 4, false}, {"f32x2_to_s16x8", 16, 2, false},
};

namespace {

template <int Bits, std::size_t FloatChannels>
void ScalarToFloat(const void* source, void* destination, std::size_t frames)
{
    IntegerFramesToFloat<Bits, FloatChannels>(static_cast<const UInt8*>(source), static_cast<Float32*>(destination),
                                              frames);
}

template <int Bits, std::size_t FloatChannels>
void ScalarFromFloat(const void* source, void* destination, std::size_t frames)
{
    FloatFramesToInteger<Bits, FloatChannels>(static_cast<const Float32*>(source), static_cast<UInt8*>(destination),
                                              frames);
}

const KernelTable kScalarTable = {
    "scalar",
    {
        ScalarToFloat<24, 8>, ScalarToFloat<24, 4>, ScalarToFloat<24, 2>,
        ScalarToFloat<16, 8>, ScalarToFloat<16, 4>, ScalarToFloat<16, 2>,
        ScalarFromFloat<24, 8>, ScalarFromFloat<24, 4>, ScalarFromFloat<24, 2>,
        ScalarFromFloat<16, 8>, ScalarFromFloat<16, 4>, ScalarFromFloat<16, 2>,
    },
};

bool IsUnitInteger(const AudioStreamBasicDescription& format, UInt32 bits)
{
    return (format.mFormatFlags & (kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian)) == 0 &&
           format.mBitsPerChannel == bits && format.mChannelsPerFrame == kUnitChannels;
}

bool IsNativeFloat(const AudioStreamBasicDescription& format)
{
    return (format.mFormatFlags & kAudioFormatFlagIsFloat) != 0 &&
           (format.mFormatFlags & kAudioFormatFlagIsBigEndian) == kAudioFormatFlagsNativeEndian &&
           format.mBitsPerChannel == 32;
}

}  // namespace

// Defined with the vector kernels; null when the build has none.
const KernelTable* SSEKernelTable();
const KernelTable* AVX2KernelTable();
const KernelTable* AVX512KernelTable();

const KernelTable& ScalarKernels() { return kScalarTable; }

const KernelTable* SSEKernels() { return SSEKernelTable(); }

const KernelTable* AVX2Kernels()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return supported ? AVX2KernelTable() : nullptr;
#else
    return nullptr;
#endif
}

const KernelTable* AVX512Kernels()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("avx512f") != 0 &&
               __builtin_cpu_supports("avx512bw") != 0 && __builtin_cpu_supports("avx512vbmi") != 0;
    }();
    return supported ? AVX512KernelTable() : nullptr;
#else
    return nullptr;
#endif
}

const KernelTable& BestKernels()
{
    static const KernelTable* best = [] {
        if (const KernelTable* table = AVX512Kernels()) {
            return table;
        }
        if (const KernelTable* table = AVX2Kernels()) {
            return table;
        }
        if (const KernelTable* table = SSEKernels()) {
            return table;
        }
        return &kScalarTable;
    }();
    return *best;
}

std::size_t AvailableKernelTables(const KernelTable* outTables[kMaxKernelTables])
{
    std::size_t count = 0;
    outTables[count++] = &kScalarTable;
    if (const KernelTable* table = SSEKernels()) {
        outTables[count++] = table;
    }
    if (const KernelTable* table = AVX2Kernels()) {
        outTables[count++] = table;
    }
    if (const KernelTable* table = AVX512Kernels()) {
        outTables[count++] = table;
    }
    return count;
}

Kernel FindKernel(const KernelTable& table, const AudioStreamBasicDescription& source,
                  const AudioStreamBasicDescription& destination)
{
    for (int id = 0; id < kNumberKernels; ++id) {
        const KernelShape& shape = kKernelShapes[id];
        const AudioStreamBasicDescription& integer = shape.toFloat ? source : destination;
        const AudioStreamBasicDescription& floating = shape.toFloat ? destination : source;
        if (IsUnitInteger(integer, shape.integerBits) && IsNativeFloat(floating) &&
            floating.mChannelsPerFrame == shape.floatChannels) {
            return table.kernels[id];
        }
    }
    return nullptr;
}

namespace {

UInt32 LoadWord(const UInt8* p, UInt32 bytes, bool bigEndian)
{
    UInt32 word = 0;
    for (UInt32 i = 0; i < bytes; ++i) {
        const UInt32 byte = p[bigEndian ? i : bytes - 1 - i];
        word = (word << 8) | byte;
    }
    return word;
}

void StoreWord(UInt8* p, UInt32 bytes, bool bigEndian, UInt32 word)
{
    for (UInt32 i = 0; i < bytes; ++i) {
        p[bigEndian ? bytes - 1 - i : i] = UInt8(word);
        word >>= 8;
    }
}

// One sample as a value in [-1, 1] (any value for float samples). Double
// holds every 32-bit integer exactly.
double Decode(const UInt8* p, const SampleLayout& layout)
{
    const UInt32 word = LoadWord(p, layout.bytesPerSample, layout.isBigEndian);
    if (layout.isFloat) {
        Float32 value;
        std::memcpy(&value, &word, sizeof value);
        return value;
    }
    const UInt32 bits = layout.bytesPerSample * 8;
    const SInt32 value = SInt32(word << (32 - bits)) >> (32 - bits);
    return std::ldexp(double(value), -int(bits - 1));
}

void Encode(UInt8* p, const SampleLayout& layout, double value)
{
    UInt32 word;
    if (layout.isFloat) {
        const Float32 f = Float32(value);
        std::memcpy(&word, &f, sizeof word);
    } else {
        const int bits = int(layout.bytesPerSample * 8);
        const double scale = std::ldexp(1.0, bits - 1);
        double v = value * scale;
        if (v != v) {
            v = 0.0;
        }
        v = v < -scale ? -scale : v;
        v = v > scale - 1.0 ? scale - 1.0 : v;
        word = UInt32(SInt32(std::nearbyint(v)));
    }
    StoreWord(p, layout.bytesPerSample, layout.isBigEndian, word);
}

}  // namespace

void ConvertGeneric(const SampleLayout& source, const SampleLayout& destination, const void* sourceData,
                    void* destinationData, std::size_t frames)
{
    const auto* in = static_cast<const UInt8*>(sourceData);
    auto* out = static_cast<UInt8*>(destinationData);
    const std::size_t inFrameBytes = std::size_t(source.bytesPerSample) * source.channels;
    const std::size_t outFrameBytes = std::size_t(destination.bytesPerSample) * destination.channels;
    const UInt32 shared = source.channels < destination.channels ? source.channels : destination.channels;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        UInt32 c = 0;
        for (; c < shared; ++c) {
            Encode(out + c * destination.bytesPerSample, destination, Decode(in + c * source.bytesPerSample, source));
        }
        // Channels the source lacks are silent.
        std::memset(out + c * destination.bytesPerSample, 0, outFrameBytes - std::size_t(c) * destination.bytesPerSample);
        in += inFrameBytes;
        out += outFrameBytes;
    }
}

}  // namespace AudioConverterKernels
