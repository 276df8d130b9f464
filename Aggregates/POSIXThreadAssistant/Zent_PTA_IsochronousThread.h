// The maker's service thread for a bus device: a detached thread with
// time constraints whose run loop carries the device interface's callback
// dispatcher, so that the device's isochronous callbacks run on it.
//
// Reset replaces the served interface: it stops the current service thread
// (detaching its dispatcher and stopping its run loop) and starts a new one
// for the new interface, or none for null. Reset and the destructor are
// called on one client thread at a time; they spin (yielding) while a
// thread they started is still starting. The service thread's run loop is
// kept alive by the object until the thread has been stopped.
#pragma once

#include <pthread.h>

#include <atomic>

#include "platform/BusDeviceInterface.h"
#include "platform/CoreFoundation.h"

namespace Zent {
namespace PTA {

class IsochronousThread {
public:
    enum eState : SInt32 {
        kStopped = 0,
        kStarting = 1,
        kRunning = 2,
    };

    // The period and the computation time of the service thread, in
    // nanoseconds; the constraint is twice the computation time.
    static constexpr UInt32 kDefaultPeriod = 1000000;
    static constexpr UInt32 kDefaultComputation = 200000;

    IsochronousThread(UInt32 inPeriodNanoseconds = kDefaultPeriod,
                      UInt32 inComputationNanoseconds = kDefaultComputation);
    // Stops the service thread as Reset(nullptr) does.
    virtual ~IsochronousThread();

    IsochronousThread(const IsochronousThread&) = delete;
    IsochronousThread& operator=(const IsochronousThread&) = delete;

    // Throws Zent::LWE::BadAllocation when the new thread can't be created
    // (the object is then stopped).
    void Reset(BusDeviceInterfaceRef inInterface);

    eState GetState() const { return eState(mState.load()); }
    BusDeviceInterfaceRef GetInterface() const { return mInterface; }
    UInt32 GetPeriod() const { return mPeriod; }
    UInt32 GetComputation() const { return mComputation; }

private:
    static void* ServiceBody(void* inThis);

    BusDeviceInterfaceRef mInterface;
    UInt32 mPeriod;       // nanoseconds
    UInt32 mComputation;  // nanoseconds
    pthread_t mThread;
    CFRunLoopRef mRunLoop;  // one reference held while running
    std::atomic<SInt32> mState;
};

}  // namespace PTA
}  // namespace Zent
