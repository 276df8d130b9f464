// Zero heap allocations per I/O cycle in steady state, for both devices with
// a loopback running through the unit. The test executable replaces the C
// allocator's entry points with counting ones that forward to the C
// library's own; every allocation in the process (the bundle's, the unit's,
// the host's, through malloc or operator new) passes through them.
#include "tests/integration/KestroTest.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRO_COUNTING_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTRO_COUNTING_ALLOCATOR 0
#endif
#endif
#ifndef KESTRO_COUNTING_ALLOCATOR
#define KESTRO_COUNTING_ALLOCATOR 1
#endif

namespace {

std::atomic<bool> gCounting{false};
std::atomic<UInt64> gAllocations{0};

inline void Count()
{
    if (gCounting.load(std::memory_order_relaxed)) {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

#if KESTRO_COUNTING_ALLOCATOR
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t inSize) noexcept
{
    Count();
    return __libc_malloc(inSize);
}
void* calloc(size_t inCount, size_t inSize) noexcept
{
    Count();
    return __libc_calloc(inCount, inSize);
}
void* realloc(void* inPointer, size_t inSize) noexcept
{
    Count();
    return __libc_realloc(inPointer, inSize);
}
void* memalign(size_t inAlignment, size_t inSize) noexcept
{
    Count();
    return __libc_memalign(inAlignment, inSize);
}
void* aligned_alloc(size_t inAlignment, size_t inSize) noexcept
{
    Count();
    return __libc_memalign(inAlignment, inSize);
}
int posix_memalign(void** outPointer, size_t inAlignment, size_t inSize) noexcept
{
    Count();
    void* pointer = __libc_memalign(inAlignment, inSize);
    if (pointer == nullptr) {
        return ENOMEM;
    }
    *outPointer = pointer;
    return 0;
}
void free(void* inPointer) noexcept { __libc_free(inPointer); }
}
#endif

namespace KestroIntegration {
namespace {

using AllocationTest = KestroTest;

// Copies its buffer into fixed storage; allocates nothing.
struct CopyingProc {
    std::vector<float> storage = std::vector<float>(3840 * 8);
    std::atomic<UInt32> calls{0};

    static OSStatus Proc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInputData,
                         const AudioTimeStamp*, AudioBufferList* outOutputData, const AudioTimeStamp*,
                         void* inClientData)
    {
        CopyingProc& self = *static_cast<CopyingProc*>(inClientData);
        if (inInputData != nullptr) {
            const AudioBuffer& buffer = inInputData->mBuffers[0];
            std::memcpy(self.storage.data(), buffer.mData, std::min<size_t>(buffer.mDataByteSize, 3840 * 32));
        }
        if (outOutputData != nullptr) {
            AudioBuffer& buffer = outOutputData->mBuffers[0];
            std::memcpy(buffer.mData, self.storage.data(), std::min<size_t>(buffer.mDataByteSize, 3840 * 32));
        }
        self.calls.fetch_add(1, std::memory_order_relaxed);
        return noErr;
    }
};

TEST_F(AllocationTest, SteadyStateCyclesAllocateNothing)
{
#if !KESTRO_COUNTING_ALLOCATOR
    GTEST_SKIP() << "the sanitizer owns the allocator";
#endif
    // The allocator really is counted.
    gAllocations = 0;
    gCounting = true;
    // Kept in volatiles: a compiler may otherwise drop an allocation that is
    // freed unused (clang does), and there would be nothing to count.
    void* volatile probe = std::malloc(16);
    int* volatile object = new int(3);
    gCounting = false;
    std::free(probe);
    delete object;
    ASSERT_EQ(gAllocations.load(), 2u);

    ASSERT_EQ(Unit().SetInputLoopback(Settings::kAudioFormatSDI), noErr);
    ASSERT_EQ(Unit().StartCapture(1 << 16), noErr);
    ASSERT_EQ(LoadBundle(), noErr);
    CopyingProc output;
    CopyingProc input;
    ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &CopyingProc::Proc, &output), noErr);
    ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &CopyingProc::Proc, &input), noErr);
    ASSERT_EQ(AudioDeviceStart(OutputDevice(), &CopyingProc::Proc), noErr);
    ASSERT_EQ(AudioDeviceStart(InputDevice(), &CopyingProc::Proc), noErr);
    // Past the rate window's 150 packets, so that it drops one record for
    // every one it takes.
    Step(200);
    Unit().StopCapture();

    gAllocations = 0;
    gCounting = true;
    Step(300);
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 0u) << "allocations in 300 cycles of both devices";
    EXPECT_EQ(output.calls.load(), 500u);
    EXPECT_EQ(input.calls.load(), 500u);

    ASSERT_EQ(AudioDeviceStop(OutputDevice(), &CopyingProc::Proc), noErr);
    ASSERT_EQ(AudioDeviceStop(InputDevice(), &CopyingProc::Proc), noErr);
    Settle();
}

}  // namespace
}  // namespace KestroIntegration
