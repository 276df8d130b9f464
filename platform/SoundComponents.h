// Sound components: components of the component manager (Components.h) that
// also answer information requests by selector, and the sound manager's
// status. A provider registers a sound component with an info handler;
// clients open it as any component and ask it with SoundComponentGetInfo.
#pragma once

#include "platform/Components.h"

typedef SInt32 ComponentResult;
typedef void* SoundSource;

// The 4-byte selector a device's sound component answers with the UID of the
// audio device it belongs to: infoPtr is a CFStringRef* that receives a new
// reference (the caller releases it).
enum : OSType { siHALAudioDeviceUniqueID = FourCC("huid") };

enum : ComponentResult {
    // The component has no info handler, or the handler knows no such
    // selector.
    badComponentSelector = ComponentResult(0x80008002),
};

// The sound manager's status record: 6 bytes.
struct SMStatus {
    SInt16 smMaxCPULoad;
    SInt16 smNumChannels;
    SInt16 smCurCPULoad;
};
static_assert(sizeof(SMStatus) == 6);

// Answers one info request for the provider: called on the asking thread
// with no lock of the platform held.
typedef ComponentResult (*SoundComponentInfoHandler)(void* handlerData, SoundSource sourceID, OSType selector,
                                                     void* infoPtr);

// Registers a component (as RegisterComponent, with no refcon of its own:
// the refcon belongs to the sound-component layer) whose info requests go to
// handler. Returns null for a null description or handler.
PLATFORM_EXPORT Component RegisterSoundComponent(const ComponentDescription* description,
                                                 SoundComponentInfoHandler handler, void* handlerData);
// Unregisters it (UnregisterComponent); its handler is not called again.
PLATFORM_EXPORT OSErr UnregisterSoundComponent(Component component);

// Asks the instance's component (or a component passed in its place) for
// selector. invalidComponentID for an instance or component that is not a
// registered sound component; paramErr for a null infoPtr; otherwise the
// handler's result. Any thread.
PLATFORM_EXPORT ComponentResult SoundComponentGetInfo(ComponentInstance instance, SoundSource sourceID,
                                                      OSType selector, void* infoPtr);

// Writes the first totalLength bytes (at most 6) of the status: maximum CPU
// load 100, the number of sound components registered as channels, current
// load 0. paramErr for a null status or a length below 1.
PLATFORM_EXPORT OSErr SndManagerStatus(SInt16 totalLength, SMStatus* status);
