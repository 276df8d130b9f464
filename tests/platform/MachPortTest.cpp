// Mach ports: mach_msg to a port runs its callback on the run loop holding
// the port's source.
#include "platform/CoreFoundation.h"
#include "platform/HostRunLoop.h"
#include "platform/Mach.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

// What the callbacks saw; touched on the notification thread, read after a flush.
struct Received {
    std::mutex mutex;
    std::vector<mach_msg_id_t> ids;
    std::vector<CFIndex> sizes;
    std::vector<std::thread::id> threads;
    std::vector<CFMachPortRef> ports;
    std::atomic<int> infoReleases{0};
};

void Callback(CFMachPortRef port, void* msg, CFIndex size, void* info)
{
    auto received = static_cast<Received*>(info);
    std::lock_guard<std::mutex> lock(received->mutex);
    received->ids.push_back(static_cast<mach_msg_header_t*>(msg)->msgh_id);
    received->sizes.push_back(size);
    received->threads.push_back(std::this_thread::get_id());
    received->ports.push_back(port);
}

void ReleaseInfo(const void* info) { ++static_cast<Received*>(const_cast<void*>(info))->infoReleases; }

mach_msg_return_t Send(mach_port_t port, mach_msg_id_t id)
{
    // The driver's stop message: a bare header, copy-send to the remote port.
    mach_msg_header_t header{};
    header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
    header.msgh_size = sizeof(header);
    header.msgh_remote_port = port;
    header.msgh_id = id;
    return mach_msg(&header, MACH_SEND_MSG, sizeof(header), 0, MACH_PORT_NULL, MACH_MSG_TIMEOUT_NONE,
                    MACH_PORT_NULL);
}

// Keeps the notification thread busy until Release, so that messages queue
// behind it.
class RunLoopBlocker {
public:
    RunLoopBlocker()
    {
        std::promise<void> started;
        auto running = started.get_future();
        HostRunLoopPerform([this, &started] {
            started.set_value();
            mGate.get_future().wait();
        });
        running.wait();
    }
    ~RunLoopBlocker() { Release(); }
    void Release()
    {
        if (!mReleased) {
            mReleased = true;
            mGate.set_value();
        }
    }

private:
    std::promise<void> mGate;
    bool mReleased = false;
};

class MachPortTest : public testing::Test {
protected:
    void SetUp() override
    {
        CFMachPortContext context{1, &mReceived, nullptr, ReleaseInfo, nullptr};
        mPort = CFMachPortCreate(nullptr, Callback, &context, nullptr);
        ASSERT_NE(mPort, nullptr);
        mSource = CFMachPortCreateRunLoopSource(nullptr, mPort, 0);
        ASSERT_NE(mSource, nullptr);
    }
    void TearDown() override
    {
        if (mSource != nullptr) {
            CFRunLoopRemoveSource(HostGetNotificationRunLoop(), mSource, kCFRunLoopDefaultMode);
            CFRelease(mSource);
        }
        if (mPort != nullptr) {
            CFMachPortInvalidate(mPort);
            CFRelease(mPort);
        }
        HostRunLoopFlush();
        EXPECT_EQ(mReceived.infoReleases.load(), 1);
    }
    void Schedule() { CFRunLoopAddSource(HostGetNotificationRunLoop(), mSource, kCFRunLoopDefaultMode); }
    size_t ReceivedCount()
    {
        std::lock_guard<std::mutex> lock(mReceived.mutex);
        return mReceived.ids.size();
    }

    Received mReceived;
    CFMachPortRef mPort = nullptr;
    CFRunLoopSourceRef mSource = nullptr;
};

