// The thread wrappers: each starts a detached thread that runs its body with
// the policy asked for, or reports a refusal and runs anyway; the platform's
// policy calls map the host's priorities onto Linux; the isochronous thread
// starts, replaces and stops its service thread. Real threads throughout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <linux/capability.h>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_IsochronousThread.h"
#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Thread.h"
#include "platform/HostRunLoop.h"
#include "platform/Mach.h"
#include "platform/ThreadPolicy.h"
#include "support/CAException.h"
#include "support/CAPThread.h"
#include "support/Zent_LWE_BadAllocation.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(20); // only keeps a broken build from hanging

// What a thread saw of itself while it ran its body.
struct Sighting {
    bool mDetached = false;
    SInt32 mKind = -1;
    SInt32 mPriority = -1;
    std::thread::id mThread;
    ThreadPolicyThreadID mThreadID = 0; // the kernel's: not reused as soon as a pthread_t is
};

Sighting LookAtSelf()
{
    Sighting theSighting;
    pthread_attr_t theAttributes;
    int theState = PTHREAD_CREATE_JOINABLE;
    if (pthread_getattr_np(pthread_self(), &theAttributes) == 0) {
        pthread_attr_getdetachstate(&theAttributes, &theState);
        pthread_attr_destroy(&theAttributes);
    }
    theSighting.mDetached = (theState == PTHREAD_CREATE_DETACHED);
    theSighting.mKind = ThreadPolicyGetKind(ThreadPolicyGetCurrentThread());
    theSighting.mPriority = ThreadPolicyGetPriority(ThreadPolicyGetCurrentThread(), false);
    theSighting.mThread = std::this_thread::get_id();
    theSighting.mThreadID = ThreadPolicyGetCurrentThread();
    return theSighting;
}

// Whether this process may use the real-time classes (root, or
// CAP_SYS_NICE): probed on a throw-away thread.
bool RealtimeIsPermitted()
{
    return std::async(std::launch::async, [] {
               sched_param theParam{};
               theParam.sched_priority = 1;
               return sched_setscheduler(0, SCHED_FIFO, &theParam) == 0;
           }).get();
}

// Makes this process unprivileged for scheduling: no CAP_SYS_NICE, no
// real-time priority, no nice value below the current one. For child
// processes (death tests) only.
void DropSchedulingPrivileges()
{
    __user_cap_header_struct theHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct theData[2] = {};
    syscall(SYS_capget, &theHeader, theData);
    theData[0].effective &= ~(1u << CAP_SYS_NICE);
    theData[0].permitted &= ~(1u << CAP_SYS_NICE);
    theData[0].inheritable &= ~(1u << CAP_SYS_NICE);
    syscall(SYS_capset, &theHeader, theData);
    rlimit theNone{0, 0};
    setrlimit(RLIMIT_RTPRIO, &theNone);
    setrlimit(RLIMIT_NICE, &theNone);
}

// A one-shot body for CAPThread: records what the thread saw and signals.
struct Body {
    std::promise<Sighting> mSeen;
    static void* Run(void* inBody)
    {
        static_cast<Body*>(inBody)->mSeen.set_value(LookAtSelf());
        return nullptr;
    }
};

bool WaitUntilStopped(const CAPThread& inThread)
{
    const auto theLimit = std::chrono::steady_clock::now() + kPatience;
    while (inThread.IsRunning() && std::chrono::steady_clock::now() < theLimit) {
        std::this_thread::yield();
    }
    return !inThread.IsRunning();
}

