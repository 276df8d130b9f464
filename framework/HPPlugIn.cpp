#include "framework/HPPlugIn.h"

#include <iterator>

#include "framework/HPDevice.h"
#include "framework/HPStream.h"
#include "support/CAException.h"

namespace {

// The section of a device request is the host's is-input flag; a stream
// request always uses section 0.
HPPropertyAddress DeviceAddress(AudioDevicePropertyID inSelector, UInt32 inChannel, Boolean inIsInput)
{
    return HPPropertyAddress(inSelector, inChannel, UInt8(inIsInput));
}

HPPropertyAddress StreamAddress(AudioDevicePropertyID inSelector, UInt32 inChannel)
{
    return HPPropertyAddress(inSelector, inChannel, 0);
}

// Runs one forwarded call and turns whatever escapes it into the host's
// status: a CAException gives its own, anything else 'what'.
template <typename Call>
OSStatus Guarded(Call inCall)
{
    try {
        inCall();
        return kAudioHardwareNoError;
    } catch (const CAException& exception) {
        return exception.GetError();
    } catch (...) {
        return kAudioHardwareUnspecifiedError;
    }
}

HPPlugIn* PlugInOf(AudioHardwarePlugInRef inRef) { return HPPlugIn::FromInterface(inRef); }

// The table entries. Host threads; each returns to the host only a status
// (or a count), never an exception.

HRESULT TableQueryInterface(void* inSelf, REFIID inIID, LPVOID* outInterface)
{
    if (outInterface == nullptr) {
        return E_NOINTERFACE;
    }
    *outInterface = nullptr;
    try {
        CFUUIDRef requested = CFUUIDCreateFromUUIDBytes(nullptr, inIID);
        bool known = CFEqual(requested, kAudioHardwarePlugInInterfaceID) || CFEqual(requested, IUnknownUUID);
        CFRelease(requested);
        if (!known) {
            return E_NOINTERFACE;
        }
        HPPlugIn* plugIn = HPPlugIn::FromInterface(inSelf);
        plugIn->Retain();
        *outInterface = plugIn->GetInterface();
        return S_OK;
    } catch (...) {
        return E_NOINTERFACE;
    }
}

ULONG TableAddRef(void* inSelf)
{
    try {
        return HPPlugIn::FromInterface(inSelf)->Retain();
    } catch (...) {
        return 0;
    }
}

ULONG TableRelease(void* inSelf)
{
    try {
        return HPPlugIn::FromInterface(inSelf)->Release();
    } catch (...) {
        return 0;
    }
}

OSStatus TableInitialize(AudioHardwarePlugInRef inSelf)
{
    return Guarded([&] { PlugInOf(inSelf)->Initialize(); });
}

OSStatus TableTeardown(AudioHardwarePlugInRef inSelf)
{
    return Guarded([&] { PlugInOf(inSelf)->Teardown(); });
}

OSStatus TableDeviceAddIOProc(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, AudioDeviceIOProc inProc,
                              void* inClientData)
{
    return Guarded([&] { PlugInOf(inSelf)->DeviceAddIOProc(inDevice, inProc, inClientData); });
}

OSStatus TableDeviceRemoveIOProc(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, AudioDeviceIOProc inProc)
{
    return Guarded([&] { PlugInOf(inSelf)->DeviceRemoveIOProc(inDevice, inProc); });
}

OSStatus TableDeviceStart(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, AudioDeviceIOProc inProc)
{
    return Guarded([&] { PlugInOf(inSelf)->DeviceStartIOProc(inDevice, inProc); });
}

OSStatus TableDeviceStop(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, AudioDeviceIOProc inProc)
{
    return Guarded([&] { PlugInOf(inSelf)->DeviceStopIOProc(inDevice, inProc); });
}

OSStatus TableDeviceRead(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, const AudioTimeStamp* inStartTime,
                         AudioBufferList* outData)
{
    return Guarded([&] { PlugInOf(inSelf)->DeviceRead(inDevice, inStartTime, outData); });
}

OSStatus TableDeviceGetCurrentTime(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, AudioTimeStamp* outTime)
{
    return Guarded([&] { PlugInOf(inSelf)->DeviceGetCurrentTime(inDevice, outTime); });
}

OSStatus TableDeviceTranslateTime(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, const AudioTimeStamp* inTime,
                                  AudioTimeStamp* outTime)
{
    return Guarded([&] { PlugInOf(inSelf)->DeviceTranslateTime(inDevice, inTime, outTime); });
}

OSStatus TableDeviceGetPropertyInfo(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, UInt32 inChannel,
                                    Boolean inIsInput, AudioDevicePropertyID inSelector, UInt32* outSize,
                                    Boolean* outWritable)
{
    return Guarded([&] {
        PlugInOf(inSelf)->DeviceGetPropertyInfo(inDevice, inChannel, inIsInput, inSelector, outSize, outWritable);
    });
}

// 'sfm#' that nothing answers is an illegal request rather than an unknown
// property: the device always claims it, so 'who?' would contradict
// HasProperty.
OSStatus TableDeviceGetProperty(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, UInt32 inChannel,
                                Boolean inIsInput, AudioDevicePropertyID inSelector, UInt32* ioDataSize,
                                void* outData)
{
    OSStatus status = Guarded([&] {
        PlugInOf(inSelf)->DeviceGetProperty(inDevice, inChannel, inIsInput, inSelector, ioDataSize, outData);
    });
    if (status == kAudioHardwareUnknownPropertyError && inSelector == kAudioDevicePropertyStreamFormats) {
        status = kAudioHardwareIllegalOperationError;
    }
    return status;
}

OSStatus TableDeviceSetProperty(AudioHardwarePlugInRef inSelf, AudioDeviceID inDevice, const AudioTimeStamp* inWhen,
                                UInt32 inChannel, Boolean inIsInput, AudioDevicePropertyID inSelector,
                                UInt32 inDataSize, const void* inData)
{
    return Guarded([&] {
        PlugInOf(inSelf)->DeviceSetProperty(inDevice, inWhen, inChannel, inIsInput, inSelector, inDataSize, inData);
    });
}

OSStatus TableStreamGetPropertyInfo(AudioHardwarePlugInRef inSelf, AudioStreamID inStream, UInt32 inChannel,
                                    AudioDevicePropertyID inSelector, UInt32* outSize, Boolean* outWritable)
{
    return Guarded(
        [&] { PlugInOf(inSelf)->StreamGetPropertyInfo(inStream, inChannel, inSelector, outSize, outWritable); });
}

OSStatus TableStreamGetProperty(AudioHardwarePlugInRef inSelf, AudioStreamID inStream, UInt32 inChannel,
                                AudioDevicePropertyID inSelector, UInt32* ioDataSize, void* outData)
{
    return Guarded(
        [&] { PlugInOf(inSelf)->StreamGetProperty(inStream, inChannel, inSelector, ioDataSize, outData); });
}

OSStatus TableStreamSetProperty(AudioHardwarePlugInRef inSelf, AudioStreamID inStream, const AudioTimeStamp* inWhen,
                                UInt32 inChannel, AudioDevicePropertyID inSelector, UInt32 inDataSize,
                                const void* inData)
{
    return Guarded([&] {
        PlugInOf(inSelf)->StreamSetProperty(inStream, inWhen, inChannel, inSelector, inDataSize, inData);
    });
}

} // namespace

