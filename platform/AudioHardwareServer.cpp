// The host audio server's bookkeeping and the services it offers plug-ins.
//
// Object IDs come from one counter that never goes back, so an ID is never
// handed out twice in a process, not even after the plug-in that claimed it
// is gone. Notifications are recorded at once, on the caller's thread, and
// delivered to listeners by a task queued to the notification thread, so
// listeners see them in the order they were sent and never run on the
// plug-in's threads.
#include "platform/AudioHardwareServer.h"

#include "platform/HostRunLoop.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {

struct DeviceRecord {
    AudioHardwarePlugInRef mPlugIn = nullptr;
    bool mAlive = false;
};

struct StreamRecord {
    AudioHardwarePlugInRef mPlugIn = nullptr;
    AudioDeviceID mOwner = 0;
    bool mAlive = false;
};

struct HardwareListener {
    UInt64 mID;
    AudioHardwarePropertyID mSelector;
    AudioHardwarePropertyListenerProc mProc;
    void* mClientData;
};

struct DeviceListener {
    UInt64 mID;
    AudioDeviceID mDevice;
    UInt32 mChannel;
    Boolean mIsInput;
    AudioDevicePropertyID mSelector;
    AudioDevicePropertyListenerProc mProc;
    void* mClientData;
};

struct StreamListener {
    UInt64 mID;
    AudioStreamID mStream;
    UInt32 mChannel;
    AudioDevicePropertyID mSelector;
    AudioStreamPropertyListenerProc mProc;
    void* mClientData;
};

struct ServerState {
    // Guards everything below; never held while a plug-in or listener runs.
    std::mutex mMutex;
    UInt32 mNextObjectID = 1;
    UInt64 mNextListenerID = 1;
    std::map<AudioDeviceID, DeviceRecord> mDevices;  // every claimed device
    std::map<AudioStreamID, StreamRecord> mStreams;  // every claimed stream
    std::vector<AudioDeviceID> mAliveDevices;        // in announcement order
    std::vector<AudioStreamID> mAliveStreams;        // in announcement order
    std::vector<AudioHardwareServerEvent> mEvents;
    std::vector<HardwareListener> mHardwareListeners;
    std::vector<DeviceListener> mDeviceListeners;
    std::vector<StreamListener> mStreamListeners;

    // Held by the notification thread while it delivers one notification, so
    // that a removal from another thread can wait until its listener is done.
    std::mutex mDispatchMutex;
};

ServerState& State()
{
    // Never destroyed: plug-ins and tasks of the notification thread may still
    // call in while the process exits.
    static ServerState* state = new ServerState;
    return *state;
}

bool SelectorMatches(UInt32 inListened, UInt32 inSent)
{
    return inListened == inSent || inListened == kAudioPropertyWildcardPropertyID ||
           inSent == kAudioPropertyWildcardPropertyID;
}

bool ChannelMatches(UInt32 inListened, UInt32 inSent)
{
    return inListened == inSent || inListened == kAudioPropertyWildcardChannel ||
           inSent == kAudioPropertyWildcardChannel;
}

AudioHardwareServerEvent MakeEvent(AudioHardwareServerEvent::Kind inKind, AudioHardwarePlugInRef inPlugIn,
                                   AudioDeviceID inDevice, AudioStreamID inStream = 0, UInt32 inChannel = 0,
                                   Boolean inIsInput = 0, UInt32 inSelector = 0)
{
    return AudioHardwareServerEvent{inKind, inPlugIn, inDevice, inStream, inChannel, inIsInput, inSelector};
}

// Waits until the notification thread has finished the notification it is
// delivering, if any. Called after a listener was removed; on the
// notification thread itself (a listener removing a listener) it returns at
// once, since the caller is the delivery in progress.
void WaitForDelivery()
{
    if (!HostRunLoopIsNotificationThread()) {
        std::lock_guard<std::mutex> wait(State().mDispatchMutex);
    }
}

// Notification thread. Calls every listener of inListeners that inMatches
// picks, through inCall(proc, clientData). Each listener is looked up again
// right before it is called, so that one removed meanwhile is skipped and one
// re-added with new client data gets the new data.
template <typename Listener, typename Matches, typename Call>
void Deliver(std::vector<Listener> ServerState::*inListeners, Matches inMatches, Call inCall)
{
    ServerState& state = State();
    std::lock_guard<std::mutex> delivering(state.mDispatchMutex);
    std::vector<UInt64> ids;
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        for (const Listener& listener : state.*inListeners) {
            if (inMatches(listener)) {
                ids.push_back(listener.mID);
            }
        }
    }
    for (UInt64 id : ids) {
        decltype(Listener::mProc) proc = nullptr;
        void* clientData = nullptr;
        {
            std::lock_guard<std::mutex> lock(state.mMutex);
            for (const Listener& listener : state.*inListeners) {
                if (listener.mID == id) {
                    proc = listener.mProc;
                    clientData = listener.mClientData;
                }
            }
        }
        if (proc != nullptr) {
            inCall(proc, clientData);
        }
    }
}

