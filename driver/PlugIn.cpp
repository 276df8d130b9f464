#include "driver/PlugIn.h"

#include <pthread.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "driver/OrvelDevice.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"
#include "support/Zent_LWE_BadAllocation.h"
#include "support/Zent_LWE_OSStatus.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

namespace {

// One line in the host-call style, then the status as a plain long.
[[noreturn]] void ThrowHostError(const char* inMessage, OSStatus inError)
{
    std::fprintf(stderr, "%s, Error: %ld (%s)\n", inMessage, static_cast<long>(inError),
                 FourCCText(UInt32(inError)).c_str());
    throw static_cast<long>(inError);
}

// The status an exception out of device construction or Initialize carries.
OSStatus StatusOfCurrentException()
{
    try {
        throw;
    } catch (const CAException& theException) {
        return theException.GetError();
    } catch (const Zent::LWE::OSStatus& theException) {
        return theException.GetStatus();
    } catch (OSStatus theError) {
        return theError;
    } catch (long theError) {
        return OSStatus(theError);
    } catch (...) {
        return kAudioHardwareUnspecifiedError;
    }
}

}  // namespace

PlugIn::PlugIn(CFUUIDRef inFactoryUUID)
    : HPPlugIn(inFactoryUUID), mNotificationHandle(0), mComponentInstance(nullptr), mMuxer(nullptr)
{
    pthread_rwlockattr_t theAttributes;
    pthread_rwlockattr_init(&theAttributes);
    pthread_rwlockattr_setkind_np(&theAttributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    pthread_rwlock_init(&mRegistryLock, &theAttributes);
    pthread_rwlockattr_destroy(&theAttributes);
}

PlugIn::~PlugIn() { pthread_rwlock_destroy(&mRegistryLock); }

void PlugIn::Initialize()
{
    HPPlugIn::Initialize();

    ComponentDescription theDescription = {FourCC("muxr"), FourCC("orvl"), FourCC("Dove"), 0, 0};
    Component theComponent = FindNextComponent(nullptr, &theDescription);
    if (theComponent != nullptr) {
        mComponentInstance = OpenComponent(theComponent);
        mMuxer = reinterpret_cast<Zent::Mux::Orvel::BaseMuxer*>(GetComponentRefcon(theComponent));
    }
    if (mMuxer == nullptr) {
        if (mComponentInstance != nullptr) {
            CloseComponent(mComponentInstance);
            mComponentInstance = nullptr;
        }
        throw Zent::LWE::BadAllocation();
    }
    mNotificationHandle = mMuxer->RegisterNotification(&PlugIn::NotificationEntry, this);
}

void PlugIn::Teardown()
{
    WithdrawAllDevices();
    if (mMuxer != nullptr) {
        mMuxer->UnregisterNotification(mNotificationHandle);
        mMuxer = nullptr;
    }
    if (mComponentInstance != nullptr) {
        CloseComponent(mComponentInstance);
        mComponentInstance = nullptr;
    }
    // An arrival that raced with the withdrawal above is gone now too.
    WithdrawAllDevices();
    HPPlugIn::Teardown();
}

void PlugIn::NotificationEntry(void* inRefCon, unsigned int inKind, void* inData)
{
    try {
        static_cast<PlugIn*>(inRefCon)->Notification(inKind, inData);
    } catch (...) {
        // Already reported on standard error; the muxer's thread goes on.
    }
}

void PlugIn::Notification(unsigned int inKind, void* inData)
{
    switch (inKind) {
    case Zent::Mux::Orvel::kNotificationUnitArrived:
        UnitArrived(static_cast<Zent::Mux::Orvel::FWDevice*>(inData));
        break;
    case Zent::Mux::Orvel::kNotificationUnitGone:
        WithdrawAllDevices();
        break;
    default:
        break;
    }
}

void PlugIn::UnitArrived(Zent::Mux::Orvel::FWDevice* inUnit)
{
    // A device that failed is deleted after the lock is released (see
    // WithdrawAllDevices).
    std::vector<std::unique_ptr<OrvelDevice>> theFailedDevices;
    RegistryWriter theRegistryLock(mRegistryLock);
    for (UInt32 theIndex = 0; theIndex < 2; ++theIndex) {
        AudioDeviceID theDeviceID = 0;
        OSStatus theError = AudioHardwareClaimAudioDeviceID(GetInterface(), &theDeviceID);
        if (theError != 0) {
            ThrowHostError("PlugIn::Notification couldn't claim an AudioDeviceID", theError);
        }

        OrvelDevice* theDevice = nullptr;
        try {
            theDevice = new OrvelDevice(this, mMuxer, inUnit, theDeviceID, theIndex != 0);
            theDevice->Initialize();
        } catch (...) {
            // A unit whose settings the device cannot serve: this device is
            // not published, the other one still is.
            OSStatus theStatus = StatusOfCurrentException();
            std::fprintf(stderr, "PlugIn::Notification: couldn't initialize a device, Error: %ld (%s)\n",
                         static_cast<long>(theStatus), FourCCText(UInt32(theStatus)).c_str());
            if (theDevice != nullptr) {
                try {
                    theDevice->Teardown();
                } catch (...) {
                }
                theFailedDevices.emplace_back(theDevice);
            }
            continue;
        }

        AddDevice(theDevice);
        theError = AudioHardwareDevicesCreated(GetInterface(), 1, &theDeviceID);
        if (theError != 0) {
            ThrowHostError("Muxer::Initialize: couldn't tell the HAL about a new device", theError);
        }
    }
}

void PlugIn::WithdrawAllDevices()
{
    // Torn down under the lock, so that no host call is inside them; deleted
    // after it, because destruction waits for the host's run loop, whose
    // listeners may call in again.
    std::vector<OrvelDevice*> theDead;
    struct DeleteAtExit {
        std::vector<OrvelDevice*>& mDevices;
        ~DeleteAtExit()
        {
            for (OrvelDevice* theDevice : mDevices) {
                delete theDevice;
            }
        }
    } theDeleter{theDead};

    {
        RegistryWriter theRegistryLock(mRegistryLock);
        while (GetNumberDevices() != 0) {
            OrvelDevice* theDevice = static_cast<OrvelDevice*>(GetDeviceByIndex(0));
            AudioDeviceID theDeviceID = theDevice->GetObjectID();
            OSStatus theError = AudioHardwareDevicesDied(GetInterface(), 1, &theDeviceID);
            if (theError != 0) {
                ThrowHostError("PlugIn::Teardown: couldn't tell the HAL about a dead device", theError);
            }
            RemoveDevice(theDevice);
            theDead.push_back(theDevice);
            theDevice->Teardown();
        }
    }
}

// Host calls

bool PlugIn::TryLockForQueuedCommands() { return pthread_rwlock_trywrlock(&mRegistryLock) == 0; }

void PlugIn::UnlockAfterQueuedCommands() { pthread_rwlock_unlock(&mRegistryLock); }

PlugIn::HostCallScope::HostCallScope(PlugIn& inPlugIn, Access inAccess) : mPlugIn(inPlugIn), mLocked(false)
{
    Zent::Mux::Orvel::BaseMuxer* theMuxer = mPlugIn.mMuxer;
    if ((theMuxer != nullptr) && (pthread_equal(pthread_self(), theMuxer->GetIOThread()) != 0)) {
        return;
    }
    if (inAccess == Access::kWrite) {
        pthread_rwlock_wrlock(&mPlugIn.mRegistryLock);
    } else {
        pthread_rwlock_rdlock(&mPlugIn.mRegistryLock);
    }
    mLocked = true;
}

PlugIn::HostCallScope::~HostCallScope()
{
    if (mLocked) {
        pthread_rwlock_unlock(&mPlugIn.mRegistryLock);
    }
}

void PlugIn::DeviceAddIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc, void* inClientData)
{
    HostCallScope theScope(*this, Access::kWrite);
    HPPlugIn::DeviceAddIOProc(inDeviceID, inProc, inClientData);
}

