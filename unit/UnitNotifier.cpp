#include "unit/UnitNotifier.h"

#include <algorithm>

namespace Kestro {
namespace Unit {

UnitNotifier::UnitNotifier()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mThread = std::thread([this] { Run(); });
    mThreadID = mThread.get_id();
}

UnitNotifier::~UnitNotifier()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQuit = true;
        mQueue.clear();
    }
    mWake.notify_all();
    mThread.join();
}

UInt32 UnitNotifier::Add(Zent::Mux::Orvel::NotificationCallback inCallback, void* inRefCon)
{
    std::lock_guard<std::mutex> lock(mMutex);
    const UInt32 handle = mNextHandle++;
    if (mNextHandle == 0) {
        mNextHandle = 1;
    }
    mRegistrations.push_back(Registration{handle, inCallback, inRefCon});
    return handle;
}

bool UnitNotifier::Remove(UInt32 inHandle)
{
    std::unique_lock<std::mutex> lock(mMutex);
    auto found = std::find_if(mRegistrations.begin(), mRegistrations.end(),
                              [inHandle](const Registration& registration) { return registration.handle == inHandle; });
    if (found == mRegistrations.end()) {
        return false;
    }
    mRegistrations.erase(found);
    std::erase_if(mQueue, [inHandle](const Notification& notification) { return notification.handle == inHandle; });
    if (std::this_thread::get_id() != mThreadID) {
        mIdle.wait(lock, [this, inHandle] { return mInFlight != inHandle; });
    }
    return true;
}

void UnitNotifier::Post(UInt32 inHandle, unsigned inKind, void* inData)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQueue.push_back(Notification{inHandle, inKind, inData});
    }
    mWake.notify_all();
}

void UnitNotifier::PostAll(unsigned inKind, void* inData)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (const Registration& registration : mRegistrations) {
            mQueue.push_back(Notification{registration.handle, inKind, inData});
        }
    }
    mWake.notify_all();
}

bool UnitNotifier::WaitUntilIdle()
{
    std::unique_lock<std::mutex> lock(mMutex);
    if (std::this_thread::get_id() == mThreadID) {
        return false;
    }
    mIdle.wait(lock, [this] { return mQuit || (mQueue.empty() && mInFlight == 0); });
    return true;
}

bool UnitNotifier::IsNotificationThread() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return std::this_thread::get_id() == mThreadID;
}

UInt32 UnitNotifier::GetRegistrationCount() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return UInt32(mRegistrations.size());
}

void UnitNotifier::Run()
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        mWake.wait(lock, [this] { return mQuit || !mQueue.empty(); });
        if (mQuit) {
            break;
        }
        const Notification notification = mQueue.front();
        mQueue.pop_front();
        auto found = std::find_if(mRegistrations.begin(), mRegistrations.end(), [&](const Registration& registration) {
            return registration.handle == notification.handle;
        });
        if (found != mRegistrations.end()) {
            const Registration registration = *found;
            mInFlight = registration.handle;
            lock.unlock();
            registration.callback(registration.refCon, notification.kind, notification.data);
            lock.lock();
            mInFlight = 0;
        }
        mIdle.notify_all();
    }
    mInFlight = 0;
    mIdle.notify_all();
}

}  // namespace Unit
}  // namespace Kestro
