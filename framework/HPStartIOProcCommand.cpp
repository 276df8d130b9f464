#include "framework/HPStartIOProcCommand.h"

#include "framework/HPDevice.h"

HPStartIOProcCommand::HPStartIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc)
    : HPCommand(kCommandID, inDevice), mIOProc(inIOProc)
{
}

HPStartIOProcCommand::~HPStartIOProcCommand() = default;

void HPStartIOProcCommand::Execute() { mDevice->StartIOProc(mIOProc); }
