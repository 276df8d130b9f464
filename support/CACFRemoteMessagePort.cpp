#include "support/CACFRemoteMessagePort.h"

#include "platform/AudioHardware.h"
#include "support/CAException.h"

CACFRemoteMessagePort::CACFRemoteMessagePort(CFStringRef inName,
                                             CFMessagePortInvalidationCallBack inInvalidationCallBack)
    : mMessagePort(nullptr), mRunLoopSource(nullptr)
{
    mMessagePort = CFMessagePortCreateRemote(kCFAllocatorDefault, inName);
    if (mMessagePort == nullptr) {
        return;
    }
    if (inInvalidationCallBack != nullptr) {
        CFMessagePortSetInvalidationCallBack(mMessagePort, inInvalidationCallBack);
    }
    mRunLoopSource = CFMessagePortCreateRunLoopSource(kCFAllocatorDefault, mMessagePort, 0);
    if (mRunLoopSource == nullptr) {
        CFRelease(mMessagePort);
        mMessagePort = nullptr;
        CAThrowWithMessage("CACFRemoteMessagePort::CACFRemoteMessagePort: couldn't create the CFRunLoopSource",
                           kAudioHardwareUnspecifiedError);
    }
}

CACFRemoteMessagePort::~CACFRemoteMessagePort()
{
    if (mMessagePort != nullptr) {
        CFRelease(mMessagePort);
    }
    if (mRunLoopSource != nullptr) {
        CFRelease(mRunLoopSource);
    }
}
