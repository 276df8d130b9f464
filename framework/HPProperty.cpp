#include "framework/HPProperty.h"

HPProperty::~HPProperty() = default;

void HPProperty::Initialize() {}

void HPProperty::Teardown() {}

bool HPProperty::IsActive(const HPPropertyAddress& /*inAddress*/) const { return true; }

bool HPProperty::IsSettable(const HPPropertyAddress& /*inAddress*/) const { return true; }

UInt32 HPProperty::GetDataSize(const HPPropertyAddress& /*inAddress*/) const { return 0; }

void HPProperty::GetData(const HPPropertyAddress& /*inAddress*/, UInt32& ioDataSize, void* /*outData*/) const
{
    ioDataSize = 0;
}

void HPProperty::SetData(const HPPropertyAddress& /*inAddress*/, UInt32 /*inDataSize*/, const void* /*inData*/,
                         const AudioTimeStamp* /*inWhen*/)
{
}

UInt32 HPProperty::GetNumberAddressesImplemented() const { return 0; }

void HPProperty::GetImplementedAddressByIndex(UInt32 /*inIndex*/, HPPropertyAddress& /*outAddress*/) const {}
