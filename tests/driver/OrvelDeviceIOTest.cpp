// The Orvel device's engine and I/O cycle, driven by hand-made packets:
// exact conversion both ways, mixing, the output skip counter, the sync
// pattern, DoIO's packet types, starting and stopping (also from inside an
// IOProc).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "driver/DataSourceControl.h"
#include "support/CAAudioTimeStamp.h"
#include "support/CAException.h"
#include "tests/driver/DriverFixture.h"

namespace DriverTest {
namespace {

// What an IOProc sees and does, per client.
struct Client {
    OrvelDevice* mDevice = nullptr;
    // Output: value written to channel c of frame f is mScale * (f * 8 + c + mOffset).
    float mScale = 0.0f;
    SInt32 mOffset = 0;
    // Input: the last buffer seen.
    std::vector<float> mInput;
    UInt32 mInputChannels = 0;
    std::vector<Float64> mInputSampleTimes;
    std::vector<Float64> mOutputSampleTimes;
    int mCalls = 0;
    bool mStopSelf = false;
    AudioDeviceIOProc mSelf = nullptr;
};

OSStatus ClientProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInput,
                    const AudioTimeStamp* inInputTime, AudioBufferList* outOutput,
                    const AudioTimeStamp* inOutputTime, void* inClientData)
{
    Client& theClient = *static_cast<Client*>(inClientData);
    ++theClient.mCalls;
    if (inInput != nullptr) {
        const AudioBuffer& theBuffer = inInput->mBuffers[0];
        const float* theSamples = static_cast<const float*>(theBuffer.mData);
        theClient.mInput.assign(theSamples, theSamples + theBuffer.mDataByteSize / 4);
        theClient.mInputChannels = theBuffer.mNumberChannels;
        theClient.mInputSampleTimes.push_back(inInputTime->mSampleTime);
    }
    if (outOutput != nullptr) {
        AudioBuffer& theBuffer = outOutput->mBuffers[0];
        float* theSamples = static_cast<float*>(theBuffer.mData);
        const UInt32 theCount = theBuffer.mDataByteSize / 4;
        for (UInt32 i = 0; i < theCount; ++i) {
            theSamples[i] = theClient.mScale * float(SInt32(i) + theClient.mOffset);
        }
        theClient.mOutputSampleTimes.push_back(inOutputTime->mSampleTime);
    }
    if (theClient.mStopSelf) {
        theClient.mDevice->DoStopIOProc(theClient.mSelf);
    }
    return 0;
}

// A second proc, so that two clients can be registered at once.
OSStatus OtherClientProc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInput,
                         const AudioTimeStamp* inInputTime, AudioBufferList* outOutput,
                         const AudioTimeStamp* inOutputTime, void* inClientData)
{
    return ClientProc(inDevice, inNow, inInput, inInputTime, outOutput, inOutputTime, inClientData);
}

class OrvelDeviceIOTest : public DriverFixture {
protected:
    void Start(OrvelDevice* inDevice, Client& ioClient, AudioDeviceIOProc inProc = &ClientProc)
    {
        ioClient.mDevice = inDevice;
        ioClient.mSelf = inProc;
        inDevice->DoAddIOProc(inProc, &ioClient);
        inDevice->DoStartIOProc(inProc);
    }
};

TEST_F(OrvelDeviceIOTest, OutputIsConvertedExactlyTo24Bits)
{
    OrvelDevice* theDevice = MakeDevice(false);
    Client theClient;
    theClient.mScale = 1.0f / 8388608.0f;  // one 24-bit step
    theClient.mOffset = -6000;
    Start(theDevice, theClient);
    ASSERT_TRUE(theDevice->IsEngineRunning());

    TestPacket thePacket(1602, 3);
    ASSERT_TRUE(mMuxer.Deliver(kOutputPacket, &thePacket.mPacket));
    EXPECT_EQ(theClient.mCalls, 1);
    for (UInt32 f = 0; f < 1602; ++f) {
        for (UInt32 c = 0; c < 8; ++c) {
            ASSERT_EQ(thePacket.GetSample(f, c, 3), SInt32(f * 8 + c) - 6000) << f << "," << c;
        }
    }
    EXPECT_EQ(theDevice->GetFramesProcessed(), 1602.0);
    EXPECT_EQ(mMuxer.mReleasedPackets.load(), 1);
}

