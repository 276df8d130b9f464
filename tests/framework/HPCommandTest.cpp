// HPCommand and the device's command queue: each command class and what it
// runs, immediate execution inside the command bracket, and queuing on the
// I/O thread with execution (and loss of errors) at ExecuteAllCommands.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/HPAddIOProcCommand.h"
#include "framework/HPChangeBufferSizeCommand.h"
#include "framework/HPChangeIOProcStreamUsageCommand.h"
#include "framework/HPCommand.h"
#include "framework/HPDevice.h"
#include "framework/HPRemoveIOProcCommand.h"
#include "framework/HPStartIOProcCommand.h"
#include "framework/HPStopIOProcCommand.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"
#include "tests/framework/TestDevice.h"
#include "tests/framework/TestStream.h"

namespace {

struct Outcome {
    OSStatus mStatus;
    std::string mMessage;
};

template <typename Request>
Outcome Capture(Request&& inRequest)
{
    testing::internal::CaptureStderr();
    OSStatus theStatus = 0;
    try {
        inRequest();
    } catch (const CAException& theException) {
        theStatus = theException.GetError();
    }
    return {theStatus, testing::internal::GetCapturedStderr()};
}

OSStatus IOProcA(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                 AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 0;
}

int gClientData = 0;

// A command that runs a test's function and tells the test when it dies.
class ProbeCommand : public HPCommand {
public:
    ProbeCommand(HPDevice* inDevice, std::function<void()> inBody, std::vector<std::string>* ioLog, std::string inName)
        : HPCommand(FourCC("prob"), inDevice), mBody(std::move(inBody)), mLog(ioLog), mName(std::move(inName))
    {
    }
    ~ProbeCommand() override { mLog->push_back("delete " + mName); }

