// The maker's monitor with real threads: recursion, full release during
// waits, the scoped holder, and the assertion reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable.h"
#include "support/CAHostTimeBase.h"

namespace {

using testing::HasSubstr;
using Zent::PTA::Synchronizable;

constexpr const char* kSourcePath = "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable";

// Unlocks until the monitor is free; returns how many unlocks that took.
int UnlockAll(Synchronizable& inMonitor)
{
    int depth = 0;
    while (inMonitor.IsLockedByCurrentThread()) {
        inMonitor.Unlock();
        ++depth;
    }
    return depth;
}

TEST(Synchronizable, NewMonitorIsFree)
{
    Synchronizable monitor;
    EXPECT_FALSE(monitor.IsLockedByCurrentThread());
    bool otherLocked = false;
    std::thread([&] {
        monitor.Lock();
        otherLocked = monitor.IsLockedByCurrentThread();
        monitor.Unlock();
    }).join();
    EXPECT_TRUE(otherLocked);
}

TEST(Synchronizable, CountsRecursion)
{
    Synchronizable monitor;
    monitor.Lock();
    monitor.Lock();
    monitor.Unlock();
    EXPECT_TRUE(monitor.IsLockedByCurrentThread()) << "one unlock of two locks keeps it held";
    monitor.Unlock();
    EXPECT_FALSE(monitor.IsLockedByCurrentThread());
}

TEST(Synchronizable, LockerHoldsForItsScope)
{
    Synchronizable monitor;
    {
        Synchronizable::Locker outer(monitor);
        {
            Synchronizable::Locker inner(monitor);
            EXPECT_TRUE(monitor.IsLockedByCurrentThread());
        }
        EXPECT_TRUE(monitor.IsLockedByCurrentThread());
    }
    EXPECT_FALSE(monitor.IsLockedByCurrentThread());
}

TEST(Synchronizable, ExcludesOtherThreadsAtAnyDepth)
{
    Synchronizable monitor;
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    long counter = 0;  // protected by the monitor only
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                Synchronizable::Locker outer(monitor);
                Synchronizable::Locker inner(monitor);
                ++counter;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, long(kThreads) * kRounds);
}

TEST(Synchronizable, TimedWaitReleasesAllLevelsAndRestoresThem)
{
    Synchronizable monitor;
    bool otherRan = false;  // protected by the monitor
    monitor.Lock();
    monitor.Lock();
    monitor.Lock();
    std::thread other([&] {
        // Gets in only while the three-deep holder waits.
        Synchronizable::Locker holder(monitor);
        otherRan = true;
        monitor.Notify();
    });
    bool signalled = false;
    while (!otherRan) {
        signalled = monitor.Wait(SInt64(60) * 1000000000);
    }
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(monitor.IsLockedByCurrentThread());
    EXPECT_EQ(UnlockAll(monitor), 3) << "held three deep again after the wait";
    other.join();
}

TEST(Synchronizable, UntimedWaitReleasesAllLevelsAndRestoresThem)
{
    Synchronizable monitor;
    bool otherRan = false;
    monitor.Lock();
    monitor.Lock();
    std::thread other([&] {
        Synchronizable::Locker holder(monitor);
        otherRan = true;
        monitor.NotifyAll();
    });
    while (!otherRan) {
        monitor.Wait();
    }
    EXPECT_EQ(UnlockAll(monitor), 2);
    other.join();
}

TEST(Synchronizable, NegativeAndZeroWaits)
{
    Synchronizable monitor;
    monitor.Lock();
    EXPECT_FALSE(monitor.Wait(SInt64(-1))) << "negative: no wait at all";
    EXPECT_TRUE(monitor.IsLockedByCurrentThread());
    EXPECT_FALSE(monitor.Wait(SInt64(0))) << "zero: a zero-length timed wait times out";
    EXPECT_FALSE(monitor.Wait(SInt64(1000000))) << "1 ms with nobody signalling times out";
    EXPECT_FALSE(monitor.WaitUntil(0)) << "a past deadline waits zero";
    EXPECT_EQ(UnlockAll(monitor), 1);
}

TEST(Synchronizable, WaitUntilReturnsTrueWhenSignalledBeforeTheDeadline)
{
    Synchronizable monitor;
    bool otherRan = false;
    monitor.Lock();
    std::thread other([&] {
        Synchronizable::Locker holder(monitor);
        otherRan = true;
        monitor.Notify();
    });
    bool signalled = false;
    while (!otherRan) {
        signalled = monitor.WaitUntil(CAHostTimeBase::CurrentHostTimeInNanos() + 60ULL * 1000000000ULL);
    }
    EXPECT_TRUE(signalled);
    EXPECT_EQ(UnlockAll(monitor), 1);
    other.join();
}

TEST(Synchronizable, UnlockByANonOwnerIsReportedAndChangesNothing)
{
    Synchronizable monitor;
    monitor.Lock();
    monitor.Lock();

    std::string report;
    std::thread([&] {
        testing::internal::CaptureStderr();
        monitor.Unlock();
        report = testing::internal::GetCapturedStderr();
    }).join();

    // One DebugAssert: signature '?*?*', the prefixed expression, no label,
    // the message, the module path and line 74.
    EXPECT_EQ(report, std::string("DebugAssert: Third Party Client: mWhichThread == pthread_self(), message: "
                                  "Unlock on monitor called when object is not locked by this thread., file ") +
                          kSourcePath + ", line 74, component '?*?*'\n");
    // Still ours, still two deep.
    EXPECT_EQ(UnlockAll(monitor), 2);
}

TEST(Synchronizable, UnlockOfAFreeMonitorIsReportedAndTheMonitorStillWorks)
{
    Synchronizable monitor;
    testing::internal::CaptureStderr();
    monitor.Unlock();
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_THAT(report, HasSubstr("Unlock on monitor called when object is not locked by this thread."));

    monitor.Lock();
    EXPECT_TRUE(monitor.IsLockedByCurrentThread());
    testing::internal::CaptureStderr();
    monitor.Unlock();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a proper unlock reports nothing";
}

}  // namespace
