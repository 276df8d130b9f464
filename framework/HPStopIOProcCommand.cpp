#include "framework/HPStopIOProcCommand.h"

#include "framework/HPDevice.h"

HPStopIOProcCommand::HPStopIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc)
    : HPCommand(kCommandID, inDevice), mIOProc(inIOProc)
{
}

HPStopIOProcCommand::~HPStopIOProcCommand() = default;

void HPStopIOProcCommand::Execute() { mDevice->StopIOProc(mIOProc); }
