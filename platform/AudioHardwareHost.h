// The host side of the audio server: loads one plug-in bundle at a time and
// offers host clients the client API. Every device and stream call is checked
// against the objects the plug-in announced (an unknown device gets '!dev', an
// unknown stream '!str', without reaching the plug-in) and then goes through
// the bundle's interface table with the plug-in's status returned unchanged.
//
// Threads: any client thread may call the client API at the same time; the
// host holds no lock while the plug-in runs, so the calls may block for as
// long as the plug-in does. Loading and unloading must not overlap with other
// calls into the same plug-in. Property listeners run on the host's
// notification thread (platform/HostRunLoop.h).
#pragma once

#include "platform/AudioHardware.h"
#include "platform/AudioHardwareServer.h"

// Loading. AudioHardwareHostLoadPlugIn opens the bundle at inPath (dlopen),
// finds its factory "NewPlugIn", calls it with kAudioHardwarePlugInTypeID,
// asks the result for kAudioHardwarePlugInInterfaceID (releasing the
// factory's own reference, so the host holds exactly one) and calls the
// table's Initialize. It returns the plug-in's interface reference and puts
// Initialize's status into *outStatus; the plug-in stays loaded even when
// Initialize failed, so that the caller can look at it and unload it.
// When the plug-in can't be loaded at all it returns null, writes one line
// to standard error and puts into *outStatus 'nope' (a plug-in is already
// loaded, or inPath is null) or 'what' (dlopen failed, no "NewPlugIn", the
// factory refused the type, or the interface is missing). outStatus may be null.
PLATFORM_EXPORT AudioHardwarePlugInRef AudioHardwareHostLoadPlugIn(const char* inPath, OSStatus* outStatus);

// Calls the table's Teardown, waits for the notification thread to finish
// whatever was queued before, drops the plug-in's devices and streams (their
// 'dev#' listeners are told), releases the host's reference and closes the
// bundle. Returns Teardown's status; 'nope' when nothing is loaded, or when
// the release left references behind: a client still holds one, so the bundle
// stays mapped (and a line goes to standard error).
PLATFORM_EXPORT OSStatus AudioHardwareHostUnloadPlugIn();

// The loaded plug-in's interface reference, or null.
PLATFORM_EXPORT AudioHardwarePlugInRef AudioHardwareHostGetPlugIn();

// The hardware as a whole. Only 'dev#' (kAudioHardwarePropertyDevices) is
// known: the IDs of the devices alive, in the order they were announced; it
// is not settable. Other selectors get 'who?'; a null size pointer, or a null
// data pointer with a non-zero size, gets 'nope'. AudioHardwareGetProperty
// writes as many whole IDs as fit and sets *ioDataSize to the bytes written.
PLATFORM_EXPORT OSStatus AudioHardwareGetPropertyInfo(AudioHardwarePropertyID inPropertyID, UInt32* outSize,
                                                      Boolean* outWritable);
PLATFORM_EXPORT OSStatus AudioHardwareGetProperty(AudioHardwarePropertyID inPropertyID, UInt32* ioDataSize,
                                                  void* outData);
// Listeners for 'dev#' are told on the notification thread whenever devices
// are announced or die. inPropertyID may also be the wildcard '****'.
PLATFORM_EXPORT OSStatus AudioHardwareAddPropertyListener(AudioHardwarePropertyID inPropertyID,
                                                          AudioHardwarePropertyListenerProc inProc,
                                                          void* inClientData);
PLATFORM_EXPORT OSStatus AudioHardwareRemovePropertyListener(AudioHardwarePropertyID inPropertyID,
                                                             AudioHardwarePropertyListenerProc inProc);

// Devices. Each goes through the table entry of the same name.
PLATFORM_EXPORT OSStatus AudioDeviceAddIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc, void* inClientData);
PLATFORM_EXPORT OSStatus AudioDeviceRemoveIOProc(AudioDeviceID inDevice, AudioDeviceIOProc inProc);
PLATFORM_EXPORT OSStatus AudioDeviceStart(AudioDeviceID inDevice, AudioDeviceIOProc inProc);
PLATFORM_EXPORT OSStatus AudioDeviceStop(AudioDeviceID inDevice, AudioDeviceIOProc inProc);
PLATFORM_EXPORT OSStatus AudioDeviceRead(AudioDeviceID inDevice, const AudioTimeStamp* inStartTime,
                                         AudioBufferList* outData);
PLATFORM_EXPORT OSStatus AudioDeviceGetCurrentTime(AudioDeviceID inDevice, AudioTimeStamp* outTime);
PLATFORM_EXPORT OSStatus AudioDeviceTranslateTime(AudioDeviceID inDevice, const AudioTimeStamp* inTime,
                                                  AudioTimeStamp* outTime);
PLATFORM_EXPORT OSStatus AudioDeviceGetPropertyInfo(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                                    AudioDevicePropertyID inPropertyID, UInt32* outSize,
                                                    Boolean* outWritable);
PLATFORM_EXPORT OSStatus AudioDeviceGetProperty(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                                AudioDevicePropertyID inPropertyID, UInt32* ioPropertyDataSize,
                                                void* outPropertyData);
PLATFORM_EXPORT OSStatus AudioDeviceSetProperty(AudioDeviceID inDevice, const AudioTimeStamp* inWhen,
                                                UInt32 inChannel, Boolean isInput, AudioDevicePropertyID inPropertyID,
                                                UInt32 inPropertyDataSize, const void* inPropertyData);
// Device listeners hear AudioHardwareDevicePropertyChanged for the device
// (channel and selector may be wildcards; the section must match).
PLATFORM_EXPORT OSStatus AudioDeviceAddPropertyListener(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                                        AudioDevicePropertyID inPropertyID,
                                                        AudioDevicePropertyListenerProc inProc, void* inClientData);
PLATFORM_EXPORT OSStatus AudioDeviceRemovePropertyListener(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                                           AudioDevicePropertyID inPropertyID,
                                                           AudioDevicePropertyListenerProc inProc);

// Streams, likewise.
PLATFORM_EXPORT OSStatus AudioStreamGetPropertyInfo(AudioStreamID inStream, UInt32 inChannel,
                                                    AudioDevicePropertyID inPropertyID, UInt32* outSize,
                                                    Boolean* outWritable);
PLATFORM_EXPORT OSStatus AudioStreamGetProperty(AudioStreamID inStream, UInt32 inChannel,
                                                AudioDevicePropertyID inPropertyID, UInt32* ioPropertyDataSize,
                                                void* outPropertyData);
PLATFORM_EXPORT OSStatus AudioStreamSetProperty(AudioStreamID inStream, const AudioTimeStamp* inWhen,
                                                UInt32 inChannel, AudioDevicePropertyID inPropertyID,
                                                UInt32 inPropertyDataSize, const void* inPropertyData);
PLATFORM_EXPORT OSStatus AudioStreamAddPropertyListener(AudioStreamID inStream, UInt32 inChannel,
                                                        AudioDevicePropertyID inPropertyID,
                                                        AudioStreamPropertyListenerProc inProc, void* inClientData);
PLATFORM_EXPORT OSStatus AudioStreamRemovePropertyListener(AudioStreamID inStream, UInt32 inChannel,
                                                           AudioDevicePropertyID inPropertyID,
                                                           AudioStreamPropertyListenerProc inProc);