TEST(CAPThreadTest, RunsDetachedAtItsPriority)
{
    Body theBody;
    CAPThread theThread(&Body::Run, &theBody, 40);
    EXPECT_EQ(theThread.GetDefaultPriority(), ThreadPolicyGetPriority(ThreadPolicyGetCurrentThread(), true));
    EXPECT_FALSE(theThread.WillUseTimeConstraints());
    EXPECT_FALSE(theThread.IsRunning());
    EXPECT_EQ(theThread.GetScheduledPriority(), 0);
    testing::internal::CaptureStderr();
    theThread.Start();
    const Sighting theSeen = theBody.mSeen.get_future().get();
    const std::string thePrinted = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(theSeen.mDetached);
    EXPECT_NE(theSeen.mThread, std::this_thread::get_id());
    EXPECT_EQ(theSeen.mKind, kThreadPolicyTimeshare);
    const SInt32 theWanted = kThreadPolicyDefaultPriority + 40 - theThread.GetDefaultPriority();
    if (thePrinted.empty()) {
        EXPECT_EQ(theSeen.mPriority, theWanted);
    } else {
        EXPECT_EQ(thePrinted, "CAPThread::Start: the thread's scheduling policy was not granted (8)\n");
    }
    EXPECT_TRUE(WaitUntilStopped(theThread));
    EXPECT_EQ(theThread.GetPThread(), pthread_t());
}

TEST(CAPThreadTest, TimeConstrainedThreadsRunInARealtimeClass)
{
    if (!RealtimeIsPermitted()) {
        GTEST_SKIP() << "real-time scheduling is not permitted here (the refusal has its own test)";
    }
    const struct Case {
        bool mIsPreemptible;
        SInt32 mKind;
    } theCases[] = {{true, kThreadPolicyRoundRobin}, {false, kThreadPolicyFifo}};
    for (const Case& theCase : theCases) {
        Body theBody;
        CAPThread theThread(&Body::Run, &theBody, 100000, 20000, 40000, theCase.mIsPreemptible);
        EXPECT_TRUE(theThread.WillUseTimeConstraints());
        EXPECT_EQ(theThread.GetPriority(), 31u);
        theThread.Start();
        const Sighting theSeen = theBody.mSeen.get_future().get();
        EXPECT_TRUE(theSeen.mDetached);
        EXPECT_EQ(theSeen.mKind, theCase.mKind);
        EXPECT_EQ(theSeen.mPriority, kThreadPolicyTimeConstraintPriority);
        EXPECT_TRUE(WaitUntilStopped(theThread));
    }
}

// The setters apply at once to a running thread; Start on a running thread
// starts nothing more.
TEST(CAPThreadTest, SettersApplyToTheRunningThread)
{
    if (!RealtimeIsPermitted()) {
        GTEST_SKIP() << "real-time scheduling is not permitted here";
    }
    struct Blocked {
        std::mutex mMutex;
        std::condition_variable mChanged;
        int mRuns = 0;
        bool mMayLeave = false;
        static void* Run(void* inThis)
        {
            auto* theThis = static_cast<Blocked*>(inThis);
            std::unique_lock<std::mutex> theLock(theThis->mMutex);
            ++theThis->mRuns;
            theThis->mChanged.notify_all();
            theThis->mChanged.wait(theLock, [&] { return theThis->mMayLeave; });
            return nullptr;
        }
    } theBlocked;
    CAPThread theThread(&Blocked::Run, &theBlocked, 31);
    theThread.Start();
    {
        std::unique_lock<std::mutex> theLock(theBlocked.mMutex);
        ASSERT_TRUE(theBlocked.mChanged.wait_for(theLock, kPatience, [&] { return theBlocked.mRuns == 1; }));
    }
    theThread.Start(); // already running

    theThread.SetPriority(36);
    EXPECT_FALSE(theThread.WillUseTimeConstraints());
    EXPECT_EQ(theThread.GetScheduledPriority(), kThreadPolicyDefaultPriority + 36 - theThread.GetDefaultPriority());
    theThread.SetTimeConstraints(100000, 20000, 40000, true);
    EXPECT_TRUE(theThread.WillUseTimeConstraints());
    EXPECT_EQ(theThread.GetScheduledPriority(), kThreadPolicyTimeConstraintPriority);

    {
        std::lock_guard<std::mutex> theLock(theBlocked.mMutex);
        theBlocked.mMayLeave = true;
        theBlocked.mChanged.notify_all();
    }
    EXPECT_TRUE(WaitUntilStopped(theThread));
    EXPECT_EQ(theBlocked.mRuns, 1);
}

