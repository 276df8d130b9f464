// The header behind every CFTypeRef of the platform: an atomic reference
// count, a type tag and a virtual destructor. Internal to the platform
// library; callers only see the opaque CFTypeRef.
#pragma once

#include "platform/CoreFoundation.h"

#include <atomic>

class CFObject {
public:
    enum class Type : UInt32 {
        kString = 1,
        kUUID,
        kNumber,
        kData,
        kRunLoop,
        kRunLoopSource,
        kMachPort,
        kMessagePort,
    };

    // Starts with one reference, owned by the creator. An immortal object
    // (constant strings and UUIDs, the notification run loop) ignores retain
    // and release and is never freed.
    CFObject(Type type, bool immortal = false) : mType(type), mImmortal(immortal) {}
    virtual ~CFObject() = default;
    CFObject(const CFObject&) = delete;
    CFObject& operator=(const CFObject&) = delete;

    Type GetType() const { return mType; }
    bool IsImmortal() const { return mImmortal; }

    void Retain();
    // Frees the object when the last reference goes. Any thread.
    void Release();
    // Takes a reference unless the count already reached zero (the object is
    // being freed on another thread). Lets a lookup table that holds no
    // reference hand out its objects safely.
    bool TryRetain();
    CFIndex GetRetainCount() const;

    // Converts a CFTypeRef; null stays null.
    static CFObject* From(CFTypeRef object) { return static_cast<CFObject*>(const_cast<void*>(object)); }

    // The retain count an immortal object reports.
    static constexpr CFIndex kImmortalRetainCount = 0x7FFFFFFF;

private:
    std::atomic<CFIndex> mRetainCount{1};
    const Type mType;
    const bool mImmortal;
};

// The object behind ref when it has the given type; null otherwise.
template <typename T>
T* CFObjectCast(CFTypeRef ref)
{
    CFObject* object = CFObject::From(ref);
    return (object != nullptr && object->GetType() == T::kTypeTag) ? static_cast<T*>(object) : nullptr;
}
