// The driver's plug-in object, created by the bundle's factory. It opens the
// muxer component at Initialize, turns the muxer's unit-arrival notification
// into two published devices ("Kestro Out", then "Kestro In") and withdraws
// them again when the unit leaves or the plug-in is torn down. It never
// touches audio data itself.
//
// Device lifetime and state. The unit may leave while host threads are inside
// calls on its devices, and the framework's objects read their state without
// locks of their own, so the registry lock covers every forwarded host call:
// calls that only read (property info and values, times, DeviceRead) hold it
// shared, calls that change something (property sets, IOProc add, remove,
// start and stop) hold it exclusively, and so do building and withdrawing
// devices. A reader therefore never meets a half-made change, a data-source
// switch that republishes a stream included.
//
// Calls made on the muxer's I/O thread (from inside an IOProc) take no lock:
// that thread must never wait, and a device cannot be torn down while its
// own cycle runs. Commands such calls queue run after the cycle only when
// the I/O thread gets the lock at once (TryLockForQueuedCommands), else one
// cycle later.
#pragma once

#include <pthread.h>

#include "driver/muxer/Zent_Mux_Orvel_BaseMuxer.h"
#include "driver/muxer/Zent_Mux_Orvel_FWDevice.h"
#include "framework/HPPlugIn.h"
#include "platform/Components.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class PlugIn : public HPPlugIn {
public:
    explicit PlugIn(CFUUIDRef inFactoryUUID);
    ~PlugIn() override;

    // Host thread. Opens the muxer component and registers for its
    // notifications; Zent::LWE::BadAllocation when there is no muxer.
    void Initialize() override;
    // Host thread. Withdraws every device, detaches from the muxer.
    void Teardown() override;

    // The muxer's notification thread, at any time after registration:
    // kind 0 publishes the unit's two devices, kind 1 withdraws them, other
    // kinds are ignored. A failing host call prints a line and throws the
    // status as a long.
    void Notification(unsigned int inKind, void* inData);
    // The callback registered with the muxer (inRefCon is the plug-in). It
    // forwards and keeps exceptions from escaping into the muxer's thread.
    static void NotificationEntry(void* inRefCon, unsigned int inKind, void* inData);

    // The forwarding operations of HPPlugIn, each under the registry lock
    // (shared) as described above. Host client threads; may block while a
    // unit arrives or leaves.
    void DeviceAddIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc, void* inClientData) override;
    void DeviceRemoveIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc) override;
    void DeviceStartIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc) override;
    void DeviceStopIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc) override;
    void DeviceRead(AudioDeviceID inDeviceID, const AudioTimeStamp* inStartTime, AudioBufferList* outData) override;
    void DeviceGetCurrentTime(AudioDeviceID inDeviceID, AudioTimeStamp* outTime) override;
    void DeviceTranslateTime(AudioDeviceID inDeviceID, const AudioTimeStamp* inTime, AudioTimeStamp* outTime) override;
    void DeviceGetPropertyInfo(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                               AudioDevicePropertyID inSelector, UInt32* outSize, Boolean* outWritable) override;
    void DeviceGetProperty(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                           AudioDevicePropertyID inSelector, UInt32* ioDataSize, void* outData) override;
    void DeviceSetProperty(AudioDeviceID inDeviceID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                           Boolean inIsInput, AudioDevicePropertyID inSelector, UInt32 inDataSize,
                           const void* inData) override;
    void StreamGetPropertyInfo(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                               UInt32* outSize, Boolean* outWritable) override;
    void StreamGetProperty(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                           UInt32* ioDataSize, void* outData) override;
    void StreamSetProperty(AudioStreamID inStreamID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                           AudioDevicePropertyID inSelector, UInt32 inDataSize, const void* inData) override;

    Zent::Mux::Orvel::BaseMuxer* GetMuxer() const { return mMuxer; }

    // The muxer's I/O thread, after a cycle, before it runs the commands
    // IOProcs queued: takes the registry lock exclusively if that needs no
    // wait. True means the caller holds it and must call
    // UnlockAfterQueuedCommands.
    bool TryLockForQueuedCommands();
    void UnlockAfterQueuedCommands();

private:
    enum class Access { kRead, kWrite };

    // Holds the registry lock for one forwarded call, except on the muxer's
    // I/O thread: shared for a call that reads, exclusive for one that
    // changes a device, a stream or their registries.
    class HostCallScope {
    public:
        HostCallScope(PlugIn& inPlugIn, Access inAccess);
        ~HostCallScope();
        HostCallScope(const HostCallScope&) = delete;
        HostCallScope& operator=(const HostCallScope&) = delete;

    private:
        PlugIn& mPlugIn;
        bool mLocked;
    };

    // Exclusive hold of the registry lock for a scope.
    class RegistryWriter {
    public:
        explicit RegistryWriter(pthread_rwlock_t& inLock) : mLock(inLock) { pthread_rwlock_wrlock(&mLock); }
        ~RegistryWriter() { pthread_rwlock_unlock(&mLock); }
        RegistryWriter(const RegistryWriter&) = delete;
        RegistryWriter& operator=(const RegistryWriter&) = delete;

    private:
        pthread_rwlock_t& mLock;
    };

    void UnitArrived(Zent::Mux::Orvel::FWDevice* inUnit);
    void WithdrawAllDevices();

    UInt32 mNotificationHandle;
    ComponentInstance mComponentInstance;
    Zent::Mux::Orvel::BaseMuxer* mMuxer;  // not owned
    // Writer-preferring, so that a departure is not held off by a steady
    // stream of host calls.
    pthread_rwlock_t mRegistryLock;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
