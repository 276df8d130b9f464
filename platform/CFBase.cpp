// Reference counting and equality of every foundation object.
#include "platform/CFDataObject.h"
#include "platform/CFNumberObject.h"
#include "platform/CFStringObject.h"
#include "platform/CFUUIDObject.h"

#include <cstring>

CFTypeRef CFRetain(CFTypeRef object)
{
    if (object != nullptr) {
        CFObject::From(object)->Retain();
    }
    return object;
}

// Releasing null is ignored rather than crashing the caller.
void CFRelease(CFTypeRef object)
{
    if (object != nullptr) {
        CFObject::From(object)->Release();
    }
}

CFIndex CFGetRetainCount(CFTypeRef object)
{
    return object != nullptr ? CFObject::From(object)->GetRetainCount() : 0;
}

namespace {

bool NumbersEqual(const CFNumberObject& a, const CFNumberObject& b)
{
    if (!a.IsFloat() && !b.IsFloat()) {
        return a.mInteger == b.mInteger;
    }
    const Float64 x = a.IsFloat() ? a.mFloat : Float64(a.mInteger);
    const Float64 y = b.IsFloat() ? b.mFloat : Float64(b.mInteger);
    return x == y;
}

} // namespace

// Strings by their characters, UUIDs by their bytes, numbers by value, data
// by its bytes; every other object only equals itself.
Boolean CFEqual(CFTypeRef a, CFTypeRef b)
{
    if (a == b) {
        return a != nullptr;
    }
    if (a == nullptr || b == nullptr) {
        return false;
    }
    const CFObject* x = CFObject::From(a);
    const CFObject* y = CFObject::From(b);
    if (x->GetType() != y->GetType()) {
        return false;
    }
    switch (x->GetType()) {
    case CFObject::Type::kString:
        return static_cast<const CFStringObject*>(x)->mChars == static_cast<const CFStringObject*>(y)->mChars;
    case CFObject::Type::kUUID:
        return std::memcmp(&static_cast<const CFUUIDObject*>(x)->mBytes, &static_cast<const CFUUIDObject*>(y)->mBytes,
                           sizeof(CFUUIDBytes)) == 0;
    case CFObject::Type::kNumber:
        return NumbersEqual(*static_cast<const CFNumberObject*>(x), *static_cast<const CFNumberObject*>(y));
    case CFObject::Type::kData:
        return static_cast<const CFDataObject*>(x)->mBytes == static_cast<const CFDataObject*>(y)->mBytes;
    default:
        return false;
    }
}
