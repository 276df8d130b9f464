// Starts an IOProc, or counts a host start for a null IOProc: runs
// HPDevice::StartIOProc, which starts the engine on the first start.
#pragma once

#include "framework/HPCommand.h"
#include "platform/AudioHardware.h"

class HPStartIOProcCommand : public HPCommand {
public:
    static constexpr UInt32 kCommandID = FourCC(">iop");

    HPStartIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc);
    ~HPStartIOProcCommand() override;

    void Execute() override;

    // Null stands for a start by the host itself.
    AudioDeviceIOProc GetIOProc() const { return mIOProc; }

private:
    AudioDeviceIOProc mIOProc;
};
