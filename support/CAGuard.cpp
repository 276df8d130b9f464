#include "support/CAGuard.h"

#include <cerrno>
#include <cstdio>

#include "support/CAConditionWait.h"
#include "support/CAException.h"
#include "support/CAHostTimeBase.h"

namespace {
// The status thrown for waiting on a guard the caller does not hold.
constexpr OSStatus kNotOwnerError = 1;
constexpr UInt64 kOneSecondInNanos = 1000000000ULL;
}  // namespace

CAGuard::CAGuard(const char* inName) : mName(inName), mOwner(0)
{
    int result = pthread_mutex_init(&mMutex, nullptr);
    if (result != 0) {
        CAThrowWithMessage("CAGuard::CAGuard: Could not init the mutex", result);
    }
    // Timed waits measure on the monotonic clock (see CAConditionWait.h).
    result = CAConditionInitMonotonic(&mCondVar);
    if (result != 0) {
        pthread_mutex_destroy(&mMutex);
        CAThrowWithMessage("CAGuard::CAGuard: Could not init the cond var", result);
    }
}

CAGuard::~CAGuard()
{
    pthread_mutex_destroy(&mMutex);
    pthread_cond_destroy(&mCondVar);
}

bool CAGuard::Lock()
{
    if (IsOwnedByCurrentThread()) {
        return false;
    }
    const int result = pthread_mutex_lock(&mMutex);
    if (result != 0) {
        CAThrowWithMessage("CAGuard::Lock: Could not lock the mutex", result);
    }
    mOwner.store(pthread_self(), std::memory_order_relaxed);
    return true;
}

void CAGuard::Unlock()
{
    if (!IsOwnedByCurrentThread()) {
        std::fprintf(stderr, "%s\n", "CAGuard::Unlock: A thread is attempting to unlock a guard it doesn't own");
        return;
    }
    mOwner.store(0, std::memory_order_relaxed);
    const int result = pthread_mutex_unlock(&mMutex);
    if (result != 0) {
        CAThrowWithMessage("CAGuard::Unlock: Could not unlock the mutex", result);
    }
}

bool CAGuard::Try(bool& outWasLocked)
{
    outWasLocked = false;
    const pthread_t owner = mOwner.load(std::memory_order_relaxed);
    if (owner != 0 && owner != pthread_self()) {
        return false;
    }
    // Free or ours: Lock() does not block on another holder here, except
    // for one that took the guard between the check and the lock.
    outWasLocked = Lock();
    return true;
}

void CAGuard::Wait()
{
    if (!IsOwnedByCurrentThread()) {
        CAThrowWithMessage("CAGuard::Wait: A thread has to have locked a guard be for it can wait", kNotOwnerError);
    }
    mOwner.store(0, std::memory_order_relaxed);
    const int result = pthread_cond_wait(&mCondVar, &mMutex);
    if (result != 0) {
        CAThrowWithMessage("CAGuard::Wait: Could not wait for a signal", result);
    }
    mOwner.store(pthread_self(), std::memory_order_relaxed);
}

bool CAGuard::WaitFor(UInt64 inNanoseconds)
{
    if (!IsOwnedByCurrentThread()) {
        CAThrowWithMessage("CAGuard::WaitFor: A thread has to have locked a guard be for it can wait",
                           kNotOwnerError);
    }
    const timespec relative = CASplitNanoseconds(inNanoseconds);
    mOwner.store(0, std::memory_order_relaxed);
    const int result = CAConditionWaitRelative(&mCondVar, &mMutex, relative);
    if (result != 0 && result != ETIMEDOUT) {
        CAThrowWithMessage("CAGuard::WaitFor: Wait got an error", result);
    }
    mOwner.store(pthread_self(), std::memory_order_relaxed);
    return result == ETIMEDOUT;
}

bool CAGuard::WaitUntil(UInt64 inHostTimeInNanos)
{
    const UInt64 now = CAHostTimeBase::CurrentHostTimeInNanos();
    if (now < inHostTimeInNanos) {
        if (inHostTimeInNanos - now > kOneSecondInNanos) {
            std::fprintf(stderr, "%s\n", "CAGuard::WaitUntil: about to wait for more than a second");
        }
        return WaitFor(inHostTimeInNanos - now);
    }
    std::fprintf(stderr, "CAGuard::WaitUntil: Time has expired before waiting, now: %.0f, requested: %.0f\n",
                 Float64(now), Float64(inHostTimeInNanos));
    return false;
}

void CAGuard::Notify()
{
    const int result = pthread_cond_signal(&mCondVar);
    if (result != 0) {
        CAThrowWithMessage("CAGuard::Notify: failed", result);
    }
}

void CAGuard::NotifyAll()
{
    const int result = pthread_cond_broadcast(&mCondVar);
    if (result != 0) {
        CAThrowWithMessage("CAGuard::NotifyAll: failed", result);
    }
}
