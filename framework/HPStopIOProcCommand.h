// Stops an IOProc, or takes back a host start for a null IOProc: runs
// HPDevice::StopIOProc, which stops the engine when nothing runs any more.
#pragma once

#include "framework/HPCommand.h"
#include "platform/AudioHardware.h"

class HPStopIOProcCommand : public HPCommand {
public:
    static constexpr UInt32 kCommandID = FourCC("<iop");

    HPStopIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc);
    ~HPStopIOProcCommand() override;

    void Execute() override;

    // Null stands for a stop by the host itself.
    AudioDeviceIOProc GetIOProc() const { return mIOProc; }

private:
    AudioDeviceIOProc mIOProc;
};
