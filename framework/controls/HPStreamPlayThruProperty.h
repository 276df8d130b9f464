// Exposes, on every channel and section of a stream, the play-through control
// ('thru') as a UInt32, 0 or 1. The control is looked up by the request's
// channel and section among the stream's own controls (stream requests carry
// section 0, so an output or all-sections control answers). A missing control
// is 'who?' (silently from IsActive). The handler keeps no state; it runs on
// the host thread of the request and takes no lock.
#pragma once

#include "framework/HPProperty.h"

class HPStream;

class HPStreamPlayThruProperty : public HPProperty {
public:
    explicit HPStreamPlayThruProperty(HPStream* inStream);
    ~HPStreamPlayThruProperty() override;

    bool IsActive(const HPPropertyAddress& inAddress) const override;
    bool IsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetDataSize(const HPPropertyAddress& inAddress) const override;
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override;
    UInt32 GetNumberAddressesImplemented() const override;
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override;

    HPStream* GetStream() const { return mStream; }

private:
    HPStream* mStream;  // not owned; outlives the handler
};
