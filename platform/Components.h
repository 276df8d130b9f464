// The component manager: a providing process registers components; clients
// find them by type, subtype and manufacturer, open them and read their refcon.
#pragma once

#include "platform/CoreFoundation.h"

struct ComponentRecord;
struct ComponentInstanceRecord;
typedef ComponentRecord* Component;
typedef ComponentInstanceRecord* ComponentInstance;

struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
};

// A zero field of the description matches any value.
PLATFORM_EXPORT Component FindNextComponent(Component previous, ComponentDescription* looking);
PLATFORM_EXPORT ComponentInstance OpenComponent(Component component);
PLATFORM_EXPORT OSErr CloseComponent(ComponentInstance instance);
PLATFORM_EXPORT long GetComponentRefcon(ComponentInstance instance);
PLATFORM_EXPORT void SetComponentRefcon(ComponentInstance instance, long refcon);