TEST_F(OrvelDeviceIOTest, TwoIOProcsAreMixedAndSaturated)
{
    OrvelDevice* theDevice = MakeDevice(false);
    Client theFirst;
    theFirst.mScale = 1.0f / 8388608.0f;
    Client theSecond;
    theSecond.mScale = 2.0f / 8388608.0f;
    Start(theDevice, theFirst);
    Start(theDevice, theSecond, &OtherClientProc);

    TestPacket thePacket(1601, 3);
    mMuxer.Deliver(kOutputPacket, &thePacket.mPacket);
    EXPECT_EQ(theFirst.mCalls, 1);
    EXPECT_EQ(theSecond.mCalls, 1);
    for (UInt32 f = 0; f < 1601; ++f) {
        for (UInt32 c = 0; c < 8; ++c) {
            const SInt64 theSum = 3 * SInt64(f * 8 + c);
            const SInt64 theExpected = std::min<SInt64>(theSum, 8388607);
            ASSERT_EQ(thePacket.GetSample(f, c, 3), theExpected) << f << "," << c;
        }
    }
}

// After a processed packet with a skip count of 5 the counter is 6; the
// count then rises to 8: two unmarked packets are skipped, the third is
// processed. A marked packet is never skipped.
TEST_F(OrvelDeviceIOTest, OutputSkipCounterFollowsTheMuxersCount)
{
    OrvelDevice* theDevice = MakeDevice(false);
    Client theClient;
    Start(theDevice, theClient);
    mMuxer.mOutputSkipCount = 5;
    TestPacket thePacket(1600, 3, 0, false, true);
    mMuxer.Deliver(kOutputPacket, &thePacket.mPacket);
    EXPECT_EQ(theDevice->GetOutputSkipCounter(), 6);
    EXPECT_EQ(theClient.mCalls, 1);

    mMuxer.mOutputSkipCount = 8;
    struct Step {
        bool mMarked;
        SInt32 mCounter;
        int mCalls;
        Float64 mFrames;
    };
    const Step theSteps[] = {{false, 7, 1, 1600}, {false, 8, 1, 1600}, {false, 9, 2, 3200}, {true, 9, 3, 4800}};
    for (const Step& theStep : theSteps) {
        TestPacket theNext(1600, 3, 0, false, theStep.mMarked);
        mMuxer.Deliver(kOutputPacket, &theNext.mPacket);
        EXPECT_EQ(theDevice->GetOutputSkipCounter(), theStep.mCounter);
        EXPECT_EQ(theClient.mCalls, theStep.mCalls);
        EXPECT_EQ(theDevice->GetFramesProcessed(), theStep.mFrames);
    }
    EXPECT_EQ(mMuxer.mReleasedPackets.load(), 5);
}

TEST_F(OrvelDeviceIOTest, InputIsConvertedExactlyForEachConnector)
{
    struct Case {
        UInt32 mSource;
        UInt32 mChannels;
    };
    for (const Case& theCase : {Case{1, 8}, Case{2, 4}, Case{4, 8}, Case{8, 4}, Case{16, 2}}) {
        SCOPED_TRACE(theCase.mSource);
        mMuxer.mSettings.audioinformat = theCase.mSource;
        OrvelDevice* theDevice = MakeDevice(true);
        Client theClient;
        Start(theDevice, theClient);

        TestPacket thePacket(1602, 3);
        for (UInt32 f = 0; f < 1602; ++f) {
            for (UInt32 c = 0; c < 8; ++c) {
                thePacket.SetSample(f, c, (f % 2 ? -1 : 1) * SInt32(f * 8 + c) * 500, 3);
            }
        }
        thePacket.SetSample(0, 0, 8388607, 3);
        thePacket.SetSample(1, 0, -8388608, 3);
        mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
        ASSERT_EQ(theClient.mInputChannels, theCase.mChannels);
        ASSERT_EQ(theClient.mInput.size(), size_t(1602) * theCase.mChannels);
        for (UInt32 f = 0; f < 1602; ++f) {
            for (UInt32 c = 0; c < theCase.mChannels; ++c) {
                const float theExpected = float(thePacket.GetSample(f, c, 3)) / 8388608.0f;
                ASSERT_EQ(theClient.mInput[f * theCase.mChannels + c], theExpected) << f << "," << c;
            }
        }
        DestroyDevice(theDevice);
    }
}