    void Execute() override
    {
        mLog->push_back("execute " + mName);
        if (mBody) {
            mBody();
        }
    }

private:
    std::function<void()> mBody;
    std::vector<std::string>* mLog;
    std::string mName;
};

// Runs inWork on a thread the device treats as its I/O thread, and waits.
void OnIOThread(TestDevice& ioDevice, const std::function<void()>& inWork)
{
    std::thread theThread([&] {
        ioDevice.MarkCurrentThreadAsIOThread();
        inWork();
        ioDevice.ClearIOThread();
    });
    theThread.join();
}

// ---------------------------------------------------------------------------
// The command classes

TEST(HPCommandClassTest, EachCommandCarriesItsIDAndRunsItsDeviceOperation)
{
    TestDevice theDevice;
    struct Case {
        UInt32 mID;
        std::function<HPCommand*(HPDevice*)> mMake;
        std::function<bool(const TestDevice&)> mDone;
    };
    const Case theCases[] = {
        {FourCC("+iop"), [](HPDevice* inDevice) { return new HPAddIOProcCommand(inDevice, IOProcA, &gClientData); },
         [](const TestDevice& inDevice) {
             return inDevice.IsIOProcRegistered(IOProcA) &&
                    inDevice.GetIOProcInfo(IOProcA)->mClientData == &gClientData;
         }},
        {FourCC(">iop"), [](HPDevice* inDevice) { return new HPStartIOProcCommand(inDevice, IOProcA); },
         [](const TestDevice& inDevice) { return inDevice.GetIOProcInfo(IOProcA)->mIsStarted; }},
        {FourCC(">iop"), [](HPDevice* inDevice) { return new HPStartIOProcCommand(inDevice, nullptr); },
         [](const TestDevice& inDevice) { return inDevice.GetHostStartCount() == 1; }},
        {FourCC("<iop"), [](HPDevice* inDevice) { return new HPStopIOProcCommand(inDevice, nullptr); },
         [](const TestDevice& inDevice) { return inDevice.GetHostStartCount() == 0; }},
        {FourCC("<iop"), [](HPDevice* inDevice) { return new HPStopIOProcCommand(inDevice, IOProcA); },
         [](const TestDevice& inDevice) { return !inDevice.GetIOProcInfo(IOProcA)->mIsStarted; }},
        {FourCC("suse"),
         [](HPDevice* inDevice) { return new HPChangeIOProcStreamUsageCommand(inDevice, IOProcA, true, new bool[1]); },
         [](const TestDevice& inDevice) { return inDevice.mStreamUsageChangedCount.load() == 1; }},
        {FourCC("bufs"), [](HPDevice* inDevice) { return new HPChangeBufferSizeCommand(inDevice, 128); },
         [](const TestDevice& inDevice) { return inDevice.GetIOBufferFrameSize() == 128; }},
        {FourCC("-iop"), [](HPDevice* inDevice) { return new HPRemoveIOProcCommand(inDevice, IOProcA); },
         [](const TestDevice& inDevice) { return !inDevice.IsIOProcRegistered(IOProcA); }},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(FourCCText(theCase.mID).c_str());
        std::unique_ptr<HPCommand> theCommand(theCase.mMake(&theDevice));
        EXPECT_EQ(theCommand->GetCommandID(), theCase.mID);
        EXPECT_EQ(theCommand->GetDevice(), &theDevice);
        EXPECT_FALSE(theCase.mDone(theDevice));
        theCommand->Execute();
        EXPECT_TRUE(theCase.mDone(theDevice));
    }
    EXPECT_EQ(theDevice.mStartCommandExecutionCount.load(), 0u) << "Execute runs the operation directly";
}

TEST(HPCommandClassTest, BaseCommandDoesNothing)
{
    TestDevice theDevice;
    HPCommand theCommand(FourCC("none"), &theDevice);
    theCommand.Execute();
    EXPECT_EQ(theCommand.GetCommandID(), FourCC("none"));
}

// A usage command built for two streams that runs after a third stream came
// must not make the device read a third flag out of a two-flag array.
TEST(HPCommandClassTest, UsageCommandBuiltBeforeAStreamWasAddedMarksTheNewStreamUsed)
{
    TestDevice theDevice;
    TestStream theFirst(nullptr, &theDevice, 251, true, 1, 2);
    TestStream theSecond(nullptr, &theDevice, 252, true, 3, 2);
    TestStream theThird(nullptr, &theDevice, 253, true, 5, 2);
    for (TestStream* theStream : {&theFirst, &theSecond, &theThird}) {
        theStream->Initialize();
    }
    theDevice.AddStream(&theFirst);
    theDevice.AddStream(&theSecond);
    theDevice.DoAddIOProc(IOProcA, nullptr);

    bool* theFlags = new bool[2]{false, false};
    HPChangeIOProcStreamUsageCommand theCommand(&theDevice, IOProcA, true, theFlags);
    EXPECT_EQ(theCommand.GetUsageCount(), 2u);
    theDevice.AddStream(&theThird);
    theCommand.Execute();

    bool theUsage[3] = {true, true, false};
    theDevice.GetIOProcStreamUsage(IOProcA, true, theUsage);
    EXPECT_FALSE(theUsage[0]);
    EXPECT_FALSE(theUsage[1]);
    EXPECT_TRUE(theUsage[2]);

    theDevice.DoRemoveIOProc(IOProcA);
    for (TestStream* theStream : {&theFirst, &theSecond, &theThird}) {
        theDevice.RemoveStream(theStream);
        theStream->Teardown();
    }
}

// ---------------------------------------------------------------------------
// Immediate execution

TEST(HPCommandQueueTest, ImmediateCommandRunsInsideTheBracketAndIsDeleted)
{
    TestDevice theDevice;
    std::vector<std::string> theLog;
    UInt32 theStartsDuringExecution = 0;
    UInt32 theFinishesDuringExecution = 0;
    theDevice.ExecuteCommand(new ProbeCommand(
        &theDevice,
        [&] {
            theStartsDuringExecution = theDevice.mStartCommandExecutionCount.load();
            theFinishesDuringExecution = theDevice.mFinishCommandExecutionCount.load();
        },
        &theLog, "one"));
    EXPECT_EQ(theLog, (std::vector<std::string>{"execute one", "delete one"}));
    EXPECT_EQ(theStartsDuringExecution, 1u);
    EXPECT_EQ(theFinishesDuringExecution, 0u);
    EXPECT_EQ(theDevice.mFinishCommandExecutionCount.load(), 1u);
    EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 0u);
}

TEST(HPCommandQueueTest, ImmediateFailureReachesTheCallerAfterTheBracketClosed)
{
    struct Case {
        const char* mName;
        std::function<void()> mBody;
        OSStatus mExpected;
    };
    const Case theCases[] = {
        {"CAException", [] { throw CAException(kAudioHardwareBadStreamError); }, kAudioHardwareBadStreamError},
        {"foreign exception", [] { throw std::runtime_error("boom"); }, kAudioHardwareUnspecifiedError},
        {"integer", [] { throw 42; }, kAudioHardwareUnspecifiedError},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mName);
        TestDevice theDevice;
        std::vector<std::string> theLog;
        Outcome theOutcome =
            Capture([&] { theDevice.ExecuteCommand(new ProbeCommand(&theDevice, theCase.mBody, &theLog, "bad")); });
        EXPECT_EQ(theOutcome.mStatus, theCase.mExpected);
        EXPECT_EQ(theOutcome.mMessage, "") << "the rethrow has no line";
        EXPECT_EQ(theLog, (std::vector<std::string>{"execute bad", "delete bad"}));
        EXPECT_EQ(theDevice.mFinishCommandExecutionCount.load(), 1u);
        EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 0u);
    }
}

