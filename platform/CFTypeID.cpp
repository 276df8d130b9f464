// Type identity of foundation objects: the object's type tag.
#include "platform/CFObject.h"

CFTypeID CFGetTypeID(CFTypeRef object)
{
    const CFObject* theObject = CFObject::From(object);
    return theObject != nullptr ? CFTypeID(theObject->GetType()) : 0;
}

CFTypeID CFStringGetTypeID() { return CFTypeID(CFObject::Type::kString); }

CFTypeID CFNumberGetTypeID() { return CFTypeID(CFObject::Type::kNumber); }
