// The interface object of a device on the IEEE 1394 bus, as a thread that
// serves it sees it: two entries that attach the device's callback
// dispatcher to a run loop and detach it again. The device's callbacks then
// run on the thread that runs that run loop.
#pragma once

#include "platform/CoreFoundation.h"

struct BusDeviceInterface {
    // The provider's own data.
    void* mRefCon;
    // Attaches the dispatcher to runLoop; 0 on success. Called on the thread
    // that will run runLoop.
    OSStatus (*AddCallbackDispatcherToRunLoop)(BusDeviceInterface* self, CFRunLoopRef runLoop);
    // Detaches it from the run loop it was attached to. Any thread.
    void (*RemoveCallbackDispatcherFromRunLoop)(BusDeviceInterface* self);
};

typedef BusDeviceInterface* BusDeviceInterfaceRef;
