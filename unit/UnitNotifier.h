// The unit's notification thread and its registrations: it calls each
// registered callback with the unit's arrival and departure, in the order
// they were posted, on its own thread, holding no lock while a callback runs
// (a callback may call back into the unit, and into the notifier).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/muxer/Zent_Mux_Orvel_BaseMuxer.h"

namespace Kestro {
namespace Unit {

class UnitNotifier {
public:
    UnitNotifier();
    // Drops whatever is still queued and joins the thread.
    ~UnitNotifier();

    UnitNotifier(const UnitNotifier&) = delete;
    UnitNotifier& operator=(const UnitNotifier&) = delete;

    // Returns the registration's handle (never 0). Any thread.
    UInt32 Add(Zent::Mux::Orvel::NotificationCallback inCallback, void* inRefCon);
    // Removes a registration and drops its queued notifications; when its
    // callback is running on the notification thread, waits for it to return
    // (unless called from that thread). False for an unknown handle.
    bool Remove(UInt32 inHandle);
    // Queues a notification for one registration, or for all of them.
    void Post(UInt32 inHandle, unsigned inKind, void* inData);
    void PostAll(unsigned inKind, void* inData);
    // Waits until the queue is empty and no callback runs. False (without
    // waiting) on the notification thread.
    bool WaitUntilIdle();
    bool IsNotificationThread() const;
    UInt32 GetRegistrationCount() const;

private:
    struct Registration {
        UInt32 handle;
        Zent::Mux::Orvel::NotificationCallback callback;
        void* refCon;
    };
    struct Notification {
        UInt32 handle;
        unsigned kind;
        void* data;
    };

    void Run();

    mutable std::mutex mMutex;
    std::condition_variable mWake;
    std::condition_variable mIdle;
    std::vector<Registration> mRegistrations;
    std::deque<Notification> mQueue;
    UInt32 mNextHandle = 1;
    UInt32 mInFlight = 0;
    bool mQuit = false;
    std::thread mThread;
    std::thread::id mThreadID;
};

}  // namespace Unit
}  // namespace Kestro
