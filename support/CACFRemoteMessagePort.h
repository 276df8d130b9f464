// A message port to a named port elsewhere, with a run-loop source. If the
// port cannot be reached the object stays without one, silently; if its
// source cannot be made the constructor prints a line and throws
// CAException('what').
#pragma once

#include "platform/CoreFoundation.h"

class CACFRemoteMessagePort {
public:
    CACFRemoteMessagePort(CFStringRef inName, CFMessagePortInvalidationCallBack inInvalidationCallBack);
    // Releases the port and the source.
    virtual ~CACFRemoteMessagePort();

    CACFRemoteMessagePort(const CACFRemoteMessagePort&) = delete;
    CACFRemoteMessagePort& operator=(const CACFRemoteMessagePort&) = delete;

    CFMessagePortRef GetMessagePort() const { return mMessagePort; }
    CFRunLoopSourceRef GetRunLoopSource() const { return mRunLoopSource; }

private:
    CFMessagePortRef mMessagePort;
    CFRunLoopSourceRef mRunLoopSource;
};