void DeliverHardware(AudioHardwarePropertyID inSelector)
{
    Deliver(
        &ServerState::mHardwareListeners,
        [&](const HardwareListener& inListener) { return SelectorMatches(inListener.mSelector, inSelector); },
        [&](AudioHardwarePropertyListenerProc inProc, void* inClientData) { inProc(inSelector, inClientData); });
}

void DeliverDevice(AudioDeviceID inDevice, UInt32 inChannel, Boolean inIsInput, AudioDevicePropertyID inSelector)
{
    Deliver(
        &ServerState::mDeviceListeners,
        [&](const DeviceListener& inListener) {
            return inListener.mDevice == inDevice && (inListener.mIsInput != 0) == (inIsInput != 0) &&
                   ChannelMatches(inListener.mChannel, inChannel) && SelectorMatches(inListener.mSelector, inSelector);
        },
        [&](AudioDevicePropertyListenerProc inProc, void* inClientData) {
            inProc(inDevice, inChannel, inIsInput, inSelector, inClientData);
        });
}

void DeliverStream(AudioStreamID inStream, UInt32 inChannel, AudioDevicePropertyID inSelector)
{
    Deliver(
        &ServerState::mStreamListeners,
        [&](const StreamListener& inListener) {
            return inListener.mStream == inStream && ChannelMatches(inListener.mChannel, inChannel) &&
                   SelectorMatches(inListener.mSelector, inSelector);
        },
        [&](AudioStreamPropertyListenerProc inProc, void* inClientData) {
            inProc(inStream, inChannel, inSelector, inClientData);
        });
}

void PostDevicesChanged()
{
    HostRunLoopPerform([] { DeliverHardware(kAudioHardwarePropertyDevices); });
}

// Under the state lock: the stream is claimed, announced, and so is its device.
bool StreamIsAlive(const ServerState& inState, AudioStreamID inStream)
{
    auto stream = inState.mStreams.find(inStream);
    if (stream == inState.mStreams.end() || !stream->second.mAlive) {
        return false;
    }
    auto device = inState.mDevices.find(stream->second.mOwner);
    return device != inState.mDevices.end() && device->second.mAlive;
}

template <typename T>
void EraseValue(std::vector<T>& ioVector, const T& inValue)
{
    ioVector.erase(std::remove(ioVector.begin(), ioVector.end(), inValue), ioVector.end());
}

// Under the state lock: true when inIDs holds no ID twice.
bool AllDistinct(UInt32 inCount, const UInt32* inIDs)
{
    std::vector<UInt32> sorted(inIDs, inIDs + inCount);
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}

} // namespace

// Services for plug-ins. Any thread; each takes the state lock briefly and
// never calls back into the plug-in. An announcement is checked as a whole
// before any of it takes effect.

