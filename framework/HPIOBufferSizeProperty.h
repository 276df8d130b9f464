// Reports and changes a device's I/O buffer size, in frames ('fsiz') or in
// bytes of the stream carrying the requested channel ('bsiz'), and reports
// the allowed ranges ('fsz#', 'bsz#'). A change is checked against the
// device's limits and handed to the device as an HPChangeBufferSizeCommand,
// so it never lands in the middle of an I/O cycle. Host client threads; no
// lock of its own.
#pragma once

#include "framework/HPDeviceProperty.h"

class HPIOBufferSizeProperty : public HPDeviceProperty {
public:
    explicit HPIOBufferSizeProperty(HPDevice* inDevice);
    ~HPIOBufferSizeProperty() override;

    bool IsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetDataSize(const HPPropertyAddress& inAddress) const override;
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override;
    UInt32 GetNumberAddressesImplemented() const override;
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override;
};
