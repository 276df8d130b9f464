#include "support/CAPThread.h"

#include <cstdio>
#include <mutex>

#include "platform/ThreadPolicy.h"
#include "support/CAException.h"

// What the object and its thread share. Guarded by mMutex.
struct CAPThread::SharedState {
    std::mutex mMutex;
    ThreadRoutine mEntry = nullptr;
    void* mParameter = nullptr;
    pthread_t mPThread{};
    bool mIsRunning = false;
    ThreadPolicyThreadID mThreadID = 0; // 0 until the thread has started
    SInt32 mDefaultPriority = kThreadPolicyDefaultPriority;
    UInt32 mPriority = kThreadPolicyDefaultPriority;
    UInt32 mPeriod = 0;
    UInt32 mQuantum = 0;
    UInt32 mConstraint = 0;
    bool mIsPreemptible = true;
    bool mUsesTimeConstraints = false;
};

namespace {

// Applies the recorded policy to the thread. mMutex held; the thread is
// alive (it clears its ID under the same lock before it ends). A refusal is
// reported and the thread runs on with what it got.
void ApplyPolicyLocked(CAPThread::SharedState& ioState, const char* inCaller)
{
    if (ioState.mThreadID == 0) {
        return;
    }
    kern_return_t theResult;
    if (ioState.mUsesTimeConstraints) {
        theResult = ThreadPolicySetTimeConstraint(ioState.mThreadID, ioState.mPeriod, ioState.mQuantum,
                                                  ioState.mConstraint, ioState.mIsPreemptible);
    } else {
        theResult = ThreadPolicySetPrecedence(ioState.mThreadID, SInt32(ioState.mPriority) - ioState.mDefaultPriority);
    }
    if (theResult != KERN_SUCCESS) {
        std::fprintf(stderr, "%s: the thread's scheduling policy was not granted (%d)\n", inCaller, int(theResult));
    }
}

} // namespace

CAPThread::CAPThread(ThreadRoutine inThreadRoutine, void* inParameter, UInt32 inPriority)
    : mState(std::make_shared<SharedState>()),
      mDefaultPriority(ThreadPolicyGetPriority(ThreadPolicyGetCurrentThread(), true))
{
    mState->mEntry = inThreadRoutine;
    mState->mParameter = inParameter;
    mState->mDefaultPriority = mDefaultPriority;
    mState->mPriority = inPriority;
}

CAPThread::CAPThread(ThreadRoutine inThreadRoutine, void* inParameter, UInt32 inPeriod, UInt32 inQuantum,
                     UInt32 inComputationConstraint, bool inIsPreemptible)
    : CAPThread(inThreadRoutine, inParameter, kThreadPolicyDefaultPriority)
{
    mState->mPeriod = inPeriod;
    mState->mQuantum = inQuantum;
    mState->mConstraint = inComputationConstraint;
    mState->mIsPreemptible = inIsPreemptible;
    mState->mUsesTimeConstraints = true;
}

CAPThread::~CAPThread() = default;

void CAPThread::Start()
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    if (mState->mIsRunning) {
        return;
    }
    pthread_attr_t theAttributes;
    int theResult = pthread_attr_init(&theAttributes);
    if (theResult != 0) {
        CAThrowWithMessage("CAPThread::Start: Thread attributes could not be created.", theResult);
    }
    theResult = pthread_attr_setdetachstate(&theAttributes, PTHREAD_CREATE_DETACHED);
    if (theResult != 0) {
        pthread_attr_destroy(&theAttributes);
        CAThrowWithMessage("CAPThread::Start: A thread could not be created in the detached state.", theResult);
    }
    // The thread holds its own reference to the shared state.
    auto* theThreadState = new std::shared_ptr<SharedState>(mState);
    pthread_t theThread;
    theResult = pthread_create(&theThread, &theAttributes, &CAPThread::Entry, theThreadState);
    pthread_attr_destroy(&theAttributes);
    if (theResult != 0) {
        delete theThreadState;
        CAThrowWithMessage("CAPThread::Start: Could not create a thread.", theResult);
    }
    // The thread waits for this lock before it applies its policy and runs.
    mState->mPThread = theThread;
    mState->mIsRunning = true;
}

bool CAPThread::IsRunning() const
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    return mState->mIsRunning;
}

pthread_t CAPThread::GetPThread() const
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    return mState->mPThread;
}

void CAPThread::SetPriority(UInt32 inPriority)
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    mState->mPriority = inPriority;
    mState->mUsesTimeConstraints = false;
    ApplyPolicyLocked(*mState, "CAPThread::SetPriority");
}

void CAPThread::SetTimeConstraints(UInt32 inPeriod, UInt32 inQuantum, UInt32 inComputationConstraint,
                                   bool inIsPreemptible)
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    mState->mPeriod = inPeriod;
    mState->mQuantum = inQuantum;
    mState->mConstraint = inComputationConstraint;
    mState->mIsPreemptible = inIsPreemptible;
    mState->mUsesTimeConstraints = true;
    ApplyPolicyLocked(*mState, "CAPThread::SetTimeConstraints");
}

SInt32 CAPThread::GetScheduledPriority() const
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    return (mState->mThreadID != 0) ? ThreadPolicyGetPriority(mState->mThreadID, false) : 0;
}

UInt32 CAPThread::GetPriority() const
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    return mState->mPriority;
}

bool CAPThread::WillUseTimeConstraints() const
{
    std::lock_guard<std::mutex> theLock(mState->mMutex);
    return mState->mUsesTimeConstraints;
}

void* CAPThread::Entry(void* inSharedState)
{
    std::shared_ptr<SharedState> theState = *static_cast<std::shared_ptr<SharedState>*>(inSharedState);
    delete static_cast<std::shared_ptr<SharedState>*>(inSharedState);
    ThreadRoutine theEntry;
    void* theParameter;
    {
        std::lock_guard<std::mutex> theLock(theState->mMutex);
        theState->mThreadID = ThreadPolicyGetCurrentThread();
        ApplyPolicyLocked(*theState, "CAPThread::Start");
        theEntry = theState->mEntry;
        theParameter = theState->mParameter;
    }
    void* theResult = (theEntry != nullptr) ? theEntry(theParameter) : nullptr;
    std::lock_guard<std::mutex> theLock(theState->mMutex);
    theState->mThreadID = 0;
    theState->mPThread = pthread_t{};
    theState->mIsRunning = false;
    return theResult;
}
