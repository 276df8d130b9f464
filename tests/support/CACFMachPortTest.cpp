// A message to a CACFMachPort runs its callback on the run loop that holds
// the port's source: here the host's notification thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/HostRunLoop.h"
#include "platform/Mach.h"
#include "support/CACFMachPort.h"

namespace {

struct Delivery {
    std::atomic<int> count{0};
    std::thread::id thread;
    CFIndex size = 0;
    mach_msg_id_t messageID = 0;
};

void RecordDelivery(CFMachPortRef, void* inMessage, CFIndex inSize, void* inInfo)
{
    Delivery* delivery = static_cast<Delivery*>(inInfo);
    delivery->thread = std::this_thread::get_id();
    delivery->size = inSize;
    delivery->messageID = static_cast<mach_msg_header_t*>(inMessage)->msgh_id;
    delivery->count.fetch_add(1);
}

mach_msg_return_t SendTo(mach_port_t inPort, mach_msg_id_t inID)
{
    mach_msg_header_t message = {};
    message.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_MAKE_SEND, 0);
    message.msgh_size = sizeof(message);
    message.msgh_remote_port = inPort;
    message.msgh_local_port = MACH_PORT_NULL;
    message.msgh_id = inID;
    return mach_msg(&message, MACH_SEND_MSG, sizeof(message), 0, MACH_PORT_NULL, MACH_MSG_TIMEOUT_NONE,
                    MACH_PORT_NULL);
}

TEST(CACFMachPort, MessageRunsTheCallbackOnTheRunLoopThread)
{
    Delivery delivery;
    CACFMachPort port(RecordDelivery, &delivery);
    ASSERT_NE(port.GetCFMachPort(), nullptr);
    ASSERT_NE(port.GetRunLoopSource(), nullptr);
    ASSERT_NE(port.GetMachPort(), MACH_PORT_NULL);

    CFRunLoopRef runLoop = HostGetNotificationRunLoop();
    CFRunLoopAddSource(runLoop, port.GetRunLoopSource(), kCFRunLoopDefaultMode);
    EXPECT_EQ(SendTo(port.GetMachPort(), 7), KERN_SUCCESS);
    HostRunLoopFlush();

    EXPECT_EQ(delivery.count.load(), 1);
    EXPECT_EQ(delivery.thread, HostRunLoopThreadID());
    EXPECT_NE(delivery.thread, std::this_thread::get_id());
    EXPECT_EQ(delivery.size, CFIndex(sizeof(mach_msg_header_t)));
    EXPECT_EQ(delivery.messageID, 7);
    CFRunLoopRemoveSource(runLoop, port.GetRunLoopSource(), kCFRunLoopDefaultMode);
}

TEST(CACFMachPort, MessagesAfterDestructionAreDropped)
{
    Delivery delivery;
    mach_port_t number = MACH_PORT_NULL;
    {
        CACFMachPort port(RecordDelivery, &delivery);
        number = port.GetMachPort();
        CFRunLoopAddSource(HostGetNotificationRunLoop(), port.GetRunLoopSource(), kCFRunLoopDefaultMode);
        CFRunLoopRemoveSource(HostGetNotificationRunLoop(), port.GetRunLoopSource(), kCFRunLoopDefaultMode);
    }
    EXPECT_EQ(SendTo(number, 1), MACH_SEND_INVALID_DEST);
    HostRunLoopFlush();
    EXPECT_EQ(delivery.count.load(), 0);
}

TEST(CACFMachPort, EachPortHasItsOwnNumber)
{
    Delivery first;
    Delivery second;
    CACFMachPort a(RecordDelivery, &first);
    CACFMachPort b(RecordDelivery, &second);
    EXPECT_NE(a.GetMachPort(), b.GetMachPort());
}

}  // namespace
