// Answers the device-level format and sample-rate selectors ('nsrt', 'nsr#',
// 'sfmt', 'sfm#', 'sfm?', 'sfmm', 'pft ', 'pft#', 'pft?', 'pftm') by relaying
// each request to the stream that carries the requested device channel,
// with the channel made stream-relative. The rate selectors fall back to the
// other section's stream for the same channel. No stream: 'who?' (for
// 'sfm#' in IsActive, 'nope'). Host client threads; no lock of its own.
#pragma once

#include "framework/HPDeviceProperty.h"

class HPStream;

class HPDeviceFormatProperty : public HPDeviceProperty {
public:
    explicit HPDeviceFormatProperty(HPDevice* inDevice);
    ~HPDeviceFormatProperty() override;

    bool IsActive(const HPPropertyAddress& inAddress) const override;
    bool IsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetDataSize(const HPPropertyAddress& inAddress) const override;
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override;
    UInt32 GetNumberAddressesImplemented() const override;
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override;

private:
    // The stream a request goes to, or null.
    HPStream* FindStream(const HPPropertyAddress& inAddress) const;
    // The stream, or a throw ('who?') when there is none.
    HPStream* FindStreamOrThrow(const HPPropertyAddress& inAddress) const;
    // The address as the stream sees it: a non-zero channel made relative
    // to the stream's starting channel.
    static HPPropertyAddress MakeStreamAddress(const HPPropertyAddress& inAddress, const HPStream* inStream);
};
