// Thread policies on Linux (see ThreadPolicy.h). The calls name threads by
// their kernel thread ID, so a policy meant for one thread never reaches
// another through a stale pthread_t.
#include "platform/ThreadPolicy.h"

#include <algorithm>
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr SInt32 kRealtimeBand = 64;
constexpr SInt32 kRealtimeOffset = 28;

int HostToNice(SInt32 inPriority)
{
    return int(std::clamp<SInt32>(kThreadPolicyDefaultPriority - inPriority, -20, 19));
}

int HostToRealtime(SInt32 inPriority) { return int(std::clamp<SInt32>(inPriority - kRealtimeOffset, 1, 99)); }

kern_return_t FromErrno(int inError)
{
    switch (inError) {
    case ESRCH: return kThreadPolicyNoSuchThread;
    case EPERM:
    case EACCES: return kThreadPolicyRefused;
    default: return KERN_INVALID_ARGUMENT;
    }
}

// The lowest nice value this process may set without privilege.
int LowestPermittedNice()
{
    rlimit theLimit;
    if (getrlimit(RLIMIT_NICE, &theLimit) != 0) {
        return 0;
    }
    if (theLimit.rlim_cur == RLIM_INFINITY || theLimit.rlim_cur >= 40) {
        return -20;
    }
    return 20 - int(theLimit.rlim_cur);
}

// Puts the thread into the ordinary class at the nice value nearest to
// inNice that the kernel allows. KERN_SUCCESS when that is inNice itself.
kern_return_t ApplyNice(ThreadPolicyThreadID inThread, int inNice)
{
    const int thePolicy = sched_getscheduler(inThread);
    if (thePolicy < 0) {
        return FromErrno(errno);
    }
    if ((thePolicy & ~SCHED_RESET_ON_FORK) != SCHED_OTHER) {
        sched_param theParam{};
        theParam.sched_priority = 0;
        if (sched_setscheduler(inThread, SCHED_OTHER, &theParam) != 0) {
            return FromErrno(errno);
        }
    }
    if (setpriority(PRIO_PROCESS, id_t(inThread), inNice) == 0) {
        return KERN_SUCCESS;
    }
    if (errno != EPERM && errno != EACCES) {
        return FromErrno(errno);
    }
    // Refused: the nearest value allowed, if that is any nearer than now.
    errno = 0;
    const int theCurrent = getpriority(PRIO_PROCESS, id_t(inThread));
    const int theNearest = std::max(inNice, LowestPermittedNice());
    if (errno == 0 && theNearest < theCurrent) {
        setpriority(PRIO_PROCESS, id_t(inThread), theNearest);
    }
    return kThreadPolicyRefused;
}

// A real-time class; refused, the thread gets the lowest nice value allowed.
kern_return_t ApplyRealtime(ThreadPolicyThreadID inThread, int inPolicy, int inPriority)
{
    sched_param theParam{};
    theParam.sched_priority = inPriority;
    if (sched_setscheduler(inThread, inPolicy, &theParam) == 0) {
        return KERN_SUCCESS;
    }
    const kern_return_t theResult = FromErrno(errno);
    if (theResult == kThreadPolicyRefused) {
        ApplyNice(inThread, -20);
    }
    return theResult;
}

kern_return_t ApplyPriority(ThreadPolicyThreadID inThread, SInt32 inPriority, int inRealtimePolicy)
{
    if (inThread <= 0) {
        return KERN_INVALID_ARGUMENT;
    }
    if (inPriority >= kRealtimeBand) {
        return ApplyRealtime(inThread, inRealtimePolicy, HostToRealtime(inPriority));
    }
    return ApplyNice(inThread, HostToNice(inPriority));
}

// The thread's scheduling policy without the reset-on-fork flag; -1 for no
// thread or one the system does not know.
int SchedulingPolicy(ThreadPolicyThreadID inThread)
{
    if (inThread <= 0) {
        return -1;
    }
    const int thePolicy = sched_getscheduler(inThread);
    return thePolicy < 0 ? -1 : (thePolicy & ~SCHED_RESET_ON_FORK);
}

} // namespace

ThreadPolicyThreadID ThreadPolicyGetCurrentThread() { return ThreadPolicyThreadID(syscall(SYS_gettid)); }

kern_return_t ThreadPolicySetPrecedence(ThreadPolicyThreadID thread, SInt32 importance)
{
    const SInt64 thePriority = SInt64(kThreadPolicyDefaultPriority) + importance;
    return ApplyPriority(thread, SInt32(std::clamp<SInt64>(thePriority, 0, 127)), SCHED_RR);
}

kern_return_t ThreadPolicySetTimeConstraint(ThreadPolicyThreadID thread, UInt32 period, UInt32 computation,
                                            UInt32 constraint, bool isPreemptible)
{
    if (thread <= 0 || computation > constraint || (period != 0 && period < computation)) {
        return KERN_INVALID_ARGUMENT;
    }
    return ApplyRealtime(thread, isPreemptible ? SCHED_RR : SCHED_FIFO,
                         HostToRealtime(kThreadPolicyTimeConstraintPriority));
}

kern_return_t ThreadPolicySetBase(ThreadPolicyThreadID thread, ThreadPolicyKind kind, SInt32 basePriority)
{
    if (thread <= 0) {
        return KERN_INVALID_ARGUMENT;
    }
    switch (kind) {
    case kThreadPolicyTimeshare:
        return ApplyNice(thread, HostToNice(basePriority));
    case kThreadPolicyRoundRobin:
        return ApplyRealtime(thread, SCHED_RR, HostToRealtime(basePriority));
    case kThreadPolicyFifo:
        return ApplyRealtime(thread, SCHED_FIFO, HostToRealtime(basePriority));
    }
    return KERN_INVALID_ARGUMENT;
}

SInt32 ThreadPolicyGetPriority(ThreadPolicyThreadID thread, bool)
{
    switch (SchedulingPolicy(thread)) {
    case SCHED_FIFO:
    case SCHED_RR: {
        sched_param theParam{};
        return sched_getparam(thread, &theParam) == 0 ? SInt32(theParam.sched_priority + kRealtimeOffset) : 0;
    }
    case SCHED_OTHER:
    case SCHED_BATCH:
    case SCHED_IDLE: {
        errno = 0;
        const int theNice = getpriority(PRIO_PROCESS, id_t(thread));
        return errno == 0 ? SInt32(kThreadPolicyDefaultPriority - theNice) : 0;
    }
    default:
        return 0;
    }
}

SInt32 ThreadPolicyGetKind(ThreadPolicyThreadID thread)
{
    switch (SchedulingPolicy(thread)) {
    case SCHED_FIFO: return kThreadPolicyFifo;
    case SCHED_RR: return kThreadPolicyRoundRobin;
    case SCHED_OTHER:
    case SCHED_BATCH:
    case SCHED_IDLE: return kThreadPolicyTimeshare;
    default: return 0;
    }
}