OSStatus AudioHardwareClaimAudioDeviceID(AudioHardwarePlugInRef plugIn, AudioDeviceID* outDeviceID)
{
    if (plugIn == nullptr || outDeviceID == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    AudioDeviceID device = state.mNextObjectID++;
    state.mDevices[device].mPlugIn = plugIn;
    *outDeviceID = device;
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareDevicesCreated(AudioHardwarePlugInRef plugIn, UInt32 numberDevices,
                                     const AudioDeviceID* devices)
{
    if (plugIn == nullptr || (numberDevices != 0 && devices == nullptr)) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        for (UInt32 i = 0; i < numberDevices; ++i) {
            auto found = state.mDevices.find(devices[i]);
            if (found == state.mDevices.end() || found->second.mPlugIn != plugIn) {
                return kAudioHardwareBadDeviceError;
            }
            if (found->second.mAlive) {
                return kAudioHardwareIllegalOperationError;
            }
        }
        if (!AllDistinct(numberDevices, devices)) {
            return kAudioHardwareIllegalOperationError;
        }
        for (UInt32 i = 0; i < numberDevices; ++i) {
            state.mDevices[devices[i]].mAlive = true;
            state.mAliveDevices.push_back(devices[i]);
            state.mEvents.push_back(MakeEvent(AudioHardwareServerEvent::kDevicesCreated, plugIn, devices[i]));
        }
    }
    if (numberDevices != 0) {
        PostDevicesChanged();
    }
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareDevicesDied(AudioHardwarePlugInRef plugIn, UInt32 numberDevices, const AudioDeviceID* devices)
{
    if (plugIn == nullptr || (numberDevices != 0 && devices == nullptr)) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        for (UInt32 i = 0; i < numberDevices; ++i) {
            auto found = state.mDevices.find(devices[i]);
            if (found == state.mDevices.end() || found->second.mPlugIn != plugIn || !found->second.mAlive) {
                return kAudioHardwareBadDeviceError;
            }
        }
        if (!AllDistinct(numberDevices, devices)) {
            return kAudioHardwareIllegalOperationError;
        }
        for (UInt32 i = 0; i < numberDevices; ++i) {
            state.mDevices[devices[i]].mAlive = false;
            EraseValue(state.mAliveDevices, devices[i]);
            // The device's streams go with it.
            for (auto& [stream, record] : state.mStreams) {
                if (record.mOwner == devices[i] && record.mAlive) {
                    record.mAlive = false;
                    EraseValue(state.mAliveStreams, stream);
                }
            }
            state.mEvents.push_back(MakeEvent(AudioHardwareServerEvent::kDevicesDied, plugIn, devices[i]));
        }
    }
    if (numberDevices != 0) {
        PostDevicesChanged();
    }
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareClaimAudioStreamID(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice,
                                         AudioStreamID* outStreamID)
{
    if (plugIn == nullptr || outStreamID == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    auto device = state.mDevices.find(owningDevice);
    if (device == state.mDevices.end() || device->second.mPlugIn != plugIn) {
        return kAudioHardwareBadDeviceError;
    }
    AudioStreamID stream = state.mNextObjectID++;
    state.mStreams[stream] = StreamRecord{plugIn, owningDevice, false};
    *outStreamID = stream;
    return kAudioHardwareNoError;
}

// A device announces its streams while it initializes, before the device
// itself is announced; so the device only has to be claimed.
OSStatus AudioHardwareStreamsCreated(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice, UInt32 numberStreams,
                                     const AudioStreamID* streams)
{
    if (plugIn == nullptr || (numberStreams != 0 && streams == nullptr)) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    auto device = state.mDevices.find(owningDevice);
    if (device == state.mDevices.end() || device->second.mPlugIn != plugIn) {
        return kAudioHardwareBadDeviceError;
    }
    for (UInt32 i = 0; i < numberStreams; ++i) {
        auto found = state.mStreams.find(streams[i]);
        if (found == state.mStreams.end() || found->second.mPlugIn != plugIn || found->second.mOwner != owningDevice) {
            return kAudioHardwareBadStreamError;
        }
        if (found->second.mAlive) {
            return kAudioHardwareIllegalOperationError;
        }
    }
    if (!AllDistinct(numberStreams, streams)) {
        return kAudioHardwareIllegalOperationError;
    }
    for (UInt32 i = 0; i < numberStreams; ++i) {
        state.mStreams[streams[i]].mAlive = true;
        state.mAliveStreams.push_back(streams[i]);
        state.mEvents.push_back(
            MakeEvent(AudioHardwareServerEvent::kStreamsCreated, plugIn, owningDevice, streams[i]));
    }
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareStreamsDied(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice, UInt32 numberStreams,
                                  const AudioStreamID* streams)
{
    if (plugIn == nullptr || (numberStreams != 0 && streams == nullptr)) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    auto device = state.mDevices.find(owningDevice);
    if (device == state.mDevices.end() || device->second.mPlugIn != plugIn) {
        return kAudioHardwareBadDeviceError;
    }
    for (UInt32 i = 0; i < numberStreams; ++i) {
        auto found = state.mStreams.find(streams[i]);
        if (found == state.mStreams.end() || found->second.mPlugIn != plugIn ||
            found->second.mOwner != owningDevice || !found->second.mAlive) {
            return kAudioHardwareBadStreamError;
        }
    }
    if (!AllDistinct(numberStreams, streams)) {
        return kAudioHardwareIllegalOperationError;
    }
    for (UInt32 i = 0; i < numberStreams; ++i) {
        state.mStreams[streams[i]].mAlive = false;
        EraseValue(state.mAliveStreams, streams[i]);
        state.mEvents.push_back(MakeEvent(AudioHardwareServerEvent::kStreamsDied, plugIn, owningDevice, streams[i]));
    }
    return kAudioHardwareNoError;
}

// Property changes are taken for any object ID: a device sends some while it
// initializes, before it is announced, and framework tests drive objects
// whose IDs were never claimed. Only listeners of a live object can hear them.
// May be called on any thread, the I/O thread included; it takes the state
// lock briefly and queues the delivery.
OSStatus AudioHardwareDevicePropertyChanged(AudioHardwarePlugInRef plugIn, AudioDeviceID device, UInt32 channel,
                                            Boolean isInput, AudioDevicePropertyID selector)
{
    if (plugIn == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        state.mEvents.push_back(MakeEvent(AudioHardwareServerEvent::kDevicePropertyChanged, plugIn, device, 0,
                                          channel, isInput, selector));
    }
    HostRunLoopPerform([=] { DeliverDevice(device, channel, isInput, selector); });
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareStreamPropertyChanged(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice,
                                            AudioStreamID stream, UInt32 channel, AudioDevicePropertyID selector)
{
    if (plugIn == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        state.mEvents.push_back(MakeEvent(AudioHardwareServerEvent::kStreamPropertyChanged, plugIn, owningDevice,
                                          stream, channel, 0, selector));
    }
    HostRunLoopPerform([=] { DeliverStream(stream, channel, selector); });
    return kAudioHardwareNoError;
}

// The source is serviced on the host's notification thread from now on.
OSStatus AudioHardwareAddRunLoopSource(CFRunLoopSourceRef source)
{
    if (source == nullptr || !CFRunLoopSourceIsValid(source)) {
        return kAudioHardwareIllegalOperationError;
    }
    CFRunLoopAddSource(HostGetNotificationRunLoop(), source, kCFRunLoopDefaultMode);
    return kAudioHardwareNoError;
}

// 'nope' for a source that was never added (or was removed already).
OSStatus AudioHardwareRemoveRunLoopSource(CFRunLoopSourceRef source)
{
    if (source == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    CFRunLoopRef runLoop = HostGetNotificationRunLoop();
    if (!CFRunLoopContainsSource(runLoop, source, kCFRunLoopDefaultMode)) {
        return kAudioHardwareIllegalOperationError;
    }
    CFRunLoopRemoveSource(runLoop, source, kCFRunLoopDefaultMode);
    return kAudioHardwareNoError;
}

// The record and the host's view.

std::vector<AudioHardwareServerEvent> AudioHardwareServerCopyEvents()
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    return state.mEvents;
}

void AudioHardwareServerClearEvents()
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    state.mEvents.clear();
}

std::vector<AudioDeviceID> AudioHardwareServerCopyDevices()
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    return state.mAliveDevices;
}

std::vector<AudioStreamID> AudioHardwareServerCopyStreams(AudioDeviceID inDevice)
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    std::vector<AudioStreamID> streams;
    for (AudioStreamID stream : state.mAliveStreams) {
        if (state.mStreams[stream].mOwner == inDevice && StreamIsAlive(state, stream)) {
            streams.push_back(stream);
        }
    }
    return streams;
}

AudioHardwarePlugInRef AudioHardwareServerFindDevicePlugIn(AudioDeviceID inDevice)
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    auto found = state.mDevices.find(inDevice);
    return found != state.mDevices.end() && found->second.mAlive ? found->second.mPlugIn : nullptr;
}

AudioHardwarePlugInRef AudioHardwareServerFindStreamPlugIn(AudioStreamID inStream)
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    return StreamIsAlive(state, inStream) ? state.mStreams[inStream].mPlugIn : nullptr;
}

