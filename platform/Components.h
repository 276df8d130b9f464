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

enum : OSErr {
    // A component or instance that is not (or no longer) known to the manager.
    invalidComponentID = -3000,
};

// A zero field of the description matches any value; componentFlagsMask
// selects the flag bits that must equal componentFlags. Components come in
// registration order. Returns null at the end, or when previous is not a
// registered component. Thread-safe.
PLATFORM_EXPORT Component FindNextComponent(Component previous, ComponentDescription* looking);
// Opens an instance of a registered component; null if the component is
// unknown or was unregistered. Runs the provider's open hook, if any, on the
// caller's thread before returning.
PLATFORM_EXPORT ComponentInstance OpenComponent(Component component);
// Runs the provider's close hook, if any, and frees the instance. Returns
// invalidComponentID for an unknown instance (nothing changes then).
PLATFORM_EXPORT OSErr CloseComponent(ComponentInstance instance);
// The refcon belongs to the component; an instance reads and writes the
// refcon of its component. A component may be passed where an instance is
// expected (cast to ComponentInstance): the manager tells them apart. An
// unknown reference reads 0 and is not written.
PLATFORM_EXPORT long GetComponentRefcon(ComponentInstance instance);
PLATFORM_EXPORT void SetComponentRefcon(ComponentInstance instance, long refcon);
PLATFORM_EXPORT long GetComponentRefcon(Component component);
PLATFORM_EXPORT void SetComponentRefcon(Component component, long refcon);

// The providing side. The hooks tell a provider who opens and closes its
// component; they run on the opening or closing thread, with no lock of the
// manager held, so they may call the manager again.
typedef void (*ComponentOpenHook)(Component component, ComponentInstance instance, void* hookData);
typedef void (*ComponentCloseHook)(Component component, ComponentInstance instance, void* hookData);

// Registers a component with the type, subtype, manufacturer and flags of
// description (componentFlagsMask is ignored) and the given refcon. The hooks
// may be null. Returns null for a null description.
PLATFORM_EXPORT Component RegisterComponent(const ComponentDescription* description, long refcon,
                                            ComponentOpenHook openHook = nullptr,
                                            ComponentCloseHook closeHook = nullptr, void* hookData = nullptr);
// Removes the component from the lookup: FindNextComponent no longer returns
// it and OpenComponent fails. Instances already open stay usable until
// closed (their close hook still runs). Returns invalidComponentID for an
// unknown component.
PLATFORM_EXPORT OSErr UnregisterComponent(Component component);
// The number of open instances of the component (0 for an unknown one).
PLATFORM_EXPORT long CountComponentInstances(Component component);
