// The framework's guard: a mutex with a condition variable that knows which
// thread holds it. It does not count recursion: Lock() by the holder returns
// false and one Unlock() frees it, so a caller unlocks only when its own
// Lock() returned true. Failures print one line and throw a CAException
// carrying the pthread result (1 for waiting without holding the guard).
//
// Any thread may use it; Lock, Wait, WaitFor and WaitUntil block.
#pragma once

#include <pthread.h>

#include <atomic>

#include "platform/MacTypes.h"

class CAGuard {
public:
    // inName is kept as a pointer, not copied: it must outlive the guard.
    explicit CAGuard(const char* inName);
    virtual ~CAGuard();

    CAGuard(const CAGuard&) = delete;
    CAGuard& operator=(const CAGuard&) = delete;

    // True if this call took the guard, false if the caller already held it.
    virtual bool Lock();
    // Frees the guard if the caller holds it; from any other thread only
    // reports the mistake and leaves the guard as it is.
    virtual void Unlock();
    // Takes the guard unless another thread holds it; never blocks on another
    // holder. Returns whether the caller now holds it; outWasLocked tells
    // whether this call took it.
    virtual bool Try(bool& outWasLocked);
    // Releases the guard while waiting for a signal; holds it again after.
    virtual void Wait();
    // As Wait, for at most inNanoseconds; true if the time ran out.
    virtual bool WaitFor(UInt64 inNanoseconds);
    // As WaitFor, until the host time inHostTimeInNanos; false at once if that
    // time has passed.
    virtual bool WaitUntil(UInt64 inHostTimeInNanos);
    virtual void Notify();
    virtual void NotifyAll();

    const char* GetName() const { return mName; }
    // Whether the calling thread holds the guard.
    bool IsOwnedByCurrentThread() const { return mOwner.load(std::memory_order_relaxed) == pthread_self(); }

protected:
    const char* mName;
    pthread_mutex_t mMutex;
    pthread_cond_t mCondVar;
    // The holder, 0 when free. Read without the mutex: a thread only compares
    // it with its own identity, which no other thread stores here.
    std::atomic<pthread_t> mOwner;
};
