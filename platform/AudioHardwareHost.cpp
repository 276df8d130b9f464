// The host: loads one plug-in bundle and offers the client API over its
// interface table. Device and stream IDs are checked against what the
// plug-in announced to the server before anything reaches the plug-in.
#include "platform/AudioHardwareHost.h"

#include "platform/HostRunLoop.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

struct LoadedBundle {
    std::mutex mMutex;  // guards the two members; never held while the plug-in runs
    void* mLibrary = nullptr;
    AudioHardwarePlugInRef mPlugIn = nullptr;
};

LoadedBundle& Bundle()
{
    static LoadedBundle* bundle = new LoadedBundle;  // never destroyed: clients may call at exit
    return *bundle;
}

// The table's IUnknown entries take the reference as a plain pointer.
ULONG ReleasePlugIn(AudioHardwarePlugInRef inPlugIn) { return (*inPlugIn)->Release(inPlugIn); }

// Reports a load that failed before Initialize and closes the library.
void FailLoad(void* inLibrary, const char* inWhat, const char* inPath, OSStatus* outStatus)
{
    std::fprintf(stderr, "AudioHardwareHostLoadPlugIn: %s (%s)\n", inWhat, inPath);
    if (inLibrary != nullptr) {
        dlclose(inLibrary);
    }
    if (outStatus != nullptr) {
        *outStatus = kAudioHardwareUnspecifiedError;
    }
}

bool InterfaceIs(AudioHardwarePlugInRef inPlugIn, CFUUIDRef inInterfaceID, AudioHardwarePlugInRef* outRef)
{
    void* result = nullptr;
    HRESULT status = (*inPlugIn)->QueryInterface(inPlugIn, CFUUIDGetUUIDBytes(inInterfaceID), &result);
    *outRef = static_cast<AudioHardwarePlugInRef>(result);
    return status == S_OK && result != nullptr;
}

} // namespace

// Loading and unloading. Called on one host thread, not at the same time as
// other calls into the plug-in.

AudioHardwarePlugInRef AudioHardwareHostLoadPlugIn(const char* inPath, OSStatus* outStatus)
{
    LoadedBundle& bundle = Bundle();
    if (inPath == nullptr) {
        std::fprintf(stderr, "AudioHardwareHostLoadPlugIn: the path can't be NULL\n");
        if (outStatus != nullptr) {
            *outStatus = kAudioHardwareIllegalOperationError;
        }
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(bundle.mMutex);
        if (bundle.mPlugIn != nullptr) {
            std::fprintf(stderr, "AudioHardwareHostLoadPlugIn: a plug-in is already loaded (%s)\n", inPath);
            if (outStatus != nullptr) {
                *outStatus = kAudioHardwareIllegalOperationError;
            }
            return nullptr;
        }
    }

    void* library = dlopen(inPath, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        FailLoad(nullptr, reason != nullptr ? reason : "dlopen failed", inPath, outStatus);
        return nullptr;
    }
    CFPlugInFactoryFunction factory = reinterpret_cast<CFPlugInFactoryFunction>(dlsym(library, "NewPlugIn"));
    if (factory == nullptr) {
        FailLoad(library, "the bundle has no NewPlugIn", inPath, outStatus);
        return nullptr;
    }
    AudioHardwarePlugInRef created = static_cast<AudioHardwarePlugInRef>(factory(nullptr, kAudioHardwarePlugInTypeID));
    if (created == nullptr) {
        FailLoad(library, "NewPlugIn refused the audio hardware plug-in type", inPath, outStatus);
        return nullptr;
    }
    AudioHardwarePlugInRef plugIn = nullptr;
    if (!InterfaceIs(created, kAudioHardwarePlugInInterfaceID, &plugIn)) {
        ReleasePlugIn(created);
        FailLoad(library, "the plug-in has no audio hardware plug-in interface", inPath, outStatus);
        return nullptr;
    }
    // The interface's reference is the one the host keeps.
    ReleasePlugIn(created);

    {
        std::lock_guard<std::mutex> lock(bundle.mMutex);
        bundle.mLibrary = library;
        bundle.mPlugIn = plugIn;
    }
    OSStatus status = (*plugIn)->Initialize(plugIn);
    if (outStatus != nullptr) {
        *outStatus = status;
    }
    return plugIn;
}