TEST_F(MachPortTest, MessageRunsTheCallbackOnTheNotificationThread)
{
    Schedule();
    ASSERT_EQ(Send(CFMachPortGetPort(mPort), 0), KERN_SUCCESS);
    HostRunLoopFlush();
    std::lock_guard<std::mutex> lock(mReceived.mutex);
    ASSERT_EQ(mReceived.ids.size(), 1u);
    EXPECT_EQ(mReceived.sizes[0], CFIndex(sizeof(mach_msg_header_t)));
    EXPECT_EQ(mReceived.threads[0], HostRunLoopThreadID());
    EXPECT_EQ(mReceived.ports[0], mPort);
}

TEST_F(MachPortTest, MessagesWaitUntilTheSourceIsInARunLoop)
{
    ASSERT_EQ(Send(CFMachPortGetPort(mPort), 1), KERN_SUCCESS);
    ASSERT_EQ(Send(CFMachPortGetPort(mPort), 2), KERN_SUCCESS);
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 0u);
    Schedule();
    HostRunLoopFlush();
    std::lock_guard<std::mutex> lock(mReceived.mutex);
    EXPECT_EQ(mReceived.ids, (std::vector<mach_msg_id_t>{1, 2}));
}

TEST_F(MachPortTest, RemovedSourceHoldsMessagesUntilAddedAgain)
{
    Schedule();
    CFRunLoopRemoveSource(HostGetNotificationRunLoop(), mSource, kCFRunLoopDefaultMode);
    EXPECT_FALSE(CFRunLoopContainsSource(HostGetNotificationRunLoop(), mSource, kCFRunLoopDefaultMode));
    ASSERT_EQ(Send(CFMachPortGetPort(mPort), 3), KERN_SUCCESS);
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 0u);
    Schedule();
    Schedule(); // a second add keeps one entry
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 1u);
}

TEST_F(MachPortTest, MessagesHeldByTheRunLoopOfAThreadThatExitedGoToTheNextRunLoop)
{
    // Nothing services another thread's run loop: the message waits there,
    // and the thread's exit hands the source back without losing it.
    std::thread other([this] {
        CFRunLoopAddSource(CFRunLoopGetCurrent(), mSource, kCFRunLoopDefaultMode);
        EXPECT_EQ(Send(CFMachPortGetPort(mPort), 9), KERN_SUCCESS);
    });
    other.join();
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 0u);
    Schedule();
    HostRunLoopFlush();
    std::lock_guard<std::mutex> lock(mReceived.mutex);
    EXPECT_EQ(mReceived.ids, std::vector<mach_msg_id_t>{9});
}

TEST_F(MachPortTest, MessageToAnInvalidatedPortIsRefused)
{
    Schedule();
    const mach_port_t number = CFMachPortGetPort(mPort);
    CFMachPortInvalidate(mPort);
    EXPECT_FALSE(CFMachPortIsValid(mPort));
    EXPECT_EQ(Send(number, 4), MACH_SEND_INVALID_DEST);
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 0u);
}

TEST_F(MachPortTest, MessagesQueuedWhenThePortIsInvalidatedAreDropped)
{
    Schedule();
    RunLoopBlocker blocker;
    for (mach_msg_id_t id = 0; id < 5; ++id) {
        ASSERT_EQ(Send(CFMachPortGetPort(mPort), id), KERN_SUCCESS);
    }
    CFMachPortInvalidate(mPort);
    blocker.Release();
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 0u);
}

TEST_F(MachPortTest, PortFreedWhileADeliveryIsDueDeliversNothingAndDoesNotCrash)
{
    Schedule();
    RunLoopBlocker blocker;
    ASSERT_EQ(Send(CFMachPortGetPort(mPort), 5), KERN_SUCCESS);
    // Tear down the way the device's port holder does, on this thread, while
    // the delivery waits on the notification thread.
    std::thread owner([this] {
        CFMachPortInvalidate(mPort);
        CFRelease(mPort);
        CFRunLoopRemoveSource(HostGetNotificationRunLoop(), mSource, kCFRunLoopDefaultMode);
        CFRelease(mSource);
    });
    owner.join();
    mPort = nullptr;
    mSource = nullptr;
    EXPECT_EQ(mReceived.infoReleases.load(), 0); // the pending delivery still holds the port
    blocker.Release();
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 0u);
}

