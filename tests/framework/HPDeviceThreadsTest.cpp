// The device's running flag against real threads: one thread starts and
// stops the engine through IOProc starts and stops (as the host's client
// threads and the I/O thread's queued commands do) while another reads
// kAudioDevicePropertyDeviceIsRunning, as a client polling 'goin' does. The
// flag is shared between them without a lock; under ThreadSanitizer this
// test fails if it is a plain variable.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/HPPropertyAddress.h"
#include "tests/framework/TestDevice.h"

namespace {

OSStatus ThreadsIOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                       AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 0;
}

TEST(HPDeviceThreads, TheRunningFlagIsReadWhileAnotherThreadStartsAndStops)
{
    TestDevice device;
    device.DoAddIOProc(ThreadsIOProc, nullptr);
    constexpr int kRounds = 2000;
    std::atomic<bool> done{false};
    std::atomic<UInt32> seenRunning{0};
    std::atomic<UInt32> badReads{0};

    std::thread reader([&] {
        while (!done.load()) {
            UInt32 value = 0xDEADBEEF;
            UInt32 size = sizeof(value);
            device.GetPropertyData(HPPropertyAddress(kAudioDevicePropertyDeviceIsRunning, 0, 0), size, &value);
            if (size != sizeof(UInt32) || value > 1) {
                ++badReads;
            }
            seenRunning += value == 1;
        }
    });
    for (int round = 0; round < kRounds; ++round) {
        device.DoStartIOProc(ThreadsIOProc);
        device.DoStopIOProc(ThreadsIOProc);
    }
    done = true;
    reader.join();

    EXPECT_EQ(badReads.load(), 0u);
    EXPECT_EQ(device.mStartEngineCount.load(), UInt32(kRounds));
    EXPECT_EQ(device.mStopEngineCount.load(), UInt32(kRounds));
    EXPECT_FALSE(device.IsEngineRunning());
    device.DoRemoveIOProc(ThreadsIOProc);
}

}  // namespace
