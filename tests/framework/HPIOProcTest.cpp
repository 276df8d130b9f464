// HPDevice's IOProc registry: registration, start and stop counting with the
// host's own starts, the engine hooks, and what a failure leaves behind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/HPDevice.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"
#include "tests/framework/TestDevice.h"

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

OSStatus IOProcB(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                 AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 1;
}

// Never registered.
OSStatus IOProcUnknown(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                       AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 2;
}

int gClientData = 0;

// What a device's registry looks like from outside.
struct RegistryState {
    bool mEngineRunning;
    UInt32 mStartedIOProcs;
    UInt32 mHostStarts;
    bool mAStarted;
    bool mBStarted;

    bool operator==(const RegistryState&) const = default;
};

std::ostream& operator<<(std::ostream& ioStream, const RegistryState& inState)
{
    return ioStream << "{engine " << inState.mEngineRunning << ", started " << inState.mStartedIOProcs << ", host "
                    << inState.mHostStarts << ", A " << inState.mAStarted << ", B " << inState.mBStarted << "}";
}

class HPIOProcTest : public testing::Test {
protected:
    HPIOProcTest()
    {
        mDevice.DoAddIOProc(IOProcA, &gClientData);
        mDevice.DoAddIOProc(IOProcB, nullptr);
    }

    RegistryState State() const
    {
        const HPIOProcInfo* theA = mDevice.GetIOProcInfo(IOProcA);
        const HPIOProcInfo* theB = mDevice.GetIOProcInfo(IOProcB);
        return {mDevice.IsEngineRunning(), mDevice.GetNumberStartedIOProcs(), mDevice.GetHostStartCount(),
                (theA != nullptr) && theA->mIsStarted, (theB != nullptr) && theB->mIsStarted};
    }

    TestDevice mDevice;
};

// Each step is a start or stop; after each the registry must be as given.
TEST_F(HPIOProcTest, StartsAndStopsDriveTheEngineByCountsAndFlags)
{
    enum Action { kStart, kStop };
    struct Step {
        Action mAction;
        AudioDeviceIOProc mIOProc;
        RegistryState mAfter;
    };
    struct Scenario {
        const char* mName;
        std::vector<Step> mSteps;
    };
    const Scenario theScenarios[] = {
        {"started is a flag, not a count",
         {{kStart, IOProcA, {true, 1, 0, true, false}},
          {kStart, IOProcA, {true, 1, 0, true, false}},
          {kStop, IOProcA, {false, 0, 0, false, false}},
          {kStop, IOProcA, {false, 0, 0, false, false}}}},
        {"host starts are counted",
         {{kStart, nullptr, {true, 0, 1, false, false}},
          {kStart, nullptr, {true, 0, 2, false, false}},
          {kStop, nullptr, {true, 0, 1, false, false}},
          {kStop, nullptr, {false, 0, 0, false, false}}}},
        {"an IOProc and a host start keep each other running",
         {{kStart, IOProcA, {true, 1, 0, true, false}},
          {kStart, nullptr, {true, 1, 1, true, false}},
          {kStop, IOProcA, {true, 0, 1, false, false}},
          {kStop, nullptr, {false, 0, 0, false, false}}}},
        {"two IOProcs",
         {{kStart, IOProcA, {true, 1, 0, true, false}},
          {kStart, IOProcB, {true, 2, 0, true, true}},
          {kStop, IOProcA, {true, 1, 0, false, true}},
          {kStop, IOProcB, {false, 0, 0, false, false}}}},
        // The host start count used to wrap below zero here, and the engine
        // could then never stop.
        {"a host stop without a host start changes nothing",
         {{kStop, nullptr, {false, 0, 0, false, false}},
          {kStart, nullptr, {true, 0, 1, false, false}},
          {kStop, nullptr, {false, 0, 0, false, false}}}},
    };
    for (const Scenario& theScenario : theScenarios) {
        SCOPED_TRACE(theScenario.mName);
        TestDevice theDevice;
        theDevice.DoAddIOProc(IOProcA, nullptr);
        theDevice.DoAddIOProc(IOProcB, nullptr);
        UInt32 theStepNumber = 0;
        for (const Step& theStep : theScenario.mSteps) {
            SCOPED_TRACE("step " + std::to_string(theStepNumber++));
            if (theStep.mAction == kStart) {
                theDevice.DoStartIOProc(theStep.mIOProc);
            } else {
                theDevice.DoStopIOProc(theStep.mIOProc);
            }
            const HPIOProcInfo* theA = theDevice.GetIOProcInfo(IOProcA);
            const HPIOProcInfo* theB = theDevice.GetIOProcInfo(IOProcB);
            RegistryState theState{theDevice.IsEngineRunning(), theDevice.GetNumberStartedIOProcs(),
                                   theDevice.GetHostStartCount(), theA->mIsStarted, theB->mIsStarted};
            EXPECT_EQ(theState, theStep.mAfter);
        }
        EXPECT_EQ(theDevice.mStartEngineCount.load(), theDevice.mStopEngineCount.load())
            << "every engine start is matched by one stop";
    }
}

