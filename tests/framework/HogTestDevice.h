// A test device that counts its four hog-mode hooks (the base behaviour
// still runs: TakenByOther stops every IOProc). Hooks arrive on the
// notification thread or on the thread of a set request; a test waits for a
// count with WaitForHook.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "TestDevice.h"

class HogTestDevice : public TestDevice {
public:
    enum Hook { kTakenBySelf, kTakenByOther, kReleasedBySelf, kReleasedByOther, kHookCount };

    explicit HogTestDevice(const char* inUID) { mUID = inUID; }

    void HogModeTakenBySelf() override
    {
        HPDevice::HogModeTakenBySelf();
        Count(kTakenBySelf);
    }
    void HogModeTakenByOther() override
    {
        HPDevice::HogModeTakenByOther();
        Count(kTakenByOther);
    }
    void HogModeReleasedBySelf() override
    {
        HPDevice::HogModeReleasedBySelf();
        Count(kReleasedBySelf);
    }
    void HogModeReleasedByOther() override
    {
        HPDevice::HogModeReleasedByOther();
        Count(kReleasedByOther);
    }

    UInt32 GetHookCount(Hook inHook) const
    {
        std::lock_guard<std::mutex> theLock(mHookMutex);
        return mHooks[inHook];
    }
    // All four counts, in Hook order.
    std::array<UInt32, kHookCount> GetHookCounts() const
    {
        std::lock_guard<std::mutex> theLock(mHookMutex);
        return mHooks;
    }
    // True once the hook has been called inCount times. The limit only keeps
    // a broken build from hanging the suite.
    bool WaitForHook(Hook inHook, UInt32 inCount) const
    {
        std::unique_lock<std::mutex> theLock(mHookMutex);
        return mHookCalled.wait_for(theLock, std::chrono::seconds(20),
                                    [&] { return mHooks[inHook] >= inCount; });
    }

private:
    void Count(Hook inHook)
    {
        std::lock_guard<std::mutex> theLock(mHookMutex);
        ++mHooks[inHook];
        mHookCalled.notify_all();
    }

    mutable std::mutex mHookMutex;
    mutable std::condition_variable mHookCalled;
    std::array<UInt32, kHookCount> mHooks{};
};
