// The muxer component's interface as the driver uses it. The muxer owns the
// unit; the driver finds it with the component manager (type 'muxr', subtype
// 'orvl', manufacturer 'Dove'), whose refcon is a BaseMuxer*.
//
// Threads: the driver calls in from host threads and from the muxer's own
// threads. The muxer calls the notification callback on its notification
// thread and the I/O callback on its I/O thread (GetIOThread). It never holds
// a lock of its own while calling back into the driver.
#pragma once

#include <atomic>

#include <pthread.h>

#include "driver/muxer/Zent_Mux_Orvel_FWDevice.h"
#include "driver/muxer/Zent_Mux_Orvel_MuxPacket.h"
#include "platform/MacTypes.h"

namespace Zent {
namespace Orvel {
class Settings;
}  // namespace Orvel
}  // namespace Zent

namespace Zent {
namespace Mux {
namespace Orvel {

// Unit notifications: kind kUnitArrived with data = the FWDevice*, kind
// kUnitGone with data = the FWDevice* that left. Called on the muxer's
// notification thread; may arrive at any time after registration, even from
// inside RegisterNotification.
typedef void (*NotificationCallback)(void* inRefCon, unsigned inKind, void* inData);
enum : unsigned { kNotificationUnitArrived = 0, kNotificationUnitGone = 1 };

// Packet delivery: types 2 and 3 hand over a MuxPacket* (inPacket) that the
// callee processes and returns with ReleasePacket; other types are ignored.
// Called on the muxer's I/O thread once per packet. Real-time: no
// allocation and no printing unless a debug word asks.
typedef void (*IOCallback)(void* inRefCon, unsigned inType, void* inPacket);
enum : unsigned { kIOPacketType2 = 2, kIOPacketType3 = 3 };
inline bool IsPacketIOType(unsigned inType) { return inType == kIOPacketType2 || inType == kIOPacketType3; }

class BaseMuxer {
public:
    virtual ~BaseMuxer() = default;

    // Returns a handle for UnregisterNotification.
    virtual UInt32 RegisterNotification(NotificationCallback inCallback, void* inRefCon) = 0;
    virtual void UnregisterNotification(UInt32 inHandle) = 0;
    // Fills outSettings with the unit's current settings.
    virtual void GetSettings(Zent::Orvel::Settings& outSettings) = 0;
    // Applies that direction's source, word-size and rate codes.
    virtual void ApplySettings(bool inIsInput, const Zent::Orvel::Settings& inSettings) = 0;
    // How many unmarked output packets the driver should pass over.
    virtual UInt32 GetOutputSkipCount() = 0;
    // Returns the audio client handle the other audio calls take.
    virtual UInt32 AttachAudioClient(FWDevice* inUnit, UInt32 inOptions) = 0;
    virtual void DetachAudioClient(UInt32 inClient) = 0;
    virtual void StartAudio(UInt32 inClient) = 0;
    virtual void StopAudio(UInt32 inClient) = 0;
    virtual void ArmAudio(UInt32 inClient, UInt32 inArm) = 0;
    // False when the audio of that direction is refused.
    virtual bool AcquireAudio(UInt32 inClient, bool inIsInput) = 0;
    virtual void ReleaseAudio(UInt32 inClient) = 0;
    // Takes back a packet handed to the I/O callback.
    virtual void ReleasePacket(MuxPacket* inPacket) = 0;
    virtual void SetIOCallback(UInt32 inClient, IOCallback inCallback, void* inRefCon) = 0;
    virtual void ClearIOCallback(UInt32 inClient) = 0;
    // The thread that calls the I/O callback.
    virtual pthread_t GetIOThread() = 0;
    // outFrames frames of 8-channel 32-bit big-endian float, owned by the
    // muxer and valid until the next packet.
    virtual void GetInputSyncPattern(UInt32& outFrameCount, const void*& outFrames) = 0;
    // True when a new sync pattern waits to be fetched with GetInputSyncPattern.
    virtual bool HasInputSyncPattern() = 0;
    virtual bool HasSDIInput() = 0;
    virtual bool HasAnalogInput() = 0;
    virtual bool HasAESInput() = 0;
    virtual bool HasADATInput() = 0;
    virtual bool HasSPDIFInput() = 0;

    // Debug words, read by the driver at any time (on the I/O thread too)
    // while anyone may set them; non-zero = on. dumpFrameCount is the number
    // of frames to dump per packet, -1 = off. Atomic, so a change while audio
    // runs is seen whole; reading one costs what reading a plain word does.
    std::atomic<SInt32> verboseWarnings{0};
    std::atomic<SInt32> dumpFrameCount{-1};
    std::atomic<SInt32> printPacketInfo{0};
    std::atomic<SInt32> writeTestRamp{0};
    std::atomic<SInt32> printSampleRate{0};
};

}  // namespace Orvel
}  // namespace Mux
}  // namespace Zent
