// The host's notification thread and its run loop.
#include "platform/HostRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

TEST(RunLoopTest, TasksRunOnTheNotificationThreadInOrder)
{
    std::mutex mutex;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 100; ++i) {
        HostRunLoopPerform([&, i] {
            std::lock_guard<std::mutex> lock(mutex);
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
        });
    }
    HostRunLoopFlush();
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[size_t(i)], i);
        EXPECT_EQ(threads[size_t(i)], HostRunLoopThreadID());
    }
    EXPECT_NE(HostRunLoopThreadID(), std::this_thread::get_id());
    EXPECT_FALSE(HostRunLoopIsNotificationThread());
}

TEST(RunLoopTest, TasksFromManyThreadsAllRunAndKeepEachThreadsOrder)
{
    constexpr int kThreads = 4;
    constexpr int kTasks = 500;
    std::vector<int> last(kThreads, -1);
    std::atomic<int> outOfOrder{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kTasks; ++i) {
                // Only the notification thread touches last.
                HostRunLoopPerform([&, t, i] {
                    if (last[size_t(t)] != i - 1) {
                        ++outOfOrder;
                    }
                    last[size_t(t)] = i;
                });
            }
        });
    }
    for (auto& sender : senders) {
        sender.join();
    }
    HostRunLoopFlush();
    EXPECT_EQ(outOfOrder.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(last[size_t(t)], kTasks - 1);
    }
}

TEST(RunLoopTest, FlushOnTheNotificationThreadReturnsInsteadOfWaitingForItself)
{
    std::atomic<bool> ran{false};
    std::atomic<bool> wasNotificationThread{false};
    HostRunLoopPerform([&] {
        wasNotificationThread = HostRunLoopIsNotificationThread();
        HostRunLoopFlush();
        ran = true;
    });
    HostRunLoopFlush();
    EXPECT_TRUE(ran.load());
    EXPECT_TRUE(wasNotificationThread.load());
}

TEST(RunLoopTest, CurrentRunLoopOfTheNotificationThreadIsItsRunLoop)
{
    CFRunLoopRef seen = nullptr;
    HostRunLoopPerform([&] { seen = CFRunLoopGetCurrent(); });
    HostRunLoopFlush();
    EXPECT_EQ(seen, HostGetNotificationRunLoop());
    // Another thread has a run loop of its own, the same on every call.
    CFRunLoopRef mine = CFRunLoopGetCurrent();
    EXPECT_NE(mine, HostGetNotificationRunLoop());
    EXPECT_EQ(CFRunLoopGetCurrent(), mine);
}

} // namespace