// A two-frame pattern replaces the input, repeating within the packet, up
// to (not including) the second marked packet after it arrived.
TEST_F(OrvelDeviceIOTest, SyncPatternReplacesInputUpToTheSecondMarkedPacket)
{
    OrvelDevice* theDevice = MakeDevice(true);  // SDI, 8 channels
    Client theClient;
    Start(theDevice, theClient);
    std::vector<float> thePattern(16);
    for (UInt32 i = 0; i < 16; ++i) {
        thePattern[i] = 0.25f * float(i) - 1.0f;
    }
    mMuxer.SetSyncPattern(thePattern);

    const bool theMarks[] = {false, true, false, true, false};
    const bool theSynced[] = {true, true, true, false, false};
    for (int i = 0; i < 5; ++i) {
        TestPacket thePacket(5, 3, 0, false, theMarks[i]);
        for (UInt32 f = 0; f < 5; ++f) {
            for (UInt32 c = 0; c < 8; ++c) {
                thePacket.SetSample(f, c, 4096, 3);
            }
        }
        mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
        ASSERT_EQ(theClient.mInput.size(), 40u);
        for (UInt32 s = 0; s < 40; ++s) {
            const float theExpected = theSynced[i] ? thePattern[s % 16] : 4096.0f / 8388608.0f;
            if (!theSynced[i]) {
                ASSERT_EQ(theClient.mInput[s], theExpected) << "packet " << i << " sample " << s;
            } else if (i == 0) {
                // The read offset carries over between packets; the first
                // packet starts at the pattern's beginning.
                ASSERT_EQ(theClient.mInput[s], theExpected) << "packet " << i << " sample " << s;
            }
        }
        EXPECT_EQ(theDevice->IsSyncActive(), theSynced[i] && i < 3) << i;
    }
}

TEST_F(OrvelDeviceIOTest, EmptySyncPatternChangesNothing)
{
    OrvelDevice* theDevice = MakeDevice(true);
    Client theClient;
    Start(theDevice, theClient);
    mMuxer.SetSyncPattern({});
    TestPacket thePacket(4, 3);
    thePacket.SetSample(0, 0, 1000, 3);
    mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
    EXPECT_FALSE(theDevice->IsSyncActive());
    EXPECT_EQ(theClient.mInput[0], 1000.0f / 8388608.0f);
}

TEST_F(OrvelDeviceIOTest, DoIOIgnoresOtherPacketTypes)
{
    OrvelDevice* theDevice = MakeDevice(false);
    Client theClient;
    Start(theDevice, theClient);
    TestPacket thePacket(1600, 3);
    for (unsigned theType : {0u, 1u, 4u, 99u}) {
        theDevice->DoIO(theType, &thePacket.mPacket);
    }
    EXPECT_EQ(theClient.mCalls, 0);
    EXPECT_EQ(mMuxer.mReleasedPackets.load(), 0);
    EXPECT_EQ(theDevice->GetFramesProcessed(), 0.0);
}

TEST_F(OrvelDeviceIOTest, PacketOnAStoppedDeviceIsOnlyReleased)
{
    OrvelDevice* theDevice = MakeDevice(false);
    TestPacket thePacket(1600, 3);
    theDevice->DoIO(kOutputPacket, &thePacket.mPacket);
    EXPECT_EQ(mMuxer.mReleasedPackets.load(), 1);
    EXPECT_EQ(theDevice->GetFramesProcessed(), 0.0);
    EXPECT_EQ(thePacket.GetSample(0, 0, 3), 0);
}

TEST_F(OrvelDeviceIOTest, StartTwiceStartsTheMuxerOnceAndRefusalLeavesItStopped)
{
    OrvelDevice* theDevice = MakeDevice(false);
    mMuxer.TakeCalls();
    Client theClient;
    Start(theDevice, theClient);
    theDevice->DoStartIOProc(nullptr);
    EXPECT_EQ(mMuxer.TakeCalls(),
              (std::vector<std::string>{"AcquireAudio", "ArmAudio 1", "SetIOCallback", "StartAudio"}));

    OrvelDevice* theInput = MakeDevice(true);
    mMuxer.mRefuseAudio = true;
    mMuxer.TakeCalls();
    EXPECT_THROW(theInput->DoStartIOProc(nullptr), CAException);
    EXPECT_FALSE(theInput->IsEngineRunning());
    EXPECT_EQ(mMuxer.TakeCalls(), std::vector<std::string>{"AcquireAudio"});
}