OSStatus AudioHardwareHostUnloadPlugIn()
{
    LoadedBundle& bundle = Bundle();
    void* library = nullptr;
    AudioHardwarePlugInRef plugIn = nullptr;
    {
        std::lock_guard<std::mutex> lock(bundle.mMutex);
        library = bundle.mLibrary;
        plugIn = bundle.mPlugIn;
        bundle.mLibrary = nullptr;
        bundle.mPlugIn = nullptr;
    }
    if (plugIn == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    OSStatus status = (*plugIn)->Teardown(plugIn);
    // Stop messages and other work the plug-in queued to the notification
    // thread must run before its code goes away.
    HostRunLoopFlush();
    AudioHardwareServerForgetPlugIn(plugIn);
    ULONG remaining = ReleasePlugIn(plugIn);
    if (remaining != 0) {
        std::fprintf(stderr,
                     "AudioHardwareHostUnloadPlugIn: the plug-in still has %u references; the bundle stays loaded\n",
                     unsigned(remaining));
        return kAudioHardwareIllegalOperationError;
    }
    HostRunLoopFlush();
    dlclose(library);
    return status;
}

AudioHardwarePlugInRef AudioHardwareHostGetPlugIn()
{
    LoadedBundle& bundle = Bundle();
    std::lock_guard<std::mutex> lock(bundle.mMutex);
    return bundle.mPlugIn;
}

// The hardware as a whole. Any client thread.

OSStatus AudioHardwareGetPropertyInfo(AudioHardwarePropertyID inPropertyID, UInt32* outSize, Boolean* outWritable)
{
    if (inPropertyID != kAudioHardwarePropertyDevices) {
        return kAudioHardwareUnknownPropertyError;
    }
    if (outSize != nullptr) {
        *outSize = UInt32(AudioHardwareServerCopyDevices().size() * sizeof(AudioDeviceID));
    }
    if (outWritable != nullptr) {
        *outWritable = 0;
    }
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareGetProperty(AudioHardwarePropertyID inPropertyID, UInt32* ioDataSize, void* outData)
{
    if (inPropertyID != kAudioHardwarePropertyDevices) {
        return kAudioHardwareUnknownPropertyError;
    }
    if (ioDataSize == nullptr || (*ioDataSize != 0 && outData == nullptr)) {
        return kAudioHardwareIllegalOperationError;
    }
    std::vector<AudioDeviceID> devices = AudioHardwareServerCopyDevices();
    size_t count = std::min<size_t>(devices.size(), *ioDataSize / sizeof(AudioDeviceID));
    if (count != 0) {
        std::memcpy(outData, devices.data(), count * sizeof(AudioDeviceID));
    }
    *ioDataSize = UInt32(count * sizeof(AudioDeviceID));
    return kAudioHardwareNoError;
}

OSStatus AudioHardwareAddPropertyListener(AudioHardwarePropertyID inPropertyID,
                                          AudioHardwarePropertyListenerProc inProc, void* inClientData)
{
    return AudioHardwareServerAddHardwareListener(inPropertyID, inProc, inClientData);
}

OSStatus AudioHardwareRemovePropertyListener(AudioHardwarePropertyID inPropertyID,
                                             AudioHardwarePropertyListenerProc inProc)
{
    return AudioHardwareServerRemoveHardwareListener(inPropertyID, inProc);
}

// Devices. Any client thread; each call blocks for as long as the plug-in
// takes.

#define KESTRO_DEVICE_PLUGIN(device)                                               \
    AudioHardwarePlugInRef plugIn = AudioHardwareServerFindDevicePlugIn(device); \
    if (plugIn == nullptr) {                                                      \
        return kAudioHardwareBadDeviceError;                                      \
    }

#define KESTRO_STREAM_PLUGIN(stream)                                               \
    AudioHardwarePlugInRef plugIn = AudioHardwareServerFindStreamPlugIn(stream); \
    if (plugIn == nullptr) {                                                      \
        return kAudioHardwareBadStreamError;                                      \
    }

OSStatus AudioDeviceAddIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceAddIOProc(plugIn, inDevice, inProc, inClientData);
}

OSStatus AudioDeviceRemoveIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceRemoveIOProc(plugIn, inDevice, inProc);
}

OSStatus AudioDeviceStart(AudioDeviceID inDevice, AudioDeviceIOProc inProc)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceStart(plugIn, inDevice, inProc);
}

OSStatus AudioDeviceStop(AudioDeviceID inDevice, AudioDeviceIOProc inProc)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceStop(plugIn, inDevice, inProc);
}

