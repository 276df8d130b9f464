#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable.h"

#include <cerrno>
#include <limits>

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Assert.h"
#include "support/CAConditionWait.h"
#include "support/CAHostTimeBase.h"

namespace Zent {
namespace PTA {

namespace {

// The module's name in assertion reports, and the line each check reports.
constexpr const char* kSourcePath = "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable";
constexpr long kNotifyLine = 47;
constexpr long kNotifyAllLine = 54;
constexpr long kLockLine = 65;
constexpr long kUnlockNotOwnerLine = 74;
constexpr long kUnlockFailedLine = 85;
constexpr long kWaitLine = 109;
constexpr long kTimedWaitLine = 151;

}  // namespace

// Releases the monitor completely for a wait and restores the holder and the
// recursion depth when the wait ends, however it ends (a thread cancelled
// inside the wait unwinds through here too).
class Synchronizable::WaitState {
public:
    explicit WaitState(Synchronizable& inMonitor)
        : mMonitor(inMonitor), mSavedRecursionCount(inMonitor.mRecursionCount)
    {
        mMonitor.mRecursionCount = 0;
        mMonitor.mWhichThread.store(0, std::memory_order_relaxed);
    }
    ~WaitState()
    {
        mMonitor.mRecursionCount = mSavedRecursionCount;
        mMonitor.mWhichThread.store(pthread_self(), std::memory_order_relaxed);
    }

    WaitState(const WaitState&) = delete;
    WaitState& operator=(const WaitState&) = delete;

private:
    Synchronizable& mMonitor;
    const UInt32 mSavedRecursionCount;
};

Synchronizable::Synchronizable() : mWhichThread(0), mRecursionCount(0)
{
    pthread_mutex_init(&mMutex, nullptr);
    // Timed waits measure on the monotonic clock (see CAConditionWait.h).
    CAConditionInitMonotonic(&mCondition);
}

Synchronizable::~Synchronizable()
{
    pthread_cond_destroy(&mCondition);
    pthread_mutex_destroy(&mMutex);
}

void Synchronizable::Lock()
{
    if (IsLockedByCurrentThread()) {
        ++mRecursionCount;
        return;
    }
    const int result = pthread_mutex_lock(&mMutex);
    if (result != 0) {
        ReportFailedAssertion("result == 0", "Could not lock on a synchronization mutex.", kSourcePath, kLockLine);
    }
    mRecursionCount = 0;
    mWhichThread.store(pthread_self(), std::memory_order_relaxed);
}

void Synchronizable::Unlock()
{
    if (!IsLockedByCurrentThread()) {
        // Going on would release a mutex another thread may hold, or clear
        // its ownership: report and leave the monitor as it is.
        ReportFailedAssertion("mWhichThread == pthread_self()",
                              "Unlock on monitor called when object is not locked by this thread.", kSourcePath,
                              kUnlockNotOwnerLine);
        return;
    }
    if (mRecursionCount > 0) {
        --mRecursionCount;
        return;
    }
    mRecursionCount = 0;
    mWhichThread.store(0, std::memory_order_relaxed);
    const int result = pthread_mutex_unlock(&mMutex);
    if (result != 0) {
        ReportFailedAssertion("result == 0", "Could not unlock on a synchronization mutex, should never happen!",
                              kSourcePath, kUnlockFailedLine);
    }
}

void Synchronizable::Wait()
{
    WaitState state(*this);
    const int result = pthread_cond_wait(&mCondition, &mMutex);
    if (result != 0) {
        ReportFailedAssertion("result == 0", "Condition variable wait returned in error.", kSourcePath, kWaitLine);
    }
}

bool Synchronizable::Wait(SInt64 inNanoseconds)
{
    if (inNanoseconds < 0) {
        return false;
    }
    const timespec relative = CASplitNanoseconds(UInt64(inNanoseconds));
    int result = 0;
    {
        WaitState state(*this);
        result = CAConditionWaitRelative(&mCondition, &mMutex, relative);
    }
    if (result != 0 && result != ETIMEDOUT) {
        ReportFailedAssertion("(result == 0) || (result == ETIMEDOUT)",
                              "Condition variable error other than a timeout.", kSourcePath, kTimedWaitLine);
    }
    return result != ETIMEDOUT;
}

bool Synchronizable::WaitUntil(UInt64 inAbsoluteNanoseconds)
{
    // The host's up time in nanoseconds.
    const UInt64 now = CAHostTimeBase::CurrentHostTimeInNanos();
    UInt64 remaining = now < inAbsoluteNanoseconds ? inAbsoluteNanoseconds - now : 0;
    // A deadline beyond the signed range waits as long as it can rather than
    // turning negative and not waiting at all.
    constexpr UInt64 kLongest = UInt64(std::numeric_limits<SInt64>::max());
    if (remaining > kLongest) {
        remaining = kLongest;
    }
    return Wait(SInt64(remaining));
}

void Synchronizable::Notify()
{
    const int result = pthread_cond_signal(&mCondition);
    if (result != 0) {
        ReportFailedAssertion("result == 0", "Condition variable notification failed.", kSourcePath, kNotifyLine);
    }
}

void Synchronizable::NotifyAll()
{
    const int result = pthread_cond_broadcast(&mCondition);
    if (result != 0) {
        ReportFailedAssertion("result == 0", "Condition variable broadcast failed.", kSourcePath, kNotifyAllLine);
    }
}

}  // namespace PTA
}  // namespace Zent
