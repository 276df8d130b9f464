#include "support/CAAudioBufferList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KESTRO_SUM_X86 1
#endif

namespace {

#if KESTRO_SUM_X86
void SumSSE(const Float32* __restrict in, Float32* __restrict out, std::size_t count)
{
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        __m128 a = _mm_add_ps(_mm_loadu_ps(out + k), _mm_loadu_ps(in + k));
        __m128 b = _mm_add_ps(_mm_loadu_ps(out + k + 4), _mm_loadu_ps(in + k + 4));
        _mm_storeu_ps(out + k, a);
        _mm_storeu_ps(out + k + 4, b);
    }
    for (; k < count; ++k) {
        out[k] += in[k];
    }
}

__attribute__((target("avx2"))) void SumAVX2(const Float32* __restrict in, Float32* __restrict out,
                                              std::size_t count)
{
    std::size_t k = 0;
    // Scalar steps up to a 32-byte boundary of out: the stores and half the
    // loads then never split a cache line.
    for (; k < count && (reinterpret_cast<std::uintptr_t>(out + k) & 31) != 0; ++k) {
        out[k] += in[k];
    }
    for (; k + 32 <= count; k += 32) {
        const __m256 a = _mm256_add_ps(_mm256_loadu_ps(out + k), _mm256_loadu_ps(in + k));
        const __m256 b = _mm256_add_ps(_mm256_loadu_ps(out + k + 8), _mm256_loadu_ps(in + k + 8));
        const __m256 c = _mm256_add_ps(_mm256_loadu_ps(out + k + 16), _mm256_loadu_ps(in + k + 16));
        const __m256 e = _mm256_add_ps(_mm256_loadu_ps(out + k + 24), _mm256_loadu_ps(in + k + 24));
        _mm256_storeu_ps(out + k, a);
        _mm256_storeu_ps(out + k + 8, b);
        _mm256_storeu_ps(out + k + 16, c);
        _mm256_storeu_ps(out + k + 24, e);
    }
    for (; k + 8 <= count; k += 8) {
        _mm256_storeu_ps(out + k, _mm256_add_ps(_mm256_loadu_ps(out + k), _mm256_loadu_ps(in + k)));
    }
    for (; k < count; ++k) {
        out[k] += in[k];
    }
}
// The processors that have AVX-512 move 64 bytes per load and store, as their
// memcpy does; the two streams of a mix need the wider operations to keep up.
__attribute__((target("avx512f"))) void SumAVX512(const Float32* __restrict in, Float32* __restrict out,
                                                  std::size_t count)
{
    std::size_t k = 0;
    // One masked step up to a 64-byte boundary of in: then only the accesses
    // to out may split a cache line (measured a little faster than aligning
    // out, whose loads and stores share each line).
    const std::size_t misaligned = (reinterpret_cast<std::uintptr_t>(in) & 63) / sizeof(Float32);
    if (misaligned != 0 && count >= 16) {
        const std::size_t head = 16 - misaligned;
        const __mmask16 mask = __mmask16((1u << head) - 1u);
        _mm512_mask_storeu_ps(out, mask, _mm512_add_ps(_mm512_maskz_loadu_ps(mask, out), _mm512_maskz_loadu_ps(mask, in)));
        k = head;
    }
    for (; k + 32 <= count; k += 32) {
        const __m512 a = _mm512_add_ps(_mm512_loadu_ps(out + k), _mm512_loadu_ps(in + k));
        const __m512 b = _mm512_add_ps(_mm512_loadu_ps(out + k + 16), _mm512_loadu_ps(in + k + 16));
        _mm512_storeu_ps(out + k, a);
        _mm512_storeu_ps(out + k + 16, b);
    }
    for (; k + 16 <= count; k += 16) {
        _mm512_storeu_ps(out + k, _mm512_add_ps(_mm512_loadu_ps(out + k), _mm512_loadu_ps(in + k)));
    }
    if (k < count) {
        const __mmask16 mask = __mmask16((1u << (count - k)) - 1u);
        _mm512_mask_storeu_ps(out + k, mask,
                              _mm512_add_ps(_mm512_maskz_loadu_ps(mask, out + k), _mm512_maskz_loadu_ps(mask, in + k)));
    }
}
#else
// out[k] += in[k]. __restrict lets the compiler vectorise the loop; the two
// buffers of a mix never overlap.
void SumPortable(const Float32* __restrict in, Float32* __restrict out, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k) {
        out[k] += in[k];
    }
}
#endif

typedef void (*SumKernel)(const Float32* __restrict, Float32* __restrict, std::size_t);

SumKernel ChooseSumKernel()
{
#if KESTRO_SUM_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) {
        return SumAVX512;
    }
    if (__builtin_cpu_supports("avx2")) {
        return SumAVX2;
    }
    return SumSSE;