TEST_F(HPIOProcTest, HooksRunOncePerRealChange)
{
    mDevice.DoStartIOProc(IOProcA);
    mDevice.DoStartIOProc(IOProcA);
    mDevice.DoStopIOProc(IOProcA);
    mDevice.DoStopIOProc(IOProcA);
    EXPECT_EQ(mDevice.mIOProcStartedCount.load(), 1u);
    EXPECT_EQ(mDevice.mIOProcStoppedCount.load(), 1u);
    EXPECT_EQ(mDevice.mStartEngineCount.load(), 1u);
    EXPECT_EQ(mDevice.mStopEngineCount.load(), 1u);
    EXPECT_EQ(mDevice.mInitializeIOProcInfoCount.load(), 2u);
}

TEST_F(HPIOProcTest, RegistrationRecordsTheIOProcAndItsClientData)
{
    const HPIOProcInfo* theInfo = mDevice.GetIOProcInfo(IOProcA);
    ASSERT_NE(theInfo, nullptr);
    EXPECT_EQ(theInfo->mIOProc, IOProcA);
    EXPECT_EQ(theInfo->mClientData, &gClientData);
    EXPECT_FALSE(theInfo->mIsStarted);
    EXPECT_EQ(theInfo->mInputStreamUsage, nullptr);
    EXPECT_EQ(theInfo->mOutputStreamUsage, nullptr);
    EXPECT_EQ(mDevice.GetIOProcMap().size(), 2u);
}

// Every refused request prints its line, throws its status and leaves the
// registry as it was.
TEST_F(HPIOProcTest, RefusedRequestsChangeNothing)
{
    mDevice.DoStartIOProc(IOProcA);
    const RegistryState theBefore = State();
    struct Case {
        const char* mName;
        void (*mRequest)(HPDevice&);
        OSStatus mStatus;
        const char* mMessage;
    };
    const Case theCases[] = {
        {"add twice", [](HPDevice& ioDevice) { ioDevice.DoAddIOProc(IOProcA, nullptr); },
         kAudioHardwareIllegalOperationError, "HPDevice::DoAddIOProc: the IOProc is already added\n"},
        {"add null", [](HPDevice& ioDevice) { ioDevice.DoAddIOProc(nullptr, &gClientData); },
         kAudioHardwareIllegalOperationError, "HPDevice::DoAddIOProc: the IOProc can't be NULL\n"},
        {"plain add twice", [](HPDevice& ioDevice) { ioDevice.AddIOProc(IOProcB, nullptr); },
         kAudioHardwareIllegalOperationError, "HPDevice::AddIOProc: the IOProc is already added\n"},
        {"plain add null", [](HPDevice& ioDevice) { ioDevice.AddIOProc(nullptr, nullptr); },
         kAudioHardwareIllegalOperationError, "HPDevice::AddIOProc: the IOProc can't be NULL\n"},
        {"start unknown",
         [](HPDevice& ioDevice) {
             ioDevice.DoStartIOProc(IOProcUnknown);
         },
         kAudioHardwareIllegalOperationError, "HPDevice::DoStartIOProc: unknown IOProc\n"},
        {"stop unknown",
         [](HPDevice& ioDevice) { ioDevice.DoStopIOProc(IOProcUnknown); },
         kAudioHardwareIllegalOperationError, "HPDevice::DoStopIOProc: unknown IOProc\n"},
        {"plain start unknown",
         [](HPDevice& ioDevice) { ioDevice.StartIOProc(IOProcUnknown); },
         kAudioHardwareIllegalOperationError, "HPDevice::StartIOProc: unknown IOProc\n"},
        {"plain stop unknown",
         [](HPDevice& ioDevice) { ioDevice.StopIOProc(IOProcUnknown); },
         kAudioHardwareIllegalOperationError, "HPDevice::StopIOProc: unknown IOProc\n"},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mName);
        UInt32 theCommandsBefore = mDevice.mStartCommandExecutionCount.load();
        Outcome theOutcome = Capture([&] { theCase.mRequest(mDevice); });
        EXPECT_EQ(theOutcome.mStatus, theCase.mStatus);
        EXPECT_EQ(theOutcome.mMessage, theCase.mMessage);
        EXPECT_EQ(State(), theBefore);
        EXPECT_EQ(mDevice.GetIOProcMap().size(), 2u);
        EXPECT_EQ(mDevice.GetIOProcInfo(IOProcA)->mClientData, &gClientData) << "first registration unchanged";
        EXPECT_EQ(mDevice.GetIOProcInfo(IOProcB)->mClientData, nullptr);
        EXPECT_EQ(mDevice.GetNumberQueuedCommands(), 0u);
        if (std::string(theCase.mName).rfind("plain", 0) != 0) {
            EXPECT_EQ(mDevice.mStartCommandExecutionCount.load(), theCommandsBefore) << "no command was built";
        }
    }
    mDevice.DoStopIOProc(IOProcA);
}

