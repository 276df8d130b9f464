// The maker's detached thread: runs a Runnable with a fixed scheduling
// policy, FIFO or time-share, at a priority relative to the policy's base
// (FIFO: 80 + priority, time-share: 39 + priority, on the host's scale; see
// platform/ThreadPolicy.h for how that maps onto Linux). Failed checks are
// reported through the host's DebugAssert and the operation carries on; a
// policy the system refuses is reported the same way and the thread runs
// with the nearest policy it was allowed.
//
// The new thread applies its policy itself before it runs the body, so the
// policy never reaches a thread that has already ended, and the object may
// be destroyed while the thread runs (the runnable must outlive it).
// Start may be called from any thread; it does not block.
#pragma once

#include <pthread.h>

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Runnable.h"
#include "platform/MacTypes.h"

namespace Zent {
namespace PTA {

class Thread {
public:
    enum eThreadPolicy : SInt32 {
        kThreadPolicyTimeShare = 0,
        kThreadPolicyFifo = 2,
    };

    // inRunnable is not owned.
    Thread(Runnable* inRunnable, SInt32 inPriority, eThreadPolicy inPolicy);
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts a detached thread that applies the policy and then calls the
    // runnable's Run.
    void Start();

    Runnable* GetRunnable() const { return mRunnable; }
    SInt32 GetPriority() const { return mPriority; }
    eThreadPolicy GetPolicy() const { return mPolicy; }
    // The last thread started (zero before the first Start).
    pthread_t GetPThread() const { return mThread; }

private:
    static void* Body(void* inStart);

    Runnable* mRunnable;  // not owned
    SInt32 mPriority;
    eThreadPolicy mPolicy;
    pthread_t mThread;
};

}  // namespace PTA
}  // namespace Zent
