// The host audio server's interface for hardware plug-ins: object IDs,
// property selectors, status codes, the IOProc callback, the plug-in
// interface table and the services the server offers a plug-in.
#pragma once

#include "platform/CoreAudioTypes.h"
#include "platform/CoreFoundation.h"

typedef UInt32 AudioObjectID;
typedef AudioObjectID AudioDeviceID;
typedef AudioObjectID AudioStreamID;
typedef UInt32 AudioHardwarePropertyID;
typedef UInt32 AudioDevicePropertyID;

enum : AudioObjectID { kAudioDeviceUnknown = 0, kAudioStreamUnknown = 0 };

// Status codes.
enum : OSStatus {
    kAudioHardwareNoError = 0,
    kAudioHardwareNotRunningError = OSStatus(FourCC("stop")),
    kAudioHardwareUnspecifiedError = OSStatus(FourCC("what")),
    kAudioHardwareUnknownPropertyError = OSStatus(FourCC("who?")),
    kAudioHardwareBadPropertySizeError = OSStatus(FourCC("!siz")),
    kAudioHardwareIllegalOperationError = OSStatus(FourCC("nope")),
    kAudioHardwareBadDeviceError = OSStatus(FourCC("!dev")),
    kAudioHardwareBadStreamError = OSStatus(FourCC("!str")),
    kAudioDeviceUnsupportedFormatError = OSStatus(FourCC("!dat")),
    kAudioDevicePermissionsError = OSStatus(FourCC("!hog")),
};
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80000004u);
constexpr HRESULT S_OK = 0;

// Wildcards of a property address.
enum : UInt32 {
    kAudioPropertyWildcardPropertyID = FourCC("****"),
    kAudioPropertyWildcardChannel = 0xFFFFFFFFu,
};
enum : UInt8 { kAudioPropertyWildcardSection = 0xFF };
enum : UInt32 { kAudioDevicePropertyChannelMaster = 0 };

// Properties of the hardware as a whole.
enum : AudioHardwarePropertyID {
    kAudioHardwarePropertyDevices = FourCC("dev#"),
};

// Device properties.
enum : AudioDevicePropertyID {
    kAudioDevicePropertyDeviceName = FourCC("name"),
    kAudioDevicePropertyDeviceNameCFString = FourCC("lnam"),
    kAudioDevicePropertyDeviceManufacturer = FourCC("makr"),
    kAudioDevicePropertyDeviceManufacturerCFString = FourCC("lmak"),
    kAudioDevicePropertyDeviceUID = FourCC("uid "),
    kAudioDevicePropertyTransportType = FourCC("tran"),
    kAudioDevicePropertyDeviceIsAlive = FourCC("livn"),
    kAudioDevicePropertyDeviceIsRunning = FourCC("goin"),
    kAudioDevicePropertyDeviceIsRunningSomewhere = FourCC("gone"),
    kAudioDevicePropertyDeviceCanBeDefaultDevice = FourCC("dflt"),
    kAudioDevicePropertyDeviceCanBeDefaultSystemDevice = FourCC("sflt"),
    kAudioDevicePropertyHogMode = FourCC("oink"),
    kAudioDevicePropertyLatency = FourCC("ltnc"),
    kAudioDevicePropertySafetyOffset = FourCC("saft"),
    kAudioDevicePropertyIOProcStreamUsage = FourCC("suse"),
    kAudioDevicePropertyActualSampleRate = FourCC("asrt"),
    kAudioDevicePropertyUsesVariableBufferFrameSizes = FourCC("vfsz"),
    kAudioDevicePropertyBufferSize = FourCC("bsiz"),
    kAudioDevicePropertyBufferSizeRange = FourCC("bsz#"),
    kAudioDevicePropertyBufferFrameSize = FourCC("fsiz"),
    kAudioDevicePropertyBufferFrameSizeRange = FourCC("fsz#"),
    kAudioDevicePropertyStreams = FourCC("stm#"),
    kAudioDevicePropertyStreamConfiguration = FourCC("slay"),
    kAudioDevicePropertyStreamFormat = FourCC("sfmt"),
    kAudioDevicePropertyStreamFormats = FourCC("sfm#"),
    kAudioDevicePropertyStreamFormatSupported = FourCC("sfm?"),
    kAudioDevicePropertyStreamFormatMatch = FourCC("sfmm"),
    kAudioDevicePropertyNominalSampleRate = FourCC("nsrt"),
    kAudioDevicePropertyAvailableNominalSampleRates = FourCC("nsr#"),
    kAudioDevicePropertyVolumeScalar = FourCC("volm"),
    kAudioDevicePropertyVolumeDecibels = FourCC("vold"),
    kAudioDevicePropertyVolumeRangeDecibels = FourCC("vdb#"),
    kAudioDevicePropertyVolumeScalarToDecibels = FourCC("v2db"),
    kAudioDevicePropertyVolumeDecibelsToScalar = FourCC("db2v"),
    kAudioDevicePropertyMute = FourCC("mute"),
    kAudioDevicePropertyPlayThru = FourCC("thru"),
    kAudioDevicePropertyDataSource = FourCC("ssrc"),
    kAudioDevicePropertyDataSources = FourCC("ssc#"),
    kAudioDevicePropertyDataSourceNameForID = FourCC("sscn"),
    kAudioDevicePropertyDataSourceNameForIDNonLocalized = FourCC("scnr"),
    kAudioDevicePropertyDataSourceNameForIDCFString = FourCC("lscn"),
    kAudioDevicePropertyClockSource = FourCC("csrc"),
    kAudioDevicePropertyClockSources = FourCC("csc#"),
    kAudioDevicePropertyClockSourceNameForID = FourCC("cscn"),
    kAudioDevicePropertyClockSourceNameForIDCFString = FourCC("lcsn"),
};

