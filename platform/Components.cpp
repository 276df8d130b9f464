// The component manager: a registry of components in registration order and
// of their open instances. One lock guards it; the providers' hooks run
// without it. Every reference passed in is checked against the registry
// before use, so a stale or foreign pointer gets a status, not a crash.
#include "platform/ComponentInstanceRecord.h"
#include "platform/ComponentRecord.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<ComponentRecord*> registered; // in registration order
    std::map<const void*, ComponentRecord*> components; // registered, or unregistered with open instances
    std::map<const void*, ComponentInstanceRecord*> instances;
};

Registry& TheRegistry()
{
    static Registry* registry = new Registry; // never destroyed: components may close at exit
    return *registry;
}

ComponentRecord* FindComponentLocked(Registry& registry, const void* reference)
{
    auto found = registry.components.find(reference);
    return found != registry.components.end() ? found->second : nullptr;
}

ComponentInstanceRecord* FindInstanceLocked(Registry& registry, const void* reference)
{
    auto found = registry.instances.find(reference);
    return found != registry.instances.end() ? found->second : nullptr;
}

// The component an instance reference stands for: the instance's own, or the
// reference itself when a component was passed in its place.
ComponentRecord* ResolveLocked(Registry& registry, const void* reference)
{
    if (ComponentInstanceRecord* instance = FindInstanceLocked(registry, reference)) {
        return instance->mComponent;
    }
    return FindComponentLocked(registry, reference);
}

void FreeIfUnusedLocked(Registry& registry, ComponentRecord* component)
{
    if (!component->mRegistered && component->mOpenInstances == 0) {
        registry.components.erase(component);
        delete component;
    }
}

bool Matches(const ComponentDescription& registered, const ComponentDescription& looking)
{
    return (looking.componentType == 0 || looking.componentType == registered.componentType) &&
           (looking.componentSubType == 0 || looking.componentSubType == registered.componentSubType) &&
           (looking.componentManufacturer == 0 ||
            looking.componentManufacturer == registered.componentManufacturer) &&
           ((registered.componentFlags & looking.componentFlagsMask) ==
            (looking.componentFlags & looking.componentFlagsMask));
}

} // namespace

Component RegisterComponent(const ComponentDescription* description, long refcon, ComponentOpenHook openHook,
                            ComponentCloseHook closeHook, void* hookData)
{
    if (description == nullptr) {
        return nullptr;
    }
    auto component = new ComponentRecord{*description, refcon, openHook, closeHook, hookData};
    component->mDescription.componentFlagsMask = 0;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.registered.push_back(component);
    registry.components[component] = component;
    return component;
}

OSErr UnregisterComponent(Component component)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    ComponentRecord* record = FindComponentLocked(registry, component);
    if (record == nullptr || !record->mRegistered) {
        return invalidComponentID;
    }
    record->mRegistered = false;
    registry.registered.erase(std::find(registry.registered.begin(), registry.registered.end(), record));
    FreeIfUnusedLocked(registry, record);
    return noErr;
}

long CountComponentInstances(Component component)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    ComponentRecord* record = FindComponentLocked(registry, component);
    return record != nullptr ? record->mOpenInstances : 0;
}

Component FindNextComponent(Component previous, ComponentDescription* looking)
{
    const ComponentDescription anything{};
    const ComponentDescription& wanted = (looking != nullptr) ? *looking : anything;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto next = registry.registered.begin();
    if (previous != nullptr) {
        next = std::find(registry.registered.begin(), registry.registered.end(), previous);
        if (next == registry.registered.end()) {
            return nullptr;
        }
        ++next;
    }
    for (; next != registry.registered.end(); ++next) {
        if (Matches((*next)->mDescription, wanted)) {
            return *next;
        }
    }
    return nullptr;
}

ComponentInstance OpenComponent(Component component)
{
    Registry& registry = TheRegistry();
    ComponentInstanceRecord* instance;
    ComponentOpenHook hook;
    void* hookData;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        ComponentRecord* record = FindComponentLocked(registry, component);
        if (record == nullptr || !record->mRegistered) {
            return nullptr;
        }
        instance = new ComponentInstanceRecord(record);
        ++record->mOpenInstances;
        registry.instances[instance] = instance;
        hook = record->mOpenHook;
        hookData = record->mHookData;
    }
    if (hook != nullptr) {
        hook(component, instance, hookData);
    }
    return instance;
}

OSErr CloseComponent(ComponentInstance instance)
{
    Registry& registry = TheRegistry();
    ComponentRecord* record;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        ComponentInstanceRecord* found = FindInstanceLocked(registry, instance);
        if (found == nullptr) {
            return invalidComponentID;
        }
        registry.instances.erase(found);
        record = found->mComponent;
    }
    // The record stays alive until its open count drops below.
    if (record->mCloseHook != nullptr) {
        record->mCloseHook(record, instance, record->mHookData);
    }
    std::lock_guard<std::mutex> lock(registry.mutex);
    --record->mOpenInstances;
    FreeIfUnusedLocked(registry, record);
    delete instance;
    return noErr;
}

long GetComponentRefcon(ComponentInstance instance)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    ComponentRecord* record = ResolveLocked(registry, instance);
    return record != nullptr ? record->mRefcon : 0;
}

void SetComponentRefcon(ComponentInstance instance, long refcon)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (ComponentRecord* record = ResolveLocked(registry, instance)) {
        record->mRefcon = refcon;
    }
}

long GetComponentRefcon(Component component)
{
    return GetComponentRefcon(reinterpret_cast<ComponentInstance>(component));
}

void SetComponentRefcon(Component component, long refcon)
{
    SetComponentRefcon(reinterpret_cast<ComponentInstance>(component), refcon);
}
