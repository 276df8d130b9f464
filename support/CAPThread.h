// A detached POSIX thread that runs one entry function and is given a
// scheduling policy: a priority (precedence) or time constraints. The
// policies go through the platform's thread-policy calls
// (platform/ThreadPolicy.h); a request the system refuses is reported with
// one line on standard error and the thread runs on with the nearest
// policy it was allowed.
//
// The new thread applies its policy itself, before it calls the entry, so
// the policy never reaches a thread that has already ended. SetPriority and
// SetTimeConstraints on a running thread apply at once from the calling
// thread. The object may be destroyed while its thread still runs: the
// thread's state lives in a block both share.
//
// Threads: any thread may call every operation; Start and the setters take
// a short lock of the object and make system calls, so they are not for the
// real-time thread.
#pragma once

#include <pthread.h>

#include <memory>

#include "platform/MacTypes.h"

class CAPThread {
public:
    typedef void* (*ThreadRoutine)(void* inParameter);

    // Precedence policy at inPriority (the host's scale; 31 is ordinary).
    CAPThread(ThreadRoutine inThreadRoutine, void* inParameter, UInt32 inPriority);
    // Time constraints, in host ticks; the priority is 31.
    CAPThread(ThreadRoutine inThreadRoutine, void* inParameter, UInt32 inPeriod, UInt32 inQuantum,
              UInt32 inComputationConstraint, bool inIsPreemptible);
    virtual ~CAPThread();

    CAPThread(const CAPThread&) = delete;
    CAPThread& operator=(const CAPThread&) = delete;

    // Starts the thread unless it is running. A failure of the thread
    // attributes or of the creation writes one line to standard error and
    // throws CAException with the failing call's result.
    virtual void Start();

    bool IsRunning() const;
    pthread_t GetPThread() const;

    // Records the priority and turns time constraints off; applied at once
    // when the thread runs.
    void SetPriority(UInt32 inPriority);
    // Records the constraints and turns them on; applied at once when the
    // thread runs.
    void SetTimeConstraints(UInt32 inPeriod, UInt32 inQuantum, UInt32 inComputationConstraint,
                            bool inIsPreemptible);
    // The running thread's scheduled priority on the host's scale; 0 when
    // it is not running.
    SInt32 GetScheduledPriority() const;

    SInt32 GetDefaultPriority() const { return mDefaultPriority; }
    UInt32 GetPriority() const;
    bool WillUseTimeConstraints() const;

    // The part of the state the thread itself reads and writes.
    struct SharedState;

private:
    static void* Entry(void* inSharedState);

    std::shared_ptr<SharedState> mState;
    SInt32 mDefaultPriority;
};