// The object may go before its thread does.
TEST(CAPThreadTest, TheObjectMayBeDestroyedWhileTheThreadRuns)
{
    static std::promise<void> sRelease;
    static std::promise<void> sDone;
    auto theThread = std::make_unique<CAPThread>(
        [](void*) -> void* {
            sRelease.get_future().wait();
            sDone.set_value();
            return nullptr;
        },
        nullptr, 31);
    theThread->Start();
    theThread.reset();
    sRelease.set_value();
    EXPECT_EQ(sDone.get_future().wait_for(kPatience), std::future_status::ready);
}

// Without the privilege: every wrapper reports the refusal its own way and
// still runs its body. In a child process, which drops the privilege.
TEST(ThreadRefusalDeathTest, RefusedPoliciesAreReportedAndTheBodyStillRuns)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            DropSchedulingPrivileges();
            if (ThreadPolicySetBase(ThreadPolicyGetCurrentThread(), kThreadPolicyFifo, 90) != kThreadPolicyRefused ||
                ThreadPolicyGetKind(ThreadPolicyGetCurrentThread()) != kThreadPolicyTimeshare) {
                _exit(1);
            }
            Body theBody;
            CAPThread theThread(&Body::Run, &theBody, 100000, 20000, 40000, true);
            theThread.Start();
            const Sighting theSeen = theBody.mSeen.get_future().get();
            _exit(theSeen.mKind == kThreadPolicyTimeshare ? 0 : 2);
        },
        testing::ExitedWithCode(0), "CAPThread::Start: the thread's scheduling policy was not granted \\(8\\)");

    struct Runner : Zent::PTA::Runnable {
        std::promise<Sighting> mSeen;
        void Run() override { mSeen.set_value(LookAtSelf()); }
    };
    EXPECT_EXIT(
        {
            DropSchedulingPrivileges();
            Runner theRunner;
            Zent::PTA::Thread theThread(&theRunner, 0, Zent::PTA::Thread::kThreadPolicyFifo);
            theThread.Start();
            const Sighting theSeen = theRunner.mSeen.get_future().get();
            _exit(theSeen.mKind == kThreadPolicyTimeshare && theSeen.mDetached ? 0 : 2);
        },
        testing::ExitedWithCode(0),
        "DebugAssert: Third Party Client: result == 0, message: The thread's scheduling policy was not granted\\., "
        "file Aggregates/POSIXThreadAssistant/Zent_PTA_Thread, line 101");
}

struct SightingRunner : Zent::PTA::Runnable {
    std::promise<Sighting> mSeen;
    void Run() override { mSeen.set_value(LookAtSelf()); }
};

TEST(ZentPTAThreadTest, RunsTheRunnableDetachedWithItsPolicy)
{
    if (!RealtimeIsPermitted()) {
        GTEST_SKIP() << "real-time scheduling is not permitted here (the refusal has its own test)";
    }
    const struct Case {
        SInt32 mPriority;
        Zent::PTA::Thread::eThreadPolicy mPolicy;
        SInt32 mKind;
        SInt32 mHostPriority;
    } theCases[] = {
        {0, Zent::PTA::Thread::kThreadPolicyFifo, kThreadPolicyFifo, 80},
        {10, Zent::PTA::Thread::kThreadPolicyFifo, kThreadPolicyFifo, 90},
        {-8, Zent::PTA::Thread::kThreadPolicyTimeShare, kThreadPolicyTimeshare, 31},
        {-4, Zent::PTA::Thread::kThreadPolicyTimeShare, kThreadPolicyTimeshare, 35},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mHostPriority);
        SightingRunner theRunner;
        Zent::PTA::Thread theThread(&theRunner, theCase.mPriority, theCase.mPolicy);
        testing::internal::CaptureStderr();
        theThread.Start();
        const Sighting theSeen = theRunner.mSeen.get_future().get();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(theSeen.mDetached);
        EXPECT_NE(theSeen.mThread, std::this_thread::get_id());
        EXPECT_EQ(theSeen.mKind, theCase.mKind);
        EXPECT_EQ(theSeen.mPriority, theCase.mHostPriority);
    }
}

