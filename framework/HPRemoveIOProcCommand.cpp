#include "framework/HPRemoveIOProcCommand.h"

#include "framework/HPDevice.h"

HPRemoveIOProcCommand::HPRemoveIOProcCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc)
    : HPCommand(kCommandID, inDevice), mIOProc(inIOProc)
{
}

HPRemoveIOProcCommand::~HPRemoveIOProcCommand() = default;

void HPRemoveIOProcCommand::Execute() { mDevice->RemoveIOProc(mIOProc); }
