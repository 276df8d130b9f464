// The monitor of the maker's thread library: a recursive lock with a
// condition variable. The holder may lock it again any number of times and
// must unlock it as often. Failed checks are reported through the host's
// debug-assertion service and the operation carries on.
//
// Any thread may use it; Lock and the waits block.
#pragma once

#include <pthread.h>

#include <atomic>

#include "platform/MacTypes.h"

namespace Zent {
namespace PTA {

class Synchronizable {
public:
    Synchronizable();
    virtual ~Synchronizable();

    Synchronizable(const Synchronizable&) = delete;
    Synchronizable& operator=(const Synchronizable&) = delete;

    void Lock();
    // An unlock by a thread that does not hold the monitor is reported and
    // changes nothing.
    void Unlock();

    // The waits release the monitor completely (whatever the recursion depth)
    // and take it back to the same depth afterwards, also when left by an
    // exception.
    void Wait();
    // At most inNanoseconds; true if signalled, false on a timeout or a
    // negative time (which does not wait at all).
    bool Wait(SInt64 inNanoseconds);
    // Until the host's up time reaches inAbsoluteNanoseconds.
    bool WaitUntil(UInt64 inAbsoluteNanoseconds);
    void Notify();
    void NotifyAll();

    // Whether the calling thread holds the monitor.
    bool IsLockedByCurrentThread() const { return mWhichThread.load(std::memory_order_relaxed) == pthread_self(); }

    // Holds a monitor for a scope: locks it on construction, unlocks it on
    // destruction.
    class Locker {
    public:
        explicit Locker(Synchronizable& inMonitor) : mMonitor(inMonitor) { mMonitor.Lock(); }
        ~Locker() { mMonitor.Unlock(); }

        Locker(const Locker&) = delete;
        Locker& operator=(const Locker&) = delete;

    private:
        Synchronizable& mMonitor;
    };

private:
    class WaitState;

    pthread_mutex_t mMutex;
    // The holder, 0 when free. Read without the mutex: a thread only compares
    // it with its own identity, which no other thread stores here.
    std::atomic<pthread_t> mWhichThread;
    // Extra locks by the holder: 0 after the first.
    UInt32 mRecursionCount;
    pthread_cond_t mCondition;
};

}  // namespace PTA
}  // namespace Zent