void PlugIn::DeviceRemoveIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc)
{
    HostCallScope theScope(*this, Access::kWrite);
    HPPlugIn::DeviceRemoveIOProc(inDeviceID, inProc);
}

void PlugIn::DeviceStartIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc)
{
    HostCallScope theScope(*this, Access::kWrite);
    HPPlugIn::DeviceStartIOProc(inDeviceID, inProc);
}

void PlugIn::DeviceStopIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc)
{
    HostCallScope theScope(*this, Access::kWrite);
    HPPlugIn::DeviceStopIOProc(inDeviceID, inProc);
}

void PlugIn::DeviceRead(AudioDeviceID inDeviceID, const AudioTimeStamp* inStartTime, AudioBufferList* outData)
{
    HostCallScope theScope(*this, Access::kRead);
    HPPlugIn::DeviceRead(inDeviceID, inStartTime, outData);
}

void PlugIn::DeviceGetCurrentTime(AudioDeviceID inDeviceID, AudioTimeStamp* outTime)
{
    HostCallScope theScope(*this, Access::kRead);
    HPPlugIn::DeviceGetCurrentTime(inDeviceID, outTime);
}

void PlugIn::DeviceTranslateTime(AudioDeviceID inDeviceID, const AudioTimeStamp* inTime, AudioTimeStamp* outTime)
{
    HostCallScope theScope(*this, Access::kRead);
    HPPlugIn::DeviceTranslateTime(inDeviceID, inTime, outTime);
}

void PlugIn::DeviceGetPropertyInfo(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                                   AudioDevicePropertyID inSelector, UInt32* outSize, Boolean* outWritable)
{
    HostCallScope theScope(*this, Access::kRead);
    HPPlugIn::DeviceGetPropertyInfo(inDeviceID, inChannel, inIsInput, inSelector, outSize, outWritable);
}

void PlugIn::DeviceGetProperty(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                               AudioDevicePropertyID inSelector, UInt32* ioDataSize, void* outData)
{
    HostCallScope theScope(*this, Access::kRead);
    HPPlugIn::DeviceGetProperty(inDeviceID, inChannel, inIsInput, inSelector, ioDataSize, outData);
}

void PlugIn::DeviceSetProperty(AudioDeviceID inDeviceID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                               Boolean inIsInput, AudioDevicePropertyID inSelector, UInt32 inDataSize,
                               const void* inData)
{
    HostCallScope theScope(*this, Access::kWrite);
    HPPlugIn::DeviceSetProperty(inDeviceID, inWhen, inChannel, inIsInput, inSelector, inDataSize, inData);
}

void PlugIn::StreamGetPropertyInfo(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                                   UInt32* outSize, Boolean* outWritable)
{
    HostCallScope theScope(*this, Access::kRead);
    HPPlugIn::StreamGetPropertyInfo(inStreamID, inChannel, inSelector, outSize, outWritable);
}

void PlugIn::StreamGetProperty(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                               UInt32* ioDataSize, void* outData)
{
    HostCallScope theScope(*this, Access::kRead);
    HPPlugIn::StreamGetProperty(inStreamID, inChannel, inSelector, ioDataSize, outData);
}

void PlugIn::StreamSetProperty(AudioStreamID inStreamID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                               AudioDevicePropertyID inSelector, UInt32 inDataSize, const void* inData)
{
    HostCallScope theScope(*this, Access::kWrite);
    HPPlugIn::StreamSetProperty(inStreamID, inWhen, inChannel, inSelector, inDataSize, inData);
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