TEST(ZentPTAThreadTest, AnUnsupportedPolicyIsReportedAndTheBodyStillRuns)
{
    SightingRunner theRunner;
    Zent::PTA::Thread theThread(&theRunner, 0, Zent::PTA::Thread::eThreadPolicy(1));
    testing::internal::CaptureStderr();
    theThread.Start();
    const Sighting theSeen = theRunner.mSeen.get_future().get();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DebugAssert: Third Party Client: mPolicy == kThreadPolicyFifo, message: Unsupported priority passed to "
              "thread class, file Aggregates/POSIXThreadAssistant/Zent_PTA_Thread, line 98, component '?*?*'\n");
    EXPECT_TRUE(theSeen.mDetached);
}

// The mapping of the host's scale onto Linux, read back on a thread of its own.
TEST(ThreadPolicyTest, PrioritiesMapOntoLinuxAndReadBack)
{
    if (!RealtimeIsPermitted()) {
        GTEST_SKIP() << "lower nice values and real-time classes are not permitted here";
    }
    const struct Case {
        const char* mWhat;
        kern_return_t (*mApply)(ThreadPolicyThreadID);
        SInt32 mKind;
        SInt32 mPriority;
    } theCases[] = {
        {"precedence +9", [](ThreadPolicyThreadID t) { return ThreadPolicySetPrecedence(t, 9); },
         kThreadPolicyTimeshare, 40},
        {"precedence -12", [](ThreadPolicyThreadID t) { return ThreadPolicySetPrecedence(t, -12); },
         kThreadPolicyTimeshare, 19},
        {"precedence below nice 19", [](ThreadPolicyThreadID t) { return ThreadPolicySetPrecedence(t, -31); },
         kThreadPolicyTimeshare, 12},
        {"precedence into the real-time band", [](ThreadPolicyThreadID t) { return ThreadPolicySetPrecedence(t, 40); },
         kThreadPolicyRoundRobin, 71},
        {"round-robin 60 (lowest real-time)",
         [](ThreadPolicyThreadID t) { return ThreadPolicySetBase(t, kThreadPolicyRoundRobin, 20); },
         kThreadPolicyRoundRobin, 29},
        {"FIFO 127", [](ThreadPolicyThreadID t) { return ThreadPolicySetBase(t, kThreadPolicyFifo, 127); },
         kThreadPolicyFifo, 127},
        {"time-share 33", [](ThreadPolicyThreadID t) { return ThreadPolicySetBase(t, kThreadPolicyTimeshare, 33); },
         kThreadPolicyTimeshare, 33},
        {"time constraint", [](ThreadPolicyThreadID t) { return ThreadPolicySetTimeConstraint(t, 0, 5, 5, false); },
         kThreadPolicyFifo, 97},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mWhat);
        std::thread([&] {
            const ThreadPolicyThreadID theSelf = ThreadPolicyGetCurrentThread();
            EXPECT_EQ(theCase.mApply(theSelf), KERN_SUCCESS);
            EXPECT_EQ(ThreadPolicyGetKind(theSelf), theCase.mKind);
            EXPECT_EQ(ThreadPolicyGetPriority(theSelf, false), theCase.mPriority);
            EXPECT_EQ(ThreadPolicyGetPriority(theSelf, true), theCase.mPriority);
        }).join();
    }
}