TEST(HPCommandQueueTest, ClosedBracketSkipsTheCommandButStillDeletesIt)
{
    TestDevice theDevice;
    theDevice.mAllowCommandExecution = false;
    std::vector<std::string> theLog;
    Outcome theOutcome =
        Capture([&] { theDevice.ExecuteCommand(new ProbeCommand(&theDevice, {}, &theLog, "skipped")); });
    EXPECT_EQ(theOutcome.mStatus, 0);
    EXPECT_EQ(theLog, (std::vector<std::string>{"delete skipped"}));
    EXPECT_EQ(theDevice.mFinishCommandExecutionCount.load(), 0u);
}

// ---------------------------------------------------------------------------
// Queued execution

TEST(HPCommandQueueTest, CommandsFromTheIOThreadWaitAndRunInArrivalOrderWithErrorsLost)
{
    TestDevice theDevice;
    std::vector<std::string> theLog;
    OnIOThread(theDevice, [&] {
        theDevice.ExecuteCommand(new ProbeCommand(&theDevice, {}, &theLog, "first"));
        theDevice.ExecuteCommand(
            new ProbeCommand(&theDevice, [] { throw CAException(kAudioHardwareIllegalOperationError); }, &theLog,
                             "failing"));
        theDevice.ExecuteCommand(new ProbeCommand(&theDevice, [] { throw std::runtime_error("x"); }, &theLog,
                                                  "foreign"));
        theDevice.ExecuteCommand(new ProbeCommand(&theDevice, {}, &theLog, "last"));
    });
    EXPECT_TRUE(theLog.empty()) << "nothing runs while queued";
    EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 4u);
    EXPECT_EQ(theDevice.mStartCommandExecutionCount.load(), 0u);

    Outcome theOutcome;
    OnIOThread(theDevice, [&] { theOutcome = Capture([&] { theDevice.ExecuteAllCommands(); }); });
    EXPECT_EQ(theOutcome.mStatus, 0);
    EXPECT_EQ(theOutcome.mMessage, "");
    EXPECT_EQ(theLog, (std::vector<std::string>{"execute first", "delete first", "execute failing", "delete failing",
                                                "execute foreign", "delete foreign", "execute last", "delete last"}));
    EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 0u);
}

TEST(HPCommandQueueTest, ClearDeletesQueuedCommandsWithoutRunningThem)
{
    TestDevice theDevice;
    std::vector<std::string> theLog;
    OnIOThread(theDevice, [&] {
        theDevice.ExecuteCommand(new ProbeCommand(&theDevice, {}, &theLog, "a"));
        theDevice.ExecuteCommand(new ProbeCommand(&theDevice, {}, &theLog, "b"));
    });
    theDevice.ClearAllCommands();
    EXPECT_EQ(theLog, (std::vector<std::string>{"delete a", "delete b"}));
    EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 0u);
    theDevice.ExecuteAllCommands();
    EXPECT_EQ(theLog.size(), 2u);
}

// A command that issues another one while the queue is drained on the I/O
// thread: the new one waits for the next drain.
TEST(HPCommandQueueTest, CommandQueuedDuringADrainWaitsForTheNextOne)
{
    TestDevice theDevice;
    std::vector<std::string> theLog;
    OnIOThread(theDevice, [&] {
        theDevice.ExecuteCommand(new ProbeCommand(
            &theDevice,
            [&] { theDevice.ExecuteCommand(new ProbeCommand(&theDevice, {}, &theLog, "inner")); }, &theLog,
            "outer"));
        theDevice.ExecuteAllCommands();
        EXPECT_EQ(theLog, (std::vector<std::string>{"execute outer", "delete outer"}));
        EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 1u);
        theDevice.ExecuteAllCommands();
    });
    EXPECT_EQ(theLog.back(), "delete inner");
    EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 0u);
}

