// Registers an IOProc with its client data: runs HPDevice::AddIOProc.
#pragma once

#include "framework/HPCommand.h"
#include "platform/AudioHardware.h"

class HPAddIOProcCommand : public HPCommand {
public:
    static constexpr UInt32 kCommandID = FourCC("+iop");

    HPAddIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc, void* inClientData);
    ~HPAddIOProcCommand() override;

    void Execute() override;

    AudioDeviceIOProc GetIOProc() const { return mIOProc; }
    void* GetClientData() const { return mClientData; }

private:
    AudioDeviceIOProc mIOProc;
    void* mClientData;
};
