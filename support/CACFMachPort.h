// A Mach port with a callback and a run-loop source for it. The owner adds
// the source to the run loop that should run the callback; a message sent to
// the port (mach_msg to GetMachPort()) then runs the callback on that run
// loop's thread. Construction failures print a line and throw
// CAException('what'), leaving nothing to release.
#pragma once

#include "platform/CoreFoundation.h"
#include "platform/Mach.h"

class CACFMachPort {
public:
    CACFMachPort(CFMachPortCallBack inCallBack, void* inUserData);
    // Invalidates and releases the port (no callback runs afterwards) and
    // releases the source. Remove the source from its run loop first.
    virtual ~CACFMachPort();

    CACFMachPort(const CACFMachPort&) = delete;
    CACFMachPort& operator=(const CACFMachPort&) = delete;

    CFMachPortRef GetCFMachPort() const { return mMachPort; }
    CFRunLoopSourceRef GetRunLoopSource() const { return mRunLoopSource; }
    // The port's number, the destination of mach_msg.
    mach_port_t GetMachPort() const;

private:
    CFMachPortRef mMachPort;
    CFRunLoopSourceRef mRunLoopSource;
};
