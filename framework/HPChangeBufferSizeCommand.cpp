#include "framework/HPChangeBufferSizeCommand.h"

#include "framework/HPDevice.h"

HPChangeBufferSizeCommand::HPChangeBufferSizeCommand(HPDevice* inDevice, UInt32 inNewFrameSize)
    : HPCommand(kCommandID, inDevice), mNewFrameSize(inNewFrameSize)
{
}

HPChangeBufferSizeCommand::~HPChangeBufferSizeCommand() = default;

void HPChangeBufferSizeCommand::Execute() { mDevice->SetIOBufferFrameSize(mNewFrameSize); }