const AudioHardwarePlugInInterface HPPlugIn::sInterface = {
    nullptr,
    TableQueryInterface,
    TableAddRef,
    TableRelease,
    TableInitialize,
    TableTeardown,
    TableDeviceAddIOProc,
    TableDeviceRemoveIOProc,
    TableDeviceStart,
    TableDeviceStop,
    TableDeviceRead,
    TableDeviceGetCurrentTime,
    TableDeviceTranslateTime,
    TableDeviceGetPropertyInfo,
    TableDeviceGetProperty,
    TableDeviceSetProperty,
    TableStreamGetPropertyInfo,
    TableStreamGetProperty,
    TableStreamSetProperty,
};

HPPlugIn::HPPlugIn(CFUUIDRef inFactoryUUID)
    : mInterface{&sInterface, this},
      mFactoryUUID(static_cast<CFUUIDRef>(CFRetain(inFactoryUUID))),
      mRefCount(0),
      mDeviceMap(),
      mStreamMap()
{
    CFPlugInAddInstanceForFactory(mFactoryUUID);
}

HPPlugIn::~HPPlugIn()
{
    CFPlugInRemoveInstanceForFactory(mFactoryUUID);
    mDeviceMap.clear();
    mStreamMap.clear();
    CFRelease(mFactoryUUID);
}

void HPPlugIn::Initialize() {}

void HPPlugIn::Teardown() {}

UInt32 HPPlugIn::Retain() { return mRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }

// The decrement that reaches 0 must see every write of the other holders
// before the object goes, hence acquire-release.
UInt32 HPPlugIn::Release()
{
    UInt32 previous = mRefCount.fetch_sub(1, std::memory_order_acq_rel);
    if (previous == 1) {
        delete this;
    }
    return previous - 1;
}

