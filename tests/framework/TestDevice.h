// A small concrete device for the framework's tests. It fills the device
// hooks simply: fixed identity strings, an engine whose start and stop are
// counted (and whose start can be made to fail), latency and safety offset
// chosen by the test, and one thread that can be marked as "the I/O thread":
// commands issued on it are queued, as on a real device, until the test
// calls ExecuteAllCommands.
//
// Notifications (PropertyChanged) are recorded, not sent to the host, unless
// a test asks for them to be forwarded as well. Recording takes a mutex, so
// tests may issue requests from several threads.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/HPDevice.h"
#include "framework/HPPropertyAddress.h"
#include "platform/AudioHardware.h"
#include "platform/CoreFoundation.h"
#include "support/CAException.h"

class TestDevice : public HPDevice {
public:
    static constexpr AudioDeviceID kDefaultDeviceID = 100;

    explicit TestDevice(HPPlugIn* inPlugIn = nullptr, AudioDeviceID inDeviceID = kDefaultDeviceID)
        : HPDevice(inPlugIn, inDeviceID)
    {
    }

    // Identity: the strings given (null gives a null string).
    CFStringRef CopyDeviceName() const override { return MakeString(mName); }
    CFStringRef CopyDeviceManufacturerName() const override { return MakeString(mManufacturer); }
    CFStringRef CopyDeviceUID() const override { return MakeString(mUID); }
    UInt32 GetTransportType() const override { return mTransportType; }
    bool CanBeDefaultDevice(bool inIsInput, bool inIsSystem) const override
    {
        return inIsSystem ? mCanBeDefaultSystemDevice : (inIsInput ? mCanBeDefaultInput : mCanBeDefaultOutput);
    }

    // Commands run at once everywhere but on the marked I/O thread.
    bool IsSafeToExecuteCommand(HPCommand*) override { return std::this_thread::get_id() != mIOThread.load(); }
    bool StartCommandExecution() override
    {
        ++mStartCommandExecutionCount;
        return mAllowCommandExecution;
    }
    void FinishCommandExecution() override { ++mFinishCommandExecutionCount; }

    void InitializeIOProcInfo(HPIOProcInfo& ioInfo) override
    {
        ++mInitializeIOProcInfoCount;
        HPDevice::InitializeIOProcInfo(ioInfo);
    }
    void TeardownIOProcInfo(HPIOProcInfo& ioInfo) override
    {
        ++mTeardownIOProcInfoCount;
        HPDevice::TeardownIOProcInfo(ioInfo);
    }
    void IOProcStreamUsageChanged(HPIOProcInfo& ioInfo, bool inIsInput) override
    {
        ++mStreamUsageChangedCount;
        HPDevice::IOProcStreamUsageChanged(ioInfo, inIsInput);
    }
    void IOProcStarted(HPIOProcInfo& ioInfo) override
    {
        ++mIOProcStartedCount;
        HPDevice::IOProcStarted(ioInfo);
    }
    void IOProcStopped(HPIOProcInfo& ioInfo) override
    {
        ++mIOProcStoppedCount;
        HPDevice::IOProcStopped(ioInfo);
    }

    UInt32 GetLatency(bool inIsInput) const override { return inIsInput ? mInputLatency : mOutputLatency; }
    UInt32 GetSafetyOffset(bool inIsInput) const override
    {
        return inIsInput ? mInputSafetyOffset : mOutputSafetyOffset;
    }

    // Counts every call; throws mStartEngineError (when non-zero) before the
    // engine is marked running.
    void StartEngine() override
    {
        ++mStartEngineCount;
        if (mStartEngineError != 0) {
            throw CAException(mStartEngineError);
        }
        HPDevice::StartEngine();
    }
    void StopEngine() override
    {
        ++mStopEngineCount;
        HPDevice::StopEngine();
    }

    void PhysicalFormatChanged(HPStream* inStream, const AudioStreamBasicDescription& inOldFormat,
                               const AudioStreamBasicDescription& inNewFormat) override
    {
        ++mPhysicalFormatChangedCount;
        HPDevice::PhysicalFormatChanged(inStream, inOldFormat, inNewFormat);
    }

    void PropertyChanged(const HPPropertyAddress& inAddress) const override
    {
        {
            std::lock_guard<std::mutex> theLock(mNotificationMutex);
            mNotifications.push_back(inAddress);
        }
        if (mForwardNotifications) {
            HPDevice::PropertyChanged(inAddress);
        }
    }

    // Marks the calling thread as the I/O thread; ClearIOThread undoes it.
    void MarkCurrentThreadAsIOThread() { mIOThread.store(std::this_thread::get_id()); }
    void ClearIOThread() { mIOThread.store(std::thread::id()); }

    std::vector<HPPropertyAddress> GetNotifications() const
    {
        std::lock_guard<std::mutex> theLock(mNotificationMutex);
        return mNotifications;
    }
    void ClearNotifications()
    {
        std::lock_guard<std::mutex> theLock(mNotificationMutex);
        mNotifications.clear();
    }

    // The registry's state, for assertions.
    using HPDevice::GetHostStartCount;
    using HPDevice::GetIOProcMap;
    using HPDevice::GetNumberQueuedCommands;
    using HPDevice::GetNumberStartedIOProcs;
    bool IsIOProcRegistered(AudioDeviceIOProc inIOProc) const { return GetIOProcMap().count(inIOProc) != 0; }
    // Null when the IOProc is not registered.
    const HPIOProcInfo* GetIOProcInfo(AudioDeviceIOProc inIOProc) const
    {
        auto theIterator = GetIOProcMap().find(inIOProc);
        return (theIterator != GetIOProcMap().end()) ? &theIterator->second : nullptr;
    }

    // Identity and behaviour, set by the test before use.
    const char* mName = "Test Device";
    const char* mManufacturer = "Kestro Test Maker";
    const char* mUID = "TestDevice:0";
    UInt32 mTransportType = kAudioDeviceTransportTypeBuiltIn;
    bool mCanBeDefaultInput = true;
    bool mCanBeDefaultOutput = true;
    bool mCanBeDefaultSystemDevice = false;
    UInt32 mInputLatency = 0;
    UInt32 mOutputLatency = 0;
    UInt32 mInputSafetyOffset = 0;
    UInt32 mOutputSafetyOffset = 0;
    OSStatus mStartEngineError = 0;
    bool mAllowCommandExecution = true;
    bool mForwardNotifications = false;

    // Counters of the hooks.
    std::atomic<UInt32> mStartEngineCount{0};
    std::atomic<UInt32> mStopEngineCount{0};
    std::atomic<UInt32> mStartCommandExecutionCount{0};
    std::atomic<UInt32> mFinishCommandExecutionCount{0};
    std::atomic<UInt32> mInitializeIOProcInfoCount{0};
    std::atomic<UInt32> mTeardownIOProcInfoCount{0};
    std::atomic<UInt32> mStreamUsageChangedCount{0};
    std::atomic<UInt32> mIOProcStartedCount{0};
    std::atomic<UInt32> mIOProcStoppedCount{0};
    std::atomic<UInt32> mPhysicalFormatChangedCount{0};

private:
    static CFStringRef MakeString(const char* inText)
    {
        return (inText != nullptr) ? CFStringCreateWithCString(nullptr, inText, kCFStringEncodingASCII) : nullptr;
    }

    std::atomic<std::thread::id> mIOThread{std::thread::id()};
    mutable std::mutex mNotificationMutex;
    mutable std::vector<HPPropertyAddress> mNotifications;
};
