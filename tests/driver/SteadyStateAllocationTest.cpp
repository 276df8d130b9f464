// The I/O cycle allocates nothing in steady state. Every heap allocation of
// this test binary (operator new included, which takes its memory from
// malloc) goes through the counting hooks below; a cycle runs with counting
// switched on for the calling thread only. Sanitizer builds own malloc
// themselves, so there the counting tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/driver/DriverFixture.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRO_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTRO_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef KESTRO_COUNT_ALLOCATIONS
#define KESTRO_COUNT_ALLOCATIONS 1
#endif

namespace {
thread_local bool tCounting = false;
thread_local unsigned long tAllocations = 0;

[[maybe_unused]] void CountAllocation()
{
    if (tCounting) {
        ++tAllocations;
    }
}
}  // namespace

#if KESTRO_COUNT_ALLOCATIONS
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

extern "C" void* malloc(size_t inSize)
{
    CountAllocation();
    return __libc_malloc(inSize);
}
extern "C" void* calloc(size_t inCount, size_t inSize)
{
    CountAllocation();
    return __libc_calloc(inCount, inSize);
}
extern "C" void* realloc(void* inPointer, size_t inSize)
{
    CountAllocation();
    return __libc_realloc(inPointer, inSize);
}
#endif

namespace DriverTest {
namespace {

OSStatus CopyProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInput, const AudioTimeStamp*,
                  AudioBufferList* outOutput, const AudioTimeStamp*, void*)
{
    static float sScratch[3840 * 8];
    if (inInput != nullptr) {
        std::memcpy(sScratch, inInput->mBuffers[0].mData, inInput->mBuffers[0].mDataByteSize);
    }
    if (outOutput != nullptr) {
        std::memcpy(outOutput->mBuffers[0].mData, sScratch, outOutput->mBuffers[0].mDataByteSize);
    }
    return 0;
}

class SteadyStateAllocationTest : public DriverFixture {
protected:
    // Runs inWarmUp packets, then inCounted packets with counting on, and
    // returns the allocations made by those.
    unsigned long CountCycles(OrvelDevice* inDevice, unsigned inType, UInt32 inWarmUp, UInt32 inCounted)
    {
        inDevice->DoAddIOProc(&CopyProc, nullptr);
        inDevice->DoStartIOProc(&CopyProc);
        const UInt32 theCadence[] = {1602, 1601, 1602, 1601, 1602};
        std::vector<TestPacket*> thePackets;
        for (UInt32 theFrames : theCadence) {
            thePackets.push_back(new TestPacket(theFrames, 3));
        }
        UInt64 theTime = 0;
        auto theDeliver = [&](UInt32 k) {
            TestPacket& thePacket = *thePackets[k % 5];
            theTime += 33366667;
            thePacket.mPacket.SetTimeInNanos(theTime);
            thePacket.mPacket.GetHeader()->SetHasTime(true);
            mMuxer.Deliver(inType, &thePacket.mPacket);
        };
        for (UInt32 k = 0; k < inWarmUp; ++k) {
            theDeliver(k);
        }
        tAllocations = 0;
        tCounting = true;
        for (UInt32 k = inWarmUp; k < inWarmUp + inCounted; ++k) {
            theDeliver(k);
        }
        tCounting = false;
        for (TestPacket* thePacket : thePackets) {
            delete thePacket;
        }
        return tAllocations;
    }
};

TEST_F(SteadyStateAllocationTest, CountingHooksSeeAllocations)
{
    if (!KESTRO_COUNT_ALLOCATIONS) {
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    }
    static void* volatile sKeep[2];
    tAllocations = 0;
    tCounting = true;
    sKeep[0] = std::malloc(16);
    sKeep[1] = new int(3);
    tCounting = false;
    std::free(sKeep[0]);
    delete static_cast<int*>(sKeep[1]);
    EXPECT_EQ(tAllocations, 2ul);
}

TEST_F(SteadyStateAllocationTest, InputCycleAllocatesNothing)
{
    if (!KESTRO_COUNT_ALLOCATIONS) {
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    }
    OrvelDevice* theDevice = MakeDevice(true);
    EXPECT_EQ(CountCycles(theDevice, kInputPacket, 300, 1200), 0ul);
    EXPECT_NE(theDevice->GetMeasuredRate(), 0.0);
}

TEST_F(SteadyStateAllocationTest, OutputCycleAllocatesNothing)
{
    if (!KESTRO_COUNT_ALLOCATIONS) {
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    }
    OrvelDevice* theDevice = MakeDevice(false);
    EXPECT_EQ(CountCycles(theDevice, kOutputPacket, 300, 1200), 0ul);
}

}  // namespace
}  // namespace DriverTest