TEST_F(OrvelDeviceIOTest, StopEngineOnStoppedDeviceSendsNothing)
{
    OrvelDevice* theDevice = MakeDevice(false);
    mMuxer.TakeCalls();
    theDevice->StopEngine();
    HostRunLoopFlush();
    EXPECT_TRUE(mMuxer.TakeCalls().empty());
}

// An IOProc stops itself: the stop is queued (this is the I/O thread), runs
// after the cycle, and the engine stops on the host run loop.
TEST_F(OrvelDeviceIOTest, IOProcThatStopsItselfStopsTheEngineOnTheRunLoop)
{
    OrvelDevice* theDevice = MakeDevice(false);
    Client theClient;
    Start(theDevice, theClient);
    theClient.mStopSelf = true;
    mMuxer.TakeCalls();
    AudioHardwareServerClearEvents();

    TestPacket thePacket(1600, 3);
    mMuxer.Deliver(kOutputPacket, &thePacket.mPacket);
    EXPECT_EQ(theClient.mCalls, 1);
    HostRunLoopFlush();
    EXPECT_FALSE(theDevice->IsEngineRunning());
    EXPECT_EQ(mMuxer.TakeCalls(), (std::vector<std::string>{"StopAudio", "ClearIOCallback", "ReleaseAudio"}));
    bool sawRunning = false;
    for (const auto& theEvent : AudioHardwareServerCopyEvents()) {
        sawRunning |= (theEvent.mSelector == FourCC("goin"));
    }
    EXPECT_TRUE(sawRunning);

    // No further cycle: the muxer has no callback any more.
    EXPECT_FALSE(mMuxer.Deliver(kOutputPacket, &thePacket.mPacket));
}

TEST_F(OrvelDeviceIOTest, TeardownOfARunningDeviceStopsTheTransferFirst)
{
    OrvelDevice* theDevice = MakeDevice(true);
    Client theClient;
    Start(theDevice, theClient);
    mMuxer.TakeCalls();
    AudioHardwareServerClearEvents();
    DestroyDevice(theDevice);
    auto theCalls = mMuxer.TakeCalls();
    ASSERT_GE(theCalls.size(), 4u);
    EXPECT_EQ(theCalls[0], "StopAudio");
    EXPECT_EQ(theCalls[1], "ClearIOCallback");
    EXPECT_EQ(theCalls[2], "ReleaseAudio");
    EXPECT_EQ(theCalls.back().rfind("DetachAudioClient", 0), 0u);
    // The stream went only after the transfer had stopped.
    auto theEvents = AudioHardwareServerCopyEvents();
    ASSERT_FALSE(theEvents.empty());
    EXPECT_EQ(theEvents[0].mKind, AudioHardwareServerEvent::kStreamsDied);
}

// A data-source switch while running, asked from inside an IOProc: queued
// to the end of the cycle, then the next packet sees buffers for the new
// stream.
TEST_F(OrvelDeviceIOTest, DataSourceSwitchFromTheIOThreadIsQueuedAndReallocates)
{
    OrvelDevice* theDevice = MakeDevice(true);
    Client theClient;
    Start(theDevice, theClient);
    TestPacket thePacket(10, 3);
    mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
    ASSERT_EQ(theClient.mInputChannels, 8u);

    mMuxer.mIOThread.store(pthread_self());
    theDevice->GetDataSourceControl()->SetCurrentItemByID(FourCC("ispd"));
    mMuxer.mIOThread.store(pthread_t());
    EXPECT_EQ(theDevice->GetCurrentStreamCode(), FourCC("isdi"));

    mMuxer.Deliver(kInputPacket, &thePacket.mPacket);  // runs the queued switch after the cycle
    EXPECT_EQ(theDevice->GetCurrentStreamCode(), FourCC("ispd"));
    EXPECT_EQ(theClient.mInputChannels, 8u);
    mMuxer.Deliver(kInputPacket, &thePacket.mPacket);
    EXPECT_EQ(theClient.mInputChannels, 2u);
    EXPECT_EQ(theClient.mInput.size(), 20u);
    EXPECT_TRUE(theDevice->IsEngineRunning());
}

}  // namespace
}  // namespace DriverTest
