// Message ports: named local ports in this process and remote ports to them.
#include "platform/CFMessagePortObject.h"
#include "platform/CFStringObject.h"

namespace {

CFMessagePortObject* PortFrom(CFMessagePortRef port) { return CFObjectCast<CFMessagePortObject>(port); }

bool NameOf(CFStringRef name, std::string& text)
{
    const CFStringObject* string = CFObjectCast<CFStringObject>(name);
    if (string == nullptr) {
        return false;
    }
    text = string->ToUTF8();
    return true;
}

} // namespace

// Null when the name is missing or already taken by a valid local port.
CFMessagePortRef CFMessagePortCreateLocal(CFAllocatorRef, CFStringRef name, CFMessagePortCallBack callout,
                                          CFMessagePortContext* context, Boolean* shouldFreeInfo)
{
    if (shouldFreeInfo != nullptr) {
        *shouldFreeInfo = false;
    }
    std::string text;
    if (!NameOf(name, text) || callout == nullptr) {
        return nullptr;
    }
    auto port = new CFMessagePortObject(text, name, callout, context);
    if (!port->Register()) {
        port->Release();
        return nullptr;
    }
    return port;
}

// Null when no valid local port has the name.
CFMessagePortRef CFMessagePortCreateRemote(CFAllocatorRef, CFStringRef name)
{
    std::string text;
    if (!NameOf(name, text)) {
        return nullptr;
    }
    CFMessagePortObject* local = CFMessagePortObject::RetainLocal(text);
    if (local == nullptr) {
        return nullptr;
    }
    auto remote = new CFMessagePortObject(local, name);
    local->Release(); // the remote holds its own reference
    return remote;
}

void CFMessagePortSetInvalidationCallBack(CFMessagePortRef port, CFMessagePortInvalidationCallBack callback)
{
    if (CFMessagePortObject* object = PortFrom(port)) {
        object->SetInvalidationCallBack(callback);
    }
}

CFRunLoopSourceRef CFMessagePortCreateRunLoopSource(CFAllocatorRef, CFMessagePortRef port, CFIndex)
{
    CFMessagePortObject* object = PortFrom(port);
    return object != nullptr ? object->CopySource() : nullptr;
}

void CFMessagePortInvalidate(CFMessagePortRef port)
{
    if (CFMessagePortObject* object = PortFrom(port)) {
        object->Invalidate();
    }
}

Boolean CFMessagePortIsValid(CFMessagePortRef port)
{
    CFMessagePortObject* object = PortFrom(port);
    return object != nullptr && object->IsValid();
}

SInt32 CFMessagePortSendRequest(CFMessagePortRef remote, SInt32 msgid, CFDataRef data, double, double,
                                CFStringRef replyMode, CFDataRef* returnData)
{
    if (returnData != nullptr) {
        *returnData = nullptr;
    }
    CFMessagePortObject* object = PortFrom(remote);
    if (object == nullptr) {
        return kCFMessagePortIsInvalid;
    }
    if (replyMode != nullptr) {
        return kCFMessagePortTransportError;
    }
    return object->Send(msgid, data) ? kCFMessagePortSuccess : kCFMessagePortIsInvalid;
}

CFStringRef CFMessagePortGetName(CFMessagePortRef port)
{
    CFMessagePortObject* object = PortFrom(port);
    return object != nullptr ? object->mName : nullptr;
}

Boolean CFMessagePortIsRemote(CFMessagePortRef port)
{
    CFMessagePortObject* object = PortFrom(port);
    return object != nullptr && object->mIsRemote;
}
