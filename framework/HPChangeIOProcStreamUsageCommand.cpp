#include "framework/HPChangeIOProcStreamUsageCommand.h"

#include <algorithm>
#include <memory>

#include "framework/HPDevice.h"

HPChangeIOProcStreamUsageCommand::HPChangeIOProcStreamUsageCommand(HPDevice* inDevice, AudioDeviceIOProc inIOProc,
                                                                   bool inIsInput, bool* inUsage)
    : HPCommand(kCommandID, inDevice),
      mIOProc(inIOProc),
      mIsInput(inIsInput),
      mUsage(inUsage),
      mUsageCount((inDevice != nullptr) ? inDevice->GetNumberStreams(inIsInput) : 0)
{
}

HPChangeIOProcStreamUsageCommand::~HPChangeIOProcStreamUsageCommand() { delete[] mUsage; }

void HPChangeIOProcStreamUsageCommand::Execute()
{
    // The device reads one flag per stream it has now; if it gained streams
    // while the command waited, the new ones are marked used.
    UInt32 theNumberStreams = mDevice->GetNumberStreams(mIsInput);
    if ((mUsage != nullptr) && (theNumberStreams <= mUsageCount)) {
        mDevice->SetIOProcStreamUsage(mIOProc, mIsInput, mUsage);
        return;
    }
    std::unique_ptr<bool[]> theUsage(new bool[theNumberStreams > 0 ? theNumberStreams : 1]);
    std::fill(theUsage.get(), theUsage.get() + theNumberStreams, true);
    if (mUsage != nullptr) {
        std::copy(mUsage, mUsage + mUsageCount, theUsage.get());
    }
    mDevice->SetIOProcStreamUsage(mIOProc, mIsInput, theUsage.get());
}
