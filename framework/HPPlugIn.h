// The plug-in object: the host's only door into the bundle. The host holds a
// reference to its interface table (sInterface); every table entry finds the
// plug-in from that reference, checks its pointers, looks the device or
// stream up in the registry by ID and forwards to a virtual operation here,
// on HPDevice or on HPStream. Failures inside are exceptions; the table
// entries are the one place that turns them into the OSStatus the host gets.
//
// The registry maps never own what they point to: the concrete plug-in
// creates, registers, unregisters and deletes its devices, and a device its
// streams.
//
// No lock: the host may call the table from several threads at once, but the
// registry changes only while the plug-in initializes, tears down, or sees a
// unit arrive or leave; serialising requests per device is the device's
// business. The reference count is atomic because AddRef and Release come
// from any host thread.
#pragma once

#include <atomic>
#include <map>

#include "platform/AudioHardware.h"
#include "platform/CoreAudioTypes.h"
#include "platform/CoreFoundation.h"

class HPDevice;
class HPStream;

class HPPlugIn {
public:
    // Registers one instance for inFactoryUUID (CFPlugInAddInstanceForFactory)
    // and keeps a reference to the UUID. The count starts at 0.
    explicit HPPlugIn(CFUUIDRef inFactoryUUID);
    // Unregisters the instance and releases the UUID; leaves the registered
    // devices and streams alone.
    virtual ~HPPlugIn();

    HPPlugIn(const HPPlugIn&) = delete;
    HPPlugIn& operator=(const HPPlugIn&) = delete;

    // Host thread, through the table. Nothing in the base.
    virtual void Initialize();
    virtual void Teardown();

    // Any thread. Return the new count; Release deletes the object when it
    // takes the count from 1 to 0.
    virtual UInt32 Retain();
    virtual UInt32 Release();

    // The forwarding operations, called by the table on host threads. Each
    // checks its pointers and the ID in the order the table promises, prints
    // one line and throws CAException on the first failure, then calls the
    // device or stream. They may block for as long as the device does.
    virtual void DeviceAddIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc, void* inClientData);
    virtual void DeviceRemoveIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc);
    virtual void DeviceStartIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc);
    virtual void DeviceStopIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc);
    virtual void DeviceRead(AudioDeviceID inDeviceID, const AudioTimeStamp* inStartTime, AudioBufferList* outData);
    virtual void DeviceGetCurrentTime(AudioDeviceID inDeviceID, AudioTimeStamp* outTime);
    virtual void DeviceTranslateTime(AudioDeviceID inDeviceID, const AudioTimeStamp* inTime, AudioTimeStamp* outTime);
    virtual void DeviceGetPropertyInfo(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                                       AudioDevicePropertyID inSelector, UInt32* outSize, Boolean* outWritable);
    virtual void DeviceGetProperty(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                                   AudioDevicePropertyID inSelector, UInt32* ioDataSize, void* outData);
    virtual void DeviceSetProperty(AudioDeviceID inDeviceID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                                   Boolean inIsInput, AudioDevicePropertyID inSelector, UInt32 inDataSize,
                                   const void* inData);
    virtual void StreamGetPropertyInfo(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                                       UInt32* outSize, Boolean* outWritable);
    virtual void StreamGetProperty(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                                   UInt32* ioDataSize, void* outData);
    virtual void StreamSetProperty(AudioStreamID inStreamID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                                   AudioDevicePropertyID inSelector, UInt32 inDataSize, const void* inData);

    // The device registry, in ascending ID order.
    virtual UInt32 GetNumberDevices() const;
    // Null when inIndex is not below GetNumberDevices().
    virtual HPDevice* GetDeviceByIndex(UInt32 inIndex) const;
    virtual HPDevice* GetDeviceByAudioDeviceID(AudioDeviceID inDeviceID) const;
    // Enters the device under its object ID unless that ID is already there
    // (the first device entered stays).
    virtual void AddDevice(HPDevice* inDevice);
    // Erases the entry with the device's ID, if any.
    virtual void RemoveDevice(HPDevice* inDevice);

    // The stream registry.
    virtual HPStream* GetStreamByAudioStreamID(AudioStreamID inStreamID) const;
    virtual void AddStream(HPStream* inStream);
    virtual void RemoveStream(HPStream* inStream);

    // The reference handed to the host: a pointer to a pointer to sInterface.
    // It names this plug-in in the host services (AudioHardwareClaimAudioDeviceID,
    // AudioHardwareDevicePropertyChanged, ...).
    AudioHardwarePlugInRef GetInterface() const;

    // The plug-in that owns inInterface (a reference from GetInterface).
    static HPPlugIn* FromInterface(void* inInterface);

    // The host's interface table: a reserved null word and 18 entries.
    static const AudioHardwarePlugInInterface sInterface;

private:
    // What the host's reference points at. Its first word is the pointer to
    // the table, as the host expects; the second finds the owning object
    // again without guessing at the class layout.
    struct InterfaceReference {
        const AudioHardwarePlugInInterface* mTable;
        HPPlugIn* mOwner;
    };

    typedef std::map<AudioDeviceID, HPDevice*> DeviceMap;
    typedef std::map<AudioStreamID, HPStream*> StreamMap;

    // Throws CAException('!dev') after a line naming inOperation when the
    // device is not registered.
    HPDevice* FindDeviceOrThrow(AudioDeviceID inDeviceID, const char* inMessage) const;
    HPStream* FindStreamOrThrow(AudioStreamID inStreamID, const char* inMessage) const;

    InterfaceReference mInterface;
    CFUUIDRef mFactoryUUID;
    std::atomic<UInt32> mRefCount;
    DeviceMap mDeviceMap;
    StreamMap mStreamMap;
};
