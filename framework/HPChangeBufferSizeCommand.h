// Changes the I/O buffer size of a device: runs HPDevice::SetIOBufferFrameSize.
#pragma once

#include "framework/HPCommand.h"
#include "platform/AudioHardware.h"

class HPChangeBufferSizeCommand : public HPCommand {
public:
    static constexpr UInt32 kCommandID = FourCC("bufs");

    HPChangeBufferSizeCommand(HPDevice* inDevice, UInt32 inNewFrameSize);
    ~HPChangeBufferSizeCommand() override;

    void Execute() override;

    UInt32 GetNewFrameSize() const { return mNewFrameSize; }

private:
    UInt32 mNewFrameSize;
};