TEST_F(HPIOProcTest, RemovingAnUnknownIOProcIsQuietAndBuildsNoCommand)
{
    Outcome theOutcome = Capture([&] {
        mDevice.DoRemoveIOProc(IOProcUnknown);
        mDevice.DoRemoveIOProc(nullptr);
        mDevice.RemoveIOProc(nullptr);
    });
    EXPECT_EQ(theOutcome.mStatus, 0);
    EXPECT_EQ(theOutcome.mMessage, "");
    EXPECT_EQ(mDevice.mStartCommandExecutionCount.load(), 2u) << "only the two adds";
    EXPECT_EQ(mDevice.GetIOProcMap().size(), 2u);
    EXPECT_EQ(mDevice.mTeardownIOProcInfoCount.load(), 0u);
}

TEST_F(HPIOProcTest, RemovingTearsTheRecordDown)
{
    bool theUsage[1] = {false};
    mDevice.SetIOProcStreamUsage(IOProcA, true, theUsage);  // no streams: an empty array
    mDevice.DoRemoveIOProc(IOProcA);
    EXPECT_FALSE(mDevice.IsIOProcRegistered(IOProcA));
    EXPECT_TRUE(mDevice.IsIOProcRegistered(IOProcB));
    EXPECT_EQ(mDevice.mTeardownIOProcInfoCount.load(), 1u);
    mDevice.DoAddIOProc(IOProcA, nullptr);
    EXPECT_TRUE(mDevice.IsIOProcRegistered(IOProcA));
}

// Removing a started IOProc used to leave the started count and the engine
// running with nothing left that could stop them.
TEST_F(HPIOProcTest, RemovingAStartedIOProcStopsItFirst)
{
    mDevice.DoStartIOProc(IOProcA);
    ASSERT_TRUE(mDevice.IsEngineRunning());
    mDevice.DoRemoveIOProc(IOProcA);
    EXPECT_FALSE(mDevice.IsIOProcRegistered(IOProcA));
    EXPECT_EQ(mDevice.GetNumberStartedIOProcs(), 0u);
    EXPECT_FALSE(mDevice.IsEngineRunning());
    EXPECT_EQ(mDevice.mIOProcStoppedCount.load(), 1u);
    EXPECT_EQ(mDevice.mStopEngineCount.load(), 1u);

    // With a host start outstanding the engine keeps running.
    mDevice.DoStartIOProc(IOProcB);
    mDevice.DoStartIOProc(nullptr);
    mDevice.DoRemoveIOProc(IOProcB);
    EXPECT_TRUE(mDevice.IsEngineRunning());
    EXPECT_EQ(mDevice.GetNumberStartedIOProcs(), 0u);
    mDevice.DoStopIOProc(nullptr);
    EXPECT_FALSE(mDevice.IsEngineRunning());
}

// A start whose engine failed used to leave the IOProc marked started (or
// the host start counted), so it ran later on somebody else's start.
TEST_F(HPIOProcTest, AStartWhoseEngineFailsLeavesNoTrace)
{
    const RegistryState theIdle{false, 0, 0, false, false};
    mDevice.mStartEngineError = kAudioDevicePermissionsError;
    for (AudioDeviceIOProc theIOProc : {AudioDeviceIOProc(IOProcA), AudioDeviceIOProc(nullptr)}) {
        SCOPED_TRACE(theIOProc == nullptr ? "host start" : "IOProc start");
        Outcome theOutcome = Capture([&] { mDevice.DoStartIOProc(theIOProc); });
        EXPECT_EQ(theOutcome.mStatus, kAudioDevicePermissionsError);
        EXPECT_EQ(theOutcome.mMessage, "") << "a command's failure has no line of its own";
        EXPECT_EQ(State(), theIdle);
        EXPECT_EQ(mDevice.GetNumberQueuedCommands(), 0u);
        EXPECT_EQ(mDevice.mStartCommandExecutionCount.load(), mDevice.mFinishCommandExecutionCount.load());
    }
    EXPECT_EQ(mDevice.mIOProcStartedCount.load(), mDevice.mIOProcStoppedCount.load());

    mDevice.mStartEngineError = 0;
    mDevice.DoStartIOProc(IOProcB);
    EXPECT_EQ(State(), (RegistryState{true, 1, 0, false, true})) << "A does not run on B's start";
    mDevice.DoStopIOProc(IOProcB);
    EXPECT_EQ(State(), theIdle);
}