HPDevice* HPPlugIn::FindDeviceOrThrow(AudioDeviceID inDeviceID, const char* inMessage) const
{
    HPDevice* device = GetDeviceByAudioDeviceID(inDeviceID);
    if (device == nullptr) {
        CAThrowWithMessage(inMessage, kAudioHardwareBadDeviceError);
    }
    return device;
}

HPStream* HPPlugIn::FindStreamOrThrow(AudioStreamID inStreamID, const char* inMessage) const
{
    HPStream* stream = GetStreamByAudioStreamID(inStreamID);
    if (stream == nullptr) {
        CAThrowWithMessage(inMessage, kAudioHardwareBadStreamError);
    }
    return stream;
}

void HPPlugIn::DeviceAddIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc, void* inClientData)
{
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceAddIOProc: unknown device");
    device->DoAddIOProc(inProc, inClientData);
}

void HPPlugIn::DeviceRemoveIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc)
{
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceRemoveIOProc: unknown device");
    device->DoRemoveIOProc(inProc);
}

void HPPlugIn::DeviceStartIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc)
{
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceStartIOProc: unknown device");
    device->DoStartIOProc(inProc);
}

void HPPlugIn::DeviceStopIOProc(AudioDeviceID inDeviceID, AudioDeviceIOProc inProc)
{
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceStopIOProc: unknown device");
    device->DoStopIOProc(inProc);
}

void HPPlugIn::DeviceRead(AudioDeviceID inDeviceID, const AudioTimeStamp* inStartTime, AudioBufferList* outData)
{
    if (inStartTime == nullptr) {
        CAThrowWithMessage("HPPlugIn::DeviceRead: start time can't be NULL", kAudioHardwareIllegalOperationError);
    }
    if (outData == nullptr) {
        CAThrowWithMessage("HPPlugIn::DeviceRead: output buffer can't be NULL", kAudioHardwareIllegalOperationError);
    }
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceRead: unknown device");
    device->Read(*inStartTime, outData);
}

void HPPlugIn::DeviceGetCurrentTime(AudioDeviceID inDeviceID, AudioTimeStamp* outTime)
{
    if (outTime == nullptr) {
        CAThrowWithMessage("HPPlugIn::DeviceGetCurrentTime: output time stamp can't be NULL",
                           kAudioHardwareIllegalOperationError);
    }
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceGetCurrentTime: unknown device");
    device->GetCurrentTime(*outTime);
}

void HPPlugIn::DeviceTranslateTime(AudioDeviceID inDeviceID, const AudioTimeStamp* inTime, AudioTimeStamp* outTime)
{
    if (inTime == nullptr) {
        CAThrowWithMessage("HPPlugIn::DeviceTranslateTime: input time stamp can't be NULL",
                           kAudioHardwareIllegalOperationError);
    }
    if (outTime == nullptr) {
        CAThrowWithMessage("HPPlugIn::DeviceTranslateTime: output time stamp can't be NULL",
                           kAudioHardwareIllegalOperationError);
    }
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceTranslateTime: unknown device");
    device->TranslateTime(*inTime, *outTime);
}

void HPPlugIn::DeviceGetPropertyInfo(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                                     AudioDevicePropertyID inSelector, UInt32* outSize, Boolean* outWritable)
{
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceGetPropertyInfo: unknown device");
    HPPropertyAddress address = DeviceAddress(inSelector, inChannel, inIsInput);
    if (!device->HasProperty(address)) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    if (outSize != nullptr) {
        *outSize = device->GetPropertyDataSize(address);
    }
    if (outWritable != nullptr) {
        *outWritable = device->PropertyIsSettable(address) ? 1 : 0;
    }
}

// A null data pointer with room claimed for data would let the device write
// through it; it is refused before the device is looked up.
void HPPlugIn::DeviceGetProperty(AudioDeviceID inDeviceID, UInt32 inChannel, Boolean inIsInput,
                                 AudioDevicePropertyID inSelector, UInt32* ioDataSize, void* outData)
{
    if (ioDataSize == nullptr) {
        CAThrowWithMessage("HPPlugIn::DeviceGetProperty: the data size can't be NULL",
                           kAudioHardwareIllegalOperationError);
    }
    if (outData == nullptr && *ioDataSize != 0) {
        CAThrowWithMessage("HPPlugIn::DeviceGetProperty: the data can't be NULL", kAudioHardwareIllegalOperationError);
    }
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceGetProperty: unknown device");
    device->GetPropertyData(DeviceAddress(inSelector, inChannel, inIsInput), *ioDataSize, outData);
}

