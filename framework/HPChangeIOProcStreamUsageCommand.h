// Chooses which streams of one direction an IOProc uses: runs
// HPDevice::SetIOProcStreamUsage. The command takes ownership of the flag
// array, which has one entry per stream of the direction at the time the
// command is built. Should the stream count have grown by the time a queued
// command runs, the streams without a flag are used.
#pragma once

#include "framework/HPCommand.h"
#include "platform/AudioHardware.h"

class HPChangeIOProcStreamUsageCommand : public HPCommand {
public:
    static constexpr UInt32 kCommandID = FourCC("suse");

    HPChangeIOProcStreamUsageCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc, bool inIsInput, bool* inUsage);
    ~HPChangeIOProcStreamUsageCommand() override;

    void Execute() override;

    AudioDeviceIOProc GetIOProc() const { return mIOProc; }
    bool IsInput() const { return mIsInput; }
    const bool* GetUsage() const { return mUsage; }
    UInt32 GetUsageCount() const { return mUsageCount; }

private:
    AudioDeviceIOProc mIOProc;
    bool mIsInput;
    // One flag per stream of the direction, owned (array delete).
    bool* mUsage;
    // The number of flags: the stream count of the direction when the
    // command was built.
    UInt32 mUsageCount;
};