// Stream properties.
enum : AudioDevicePropertyID {
    kAudioStreamPropertyDirection = FourCC("sdir"),
    kAudioStreamPropertyTerminalType = FourCC("term"),
    kAudioStreamPropertyStartingChannel = FourCC("schn"),
    kAudioStreamPropertyOwningDevice = FourCC("stdv"),
    kAudioStreamPropertyPhysicalFormat = FourCC("pft "),
    kAudioStreamPropertyPhysicalFormats = FourCC("pft#"),
    kAudioStreamPropertyPhysicalFormatSupported = FourCC("pft?"),
    kAudioStreamPropertyPhysicalFormatMatch = FourCC("pftm"),
};

// Transport types.
enum : UInt32 {
    kAudioDeviceTransportTypeBuiltIn = FourCC("bltn"),
    kAudioDeviceTransportTypeFireWire = FourCC("1394"),
};

// The client's I/O callback. Runs on the device's I/O thread once per I/O
// cycle: it must not block, allocate or take locks.
typedef OSStatus (*AudioDeviceIOProc)(AudioDeviceID device, const AudioTimeStamp* now,
                                      const AudioBufferList* inputData, const AudioTimeStamp* inputTime,
                                      AudioBufferList* outputData, const AudioTimeStamp* outputTime,
                                      void* clientData);

// 'suse' data: the IOProc and one on/off word per stream of the section.
// Its size for n streams is offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn) + 4 n.
struct AudioHardwareIOProcStreamUsage {
    void* mIOProc;
    UInt32 mNumberStreams;
    UInt32 mStreamIsOn[1];
};

inline constexpr UInt32 AudioHardwareIOProcStreamUsageSize(UInt32 numberStreams)
{
    return UInt32(offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn) + numberStreams * sizeof(UInt32));
}

// The plug-in interface: a reserved word, the IUnknown entries, then the
// hardware plug-in entries. The reference a plug-in hands out is a pointer to
// a pointer to this table.
struct AudioHardwarePlugInInterface;
typedef AudioHardwarePlugInInterface** AudioHardwarePlugInRef;

struct AudioHardwarePlugInInterface {
    void* _reserved;
    HRESULT (*QueryInterface)(void* self, REFIID iid, LPVOID* ppv);
    ULONG (*AddRef)(void* self);
    ULONG (*Release)(void* self);
    OSStatus (*Initialize)(AudioHardwarePlugInRef self);
    OSStatus (*Teardown)(AudioHardwarePlugInRef self);
    OSStatus (*DeviceAddIOProc)(AudioHardwarePlugInRef self, AudioDeviceID device, AudioDeviceIOProc proc,
                                void* clientData);
    OSStatus (*DeviceRemoveIOProc)(AudioHardwarePlugInRef self, AudioDeviceID device, AudioDeviceIOProc proc);
    OSStatus (*DeviceStart)(AudioHardwarePlugInRef self, AudioDeviceID device, AudioDeviceIOProc proc);
    OSStatus (*DeviceStop)(AudioHardwarePlugInRef self, AudioDeviceID device, AudioDeviceIOProc proc);
    OSStatus (*DeviceRead)(AudioHardwarePlugInRef self, AudioDeviceID device, const AudioTimeStamp* startTime,
                           AudioBufferList* data);
    OSStatus (*DeviceGetCurrentTime)(AudioHardwarePlugInRef self, AudioDeviceID device, AudioTimeStamp* outTime);
    OSStatus (*DeviceTranslateTime)(AudioHardwarePlugInRef self, AudioDeviceID device, const AudioTimeStamp* inTime,
                                    AudioTimeStamp* outTime);
    OSStatus (*DeviceGetPropertyInfo)(AudioHardwarePlugInRef self, AudioDeviceID device, UInt32 channel,
                                      Boolean isInput, AudioDevicePropertyID selector, UInt32* outSize,
                                      Boolean* outWritable);
    OSStatus (*DeviceGetProperty)(AudioHardwarePlugInRef self, AudioDeviceID device, UInt32 channel, Boolean isInput,
                                  AudioDevicePropertyID selector, UInt32* ioPropertyDataSize, void* outPropertyData);
    OSStatus (*DeviceSetProperty)(AudioHardwarePlugInRef self, AudioDeviceID device, const AudioTimeStamp* when,
                                  UInt32 channel, Boolean isInput, AudioDevicePropertyID selector,
                                  UInt32 propertyDataSize, const void* propertyData);
    OSStatus (*StreamGetPropertyInfo)(AudioHardwarePlugInRef self, AudioStreamID stream, UInt32 channel,
                                      AudioDevicePropertyID selector, UInt32* outSize, Boolean* outWritable);
    OSStatus (*StreamGetProperty)(AudioHardwarePlugInRef self, AudioStreamID stream, UInt32 channel,
                                  AudioDevicePropertyID selector, UInt32* ioPropertyDataSize, void* outPropertyData);
    OSStatus (*StreamSetProperty)(AudioHardwarePlugInRef self, AudioStreamID stream, const AudioTimeStamp* when,
                                  UInt32 channel, AudioDevicePropertyID selector, UInt32 propertyDataSize,
                                  const void* propertyData);
};

