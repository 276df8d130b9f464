#include "framework/CAProcess.h"

#include <unistd.h>

std::atomic<SInt32> CAProcess::sPID{-1};

SInt32 CAProcess::GetPID()
{
    SInt32 thePID = sPID.load(std::memory_order_relaxed);
    if (thePID == -1) {
        thePID = SInt32(getpid());
        sPID.store(thePID, std::memory_order_relaxed);
    }
    return thePID;
}

// getpgid(0) names the caller's own group: an ID below 1 never names a
// process, so it must not count as alive (a preference holding 0 would
// otherwise keep hog mode owned for good).
bool CAProcess::ProcessExists(SInt32 inPID) { return inPID > 0 && getpgid(pid_t(inPID)) != -1; }
