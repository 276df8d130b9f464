// Relative timed waits on a condition variable. The host had a
// relative-timeout wait of its own; here a relative timeout is turned into a
// deadline on CLOCK_MONOTONIC, so a change of the wall clock neither cuts a
// wait short nor stretches it. Conditions used with CAConditionWaitRelative
// must be made with CAConditionInitMonotonic.
#pragma once

#include <pthread.h>
#include <time.h>

#include "platform/MacTypes.h"

// A duration in nanoseconds as whole seconds and the remaining nanoseconds.
inline timespec CASplitNanoseconds(UInt64 inNanoseconds)
{
    timespec result;
    result.tv_sec = time_t(inNanoseconds / 1000000000ULL);
    result.tv_nsec = long(inNanoseconds % 1000000000ULL);
    return result;
}

// pthread_cond_init with a condition whose timed waits run on CLOCK_MONOTONIC.
int CAConditionInitMonotonic(pthread_cond_t* outCondition);

// Waits on the condition at most inRelative; the mutex must be held.
// Returns 0 when signalled, ETIMEDOUT when the time ran out, or the error.
int CAConditionWaitRelative(pthread_cond_t* ioCondition, pthread_mutex_t* ioMutex, const timespec& inRelative);
