// A named local message port with a run-loop source. If the port cannot be
// made the object stays without one, silently; if its source cannot be made
// the constructor prints a line and throws CAException('what').
#pragma once

#include "platform/CoreFoundation.h"

class CACFLocalMessagePort {
public:
    CACFLocalMessagePort(CFStringRef inName, CFMessagePortCallBack inPortCallBack,
                         CFMessagePortInvalidationCallBack inInvalidationCallBack, void* inUserData);
    // Invalidates and releases the port, releases the source.
    virtual ~CACFLocalMessagePort();

    CACFLocalMessagePort(const CACFLocalMessagePort&) = delete;
    CACFLocalMessagePort& operator=(const CACFLocalMessagePort&) = delete;

    CFMessagePortRef GetMessagePort() const { return mMessagePort; }
    CFRunLoopSourceRef GetRunLoopSource() const { return mRunLoopSource; }

private:
    CFMessagePortRef mMessagePort;
    CFRunLoopSourceRef mRunLoopSource;
};
