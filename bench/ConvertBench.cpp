// Measures the audio converter's kernels, CAAudioBufferList::Sum and Clear against
// memcpy on a shared, noisy machine. Every kernel runs round-robin with a
// memcpy of exactly its output bytes (and of its input bytes where it drops
// channels) in short batches of about 30 microseconds; after a warm-up, at
// least 1000 rounds give the median time per packet and the median of the
// per-round ratio to memcpy. The packet stays in cache. Prints a markdown
// table.
//
//   kestro_bench_convert [--rounds N] [--frames 1602] [--filter text]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/AudioConverterKernels.h"
#include "support/CAAudioBufferList.h"

namespace {

using BenchSupport::Median;

using Clock = std::chrono::steady_clock;
using namespace AudioConverterKernels;

// Called through a volatile pointer so that the copy is a real library call.
void* (*volatile gMemcpy)(void*, const void*, std::size_t) = std::memcpy;

constexpr double kBatchNanoseconds = 30000.0;
constexpr int kWarmupRounds = 100;

template <typename Work>
double TimeBatch(Work& work, int repeats)
{
    const auto start = Clock::now();
    for (int i = 0; i < repeats; ++i) {
        work();
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// A buffer at a fixed place relative to a page: every run lays its buffers
// out the same way, whatever the allocator did before, so that figures are
// comparable between runs (a buffer's offset within the page changes cache
// set and store-forwarding conflicts, which moved some ratios by a quarter).
// Sources start on a page, destinations 256 bytes into one.
class PageBuffer {
public:
    PageBuffer(std::size_t inBytes, std::size_t inOffset, UInt8 inFill = 0)
        : mBase(static_cast<UInt8*>(std::aligned_alloc(kPage, RoundUp(inBytes + inOffset)))), mOffset(inOffset)
    {
        if (mBase == nullptr) {
            throw std::bad_alloc();
        }
        std::memset(mBase, inFill, RoundUp(inBytes + inOffset));
    }
    ~PageBuffer() { std::free(mBase); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    UInt8* data() const { return mBase + mOffset; }

    static constexpr std::size_t kSource = 0;
    static constexpr std::size_t kDestination = 256;

private:
    static constexpr std::size_t kPage = 4096;
    static std::size_t RoundUp(std::size_t inBytes) { return (inBytes + kPage - 1) / kPage * kPage; }

    UInt8* mBase;
    std::size_t mOffset;
};

struct Result {
    double nsPerPacket;
    double ratioOut;  // to memcpy of the output bytes
    double ratioIn;   // to memcpy of the input bytes; 0 when not measured
};

// One kernel against its memcpy partners, round-robin; the order within a
// round alternates so that neither side always runs right after the other.
Result Measure(const std::function<void()>& kernel, std::size_t outBytes, std::size_t inBytes, int rounds)
{
    const std::size_t copyBytes = std::max(outBytes, inBytes);
    PageBuffer copyFrom(copyBytes, PageBuffer::kSource, 1), copyTo(copyBytes, PageBuffer::kDestination);
    auto copyOut = [&] { gMemcpy(copyTo.data(), copyFrom.data(), outBytes); };
    auto copyIn = [&] { gMemcpy(copyTo.data(), copyFrom.data(), inBytes); };
    auto work = [&] { kernel(); };

    // Batch size: enough repeats of the kernel for about 30 microseconds.
    TimeBatch(work, 20);
    const double single = std::max(TimeBatch(work, 20) / 20.0, 1.0);
    const int repeats = std::max(1, int(kBatchNanoseconds / single));

    std::vector<double> kernelTimes, ratiosOut, ratiosIn;
    for (int round = -kWarmupRounds; round < rounds; ++round) {
        double k, o, i = 0.0;
        if (round & 1) {
            k = TimeBatch(work, repeats);
            o = TimeBatch(copyOut, repeats);
            if (inBytes) {
                i = TimeBatch(copyIn, repeats);
            }
        } else {
            if (inBytes) {
                i = TimeBatch(copyIn, repeats);
            }
            o = TimeBatch(copyOut, repeats);
            k = TimeBatch(work, repeats);
        }
        if (round < 0) {
            continue;
        }
        kernelTimes.push_back(k / repeats);
        ratiosOut.push_back(k / o);
        if (inBytes) {
            ratiosIn.push_back(k / i);
        }
    }
    benchmark::DoNotOptimize(copyTo.data());
    return {Median(kernelTimes), Median(ratiosOut), inBytes ? Median(ratiosIn) : 0.0};
}

// The targets of the conversions, as median ratios to memcpy; the AVX2 and
// AVX-512 tables have their own, lower ones. "in" marks a target against the
// input bytes.
std::string Target(const KernelShape& shape, const char* variant)
{
    const bool avx2 = std::strcmp(variant, "avx2") == 0 || std::strcmp(variant, "avx512") == 0;
    if (std::strcmp(variant, "scalar") == 0) {
        return "";
    }
    if (shape.toFloat) {
        if (shape.floatChannels < 8) {
            return shape.integerBits == 24 ? "≤ 2.0 (in)" : "≤ 2.5 (in)";
        }
        if (shape.integerBits == 24) {
            return avx2 ? "≤ 1.6" : "≤ 2.5";
        }
        return "≤ 2.5";
    }
    if (shape.integerBits == 24) {
        return avx2 ? "≤ 3.5" : "≤ 7";
    }
    return "≤ 8";
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 1000;
    std::vector<std::size_t> frameCounts = {1471, 1602, 3840};
    std::string filter;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1000, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--frames") == 0) {
            frameCounts = {std::size_t(std::atol(argv[i + 1]))};
        } else if (std::strcmp(argv[i], "--filter") == 0) {
            filter = argv[i + 1];
        }
    }

    std::mt19937 random(7);
    std::uniform_real_distribution<Float32> level(-1.05f, 1.05f);

    std::printf("| kernel | variant | frames | ns/packet | ratio to memcpy of output | ratio to memcpy of input | target |\n");
    std::printf("|---|---|---:|---:|---:|---:|---|\n");

    const KernelTable* tables[kMaxKernelTables];
    const std::size_t tableCount = AvailableKernelTables(tables);
    for (int id = 0; id < kNumberKernels; ++id) {
        const KernelShape& shape = kKernelShapes[id];
        for (std::size_t t = 0; t < tableCount; ++t) {
            const KernelTable& table = *tables[t];
            if (!filter.empty() && (std::string(shape.name) + " " + table.name).find(filter) == std::string::npos) {
                continue;
            }
            // A table may reuse the previous one's kernel for a shape (the
            // AVX-512 table does for most): that kernel has its rows already.
            if (t > 0 && table.kernels[id] == tables[t - 1]->kernels[id]) {
                continue;
            }
            for (std::size_t frames : frameCounts) {
                const std::size_t integerBytes = frames * 8 * shape.integerBits / 8;
                const std::size_t floatBytes = frames * shape.floatChannels * 4;
                const std::size_t inBytes = shape.toFloat ? integerBytes : floatBytes;
                const std::size_t outBytes = shape.toFloat ? floatBytes : integerBytes;
                PageBuffer in(inBytes, PageBuffer::kSource), out(outBytes, PageBuffer::kDestination);
                if (shape.toFloat) {
                    for (std::size_t i = 0; i < inBytes; ++i) {
                        in.data()[i] = UInt8(random());
                    }
                } else {
                    for (std::size_t i = 0; i < inBytes / 4; ++i) {
                        const Float32 value = level(random);
                        std::memcpy(in.data() + i * 4, &value, 4);
                    }
                }
                const Kernel kernel = table.kernels[id];
                const bool dropsChannels = shape.toFloat && shape.floatChannels < 8;
                const Result r = Measure([&] { kernel(in.data(), out.data(), frames); }, outBytes,
                                         dropsChannels ? inBytes : 0, rounds);
                benchmark::DoNotOptimize(out.data());
                char inRatio[32] = "";
                if (dropsChannels) {
                    std::snprintf(inRatio, sizeof inRatio, "%.2f", r.ratioIn);
                }
                std::printf("| %s | %s | %zu | %.0f | %.2f | %s | %s |\n", shape.name, table.name, frames,
                            r.nsPerPacket, r.ratioOut, inRatio, Target(shape, table.name).c_str());
                std::fflush(stdout);
            }
        }
    }

    // The output mix: one Sum per client and cycle, into the mix buffer.
    for (UInt32 channels : {8u, 2u}) {
        if (!filter.empty() && std::string("sum").find(filter) == std::string::npos) {
            continue;
        }
        for (std::size_t frames : frameCounts) {
            const std::size_t samples = frames * channels;
            PageBuffer clientBuffer(samples * 4, PageBuffer::kSource), mixBuffer(samples * 4, PageBuffer::kDestination);
            Float32* client = reinterpret_cast<Float32*>(clientBuffer.data());
            Float32* mix = reinterpret_cast<Float32*>(mixBuffer.data());
            for (std::size_t k = 0; k < samples; ++k) {
                client[k] = level(random) * 1e-3f;
                mix[k] = level(random);
            }
            AudioBufferList* clientList = CAAudioBufferList::Create(1);
            AudioBufferList* mixList = CAAudioBufferList::Create(1);
            clientList->mBuffers[0] = {channels, UInt32(samples * 4), client};
            mixList->mBuffers[0] = {channels, UInt32(samples * 4), mix};
            const Result r =
                Measure([&] { CAAudioBufferList::Sum(*clientList, *mixList); }, samples * 4, 0, rounds);
            benchmark::DoNotOptimize(mix);
            std::printf("| sum_f32x%u | best | %zu | %.0f | %.2f |  | ≤ 1.5 |\n", channels, frames, r.nsPerPacket,
                        r.ratioOut);
            std::fflush(stdout);
            CAAudioBufferList::Destroy(clientList);
            CAAudioBufferList::Destroy(mixList);
        }
    }

    // The clears of a cycle: the mix and each IOProc's output buffer are
    // cleared before the IOProcs run (CAAudioBufferList::Clear, one memset
    // per buffer). No target: it is the floor the output cycle stands on.
    for (UInt32 channels : {8u, 2u}) {
        if (!filter.empty() && std::string("clear").find(filter) == std::string::npos) {
            continue;
        }
        for (std::size_t frames : frameCounts) {
            const std::size_t bytes = frames * channels * 4;
            PageBuffer buffer(bytes, PageBuffer::kDestination, 1);
            AudioBufferList* list = CAAudioBufferList::Create(1);
            list->mBuffers[0] = {channels, UInt32(bytes), buffer.data()};
            const Result r = Measure([&] { CAAudioBufferList::Clear(*list); }, bytes, 0, rounds);
            benchmark::DoNotOptimize(buffer.data());
            std::printf("| clear_f32x%u | best | %zu | %.0f | %.2f |  |  |\n", channels, frames, r.nsPerPacket,
                        r.ratioOut);
            std::fflush(stdout);
            CAAudioBufferList::Destroy(list);
        }
    }
    return 0;
}