TEST(ThreadPolicyTest, BadRequestsChangeNothing)
{
    std::thread([] {
        const ThreadPolicyThreadID theSelf = ThreadPolicyGetCurrentThread();
        const SInt32 theBefore = ThreadPolicyGetPriority(theSelf, false);
        EXPECT_EQ(ThreadPolicySetTimeConstraint(theSelf, 100, 50, 40, true), KERN_INVALID_ARGUMENT);
        EXPECT_EQ(ThreadPolicySetTimeConstraint(theSelf, 10, 20, 40, true), KERN_INVALID_ARGUMENT);
        EXPECT_EQ(ThreadPolicySetBase(theSelf, ThreadPolicyKind(3), 40), KERN_INVALID_ARGUMENT);
        EXPECT_EQ(ThreadPolicySetPrecedence(0, 1), KERN_INVALID_ARGUMENT);
        EXPECT_EQ(ThreadPolicyGetKind(theSelf), kThreadPolicyTimeshare);
        EXPECT_EQ(ThreadPolicyGetPriority(theSelf, false), theBefore);
    }).join();
    EXPECT_EQ(ThreadPolicyGetPriority(0, false), 0);
    EXPECT_EQ(ThreadPolicyGetKind(-5), 0);
}

// A stand-in for a device on the bus: attaching puts a Mach port's source on
// the service thread's run loop, so a message to the port runs its callback
// on that thread.
struct FakeBusDevice {
    BusDeviceInterface mInterface{this, &Add, &Remove};
    CFMachPortRef mPort = nullptr;
    CFRunLoopSourceRef mSource = nullptr;
    CFRunLoopRef mRunLoop = nullptr;
    OSStatus mAttachResult = 0;
    std::mutex mMutex;
    std::condition_variable mChanged;
    int mAttaches = 0;
    int mDetaches = 0;
    std::promise<Sighting> mCallbackSaw;

    FakeBusDevice()
    {
        CFMachPortContext theContext{0, this, nullptr, nullptr, nullptr};
        mPort = CFMachPortCreate(nullptr, &Callback, &theContext, nullptr);
        mSource = CFMachPortCreateRunLoopSource(nullptr, mPort, 0);
    }
    ~FakeBusDevice()
    {
        CFMachPortInvalidate(mPort);
        CFRelease(mSource);
        CFRelease(mPort);
    }
    static FakeBusDevice& Of(BusDeviceInterface* inInterface) { return *static_cast<FakeBusDevice*>(inInterface->mRefCon); }
    static OSStatus Add(BusDeviceInterface* inInterface, CFRunLoopRef inRunLoop)
    {
        FakeBusDevice& theDevice = Of(inInterface);
        std::lock_guard<std::mutex> theLock(theDevice.mMutex);
        ++theDevice.mAttaches;
        theDevice.mChanged.notify_all();
        if (theDevice.mAttachResult != 0) {
            return theDevice.mAttachResult;
        }
        theDevice.mRunLoop = inRunLoop;
        CFRunLoopAddSource(inRunLoop, theDevice.mSource, kCFRunLoopDefaultMode);
        return 0;
    }
    static void Remove(BusDeviceInterface* inInterface)
    {
        FakeBusDevice& theDevice = Of(inInterface);
        std::lock_guard<std::mutex> theLock(theDevice.mMutex);
        ++theDevice.mDetaches;
        CFRunLoopRemoveSource(theDevice.mRunLoop, theDevice.mSource, kCFRunLoopDefaultMode);
    }
    static void Callback(CFMachPortRef, void*, CFIndex, void* inInfo)
    {
        static_cast<FakeBusDevice*>(inInfo)->mCallbackSaw.set_value(LookAtSelf());
    }
    void Send()
    {
        mach_msg_header_t theMessage{};
        theMessage.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_MAKE_SEND, 0);
        theMessage.msgh_size = sizeof(theMessage);
        theMessage.msgh_remote_port = CFMachPortGetPort(mPort);
        EXPECT_EQ(mach_msg(&theMessage, MACH_SEND_MSG, sizeof(theMessage), 0, MACH_PORT_NULL,
                           MACH_MSG_TIMEOUT_NONE, MACH_PORT_NULL),
                  0);
    }
    int Detaches()
    {
        std::lock_guard<std::mutex> theLock(mMutex);
        return mDetaches;
    }
};

