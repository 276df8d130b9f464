#include "support/CACFLocalMessagePort.h"

#include "platform/AudioHardware.h"
#include "support/CAException.h"

CACFLocalMessagePort::CACFLocalMessagePort(CFStringRef inName, CFMessagePortCallBack inPortCallBack,
                                           CFMessagePortInvalidationCallBack inInvalidationCallBack,
                                           void* inUserData)
    : mMessagePort(nullptr), mRunLoopSource(nullptr)
{
    CFMessagePortContext context = {0, inUserData, nullptr, nullptr, nullptr};
    Boolean shouldFreeInfo = false;
    mMessagePort = CFMessagePortCreateLocal(kCFAllocatorDefault, inName, inPortCallBack, &context, &shouldFreeInfo);
    if (mMessagePort == nullptr) {
        return;
    }
    if (inInvalidationCallBack != nullptr) {
        CFMessagePortSetInvalidationCallBack(mMessagePort, inInvalidationCallBack);
    }
    mRunLoopSource = CFMessagePortCreateRunLoopSource(kCFAllocatorDefault, mMessagePort, 0);
    if (mRunLoopSource == nullptr) {
        // Invalidated before the release so that the name is free again.
        CFMessagePortInvalidate(mMessagePort);
        CFRelease(mMessagePort);
        mMessagePort = nullptr;
        CAThrowWithMessage("CACFLocalMessagePort::CACFLocalMessagePort: couldn't create the CFRunLoopSource",
                           kAudioHardwareUnspecifiedError);
    }
}

CACFLocalMessagePort::~CACFLocalMessagePort()
{
    if (mMessagePort != nullptr) {
        CFMessagePortInvalidate(mMessagePort);
        CFRelease(mMessagePort);
    }
    if (mRunLoopSource != nullptr) {
        CFRelease(mRunLoopSource);
    }
}
