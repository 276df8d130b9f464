// Running a thread's own run loop. The notification thread's run loop is the
// platform's: it is neither run nor stopped from here.
#include "platform/CFRunLoopObject.h"
#include "platform/HostRunLoop.h"

void CFRunLoopRun()
{
    if (HostRunLoopIsNotificationThread()) {
        return;
    }
    CFRunLoopObject* theLoop = CFObjectCast<CFRunLoopObject>(CFRunLoopGetCurrent());
    if (theLoop != nullptr) {
        theLoop->Run();
    }
}

void CFRunLoopStop(CFRunLoopRef runLoop)
{
    CFRunLoopObject* theLoop = CFObjectCast<CFRunLoopObject>(runLoop);
    if (theLoop == nullptr || runLoop == HostGetNotificationRunLoop()) {
        return;
    }
    theLoop->Stop();
}
