#include "framework/HPPropertyObject.h"

#include "platform/AudioHardware.h"
#include "support/CAException.h"

HPPropertyObject::HPPropertyObject(UInt32 inObjectID) : mObjectID(inObjectID) {}

HPPropertyObject::~HPPropertyObject() = default;

void HPPropertyObject::Initialize() {}

void HPPropertyObject::Teardown() {}

HPPropertyObject::PropertyMap::const_iterator HPPropertyObject::FindEntry(const HPPropertyAddress& inAddress) const
{
    // The table's ordering treats wildcard fields as equal to anything, so the
    // lower bound is the first key not less than the address; it matches when
    // the address is not less than it either.
    auto entry = mPropertyMap.lower_bound(inAddress);
    if (entry != mPropertyMap.end() && !(inAddress < entry->first)) {
        return entry;
    }
    return mPropertyMap.end();
}

HPProperty* HPPropertyObject::FindProperty(const HPPropertyAddress& inAddress) const
{
    auto entry = FindEntry(inAddress);
    return entry != mPropertyMap.end() ? entry->second : nullptr;
}

HPProperty* HPPropertyObject::FindActivePropertyOrThrow(const HPPropertyAddress& inAddress) const
{
    HPProperty* property = FindProperty(inAddress);
    if (property == nullptr || !property->IsActive(inAddress)) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return property;
}

bool HPPropertyObject::HasProperty(const HPPropertyAddress& inAddress) const
{
    HPProperty* property = FindProperty(inAddress);
    return property != nullptr && property->IsActive(inAddress);
}

bool HPPropertyObject::PropertyIsSettable(const HPPropertyAddress& inAddress) const
{
    return FindActivePropertyOrThrow(inAddress)->IsSettable(inAddress);
}

UInt32 HPPropertyObject::GetPropertyDataSize(const HPPropertyAddress& inAddress) const
{
    return FindActivePropertyOrThrow(inAddress)->GetDataSize(inAddress);
}

void HPPropertyObject::GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    FindActivePropertyOrThrow(inAddress)->GetData(inAddress, ioDataSize, outData);
}

void HPPropertyObject::SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                                       const AudioTimeStamp* inWhen)
{
    FindActivePropertyOrThrow(inAddress)->SetData(inAddress, inDataSize, inData, inWhen);
}

void HPPropertyObject::PropertyChanged(const HPPropertyAddress& /*inAddress*/) const {}

void HPPropertyObject::AddProperty(HPProperty* inProperty)
{
    const UInt32 count = inProperty->GetNumberAddressesImplemented();
    for (UInt32 index = 0; index < count; ++index) {
        HPPropertyAddress address;
        inProperty->GetImplementedAddressByIndex(index, address);
        if (FindEntry(address) != mPropertyMap.end()) {
            CAThrowWithMessage("HPPropertyObject::AddProperty: redefined address",
                               kAudioHardwareIllegalOperationError);
        }
        mPropertyMap.insert(PropertyMap::value_type(address, inProperty));
    }
}

void HPPropertyObject::RemoveProperty(HPProperty* inProperty)
{
    const UInt32 count = inProperty->GetNumberAddressesImplemented();
    for (UInt32 index = 0; index < count; ++index) {
        HPPropertyAddress address;
        inProperty->GetImplementedAddressByIndex(index, address);
        auto entry = FindEntry(address);
        if (entry != mPropertyMap.end()) {
            mPropertyMap.erase(entry);
        }
    }
}
