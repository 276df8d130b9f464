// Unregisters an IOProc: runs HPDevice::RemoveIOProc.
#pragma once

#include "framework/HPCommand.h"
#include "platform/AudioHardware.h"

class HPRemoveIOProcCommand : public HPCommand {
public:
    static constexpr UInt32 kCommandID = FourCC("-iop");

    HPRemoveIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc);
    ~HPRemoveIOProcCommand() override;

    void Execute() override;

    AudioDeviceIOProc GetIOProc() const { return mIOProc; }

private:
    AudioDeviceIOProc mIOProc;
};
