#include "support/CACFMachPort.h"

#include "platform/AudioHardware.h"
#include "support/CAException.h"

CACFMachPort::CACFMachPort(CFMachPortCallBack inCallBack, void* inUserData)
    : mMachPort(nullptr), mRunLoopSource(nullptr)
{
    CFMachPortContext context = {1, inUserData, nullptr, nullptr, nullptr};
    Boolean shouldFreeInfo = false;
    mMachPort = CFMachPortCreate(kCFAllocatorDefault, inCallBack, &context, &shouldFreeInfo);
    if (mMachPort == nullptr) {
        CAThrowWithMessage("CACFMachPort::CACFMachPort: couldn't create the CFMachPort",
                           kAudioHardwareUnspecifiedError);
    }

    mRunLoopSource = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, mMachPort, 0);
    if (mRunLoopSource == nullptr) {
        CFMachPortInvalidate(mMachPort);
        CFRelease(mMachPort);
        mMachPort = nullptr;
        CAThrowWithMessage("CACFMachPort::CACFMachPort: couldn't create the CFRunLoopSource",
                           kAudioHardwareUnspecifiedError);
    }
}

CACFMachPort::~CACFMachPort()
{
    if (mMachPort != nullptr) {
        // Invalidating first: a message still on its way is dropped rather
        // than delivered to an owner that is going away.
        CFMachPortInvalidate(mMachPort);
        CFRelease(mMachPort);
    }
    if (mRunLoopSource != nullptr) {
        CFRelease(mRunLoopSource);
    }
}

mach_port_t CACFMachPort::GetMachPort() const
{
    return mMachPort != nullptr ? CFMachPortGetPort(mMachPort) : MACH_PORT_NULL;
}
