// Named local message ports and remote ports to them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/HostRunLoop.h"
#include "support/CACFLocalMessagePort.h"
#include "support/CACFRemoteMessagePort.h"

namespace {

struct Received {
    std::atomic<int> count{0};
    SInt32 lastID = 0;
    std::thread::id thread;
};

CFDataRef RecordRequest(CFMessagePortRef, SInt32 inID, CFDataRef, void* inInfo)
{
    Received* received = static_cast<Received*>(inInfo);
    received->lastID = inID;
    received->thread = std::this_thread::get_id();
    received->count.fetch_add(1);
    return nullptr;
}

TEST(CACFMessagePort, RemoteRequestRunsTheLocalCallbackOnTheRunLoop)
{
    Received received;
    CACFLocalMessagePort local(CFSTR("kestro.test.ports.a"), RecordRequest, nullptr, &received);
    ASSERT_NE(local.GetMessagePort(), nullptr);
    ASSERT_NE(local.GetRunLoopSource(), nullptr);
    CFRunLoopAddSource(HostGetNotificationRunLoop(), local.GetRunLoopSource(), kCFRunLoopDefaultMode);

    CACFRemoteMessagePort remote(CFSTR("kestro.test.ports.a"), nullptr);
    ASSERT_NE(remote.GetMessagePort(), nullptr);
    EXPECT_EQ(CFMessagePortSendRequest(remote.GetMessagePort(), 12, nullptr, 1.0, 0.0, nullptr, nullptr),
              kCFMessagePortSuccess);
    HostRunLoopFlush();
    EXPECT_EQ(received.count.load(), 1);
    EXPECT_EQ(received.lastID, 12);
    EXPECT_EQ(received.thread, HostRunLoopThreadID());
    CFRunLoopRemoveSource(HostGetNotificationRunLoop(), local.GetRunLoopSource(), kCFRunLoopDefaultMode);
}

TEST(CACFMessagePort, PortsThatCannotBeMadeLeaveTheObjectEmptyWithoutAMessage)
{
    Received received;
    CACFLocalMessagePort first(CFSTR("kestro.test.ports.b"), RecordRequest, nullptr, &received);
    ASSERT_NE(first.GetMessagePort(), nullptr);

    testing::internal::CaptureStderr();
    CACFLocalMessagePort sameName(CFSTR("kestro.test.ports.b"), RecordRequest, nullptr, &received);
    CACFRemoteMessagePort nobody(CFSTR("kestro.test.ports.nobody"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(sameName.GetMessagePort(), nullptr);
    EXPECT_EQ(sameName.GetRunLoopSource(), nullptr);
    EXPECT_EQ(nobody.GetMessagePort(), nullptr);
    EXPECT_EQ(nobody.GetRunLoopSource(), nullptr);
}

TEST(CACFMessagePort, DestroyingTheLocalPortFreesItsName)
{
    Received received;
    { CACFLocalMessagePort local(CFSTR("kestro.test.ports.c"), RecordRequest, nullptr, &received); }
    CACFRemoteMessagePort remote(CFSTR("kestro.test.ports.c"), nullptr);
    EXPECT_EQ(remote.GetMessagePort(), nullptr) << "the name left with its port";
    CACFLocalMessagePort again(CFSTR("kestro.test.ports.c"), RecordRequest, nullptr, &received);
    EXPECT_NE(again.GetMessagePort(), nullptr);
}

}  // namespace
