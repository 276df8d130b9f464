// The two facts about processes that hog mode needs: this process's ID and
// whether another process is still alive. Any thread; no lock.
#pragma once

#include <atomic>

#include "platform/MacTypes.h"

class CAProcess {
public:
    // This process's ID, read once and kept.
    static SInt32 GetPID();
    // True while a process with this ID exists (getpgid succeeds). Never
    // true for IDs below 1.
    static bool ProcessExists(SInt32 inPID);

private:
    // -1 until the first GetPID.
    static std::atomic<SInt32> sPID;
};
