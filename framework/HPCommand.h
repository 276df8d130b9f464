// A deferred change of a device: built by a host request, handed to
// HPDevice::ExecuteCommand, which owns it from then on. The device either runs
// it at once inside its command bracket or queues it until the I/O thread has
// finished its current cycle (see HPDevice). Execute runs with whatever lock
// the device's StartCommandExecution takes; it may throw CAException.
#pragma once

#include "platform/MacTypes.h"

class HPDevice;

class HPCommand {
public:
    HPCommand(UInt32 inCommandID, HPDevice* inDevice);
    virtual ~HPCommand();

    HPCommand(const HPCommand&) = delete;
    HPCommand& operator=(const HPCommand&) = delete;

    // Applies the change to the device. Nothing in the base.
    virtual void Execute();

    // A four-character code naming the kind of change.
    UInt32 GetCommandID() const { return mCommandID; }
    HPDevice* GetDevice() const { return mDevice; }

protected:
    UInt32 mCommandID;
    HPDevice* mDevice;  // not owned
};
