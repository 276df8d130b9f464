// The framework's guard with real threads: ownership without recursion
// counting, Try, timed waits, notification, and the exact messages.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/CAConditionWait.h"
#include "support/CAException.h"
#include "support/CAGuard.h"
#include "support/CAHostTimeBase.h"

namespace {

OSStatus StatusOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const CAException& e) {
        return e.GetError();
    }
    return noErr;
}

// Runs inBody on another thread and waits for it.
template <typename Body>
void OnOtherThread(Body inBody)
{
    std::thread other(inBody);
    other.join();
}

TEST(CAGuard, KeepsItsNameByPointer)
{
    static const char kName[] = "IOGuard";
    CAGuard guard(kName);
    EXPECT_EQ(guard.GetName(), kName);
}

TEST(CAGuard, SecondLockByTheOwnerReturnsFalseAndOneUnlockFreesIt)
{
    CAGuard guard("IOGuard");
    EXPECT_TRUE(guard.Lock());
    EXPECT_FALSE(guard.Lock());
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    guard.Unlock();
    EXPECT_FALSE(guard.IsOwnedByCurrentThread());

    // Free for another thread now, without a second Unlock.
    bool otherGotIt = false;
    OnOtherThread([&] {
        bool wasLocked = false;
        otherGotIt = guard.Try(wasLocked) && wasLocked;
        guard.Unlock();
    });
    EXPECT_TRUE(otherGotIt);
}

TEST(CAGuard, BalancedNestedUseUnlocksOnlyWhereItLocked)
{
    CAGuard guard("IOGuard");
    const bool outer = guard.Lock();
    const bool inner = guard.Lock();
    if (inner) {
        guard.Unlock();
    }
    EXPECT_TRUE(guard.IsOwnedByCurrentThread()) << "the inner level must not free the outer one";
    if (outer) {
        guard.Unlock();
    }
    EXPECT_FALSE(guard.IsOwnedByCurrentThread());
}

TEST(CAGuard, UnlockByANonOwnerIsReportedAndLeavesTheGuardHeld)
{
    CAGuard guard("IOGuard");
    ASSERT_TRUE(guard.Lock());

    std::string message;
    OnOtherThread([&] {
        testing::internal::CaptureStderr();
        guard.Unlock();
        message = testing::internal::GetCapturedStderr();
    });
    EXPECT_EQ(message, "CAGuard::Unlock: A thread is attempting to unlock a guard it doesn't own\n");
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    bool otherTook = true;
    OnOtherThread([&] {
        bool wasLocked = true;
        otherTook = guard.Try(wasLocked);
        EXPECT_FALSE(wasLocked);
    });
    EXPECT_FALSE(otherTook) << "the owner still holds it";
    guard.Unlock();
}

TEST(CAGuard, TryCases)
{
    CAGuard guard("IOGuard");

    // Free: taken by this call.
    bool wasLocked = false;
    EXPECT_TRUE(guard.Try(wasLocked));
    EXPECT_TRUE(wasLocked);

    // Already ours: still ours, not taken by this call.
    wasLocked = true;
    EXPECT_TRUE(guard.Try(wasLocked));
    EXPECT_FALSE(wasLocked);

    // Held by another thread: refused without blocking.
    bool otherResult = true;
    bool otherWasLocked = true;
    OnOtherThread([&] { otherResult = guard.Try(otherWasLocked); });
    EXPECT_FALSE(otherResult);
    EXPECT_FALSE(otherWasLocked);
    guard.Unlock();
}

TEST(CAGuard, ExcludesOtherThreads)
{
    CAGuard guard("IOGuard");
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    long counter = 0;  // protected by the guard only
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                const bool locked = guard.Lock();
                ++counter;
                if (locked) {
                    guard.Unlock();
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, long(kThreads) * kRounds);
}

TEST(CAGuard, RelativeTimeoutSplitsIntoSecondsAndNanoseconds)
{
    const timespec split = CASplitNanoseconds(2500000000ULL);
    EXPECT_EQ(split.tv_sec, 2);
    EXPECT_EQ(split.tv_nsec, 500000000L);
    const timespec small = CASplitNanoseconds(999999999ULL);
    EXPECT_EQ(small.tv_sec, 0);
    EXPECT_EQ(small.tv_nsec, 999999999L);
}

