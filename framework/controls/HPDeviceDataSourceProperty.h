// Exposes, on every channel and section of a device, the data-source selector
// ('ssrc'): the current item, the item list and the item names. The control is
// looked up by the request's channel and section through the device's
// GetControl, which also reaches the controls of the device's streams for a
// non-zero channel. A missing control is 'who?' (silently from IsActive). The
// handler keeps no state; it runs on the host thread of the request and takes
// no lock.
#pragma once

#include "framework/HPDeviceProperty.h"

class HPDeviceDataSourceProperty : public HPDeviceProperty {
public:
    explicit HPDeviceDataSourceProperty(HPDevice* inDevice);
    ~HPDeviceDataSourceProperty() override;

    bool IsActive(const HPPropertyAddress& inAddress) const override;
    bool IsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetDataSize(const HPPropertyAddress& inAddress) const override;
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override;
    UInt32 GetNumberAddressesImplemented() const override;
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override;
};
