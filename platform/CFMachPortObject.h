// A Mach port made with CFMachPortCreate: a unique port number, a callback
// with its info, and the queue of messages sent to it. Internal to the
// platform library.
#pragma once

#include "platform/CFPortObject.h"
#include "platform/Mach.h"

#include <deque>
#include <vector>

struct CFMachPortObject : CFPortObject {
    static constexpr Type kTypeTag = Type::kMachPort;

    // Registers the port number in the port table.
    CFMachPortObject(CFMachPortCallBack callout, const CFMachPortContext* context);
    // Runs the context's release on info.
    ~CFMachPortObject() override;

    // Finds a valid port by number and takes a reference to it; null when
    // there is none. Any thread.
    static CFMachPortObject* RetainPort(mach_port_t port);

    // Copies the message and queues it; false when the port is invalid.
    bool Send(const void* message, size_t size);
    void Invalidate() override;

    const mach_port_t mPort;

protected:
    void DeliverOne(CFRunLoopObject* loop) override;
    size_t PendingCountLocked() const override { return mQueue.size(); }

private:
    const CFMachPortCallBack mCallout;
    void* const mInfo;
    void (*const mReleaseInfo)(const void*);
    std::deque<std::vector<UInt8>> mQueue; // guarded by SchedulingLock
};
