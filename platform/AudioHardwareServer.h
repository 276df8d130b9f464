// The host audio server: the process-wide bookkeeping behind the services a
// plug-in calls (platform/AudioHardware.h) and the client API of the host
// (platform/AudioHardwareHost.h). It hands out object IDs, keeps the devices
// and streams that plug-ins announced, records every announcement and
// property-change notification, and dispatches notifications to the property
// listeners that host clients registered.
//
// Threads: every operation may be called from any thread. The state is kept
// under one private mutex that is never held while a plug-in or a listener
// runs. Listeners run on the host's notification thread (HostRunLoop.h), in
// the order the notifications were sent.
#pragma once

#include <vector>

#include "platform/AudioHardware.h"

// Listener procs of host clients. They run on the host's notification thread
// and may call the client API; their status is ignored.
typedef OSStatus (*AudioHardwarePropertyListenerProc)(AudioHardwarePropertyID inPropertyID, void* inClientData);
typedef OSStatus (*AudioDevicePropertyListenerProc)(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                                    AudioDevicePropertyID inPropertyID, void* inClientData);
typedef OSStatus (*AudioStreamPropertyListenerProc)(AudioStreamID inStream, UInt32 inChannel,
                                                    AudioDevicePropertyID inPropertyID, void* inClientData);

// One entry of the server's record, in the order the calls arrived.
struct AudioHardwareServerEvent {
    enum Kind : UInt32 {
        kDevicesCreated = FourCC("dcre"),
        kDevicesDied = FourCC("ddie"),
        kStreamsCreated = FourCC("scre"),
        kStreamsDied = FourCC("sdie"),
        kDevicePropertyChanged = FourCC("dprp"),
        kStreamPropertyChanged = FourCC("sprp"),
    };
    Kind mKind;
    AudioHardwarePlugInRef mPlugIn;
    AudioDeviceID mDevice;    // the device, or the owning device of a stream
    AudioStreamID mStream;    // 0 for device events
    UInt32 mChannel;          // property changes only
    Boolean mIsInput;         // device property changes only
    UInt32 mSelector;         // property changes only
};

// The server's record (a copy) and its reset. Meant for tests.
PLATFORM_EXPORT std::vector<AudioHardwareServerEvent> AudioHardwareServerCopyEvents();
PLATFORM_EXPORT void AudioHardwareServerClearEvents();

// The host's view of the announced objects. Any thread.
// Devices alive (created and not died), in the order they were announced.
PLATFORM_EXPORT std::vector<AudioDeviceID> AudioHardwareServerCopyDevices();
// Streams alive of a device, in the order they were announced.
PLATFORM_EXPORT std::vector<AudioStreamID> AudioHardwareServerCopyStreams(AudioDeviceID inDevice);
// The plug-in that announced the device (or the stream's owning device), or
// null when the object is not alive.
PLATFORM_EXPORT AudioHardwarePlugInRef AudioHardwareServerFindDevicePlugIn(AudioDeviceID inDevice);
PLATFORM_EXPORT AudioHardwarePlugInRef AudioHardwareServerFindStreamPlugIn(AudioStreamID inStream);
// Drops every claim, device and stream of the plug-in, telling 'dev#'
// listeners if a device went. Called by the host when it unloads a plug-in.
PLATFORM_EXPORT void AudioHardwareServerForgetPlugIn(AudioHardwarePlugInRef inPlugIn);

// Listener registration. Adding checks that the object is alive ('!dev' or
// '!str') and that the proc is not null ('nope'); the same (object, channel,
// section, selector, proc) added twice is kept once, with the newer client
// data. A channel of kAudioPropertyWildcardChannel or a selector of
// kAudioPropertyWildcardPropertyID matches every notification. Removing takes
// the same (object, channel, section, selector, proc) and returns 'who?' if
// no such listener is registered; once it returns, the listener is not
// running and will not run again (unless removed from inside a listener,
// where the current call of course completes).
PLATFORM_EXPORT OSStatus AudioHardwareServerAddHardwareListener(AudioHardwarePropertyID inPropertyID,
                                                                AudioHardwarePropertyListenerProc inProc,
                                                                void* inClientData);
PLATFORM_EXPORT OSStatus AudioHardwareServerRemoveHardwareListener(AudioHardwarePropertyID inPropertyID,
                                                                   AudioHardwarePropertyListenerProc inProc);
PLATFORM_EXPORT OSStatus AudioHardwareServerAddDeviceListener(AudioDeviceID inDevice, UInt32 inChannel,
                                                              Boolean isInput, AudioDevicePropertyID inPropertyID,
                                                              AudioDevicePropertyListenerProc inProc,
                                                              void* inClientData);
PLATFORM_EXPORT OSStatus AudioHardwareServerRemoveDeviceListener(AudioDeviceID inDevice, UInt32 inChannel,
                                                                 Boolean isInput, AudioDevicePropertyID inPropertyID,
                                                                 AudioDevicePropertyListenerProc inProc);
PLATFORM_EXPORT OSStatus AudioHardwareServerAddStreamListener(AudioStreamID inStream, UInt32 inChannel,
                                                              AudioDevicePropertyID inPropertyID,
                                                              AudioStreamPropertyListenerProc inProc,
                                                              void* inClientData);
PLATFORM_EXPORT OSStatus AudioHardwareServerRemoveStreamListener(AudioStreamID inStream, UInt32 inChannel,
                                                                 AudioDevicePropertyID inPropertyID,
                                                                 AudioStreamPropertyListenerProc inProc);
