#include "Aggregates/POSIXThreadAssistant/Zent_PTA_IsochronousThread.h"

#include <sched.h>

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Assert.h"
#include "platform/Mach.h"
#include "platform/ThreadPolicy.h"
#include "support/Zent_LWE_BadAllocation.h"

namespace Zent {
namespace PTA {

namespace {

constexpr const char* kSourcePath = "Aggregates/POSIXThreadAssistant/Zent_PTA_IsochronousThread";
constexpr long kPolicyRefusedLine = 120;

UInt32 NanosecondsToTicks(UInt32 inNanoseconds, const mach_timebase_info_data_t& inTimeBase)
{
    const UInt64 theTicks = UInt64(inNanoseconds) * inTimeBase.denom / inTimeBase.numer;
    return theTicks > 0xFFFFFFFFull ? 0xFFFFFFFFu : UInt32(theTicks);
}

}  // namespace

IsochronousThread::IsochronousThread(UInt32 inPeriodNanoseconds, UInt32 inComputationNanoseconds)
    : mInterface(nullptr),
      mPeriod(inPeriodNanoseconds),
      mComputation(inComputationNanoseconds),
      mThread(),
      mRunLoop(nullptr),
      mState(kStopped)
{
}

IsochronousThread::~IsochronousThread() { Reset(nullptr); }

void IsochronousThread::Reset(BusDeviceInterfaceRef inInterface)
{
    // The starting thread settles on running or stopped soon; it uses this
    // object until then.
    while (mState.load(std::memory_order_acquire) == kStarting) {
        sched_yield();
    }
    if (mState.load(std::memory_order_acquire) == kRunning) {
        if (mInterface != nullptr && mInterface->RemoveCallbackDispatcherFromRunLoop != nullptr) {
            mInterface->RemoveCallbackDispatcherFromRunLoop(mInterface);
        }
        CFRunLoopStop(mRunLoop);
    }
    if (mRunLoop != nullptr) {
        CFRelease(mRunLoop);
    }
    mInterface = nullptr;
    mThread = pthread_t();
    mRunLoop = nullptr;
    mState.store(kStopped, std::memory_order_release);

    if (inInterface == nullptr) {
        return;
    }
    mInterface = inInterface;
    mState.store(kStarting, std::memory_order_release);
    pthread_attr_t theAttributes;
    bool theCreated = false;
    if (pthread_attr_init(&theAttributes) == 0) {
        pthread_t theThread;
        if (pthread_attr_setdetachstate(&theAttributes, PTHREAD_CREATE_DETACHED) == 0 &&
            pthread_create(&theThread, &theAttributes, &IsochronousThread::ServiceBody, this) == 0) {
            mThread = theThread;
            theCreated = true;
        }
        pthread_attr_destroy(&theAttributes);
    }
    if (!theCreated) {
        mInterface = nullptr;
        mState.store(kStopped, std::memory_order_release);
        throw Zent::LWE::BadAllocation();
    }
}

// The service thread. It uses the object only while the state is starting;
// once it has set the state it touches nothing but its own run loop.
void* IsochronousThread::ServiceBody(void* inThis)
{
    IsochronousThread* theThis = static_cast<IsochronousThread*>(inThis);
    CFRunLoopRef theRunLoop = CFRunLoopGetCurrent();
    CFRetain(theRunLoop);  // the object's reference, kept until Reset

    bool theIsReady = false;
    mach_timebase_info_data_t theTimeBase{};
    if (mach_timebase_info(&theTimeBase) == KERN_SUCCESS && theTimeBase.numer != 0) {
        const UInt32 thePeriod = NanosecondsToTicks(theThis->mPeriod, theTimeBase);
        const UInt32 theComputation = NanosecondsToTicks(theThis->mComputation, theTimeBase);
        const UInt64 theConstraint = 2ull * theComputation;
        const kern_return_t theResult = ThreadPolicySetTimeConstraint(
            ThreadPolicyGetCurrentThread(), thePeriod, theComputation,
            theConstraint > 0xFFFFFFFFull ? 0xFFFFFFFFu : UInt32(theConstraint), true);
        if (theResult == kThreadPolicyRefused) {
            // Serving at the nearest priority allowed beats not serving.
            ReportFailedAssertion("result == 0", "The service thread's time constraints were not granted.",
                                  kSourcePath, kPolicyRefusedLine);
        }
        BusDeviceInterfaceRef theInterface = theThis->mInterface;
        theIsReady = (theResult == KERN_SUCCESS || theResult == kThreadPolicyRefused) && theInterface != nullptr &&
                     theInterface->AddCallbackDispatcherToRunLoop != nullptr &&
                     theInterface->AddCallbackDispatcherToRunLoop(theInterface, theRunLoop) == 0;
    }
    if (!theIsReady) {
        CFRelease(theRunLoop);
        theThis->mState.store(kStopped, std::memory_order_release);
        return nullptr;
    }
    theThis->mRunLoop = theRunLoop;
    theThis->mState.store(kRunning, std::memory_order_release);
    CFRunLoopRun();
    return nullptr;
}

}  // namespace PTA
}  // namespace Zent
