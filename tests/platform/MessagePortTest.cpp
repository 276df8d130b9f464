// Message ports: named local ports, remote ports to them, invalidation.
#include "platform/CoreFoundation.h"
#include "platform/HostRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Seen {
    std::vector<SInt32> ids;
    std::vector<UInt8> firstBytes;
    std::thread::id thread;
    std::atomic<int> invalidations{0};
};

CFDataRef Receive(CFMessagePortRef, SInt32 msgid, CFDataRef data, void* info)
{
    auto seen = static_cast<Seen*>(info);
    seen->ids.push_back(msgid);
    seen->firstBytes.push_back(CFDataGetLength(data) > 0 ? CFDataGetBytePtr(data)[0] : 0);
    seen->thread = std::this_thread::get_id();
    return CFDataCreate(nullptr, nullptr, 0); // a reply nobody reads is released
}

Seen* gInvalidated = nullptr;
void Invalidated(CFMessagePortRef, void*) { ++gInvalidated->invalidations; }

TEST(MessagePortTest, RemoteSendsRunTheLocalCallbackOnTheRunLoop)
{
    Seen seen;
    CFMessagePortContext context{0, &seen, nullptr, nullptr, nullptr};
    CFMessagePortRef local = CFMessagePortCreateLocal(nullptr, CFSTR("com.haldrix.test.a"), Receive, &context, nullptr);
    ASSERT_NE(local, nullptr);
    EXPECT_FALSE(CFMessagePortIsRemote(local));
    // The name is taken while the port is valid.
    EXPECT_EQ(CFMessagePortCreateLocal(nullptr, CFSTR("com.haldrix.test.a"), Receive, &context, nullptr), nullptr);

    CFMessagePortRef remote = CFMessagePortCreateRemote(nullptr, CFSTR("com.haldrix.test.a"));
    ASSERT_NE(remote, nullptr);
    EXPECT_TRUE(CFMessagePortIsRemote(remote));
    EXPECT_EQ(CFStringCompare(CFMessagePortGetName(remote), CFSTR("com.haldrix.test.a"), 0), kCFCompareEqualTo);

    const UInt8 byte = 0x5A;
    CFDataRef data = CFDataCreate(nullptr, &byte, 1);
    EXPECT_EQ(CFMessagePortSendRequest(remote, 7, data, 0, 0, nullptr, nullptr), kCFMessagePortSuccess);
    EXPECT_EQ(CFMessagePortSendRequest(remote, 8, data, 0, 0, kCFRunLoopDefaultMode, nullptr),
              kCFMessagePortTransportError);
    CFRelease(data);

    CFRunLoopSourceRef source = CFMessagePortCreateRunLoopSource(nullptr, local, 0);
    ASSERT_NE(source, nullptr);
    CFRunLoopAddSource(HostGetNotificationRunLoop(), source, kCFRunLoopDefaultMode);
    HostRunLoopFlush();
    EXPECT_EQ(seen.ids, std::vector<SInt32>{7});
    EXPECT_EQ(seen.firstBytes, std::vector<UInt8>{0x5A});
    EXPECT_EQ(seen.thread, HostRunLoopThreadID());

    CFRunLoopRemoveSource(HostGetNotificationRunLoop(), source, kCFRunLoopDefaultMode);
    CFRelease(source);
    CFRelease(remote);
    CFMessagePortInvalidate(local);
    CFRelease(local);
}

TEST(MessagePortTest, InvalidatingTheLocalPortInvalidatesItsRemotesAndTellsEachOnce)
{
    Seen seen;
    gInvalidated = &seen;
    CFMessagePortContext context{0, &seen, nullptr, nullptr, nullptr};
    CFMessagePortRef local = CFMessagePortCreateLocal(nullptr, CFSTR("com.haldrix.test.b"), Receive, &context, nullptr);
    CFMessagePortRef remote = CFMessagePortCreateRemote(nullptr, CFSTR("com.haldrix.test.b"));
    ASSERT_NE(remote, nullptr);
    CFMessagePortSetInvalidationCallBack(local, Invalidated);
    CFMessagePortSetInvalidationCallBack(remote, Invalidated);
    EXPECT_TRUE(CFMessagePortIsValid(remote));

    CFMessagePortInvalidate(local);
    EXPECT_EQ(seen.invalidations.load(), 2);
    EXPECT_FALSE(CFMessagePortIsValid(local));
    EXPECT_FALSE(CFMessagePortIsValid(remote));
    CFMessagePortInvalidate(local);
    CFMessagePortInvalidate(remote);
    EXPECT_EQ(seen.invalidations.load(), 2);
    EXPECT_EQ(CFMessagePortSendRequest(remote, 1, nullptr, 0, 0, nullptr, nullptr), kCFMessagePortIsInvalid);
    EXPECT_EQ(CFMessagePortCreateRunLoopSource(nullptr, local, 0), nullptr);
    // The name is free again, and a remote to a missing name fails.
    EXPECT_EQ(CFMessagePortCreateRemote(nullptr, CFSTR("com.haldrix.test.b")), nullptr);
    CFMessagePortRef again = CFMessagePortCreateLocal(nullptr, CFSTR("com.haldrix.test.b"), Receive, &context, nullptr);
    EXPECT_NE(again, nullptr);
    CFMessagePortInvalidate(again);
    CFRelease(again);
    CFRelease(remote);
    CFRelease(local);
    gInvalidated = nullptr;
}

} // namespace