// An IOProc starting and stopping from inside its own callback: the calls
// return at once and take effect after the cycle.
TEST(HPCommandQueueTest, IOProcRequestsFromTheIOThreadTakeEffectAfterTheCycle)
{
    TestDevice theDevice;
    theDevice.DoAddIOProc(IOProcA, nullptr);
    OnIOThread(theDevice, [&] {
        Outcome theOutcome = Capture([&] { theDevice.DoStartIOProc(IOProcA); });
        EXPECT_EQ(theOutcome.mStatus, 0);
        EXPECT_FALSE(theDevice.IsEngineRunning());
        EXPECT_FALSE(theDevice.GetIOProcInfo(IOProcA)->mIsStarted);
        theDevice.ExecuteAllCommands();
        EXPECT_TRUE(theDevice.IsEngineRunning());
        EXPECT_TRUE(theDevice.GetIOProcInfo(IOProcA)->mIsStarted);

        theDevice.DoStopIOProc(IOProcA);
        theDevice.DoRemoveIOProc(IOProcA);
        EXPECT_TRUE(theDevice.IsEngineRunning());
        EXPECT_TRUE(theDevice.IsIOProcRegistered(IOProcA));
        theDevice.ExecuteAllCommands();
    });
    EXPECT_FALSE(theDevice.IsEngineRunning());
    EXPECT_FALSE(theDevice.IsIOProcRegistered(IOProcA));
    EXPECT_EQ(theDevice.mStartCommandExecutionCount.load(), 1u) << "only the add ran at once";
}

// A queued start whose engine fails: the error is lost, and the start leaves
// no trace behind.
TEST(HPCommandQueueTest, QueuedStartWhoseEngineFailsIsDroppedAndLeavesNoTrace)
{
    TestDevice theDevice;
    theDevice.DoAddIOProc(IOProcA, nullptr);
    theDevice.mStartEngineError = kAudioHardwareIllegalOperationError;
    OnIOThread(theDevice, [&] {
        theDevice.DoStartIOProc(IOProcA);
        theDevice.DoStartIOProc(nullptr);
        EXPECT_NO_THROW(theDevice.ExecuteAllCommands());
    });
    EXPECT_EQ(theDevice.mStartEngineCount.load(), 2u);
    EXPECT_FALSE(theDevice.IsEngineRunning());
    EXPECT_FALSE(theDevice.GetIOProcInfo(IOProcA)->mIsStarted);
    EXPECT_EQ(theDevice.GetNumberStartedIOProcs(), 0u);
    EXPECT_EQ(theDevice.GetHostStartCount(), 0u);
}

// Host threads issue requests while the I/O thread queues its own: nothing
// queued on the I/O thread is lost or run twice.
TEST(HPCommandQueueTest, QueueFromTheIOThreadLosesNothingWhileHostThreadsWork)
{
    class LockedDevice : public TestDevice {
    public:
        bool StartCommandExecution() override
        {
            mMutex.lock();
            return TestDevice::StartCommandExecution();
        }
        void FinishCommandExecution() override
        {
            TestDevice::FinishCommandExecution();
            mMutex.unlock();
        }
        std::mutex mMutex;
    };
    LockedDevice theDevice;
    constexpr int kCommands = 500;
    std::atomic<int> theExecuted{0};
    std::atomic<int> theHostExecuted{0};
    class CountCommand : public HPCommand {
    public:
        CountCommand(HPDevice* inDevice, std::atomic<int>* ioCount)
            : HPCommand(FourCC("cnt "), inDevice), mCount(ioCount)
        {
        }
        void Execute() override { ++*mCount; }

    private:
        std::atomic<int>* mCount;
    };

    std::thread theHost([&] {
        for (int theIndex = 0; theIndex < kCommands; ++theIndex) {
            theDevice.ExecuteCommand(new CountCommand(&theDevice, &theHostExecuted));
        }
    });
    std::thread theIO([&] {
        theDevice.MarkCurrentThreadAsIOThread();
        for (int theIndex = 0; theIndex < kCommands; ++theIndex) {
            theDevice.ExecuteCommand(new CountCommand(&theDevice, &theExecuted));
            if (theIndex % 10 == 9) {
                // The end of a cycle: drain under the device's serialisation.
                std::lock_guard<std::mutex> theLock(theDevice.mMutex);
                theDevice.ExecuteAllCommands();
            }
        }
        theDevice.ClearIOThread();
    });
    theHost.join();
    theIO.join();
    EXPECT_EQ(theExecuted.load(), kCommands);
    EXPECT_EQ(theHostExecuted.load(), kCommands);
    EXPECT_EQ(theDevice.GetNumberQueuedCommands(), 0u);
}

}  // namespace