TEST_F(MachPortTest, UnknownPortsAndBadMessagesAreRefused)
{
    EXPECT_EQ(Send(MACH_PORT_NULL, 0), MACH_SEND_INVALID_DEST);
    EXPECT_EQ(Send(CFMachPortGetPort(mPort) + 0x100000, 0), MACH_SEND_INVALID_DEST);
    mach_msg_header_t header{};
    header.msgh_remote_port = CFMachPortGetPort(mPort);
    EXPECT_EQ(mach_msg(nullptr, MACH_SEND_MSG, 24, 0, 0, 0, 0), KERN_INVALID_ARGUMENT);
    EXPECT_EQ(mach_msg(&header, MACH_SEND_MSG, 23, 0, 0, 0, 0), KERN_INVALID_ARGUMENT);
    EXPECT_EQ(mach_msg(&header, MACH_RCV_MSG, 24, 0, 0, 0, 0), KERN_INVALID_ARGUMENT);
    Schedule();
    HostRunLoopFlush();
    EXPECT_EQ(ReceivedCount(), 0u);
}

TEST_F(MachPortTest, InvalidatingTheSourceInvalidatesThePort)
{
    Schedule();
    CFRunLoopSourceInvalidate(mSource);
    EXPECT_FALSE(CFRunLoopSourceIsValid(mSource));
    EXPECT_FALSE(CFRunLoopContainsSource(HostGetNotificationRunLoop(), mSource, kCFRunLoopDefaultMode));
    EXPECT_FALSE(CFMachPortIsValid(mPort));
    EXPECT_EQ(Send(CFMachPortGetPort(mPort), 6), MACH_SEND_INVALID_DEST);
}

TEST_F(MachPortTest, APortHasOneSourceAndAUniqueNumber)
{
    CFRunLoopSourceRef again = CFMachPortCreateRunLoopSource(nullptr, mPort, 0);
    EXPECT_EQ(again, mSource);
    CFRelease(again);

    std::set<mach_port_t> numbers{CFMachPortGetPort(mPort)};
    std::vector<CFMachPortRef> others;
    for (int i = 0; i < 50; ++i) {
        others.push_back(CFMachPortCreate(nullptr, Callback, nullptr, nullptr));
        EXPECT_NE(CFMachPortGetPort(others.back()), MACH_PORT_NULL);
        numbers.insert(CFMachPortGetPort(others.back()));
    }
    EXPECT_EQ(numbers.size(), 51u);
    for (CFMachPortRef other : others) {
        CFRelease(other);
    }
    EXPECT_EQ(CFMachPortCreate(nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(MachPortTest, MessagesFromManyThreadsAllArriveInEachSendersOrder)
{
    Schedule();
    constexpr int kSenders = 4;
    constexpr int kMessages = 300;
    std::vector<std::thread> senders;
    std::atomic<int> failures{0};
    for (int t = 0; t < kSenders; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kMessages; ++i) {
                if (Send(CFMachPortGetPort(mPort), t * 10000 + i) != KERN_SUCCESS) {
                    ++failures;
                }
            }
        });
    }
    for (auto& sender : senders) {
        sender.join();
    }
    HostRunLoopFlush();
    EXPECT_EQ(failures.load(), 0);
    std::lock_guard<std::mutex> lock(mReceived.mutex);
    ASSERT_EQ(mReceived.ids.size(), size_t(kSenders * kMessages));
    std::vector<int> next(kSenders, 0);
    for (mach_msg_id_t id : mReceived.ids) {
        const int sender = id / 10000;
        EXPECT_EQ(id % 10000, next[size_t(sender)]);
        next[size_t(sender)] = id % 10000 + 1;
    }
}

} // namespace
