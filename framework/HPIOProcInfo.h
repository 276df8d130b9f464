// The record of one IOProc registered with a device: the callback, the
// client data handed back to it, whether it is started, and which streams of
// each direction it uses. Held by value in the device's IOProc map, keyed by
// the callback.
//
// A usage array, when present, carries its own length: the device's stream
// count can change after a client chose its streams, so readers must go
// through IsStreamUsed (streams beyond the array count as used) instead of
// indexing the array with the current stream count.
//
// The usage arrays are owned by the record but released explicitly by
// HPDevice::TeardownIOProcInfo; copies of the record share them.
#pragma once

#include "platform/AudioHardware.h"
#include "platform/MacTypes.h"

struct HPIOProcInfo {
    HPIOProcInfo() = default;
    HPIOProcInfo(AudioDeviceIOProc inIOProc, void* inClientData) : mIOProc(inIOProc), mClientData(inClientData) {}

    // Whether the IOProc uses stream inIndex of the direction. No usage array
    // means every stream is used. Safe on the I/O thread: no allocation, no
    // lock.
    bool IsStreamUsed(bool inIsInput, UInt32 inIndex) const
    {
        const bool* theUsage = inIsInput ? mInputStreamUsage : mOutputStreamUsage;
        UInt32 theCount = inIsInput ? mInputStreamUsageCount : mOutputStreamUsageCount;
        return (theUsage == nullptr) || (inIndex >= theCount) || theUsage[inIndex];
    }

    AudioDeviceIOProc mIOProc = nullptr;
    void* mClientData = nullptr;
    bool mIsStarted = false;
    // One flag per input stream, or null for "every input stream".
    bool* mInputStreamUsage = nullptr;
    UInt32 mInputStreamUsageCount = 0;
    // One flag per output stream, or null for "every output stream".
    bool* mOutputStreamUsage = nullptr;
    UInt32 mOutputStreamUsageCount = 0;
    // Free for subclasses of the device; the framework leaves them at 0.
    UInt32 mReserved1 = 0;
    UInt32 mReserved2 = 0;
};
