// Lists a device's streams of one direction ('stm#': their IDs in channel
// order) and their buffer layout for the current I/O buffer size ('slay').
// Read-only. Host client threads; no lock of its own.
#pragma once

#include "framework/HPDeviceProperty.h"

class HPStreamListProperty : public HPDeviceProperty {
public:
    explicit HPStreamListProperty(HPDevice* inDevice);
    ~HPStreamListProperty() override;

    bool IsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetDataSize(const HPPropertyAddress& inAddress) const override;
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override;
    UInt32 GetNumberAddressesImplemented() const override;
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override;
};
