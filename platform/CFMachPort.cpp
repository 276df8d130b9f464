// Mach ports with run-loop sources, and mach_msg to send to them.
#include "platform/CFMachPortObject.h"
#include "platform/CFRunLoopSourceObject.h"

CFMachPortRef CFMachPortCreate(CFAllocatorRef, CFMachPortCallBack callout, CFMachPortContext* context,
                               Boolean* shouldFreeInfo)
{
    if (shouldFreeInfo != nullptr) {
        *shouldFreeInfo = false;
    }
    if (callout == nullptr) {
        return nullptr;
    }
    return new CFMachPortObject(callout, context);
}

// A port has at most one source: asking again returns the same source with
// one more reference. An invalid port has none.
CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef, CFMachPortRef port, CFIndex)
{
    CFMachPortObject* machPort = CFObjectCast<CFMachPortObject>(port);
    return machPort != nullptr ? machPort->CopySource() : nullptr;
}

// Messages still queued are dropped. Any thread; a callback already running
// on the run loop finishes, none starts after this returns.
void CFMachPortInvalidate(CFMachPortRef port)
{
    CFMachPortObject* machPort = CFObjectCast<CFMachPortObject>(port);
    if (machPort != nullptr) {
        machPort->Invalidate();
    }
}

Boolean CFMachPortIsValid(CFMachPortRef port)
{
    CFMachPortObject* machPort = CFObjectCast<CFMachPortObject>(port);
    if (machPort == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    return machPort->IsValidLocked();
}

UInt32 CFMachPortGetPort(CFMachPortRef port)
{
    CFMachPortObject* machPort = CFObjectCast<CFMachPortObject>(port);
    return machPort != nullptr ? machPort->mPort : MACH_PORT_NULL;
}

// Only sending is supported: MACH_SEND_MSG with a message of at least a
// header and send_size bytes. The message is copied, so the caller's buffer
// may go at once. Receiving is not offered (KERN_INVALID_ARGUMENT).
mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option, mach_msg_size_t send_size,
                           mach_msg_size_t, mach_port_t, mach_msg_timeout_t, mach_port_t)
{
    if (msg == nullptr || (option & MACH_SEND_MSG) == 0 || (option & MACH_RCV_MSG) != 0 ||
        send_size < sizeof(mach_msg_header_t)) {
        return KERN_INVALID_ARGUMENT;
    }
    CFMachPortObject* port = CFMachPortObject::RetainPort(msg->msgh_remote_port);
    if (port == nullptr) {
        return MACH_SEND_INVALID_DEST;
    }
    const bool sent = port->Send(msg, send_size);
    port->Release();
    return sent ? mach_msg_return_t(KERN_SUCCESS) : mach_msg_return_t(MACH_SEND_INVALID_DEST);
}