void AudioHardwareServerForgetPlugIn(AudioHardwarePlugInRef inPlugIn)
{
    ServerState& state = State();
    bool devicesWent = false;
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        for (auto device = state.mDevices.begin(); device != state.mDevices.end();) {
            if (device->second.mPlugIn == inPlugIn) {
                if (device->second.mAlive) {
                    EraseValue(state.mAliveDevices, device->first);
                    devicesWent = true;
                }
                device = state.mDevices.erase(device);
            } else {
                ++device;
            }
        }
        for (auto stream = state.mStreams.begin(); stream != state.mStreams.end();) {
            if (stream->second.mPlugIn == inPlugIn) {
                EraseValue(state.mAliveStreams, stream->first);
                stream = state.mStreams.erase(stream);
            } else {
                ++stream;
            }
        }
    }
    if (devicesWent) {
        PostDevicesChanged();
    }
}

// Listener registration.

OSStatus AudioHardwareServerAddHardwareListener(AudioHardwarePropertyID inPropertyID,
                                                AudioHardwarePropertyListenerProc inProc, void* inClientData)
{
    if (inProc == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    for (HardwareListener& listener : state.mHardwareListeners) {
        if (listener.mSelector == inPropertyID && listener.mProc == inProc) {
            listener.mClientData = inClientData;
            return kAudioHardwareNoError;
        }
    }
    state.mHardwareListeners.push_back(HardwareListener{state.mNextListenerID++, inPropertyID, inProc, inClientData});
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareServerRemoveHardwareListener(AudioHardwarePropertyID inPropertyID,
                                                   AudioHardwarePropertyListenerProc inProc)
{
    ServerState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        auto found = std::find_if(state.mHardwareListeners.begin(), state.mHardwareListeners.end(),
                                  [&](const HardwareListener& listener) {
                                      return listener.mSelector == inPropertyID && listener.mProc == inProc;
                                  });
        if (found == state.mHardwareListeners.end()) {
            return kAudioHardwareUnknownPropertyError;
        }
        state.mHardwareListeners.erase(found);
    }
    WaitForDelivery();
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareServerAddDeviceListener(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                              AudioDevicePropertyID inPropertyID,
                                              AudioDevicePropertyListenerProc inProc, void* inClientData)
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    auto device = state.mDevices.find(inDevice);
    if (device == state.mDevices.end() || !device->second.mAlive) {
        return kAudioHardwareBadDeviceError;
    }
    if (inProc == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    for (DeviceListener& listener : state.mDeviceListeners) {
        if (listener.mDevice == inDevice && listener.mChannel == inChannel &&
            (listener.mIsInput != 0) == (isInput != 0) && listener.mSelector == inPropertyID &&
            listener.mProc == inProc) {
            listener.mClientData = inClientData;
            return kAudioHardwareNoError;
        }
    }
    state.mDeviceListeners.push_back(DeviceListener{state.mNextListenerID++, inDevice, inChannel, Boolean(isInput != 0),
                                                    inPropertyID, inProc, inClientData});
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareServerRemoveDeviceListener(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                                 AudioDevicePropertyID inPropertyID,
                                                 AudioDevicePropertyListenerProc inProc)
{
    ServerState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        auto found = std::find_if(state.mDeviceListeners.begin(), state.mDeviceListeners.end(),
                                  [&](const DeviceListener& listener) {
                                      return listener.mDevice == inDevice && listener.mChannel == inChannel &&
                                             (listener.mIsInput != 0) == (isInput != 0) &&
                                             listener.mSelector == inPropertyID && listener.mProc == inProc;
                                  });
        if (found == state.mDeviceListeners.end()) {
            return kAudioHardwareUnknownPropertyError;
        }
        state.mDeviceListeners.erase(found);
    }
    WaitForDelivery();
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareServerAddStreamListener(AudioStreamID inStream, UInt32 inChannel,
                                              AudioDevicePropertyID inPropertyID,
                                              AudioStreamPropertyListenerProc inProc, void* inClientData)
{
    ServerState& state = State();
    std::lock_guard<std::mutex> lock(state.mMutex);
    if (!StreamIsAlive(state, inStream)) {
        return kAudioHardwareBadStreamError;
    }
    if (inProc == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    for (StreamListener& listener : state.mStreamListeners) {
        if (listener.mStream == inStream && listener.mChannel == inChannel && listener.mSelector == inPropertyID &&
            listener.mProc == inProc) {
            listener.mClientData = inClientData;
            return kAudioHardwareNoError;
        }
    }
    state.mStreamListeners.push_back(
        StreamListener{state.mNextListenerID++, inStream, inChannel, inPropertyID, inProc, inClientData});
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareServerRemoveStreamListener(AudioStreamID inStream, UInt32 inChannel,
                                                 AudioDevicePropertyID inPropertyID,
                                                 AudioStreamPropertyListenerProc inProc)
{
    ServerState& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mMutex);
        auto found = std::find_if(state.mStreamListeners.begin(), state.mStreamListeners.end(),
                                  [&](const StreamListener& listener) {
                                      return listener.mStream == inStream && listener.mChannel == inChannel &&
                                             listener.mSelector == inPropertyID && listener.mProc == inProc;
                                  });
        if (found == state.mStreamListeners.end()) {
            return kAudioHardwareUnknownPropertyError;
        }
        state.mStreamListeners.erase(found);
    }
    WaitForDelivery();
    return kAudioHardwareNoError;
}