TEST(CAGuard, WaitForThatTimesOutReturnsTrueAndTheCallerOwnsItAgain)
{
    CAGuard guard("IOGuard");
    ASSERT_TRUE(guard.Lock());
    EXPECT_TRUE(guard.WaitFor(1000000));  // 1 ms, nobody signals
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    EXPECT_TRUE(guard.WaitFor(0));
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    guard.Unlock();
}

TEST(CAGuard, WaitReleasesTheGuardUntilNotified)
{
    CAGuard guard("IOGuard");
    bool ready = false;  // protected by the guard
    ASSERT_TRUE(guard.Lock());
    std::thread notifier([&] {
        // Gets the guard only once the waiter has released it in Wait.
        const bool locked = guard.Lock();
        ready = true;
        guard.Notify();
        if (locked) {
            guard.Unlock();
        }
    });
    while (!ready) {
        guard.Wait();
    }
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    guard.Unlock();
    notifier.join();
}

TEST(CAGuard, WaitForReturnsFalseWhenSignalled)
{
    CAGuard guard("IOGuard");
    bool ready = false;
    ASSERT_TRUE(guard.Lock());
    std::thread notifier([&] {
        const bool locked = guard.Lock();
        ready = true;
        guard.Notify();
        if (locked) {
            guard.Unlock();
        }
    });
    bool timedOut = true;
    while (!ready) {
        timedOut = guard.WaitFor(60ULL * 1000000000ULL);
    }
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    guard.Unlock();
    notifier.join();
}

TEST(CAGuard, NotifyAllWakesEveryWaiter)
{
    CAGuard guard("IOGuard");
    constexpr int kWaiters = 3;
    int waiting = 0;  // protected by the guard
    bool go = false;
    int woken = 0;
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            guard.Lock();
            ++waiting;
            guard.NotifyAll();  // tells the main thread one more is in
            while (!go) {
                guard.Wait();
            }
            ++woken;
            guard.Unlock();
        });
    }
    guard.Lock();
    while (waiting < kWaiters) {
        guard.Wait();
    }
    go = true;
    guard.NotifyAll();
    guard.Unlock();
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(woken, kWaiters);
}

TEST(CAGuard, WaitingWithoutOwningThrowsOneAfterItsMessage)
{
    CAGuard guard("IOGuard");
    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { guard.Wait(); }), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CAGuard::Wait: A thread has to have locked a guard be for it can wait\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { guard.WaitFor(1000); }), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CAGuard::WaitFor: A thread has to have locked a guard be for it can wait\n");

    // Nothing changed: the guard is still free.
    bool wasLocked = false;
    EXPECT_TRUE(guard.Try(wasLocked));
    EXPECT_TRUE(wasLocked);
    guard.Unlock();
}

TEST(CAGuard, WaitUntilAPastTimeWritesTheExpiryLineAndReturnsAtOnce)
{
    CAGuard guard("IOGuard");
    ASSERT_TRUE(guard.Lock());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(guard.WaitUntil(0));
    const std::string line = testing::internal::GetCapturedStderr();
    const std::string head = "CAGuard::WaitUntil: Time has expired before waiting, now: ";
    const std::string tail = ", requested: 0\n";
    ASSERT_GT(line.size(), head.size() + tail.size()) << line;
    EXPECT_EQ(line.substr(0, head.size()), head);
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
    const std::string now = line.substr(head.size(), line.size() - head.size() - tail.size());
    EXPECT_EQ(now.find_first_not_of("0123456789"), std::string::npos) << "now as a whole number: " << now;
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    guard.Unlock();
}

TEST(CAGuard, WaitUntilMoreThanASecondAwayWarnsAndStillWaits)
{
    CAGuard guard("IOGuard");
    bool ready = false;
    ASSERT_TRUE(guard.Lock());
    std::thread notifier([&] {
        const bool locked = guard.Lock();
        ready = true;
        guard.Notify();
        if (locked) {
            guard.Unlock();
        }
    });
    testing::internal::CaptureStderr();
    bool timedOut = guard.WaitUntil(CAHostTimeBase::CurrentHostTimeInNanos() + 60ULL * 1000000000ULL);
    const std::string warning = testing::internal::GetCapturedStderr();
    while (!ready) {  // a spurious wake-up: wait on without the warning
        timedOut = guard.WaitFor(60ULL * 1000000000ULL);
    }
    EXPECT_EQ(warning, "CAGuard::WaitUntil: about to wait for more than a second\n");
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(guard.IsOwnedByCurrentThread());
    guard.Unlock();
    notifier.join();
}

}  // namespace