OSStatus AudioDeviceRead(AudioDeviceID inDevice, const AudioTimeStamp* inStartTime, AudioBufferList* outData)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceRead(plugIn, inDevice, inStartTime, outData);
}

OSStatus AudioDeviceGetCurrentTime(AudioDeviceID inDevice, AudioTimeStamp* outTime)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceGetCurrentTime(plugIn, inDevice, outTime);
}

OSStatus AudioDeviceTranslateTime(AudioDeviceID inDevice, const AudioTimeStamp* inTime, AudioTimeStamp* outTime)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceTranslateTime(plugIn, inDevice, inTime, outTime);
}

OSStatus AudioDeviceGetPropertyInfo(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                    AudioDevicePropertyID inPropertyID, UInt32* outSize, Boolean* outWritable)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceGetPropertyInfo(plugIn, inDevice, inChannel, isInput, inPropertyID, outSize,
                                            outWritable);
}

OSStatus AudioDeviceGetProperty(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                AudioDevicePropertyID inPropertyID, UInt32* ioPropertyDataSize, void* outPropertyData)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceGetProperty(plugIn, inDevice, inChannel, isInput, inPropertyID, ioPropertyDataSize,
                                        outPropertyData);
}

OSStatus AudioDeviceSetProperty(AudioDeviceID inDevice, const AudioTimeStamp* inWhen, UInt32 inChannel,
                                Boolean isInput, AudioDevicePropertyID inPropertyID, UInt32 inPropertyDataSize,
                                const void* inPropertyData)
{
    KESTRO_DEVICE_PLUGIN(inDevice)
    return (*plugIn)->DeviceSetProperty(plugIn, inDevice, inWhen, inChannel, isInput, inPropertyID,
                                        inPropertyDataSize, inPropertyData);
}

OSStatus AudioDeviceAddPropertyListener(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                        AudioDevicePropertyID inPropertyID, AudioDevicePropertyListenerProc inProc,
                                        void* inClientData)
{
    return AudioHardwareServerAddDeviceListener(inDevice, inChannel, isInput, inPropertyID, inProc, inClientData);
}

OSStatus AudioDeviceRemovePropertyListener(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                           AudioDevicePropertyID inPropertyID, AudioDevicePropertyListenerProc inProc)
{
    return AudioHardwareServerRemoveDeviceListener(inDevice, inChannel, isInput, inPropertyID, inProc);
}

// Streams. Any client thread.

OSStatus AudioStreamGetPropertyInfo(AudioStreamID inStream, UInt32 inChannel, AudioDevicePropertyID inPropertyID,
                                    UInt32* outSize, Boolean* outWritable)
{
    KESTRO_STREAM_PLUGIN(inStream)
    return (*plugIn)->StreamGetPropertyInfo(plugIn, inStream, inChannel, inPropertyID, outSize, outWritable);
}

OSStatus AudioStreamGetProperty(AudioStreamID inStream, UInt32 inChannel, AudioDevicePropertyID inPropertyID,
                                UInt32* ioPropertyDataSize, void* outPropertyData)
{
    KESTRO_STREAM_PLUGIN(inStream)
    return (*plugIn)->StreamGetProperty(plugIn, inStream, inChannel, inPropertyID, ioPropertyDataSize,
                                        outPropertyData);
}

OSStatus AudioStreamSetProperty(AudioStreamID inStream, const AudioTimeStamp* inWhen, UInt32 inChannel,
                                AudioDevicePropertyID inPropertyID, UInt32 inPropertyDataSize,
                                const void* inPropertyData)
{
    KESTRO_STREAM_PLUGIN(inStream)
    return (*plugIn)->StreamSetProperty(plugIn, inStream, inWhen, inChannel, inPropertyID, inPropertyDataSize,
                                        inPropertyData);
}

OSStatus AudioStreamAddPropertyListener(AudioStreamID inStream, UInt32 inChannel, AudioDevicePropertyID inPropertyID,
                                        AudioStreamPropertyListenerProc inProc, void* inClientData)
{
    return AudioHardwareServerAddStreamListener(inStream, inChannel, inPropertyID, inProc, inClientData);
}

OSStatus AudioStreamRemovePropertyListener(AudioStreamID inStream, UInt32 inChannel,
                                           AudioDevicePropertyID inPropertyID, AudioStreamPropertyListenerProc inProc)
{
    return AudioHardwareServerRemoveStreamListener(inStream, inChannel, inPropertyID, inProc);
}
