// A muxer for the driver's unit tests: it records what the driver asks of
// it, answers the connector queries and settings from its fields, and hands
// packets to the device only when a test calls Deliver. It can pretend that
// the calling thread is its I/O thread, so that commands issued from inside
// an IOProc are queued as on the real unit.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"
#include "driver/muxer/Zent_Mux_Orvel_BaseMuxer.h"
#include "driver/muxer/Zent_Mux_Orvel_MuxPacket.h"

class FakeMuxer : public Zent::Mux::Orvel::BaseMuxer {
public:
    UInt32 RegisterNotification(Zent::Mux::Orvel::NotificationCallback inCallback, void* inRefCon) override
    {
        Record("RegisterNotification");
        mNotificationCallback = inCallback;
        mNotificationRefCon = inRefCon;
        return 77;
    }
    void UnregisterNotification(UInt32 inHandle) override
    {
        Record("UnregisterNotification " + std::to_string(inHandle));
        mNotificationCallback = nullptr;
    }
    void GetSettings(Zent::Orvel::Settings& outSettings) override { outSettings = mSettings; }
    void ApplySettings(bool inIsInput, const Zent::Orvel::Settings& inSettings) override
    {
        Record(std::string("ApplySettings ") + (inIsInput ? "in" : "out"));
        mApplied.push_back(inSettings);
        mAppliedIsInput.push_back(inIsInput);
    }
    UInt32 GetOutputSkipCount() override { return mOutputSkipCount; }
    UInt32 AttachAudioClient(Zent::Mux::Orvel::FWDevice*, UInt32 inOptions) override
    {
        Record("AttachAudioClient " + std::to_string(inOptions));
        return ++mLastClient;
    }
    void DetachAudioClient(UInt32 inClient) override { Record("DetachAudioClient " + std::to_string(inClient)); }
    void StartAudio(UInt32) override { Record("StartAudio"); }
    void StopAudio(UInt32) override { Record("StopAudio"); }
    void ArmAudio(UInt32, UInt32 inArm) override { Record("ArmAudio " + std::to_string(inArm)); }
    bool AcquireAudio(UInt32, bool) override
    {
        Record("AcquireAudio");
        return !mRefuseAudio;
    }
    void ReleaseAudio(UInt32) override { Record("ReleaseAudio"); }
    void ReleasePacket(Zent::Mux::Orvel::MuxPacket*) override { ++mReleasedPackets; }
    void SetIOCallback(UInt32, Zent::Mux::Orvel::IOCallback inCallback, void* inRefCon) override
    {
        Record("SetIOCallback");
        mIOCallback = inCallback;
        mIORefCon = inRefCon;
    }
    void ClearIOCallback(UInt32) override
    {
        Record("ClearIOCallback");
        mIOCallback = nullptr;
        mIORefCon = nullptr;
    }
    pthread_t GetIOThread() override { return mIOThread.load(); }
    void GetInputSyncPattern(UInt32& outFrameCount, const void*& outFrames) override
    {
        outFrameCount = UInt32(mSyncPattern.size() / 8);
        outFrames = mSyncPattern.data();
    }
    bool HasInputSyncPattern() override
    {
        bool theAnswer = mSyncPatternPending;
        mSyncPatternPending = false;
        return theAnswer;
    }
    bool HasSDIInput() override { return mHasSDI; }
    bool HasAnalogInput() override { return mHasAnalog; }
    bool HasAESInput() override { return mHasAES; }
    bool HasADATInput() override { return mHasADAT; }
    bool HasSPDIFInput() override { return mHasSPDIF; }

    // Calls the installed I/O callback as the I/O thread would, marking the
    // calling thread as the I/O thread meanwhile. False if none is set.
    bool Deliver(unsigned inType, Zent::Mux::Orvel::MuxPacket* inPacket)
    {
        if (mIOCallback == nullptr) {
            return false;
        }
        mIOThread.store(pthread_self());
        mIOCallback(mIORefCon, inType, inPacket);
        mIOThread.store(pthread_t());
        return true;
    }

    // Queues a sync pattern: inFrames frames of 8 big-endian floats.
    void SetSyncPattern(const std::vector<float>& inNativeSamples)
    {
        mSyncPattern.resize(inNativeSamples.size());
        for (size_t i = 0; i < inNativeSamples.size(); ++i) {
            UInt32 theBits;
            std::memcpy(&theBits, &inNativeSamples[i], 4);
            theBits = __builtin_bswap32(theBits);
            std::memcpy(&mSyncPattern[i], &theBits, 4);
        }
        mSyncPatternPending = true;
    }

    void Notify(unsigned inKind, void* inData)
    {
        if (mNotificationCallback != nullptr) {
            mNotificationCallback(mNotificationRefCon, inKind, inData);
        }
    }

    std::vector<std::string> TakeCalls()
    {
        std::lock_guard<std::mutex> theLock(mMutex);
        std::vector<std::string> theCalls;
        theCalls.swap(mCalls);
        return theCalls;
    }
    size_t CountCalls(const std::string& inName)
    {
        std::lock_guard<std::mutex> theLock(mMutex);
        size_t theCount = 0;
        for (const auto& theCall : mCalls) {
            theCount += (theCall == inName) ? 1 : 0;
        }
        return theCount;
    }

    Zent::Orvel::Settings mSettings;
    std::vector<Zent::Orvel::Settings> mApplied;
    std::vector<bool> mAppliedIsInput;
    bool mHasSDI = true;
    bool mHasAES = true;
    bool mHasADAT = true;
    bool mHasSPDIF = true;
    bool mHasAnalog = true;
    bool mRefuseAudio = false;
    UInt32 mOutputSkipCount = 0;
    std::atomic<int> mReleasedPackets{0};
    std::atomic<pthread_t> mIOThread{pthread_t()};
    Zent::Mux::Orvel::IOCallback mIOCallback = nullptr;
    void* mIORefCon = nullptr;

private:
    void Record(const std::string& inCall)
    {
        std::lock_guard<std::mutex> theLock(mMutex);
        mCalls.push_back(inCall);
    }

    std::mutex mMutex;
    std::vector<std::string> mCalls;
    Zent::Mux::Orvel::NotificationCallback mNotificationCallback = nullptr;
    void* mNotificationRefCon = nullptr;
    UInt32 mLastClient = 0;
    std::vector<float> mSyncPattern;
    bool mSyncPatternPending = false;
};
