// The bundle's factory: the one symbol the bundle exports. The host calls it
// on its own thread when it loads the bundle.
#include "driver/PlugIn.h"
#include "platform/AudioHardware.h"

// Creates the driver's plug-in for the audio hardware plug-in type and
// returns its interface reference holding one count; any other type gets
// null and nothing is created. The allocator is not used.
extern "C" __attribute__((visibility("default"))) void* NewPlugIn(CFAllocatorRef, CFUUIDRef inRequestedTypeUUID)
{
    CFUUIDRef plugInType = kAudioHardwarePlugInTypeID;
    if (inRequestedTypeUUID == nullptr || !CFEqual(inRequestedTypeUUID, plugInType)) {
        return nullptr;
    }
    HPPlugIn* plugIn = new Zent::CA::HALPlugIn::Orvel::PlugIn(inRequestedTypeUUID);
    plugIn->Retain();
    return plugIn->GetInterface();
}