TEST_F(HPIOProcTest, StopAllStopsEveryHostStartAndEveryStartedIOProc)
{
    mDevice.DoStartIOProc(IOProcA);
    mDevice.DoStartIOProc(IOProcB);
    mDevice.DoStartIOProc(nullptr);
    mDevice.DoStartIOProc(nullptr);
    mDevice.DoStopAll();
    EXPECT_EQ(State(), (RegistryState{false, 0, 0, false, false}));
    EXPECT_EQ(mDevice.mStopEngineCount.load(), 1u);
    EXPECT_TRUE(mDevice.IsIOProcRegistered(IOProcA)) << "stopped, not removed";
    mDevice.DoStopAll();
    EXPECT_EQ(mDevice.mStopEngineCount.load(), 1u);
}

TEST_F(HPIOProcTest, StartIsRefusedWhileAnotherProcessHoldsHogMode)
{
    class HoggedDevice : public TestDevice {
    public:
        bool HogModeOwnedBySelfOrIsFree() override { return false; }
    };
    HoggedDevice theDevice;
    theDevice.DoAddIOProc(IOProcA, nullptr);
    for (AudioDeviceIOProc theIOProc : {AudioDeviceIOProc(IOProcA), AudioDeviceIOProc(nullptr)}) {
        Outcome theOutcome = Capture([&] { theDevice.DoStartIOProc(theIOProc); });
        EXPECT_EQ(theOutcome.mStatus, kAudioDevicePermissionsError);
        EXPECT_EQ(theOutcome.mMessage,
                  "HPDevice::DoStartIOProc: can't start because hog mode is owned by another process\n");
        EXPECT_FALSE(theDevice.IsEngineRunning());
        EXPECT_EQ(theDevice.GetHostStartCount(), 0u);
        EXPECT_FALSE(theDevice.GetIOProcInfo(IOProcA)->mIsStarted);
    }
}

TEST_F(HPIOProcTest, StreamUsageOfADeviceWithoutStreamsIsEmpty)
{
    bool theUsage[1] = {true};
    mDevice.GetIOProcStreamUsage(IOProcA, false, theUsage);
    EXPECT_TRUE(theUsage[0]) << "nothing written for zero streams";
    mDevice.SetIOProcStreamUsage(IOProcUnknown, false, theUsage);
    EXPECT_EQ(mDevice.mStreamUsageChangedCount.load(), 0u);
}

TEST(HPIOProcBufferSizeTest, BaseLimitsAreTwoAnd65536Frames)
{
    TestDevice theDevice;
    EXPECT_EQ(theDevice.GetIOBufferFrameSize(), 512u);
    EXPECT_EQ(theDevice.GetMinimumIOBufferFrameSize(), 2u);
    EXPECT_EQ(theDevice.GetMaximumIOBufferFrameSize(), 65536u);
    struct Case {
        UInt32 mFrames;
        OSStatus mStatus;
        const char* mMessage;
        UInt32 mAfter;
    };
    const Case theCases[] = {
        {1, kAudioHardwareIllegalOperationError, "HPDevice::SetIOBufferFrameSize: requested size is too small\n", 512},
        {65537, kAudioHardwareIllegalOperationError, "HPDevice::SetIOBufferFrameSize: requested size is too large\n",
         512},
        {2, 0, "", 2},
        {65536, 0, "", 65536},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mFrames);
        Outcome theOutcome = Capture([&] { theDevice.SetIOBufferFrameSize(theCase.mFrames); });
        EXPECT_EQ(theOutcome.mStatus, theCase.mStatus);
        EXPECT_EQ(theOutcome.mMessage, theCase.mMessage);
        EXPECT_EQ(theDevice.GetIOBufferFrameSize(), theCase.mAfter);
    }
}

}  // namespace