#else
    return SumPortable;
#endif
}

// Chosen once, before main, so the I/O thread only reads it.
const SumKernel gSumKernel = ChooseSumKernel();

}  // namespace

UInt32 CAAudioBufferList::CalculateByteSize(UInt32 numberBuffers) { return AudioBufferListSize(numberBuffers); }

AudioBufferList* CAAudioBufferList::Create(UInt32 numberBuffers)
{
    std::size_t size = std::size_t(offsetof(AudioBufferList, mBuffers)) + std::size_t(numberBuffers) * sizeof(AudioBuffer);
    if (size < sizeof(AudioBufferList)) {
        size = sizeof(AudioBufferList);  // the record type always declares one buffer
    }
    auto* list = static_cast<AudioBufferList*>(std::calloc(1, size));
    if (list != nullptr) {
        list->mNumberBuffers = numberBuffers;
    }
    return list;
}

void CAAudioBufferList::Destroy(AudioBufferList* list) { std::free(list); }

UInt32 CAAudioBufferList::GetTotalNumberChannels(const AudioBufferList& list)
{
    UInt32 total = 0;
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        total += list.mBuffers[i].mNumberChannels;
    }
    return total;
}

bool CAAudioBufferList::GetBufferForChannel(const AudioBufferList& list, UInt32 channel, UInt32& outBufferNumber,
                                            UInt32& outBufferChannel)
{
    UInt32 buffer = 0;
    while (buffer < list.mNumberBuffers && channel >= list.mBuffers[buffer].mNumberChannels) {
        channel -= list.mBuffers[buffer].mNumberChannels;
        ++buffer;
    }
    if (buffer >= list.mNumberBuffers) {
        return false;
    }
    outBufferNumber = buffer;
    outBufferChannel = channel;
    return true;
}

void CAAudioBufferList::Clear(AudioBufferList& list)
{
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        AudioBuffer& buffer = list.mBuffers[i];
        if (buffer.mData != nullptr) {
            std::memset(buffer.mData, 0, buffer.mDataByteSize);
        }
    }
}

void CAAudioBufferList::Copy(const AudioBufferList& in, AudioBufferList& out, UInt32 outStartChannel)
{
    const UInt32 inChannels = GetTotalNumberChannels(in);
    for (UInt32 channel = 0; channel < inChannels; ++channel) {
        UInt32 inBuffer = 0, inChannel = 0, outBuffer = 0, outChannel = 0;
        if (!GetBufferForChannel(in, channel, inBuffer, inChannel) ||
            outStartChannel > ~UInt32(0) - channel ||
            !GetBufferForChannel(out, outStartChannel + channel, outBuffer, outChannel)) {
            return;
        }
        const AudioBuffer& source = in.mBuffers[inBuffer];
        AudioBuffer& destination = out.mBuffers[outBuffer];
        if (source.mData == nullptr || destination.mData == nullptr) {
            continue;
        }
        // Channel counts are not zero here: GetBufferForChannel found the
        // channel inside each buffer.
        const UInt32 inStride = source.mNumberChannels;
        const UInt32 outStride = destination.mNumberChannels;
        const std::size_t inFrames = source.mDataByteSize / sizeof(Float32) / inStride;
        const std::size_t outFrames = destination.mDataByteSize / sizeof(Float32) / outStride;
        const std::size_t frames = inFrames < outFrames ? inFrames : outFrames;
        const auto* s = static_cast<const Float32*>(source.mData) + inChannel;
        auto* d = static_cast<Float32*>(destination.mData) + outChannel;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            d[frame * outStride] = s[frame * inStride];
        }
    }
}

void CAAudioBufferList::Sum(const AudioBufferList& in, AudioBufferList& out)
{
    for (UInt32 i = 0; i < out.mNumberBuffers; ++i) {
        const void* source = in.mBuffers[i].mData;
        void* destination = out.mBuffers[i].mData;
        const std::size_t count = out.mBuffers[i].mDataByteSize / sizeof(Float32);
        if (source != nullptr && destination != nullptr && count != 0) {
            gSumKernel(static_cast<const Float32*>(source), static_cast<Float32*>(destination), count);
        }
    }
}

void CAAudioBufferList::PrintToLog(const AudioBufferList& list)
{
    std::fprintf(stderr, "%s%ld\n", "  Number streams: ", long(list.mNumberBuffers));
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        std::fprintf(stderr, "  %s %ld: %ld\n", "Channels in stream", long(i + 1), long(list.mBuffers[i].mNumberChannels));
        std::fprintf(stderr, "  %s %ld: %ld\n", "Buffer size of stream", long(i + 1), long(list.mBuffers[i].mDataByteSize));
    }
}
