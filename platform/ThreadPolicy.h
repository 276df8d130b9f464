// Thread scheduling policies of the host, on Linux. Callers speak in the
// host's priority scale (0..127; 31 is an ordinary thread, 64 and above is
// the real-time band); each request is mapped onto what Linux offers:
//
//   priority p below 64      SCHED_OTHER with nice = clamp(31 - p, -20, 19)
//   priority p of 64 and up  SCHED_FIFO or SCHED_RR, real-time priority
//                            clamp(p - 28, 1, 99)
//   time constraints         SCHED_RR when preemptible, else SCHED_FIFO, at
//                            host priority 97 (real-time priority 69)
//
// When the kernel refuses a real-time class or a lower nice value (no
// CAP_SYS_NICE, RLIMIT_RTPRIO or RLIMIT_NICE too low), the thread gets the
// nearest nice level it is allowed instead and the call returns
// kThreadPolicyRefused, so the caller can report that the request was not
// granted as asked. The thread keeps running either way.
//
// Threads are named by their Linux thread ID (ThreadPolicyGetCurrentThread
// on the thread itself). Any thread may call these; they make one or a few
// system calls and take no lock.
#pragma once

#include "platform/Mach.h"

#include <sys/types.h>

typedef pid_t ThreadPolicyThreadID;

// The priority of an ordinary thread, and the one time-constrained threads
// run at.
constexpr SInt32 kThreadPolicyDefaultPriority = 31;
constexpr SInt32 kThreadPolicyTimeConstraintPriority = 97;

enum : kern_return_t {
    // The request was refused; the nearest permitted nice level was applied.
    kThreadPolicyRefused = 8,
    // No such thread (it has ended); nothing changed.
    kThreadPolicyNoSuchThread = 15,
};

// Scheduling classes for ThreadPolicySetBase, numbered as the host's.
enum ThreadPolicyKind : SInt32 {
    kThreadPolicyTimeshare = 1,
    kThreadPolicyRoundRobin = 2,
    kThreadPolicyFifo = 4,
};

// The calling thread's ID.
PLATFORM_EXPORT ThreadPolicyThreadID ThreadPolicyGetCurrentThread();

// Precedence: the thread runs at kThreadPolicyDefaultPriority + importance.
PLATFORM_EXPORT kern_return_t ThreadPolicySetPrecedence(ThreadPolicyThreadID thread, SInt32 importance);

// Time constraints, in host ticks (mach_absolute_time). computation must not
// exceed constraint (KERN_INVALID_ARGUMENT otherwise, nothing changes); the
// period is not enforced by Linux's classes and is only checked to be either
// 0 or at least the computation.
PLATFORM_EXPORT kern_return_t ThreadPolicySetTimeConstraint(ThreadPolicyThreadID thread, UInt32 period,
                                                            UInt32 computation, UInt32 constraint,
                                                            bool isPreemptible);

// A fixed class with a base priority on the host's scale: time-share maps
// onto a nice level, round-robin and FIFO onto the real-time classes (as
// above). An unknown kind gets KERN_INVALID_ARGUMENT and changes nothing.
PLATFORM_EXPORT kern_return_t ThreadPolicySetBase(ThreadPolicyThreadID thread, ThreadPolicyKind kind,
                                                  SInt32 basePriority);

// The thread's priority on the host's scale, read back from Linux: 31 - nice
// for the ordinary classes, real-time priority + 28 for SCHED_FIFO and
// SCHED_RR, 0 for any other class or an unknown thread. Linux does not
// depress priorities, so the scheduled and the base priority agree; the flag
// is kept for callers that ask for one or the other.
PLATFORM_EXPORT SInt32 ThreadPolicyGetPriority(ThreadPolicyThreadID thread, bool inWantBasePriority);

// The thread's scheduling class as a ThreadPolicyKind (time-share for the
// ordinary classes), or 0 for an unknown thread or another class.
PLATFORM_EXPORT SInt32 ThreadPolicyGetKind(ThreadPolicyThreadID thread);
