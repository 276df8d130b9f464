#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Thread.h"

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Assert.h"
#include "platform/ThreadPolicy.h"

namespace Zent {
namespace PTA {

namespace {

constexpr const char* kSourcePath = "Aggregates/POSIXThreadAssistant/Zent_PTA_Thread";
constexpr long kAttributesLine = 71;
constexpr long kDetachLine = 74;
constexpr long kCreateLine = 77;
constexpr long kPolicyLine = 98;
constexpr long kPolicyRefusedLine = 101;

// The base priorities of the two policies on the host's scale.
constexpr SInt32 kFifoBase = 80;
constexpr SInt32 kTimeShareBase = 39;

// What the new thread needs; it owns and frees the block.
struct StartBlock {
    Runnable* mRunnable;
    SInt32 mPriority;
    Thread::eThreadPolicy mPolicy;
};

}  // namespace

Thread::Thread(Runnable* inRunnable, SInt32 inPriority, eThreadPolicy inPolicy)
    : mRunnable(inRunnable), mPriority(inPriority), mPolicy(inPolicy), mThread()
{
}

Thread::~Thread() = default;

void Thread::Start()
{
    pthread_attr_t theAttributes;
    int theResult = pthread_attr_init(&theAttributes);
    const bool theHaveAttributes = (theResult == 0);
    if (!theHaveAttributes) {
        ReportFailedAssertion("result == 0", "Thread attributes could not be created.", kSourcePath,
                              kAttributesLine);
    }
    bool theIsDetached = false;
    if (theHaveAttributes) {
        theResult = pthread_attr_setdetachstate(&theAttributes, PTHREAD_CREATE_DETACHED);
        theIsDetached = (theResult == 0);
        if (!theIsDetached) {
            ReportFailedAssertion("result == 0", "A thread could not be created in a detached state.", kSourcePath,
                                  kDetachLine);
        }
    }
    // The policy is checked here, on the starting thread; the new thread
    // applies it before it runs the body.
    if (mPolicy != kThreadPolicyFifo && mPolicy != kThreadPolicyTimeShare) {
        ReportFailedAssertion("mPolicy == kThreadPolicyFifo", "Unsupported priority passed to thread class",
                              kSourcePath, kPolicyLine);
    }
    auto* theBlock = new StartBlock{mRunnable, mPriority, mPolicy};
    pthread_t theThread;
    // Without attributes the thread is created with the defaults and
    // detached afterwards: it must never be left joinable and unjoined.
    theResult = pthread_create(&theThread, theHaveAttributes ? &theAttributes : nullptr, &Thread::Body, theBlock);
    if (theResult != 0) {
        delete theBlock;
        ReportFailedAssertion("result == 0", "Could not create a thread.", kSourcePath, kCreateLine);
    } else {
        mThread = theThread;
        if (!theIsDetached) {
            pthread_detach(theThread);
        }
    }
    if (theHaveAttributes) {
        pthread_attr_destroy(&theAttributes);
    }
}

void* Thread::Body(void* inStart)
{
    const StartBlock theStart = *static_cast<StartBlock*>(inStart);
    delete static_cast<StartBlock*>(inStart);
    kern_return_t theResult = KERN_SUCCESS;
    const ThreadPolicyThreadID theThread = ThreadPolicyGetCurrentThread();
    if (theStart.mPolicy == kThreadPolicyFifo) {
        theResult = ThreadPolicySetBase(theThread, ::kThreadPolicyFifo, theStart.mPriority + kFifoBase);
    } else if (theStart.mPolicy == kThreadPolicyTimeShare) {
        theResult = ThreadPolicySetBase(theThread, ::kThreadPolicyTimeshare, theStart.mPriority + kTimeShareBase);
    }
    if (theResult != KERN_SUCCESS) {
        ReportFailedAssertion("result == 0", "The thread's scheduling policy was not granted.", kSourcePath,
                              kPolicyRefusedLine);
    }
    if (theStart.mRunnable != nullptr) {
        theStart.mRunnable->Run();
    }
    return nullptr;
}

}  // namespace PTA
}  // namespace Zent
