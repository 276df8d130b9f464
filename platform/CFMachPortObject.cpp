#include "platform/CFMachPortObject.h"

#include "platform/CFRunLoopSourceObject.h"

#include <atomic>
#include <map>

namespace {

// Port number to port, for mach_msg. Holds no references: a port leaves the
// table when invalidated or freed, and lookups use TryRetain.
std::map<mach_port_t, CFMachPortObject*>& PortTable()
{
    static auto* table = new std::map<mach_port_t, CFMachPortObject*>; // never destroyed
    return *table;
}

mach_port_t NewPortNumber()
{
    // Odd numbers from 0x1003 up, like a task's port names; 0 is never used.
    static std::atomic<mach_port_t> next{0x1003};
    mach_port_t number;
    do {
        number = next.fetch_add(2, std::memory_order_relaxed);
    } while (number == MACH_PORT_NULL);
    return number;
}

} // namespace

CFMachPortObject::CFMachPortObject(CFMachPortCallBack callout, const CFMachPortContext* context)
    : CFPortObject(kTypeTag),
      mPort(NewPortNumber()),
      mCallout(callout),
      mInfo(context != nullptr ? context->info : nullptr),
      mReleaseInfo(context != nullptr ? context->release : nullptr)
{
    if (context != nullptr && context->retain != nullptr) {
        context->retain(context->info);
    }
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    PortTable()[mPort] = this;
}

CFMachPortObject::~CFMachPortObject()
{
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        PortTable().erase(mPort);
    }
    if (mReleaseInfo != nullptr) {
        mReleaseInfo(mInfo);
    }
}

CFMachPortObject* CFMachPortObject::RetainPort(mach_port_t port)
{
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    auto found = PortTable().find(port);
    if (found == PortTable().end() || !found->second->IsValidLocked() || !found->second->TryRetain()) {
        return nullptr;
    }
    return found->second;
}

bool CFMachPortObject::Send(const void* message, size_t size)
{
    const UInt8* bytes = static_cast<const UInt8*>(message);
    std::vector<UInt8> copy(bytes, bytes + size); // copied before the lock
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    if (!mValid) {
        return false;
    }
    mQueue.push_back(std::move(copy));
    ScheduleDeliveriesLocked(1);
    return true;
}

void CFMachPortObject::Invalidate()
{
    std::deque<std::vector<UInt8>> dropped;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (!mValid) {
            return;
        }
        mValid = false;
        dropped.swap(mQueue);
        PortTable().erase(mPort);
    }
}

void CFMachPortObject::DeliverOne(CFRunLoopObject* loop)
{
    std::vector<UInt8> message;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (!IsServicedByLocked(loop) || mQueue.empty()) {
            return;
        }
        message = std::move(mQueue.front());
        mQueue.pop_front();
    }
    if (mCallout != nullptr) {
        mCallout(this, message.data(), CFIndex(message.size()), mInfo);
    }
}