void HPPlugIn::DeviceSetProperty(AudioDeviceID inDeviceID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                                 Boolean inIsInput, AudioDevicePropertyID inSelector, UInt32 inDataSize,
                                 const void* inData)
{
    if (inData == nullptr && inDataSize != 0) {
        CAThrowWithMessage("HPPlugIn::DeviceSetProperty: the data can't be NULL", kAudioHardwareIllegalOperationError);
    }
    HPDevice* device = FindDeviceOrThrow(inDeviceID, "HPPlugIn::DeviceSetProperty: unknown device");
    device->SetPropertyData(DeviceAddress(inSelector, inChannel, inIsInput), inDataSize, inData, inWhen);
}

void HPPlugIn::StreamGetPropertyInfo(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                                     UInt32* outSize, Boolean* outWritable)
{
    HPStream* stream = FindStreamOrThrow(inStreamID, "HPPlugIn::StreamGetPropertyInfo: unknown stream");
    HPPropertyAddress address = StreamAddress(inSelector, inChannel);
    if (!stream->HasProperty(address)) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    if (outSize != nullptr) {
        *outSize = stream->GetPropertyDataSize(address);
    }
    if (outWritable != nullptr) {
        *outWritable = stream->PropertyIsSettable(address) ? 1 : 0;
    }
}

void HPPlugIn::StreamGetProperty(AudioStreamID inStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector,
                                 UInt32* ioDataSize, void* outData)
{
    if (ioDataSize == nullptr) {
        CAThrowWithMessage("HPPlugIn::StreamGetProperty: the data size can't be NULL",
                           kAudioHardwareIllegalOperationError);
    }
    if (outData == nullptr && *ioDataSize != 0) {
        CAThrowWithMessage("HPPlugIn::StreamGetProperty: the data can't be NULL", kAudioHardwareIllegalOperationError);
    }
    HPStream* stream = FindStreamOrThrow(inStreamID, "HPPlugIn::StreamGetProperty: unknown stream");
    stream->GetPropertyData(StreamAddress(inSelector, inChannel), *ioDataSize, outData);
}

void HPPlugIn::StreamSetProperty(AudioStreamID inStreamID, const AudioTimeStamp* inWhen, UInt32 inChannel,
                                 AudioDevicePropertyID inSelector, UInt32 inDataSize, const void* inData)
{
    if (inData == nullptr && inDataSize != 0) {
        CAThrowWithMessage("HPPlugIn::StreamSetProperty: the data can't be NULL", kAudioHardwareIllegalOperationError);
    }
    HPStream* stream = FindStreamOrThrow(inStreamID, "HPPlugIn::StreamSetProperty: unknown stream");
    stream->SetPropertyData(StreamAddress(inSelector, inChannel), inDataSize, inData, inWhen);
}

UInt32 HPPlugIn::GetNumberDevices() const { return UInt32(mDeviceMap.size()); }

HPDevice* HPPlugIn::GetDeviceByIndex(UInt32 inIndex) const
{
    if (inIndex >= mDeviceMap.size()) {
        return nullptr;
    }
    auto entry = mDeviceMap.begin();
    std::advance(entry, inIndex);
    return entry->second;
}

HPDevice* HPPlugIn::GetDeviceByAudioDeviceID(AudioDeviceID inDeviceID) const
{
    auto found = mDeviceMap.find(inDeviceID);
    return found != mDeviceMap.end() ? found->second : nullptr;
}

void HPPlugIn::AddDevice(HPDevice* inDevice) { mDeviceMap.emplace(inDevice->GetObjectID(), inDevice); }

void HPPlugIn::RemoveDevice(HPDevice* inDevice) { mDeviceMap.erase(inDevice->GetObjectID()); }

HPStream* HPPlugIn::GetStreamByAudioStreamID(AudioStreamID inStreamID) const
{
    auto found = mStreamMap.find(inStreamID);
    return found != mStreamMap.end() ? found->second : nullptr;
}

void HPPlugIn::AddStream(HPStream* inStream) { mStreamMap.emplace(inStream->GetObjectID(), inStream); }

void HPPlugIn::RemoveStream(HPStream* inStream) { mStreamMap.erase(inStream->GetObjectID()); }

AudioHardwarePlugInRef HPPlugIn::GetInterface() const
{
    // The host's reference type is not const-qualified; the table it points
    // to is never written through it.
    return static_cast<AudioHardwarePlugInRef>(
        static_cast<void*>(const_cast<InterfaceReference*>(&mInterface)));
}

HPPlugIn* HPPlugIn::FromInterface(void* inInterface)
{
    return static_cast<InterfaceReference*>(inInterface)->mOwner;
}