// The type of an audio hardware plug-in, its interface, and IUnknown.
#define kAudioHardwarePlugInTypeID                                                                             \
    CFUUIDGetConstantUUIDWithBytes(nullptr, 0xF8, 0xBB, 0x1C, 0x28, 0xBA, 0xE8, 0x11, 0xD6, 0x9C, 0x31, 0x00, \
                                   0x03, 0x93, 0x15, 0xCD, 0x46)
#define kAudioHardwarePlugInInterfaceID                                                                        \
    CFUUIDGetConstantUUIDWithBytes(nullptr, 0xFA, 0xFC, 0xAF, 0xC3, 0xBA, 0xE8, 0x11, 0xD6, 0xB4, 0xA8, 0x00, \
                                   0x03, 0x93, 0x15, 0xCD, 0x46)
#define IUnknownUUID                                                                                           \
    CFUUIDGetConstantUUIDWithBytes(nullptr, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, \
                                   0x00, 0x00, 0x00, 0x00, 0x46)

// The bundle's exported factory: the host calls it with the requested type.
typedef void* (*CFPlugInFactoryFunction)(CFAllocatorRef allocator, CFUUIDRef typeUUID);

// Services of the host audio server for a plug-in. Each takes the plug-in's
// interface reference where it names the plug-in.
PLATFORM_EXPORT OSStatus AudioHardwareClaimAudioDeviceID(AudioHardwarePlugInRef plugIn, AudioDeviceID* outDeviceID);
PLATFORM_EXPORT OSStatus AudioHardwareDevicesCreated(AudioHardwarePlugInRef plugIn, UInt32 numberDevices,
                                                     const AudioDeviceID* devices);
PLATFORM_EXPORT OSStatus AudioHardwareDevicesDied(AudioHardwarePlugInRef plugIn, UInt32 numberDevices,
                                                  const AudioDeviceID* devices);
PLATFORM_EXPORT OSStatus AudioHardwareClaimAudioStreamID(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice,
                                                         AudioStreamID* outStreamID);
PLATFORM_EXPORT OSStatus AudioHardwareStreamsCreated(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice,
                                                     UInt32 numberStreams, const AudioStreamID* streams);
PLATFORM_EXPORT OSStatus AudioHardwareStreamsDied(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice,
                                                  UInt32 numberStreams, const AudioStreamID* streams);
PLATFORM_EXPORT OSStatus AudioHardwareDevicePropertyChanged(AudioHardwarePlugInRef plugIn, AudioDeviceID device,
                                                            UInt32 channel, Boolean isInput,
                                                            AudioDevicePropertyID selector);
PLATFORM_EXPORT OSStatus AudioHardwareStreamPropertyChanged(AudioHardwarePlugInRef plugIn, AudioDeviceID owningDevice,
                                                            AudioStreamID stream, UInt32 channel,
                                                            AudioDevicePropertyID selector);
PLATFORM_EXPORT OSStatus AudioHardwareAddRunLoopSource(CFRunLoopSourceRef source);
PLATFORM_EXPORT OSStatus AudioHardwareRemoveRunLoopSource(CFRunLoopSourceRef source);

// The host clock.
PLATFORM_EXPORT UInt64 AudioGetCurrentHostTime();
PLATFORM_EXPORT Float64 AudioGetHostClockFrequency();
PLATFORM_EXPORT UInt64 AudioConvertHostTimeToNanos(UInt64 hostTime);
PLATFORM_EXPORT UInt64 AudioConvertNanosToHostTime(UInt64 nanos);