bool WaitUntilSettled(const Zent::PTA::IsochronousThread& inThread)
{
    const auto theLimit = std::chrono::steady_clock::now() + kPatience;
    while (inThread.GetState() == Zent::PTA::IsochronousThread::kStarting &&
           std::chrono::steady_clock::now() < theLimit) {
        std::this_thread::yield();
    }
    return inThread.GetState() != Zent::PTA::IsochronousThread::kStarting;
}

TEST(IsochronousThreadTest, ResetStartsReplacesAndStopsTheServiceThread)
{
    FakeBusDevice theFirst, theSecond;
    Zent::PTA::IsochronousThread theThread;
    EXPECT_EQ(theThread.GetState(), Zent::PTA::IsochronousThread::kStopped);

    testing::internal::CaptureStderr();
    theThread.Reset(&theFirst.mInterface);
    ASSERT_TRUE(WaitUntilSettled(theThread));
    const std::string thePrinted = testing::internal::GetCapturedStderr();
    ASSERT_EQ(theThread.GetState(), Zent::PTA::IsochronousThread::kRunning);
    EXPECT_EQ(theThread.GetInterface(), &theFirst.mInterface);
    theFirst.Send();
    auto theSeen = theFirst.mCallbackSaw.get_future();
    ASSERT_EQ(theSeen.wait_for(kPatience), std::future_status::ready);
    const Sighting theService = theSeen.get();
    EXPECT_TRUE(theService.mDetached);
    EXPECT_NE(theService.mThread, std::this_thread::get_id());
    EXPECT_NE(theService.mThread, HostRunLoopThreadID());
    if (thePrinted.empty()) {
        EXPECT_EQ(theService.mKind, kThreadPolicyRoundRobin);
        EXPECT_EQ(theService.mPriority, kThreadPolicyTimeConstraintPriority);
    } else {
        EXPECT_NE(thePrinted.find("The service thread's time constraints were not granted."), std::string::npos);
    }

    // Replaced: the first device is detached, the second served by a new thread.
    theThread.Reset(&theSecond.mInterface);
    EXPECT_EQ(theFirst.Detaches(), 1);
    ASSERT_TRUE(WaitUntilSettled(theThread));
    ASSERT_EQ(theThread.GetState(), Zent::PTA::IsochronousThread::kRunning);
    theSecond.Send();
    auto theSecondSeen = theSecond.mCallbackSaw.get_future();
    ASSERT_EQ(theSecondSeen.wait_for(kPatience), std::future_status::ready);
    EXPECT_NE(theSecondSeen.get().mThreadID, theService.mThreadID);

    // Stopped.
    theThread.Reset(nullptr);
    EXPECT_EQ(theSecond.Detaches(), 1);
    EXPECT_EQ(theThread.GetState(), Zent::PTA::IsochronousThread::kStopped);
    EXPECT_EQ(theThread.GetInterface(), nullptr);
    EXPECT_EQ(theFirst.Detaches(), 1);
}

TEST(IsochronousThreadTest, AFailedAttachLeavesItStopped)
{
    FakeBusDevice theDevice;
    theDevice.mAttachResult = -1;
    Zent::PTA::IsochronousThread theThread;
    testing::internal::CaptureStderr();
    theThread.Reset(&theDevice.mInterface);
    ASSERT_TRUE(WaitUntilSettled(theThread));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(theThread.GetState(), Zent::PTA::IsochronousThread::kStopped);
    theThread.Reset(nullptr);
    EXPECT_EQ(theDevice.Detaches(), 0); // never attached, never detached
}

TEST(IsochronousThreadTest, DestructionStopsTheServiceThread)
{
    FakeBusDevice theDevice;
    {
        Zent::PTA::IsochronousThread theThread;
        testing::internal::CaptureStderr();
        theThread.Reset(&theDevice.mInterface);
        ASSERT_TRUE(WaitUntilSettled(theThread));
        testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(theDevice.Detaches(), 1);
}

} // namespace
