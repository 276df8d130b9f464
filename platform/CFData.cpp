// Foundation byte data.
#include "platform/CFDataObject.h"

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
    if (length < 0 || (bytes == nullptr && length != 0)) {
        return nullptr;
    }
    return new CFDataObject(std::vector<UInt8>(bytes, bytes + length));
}

CFIndex CFDataGetLength(CFDataRef data)
{
    const CFDataObject* object = CFObjectCast<CFDataObject>(data);
    return object != nullptr ? CFIndex(object->mBytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef data)
{
    const CFDataObject* object = CFObjectCast<CFDataObject>(data);
    return (object != nullptr && !object->mBytes.empty()) ? object->mBytes.data() : nullptr;
}
