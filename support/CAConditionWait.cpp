#include "support/CAConditionWait.h"

#include <limits>

int CAConditionInitMonotonic(pthread_cond_t* outCondition)
{
    pthread_condattr_t attributes;
    int result = pthread_condattr_init(&attributes);
    if (result != 0) {
        return result;
    }
    result = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    if (result == 0) {
        result = pthread_cond_init(outCondition, &attributes);
    }
    pthread_condattr_destroy(&attributes);
    return result;
}

int CAConditionWaitRelative(pthread_cond_t* ioCondition, pthread_mutex_t* ioMutex, const timespec& inRelative)
{
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_nsec += inRelative.tv_nsec;
    time_t carry = 0;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_nsec -= 1000000000L;
        carry = 1;
    }
    // A deadline past the end of time_t waits as long as time_t can say.
    constexpr time_t kLatest = std::numeric_limits<time_t>::max();
    if (inRelative.tv_sec > kLatest - deadline.tv_sec - carry) {
        deadline.tv_sec = kLatest;
        deadline.tv_nsec = 999999999L;
    } else {
        deadline.tv_sec += inRelative.tv_sec + carry;
    }
    return pthread_cond_timedwait(ioCondition, ioMutex, &deadline);
}
