// The bundle's factory: the one symbol the bundle exports.
#include "platform/AudioHardware.h"

extern "C" __attribute__((visibility("default"))) void* NewPlugIn(CFAllocatorRef, CFUUIDRef)
{
    return nullptr;
}
