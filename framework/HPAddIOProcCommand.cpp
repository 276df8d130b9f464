#include "framework/HPAddIOProcCommand.h"

#include "framework/HPDevice.h"

HPAddIOProcCommand::HPAddIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc, void* inClientData)
    : HPCommand(kCommandID, inDevice), mIOProc(inIOProc), mClientData(inClientData)
{
}

HPAddIOProcCommand::~HPAddIOProcCommand() = default;

void HPAddIOProcCommand::Execute() { mDevice->AddIOProc(mIOProc, mClientData); }
