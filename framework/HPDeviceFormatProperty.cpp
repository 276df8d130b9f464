#include "framework/HPDeviceFormatProperty.h"

#include <iterator>

#include "framework/HPDevice.h"
#include "framework/HPStream.h"
#include "support/CAException.h"

namespace {

const UInt32 kSelectors[] = {
    kAudioDevicePropertyNominalSampleRate,
    kAudioDevicePropertyAvailableNominalSampleRates,
    kAudioDevicePropertyStreamFormat,
    kAudioDevicePropertyStreamFormats,
    kAudioDevicePropertyStreamFormatSupported,
    kAudioDevicePropertyStreamFormatMatch,
    kAudioStreamPropertyPhysicalFormat,
    kAudioStreamPropertyPhysicalFormats,
    kAudioStreamPropertyPhysicalFormatSupported,
    kAudioStreamPropertyPhysicalFormatMatch,
};

bool IsRateSelector(UInt32 inSelector)
{
    return (inSelector == kAudioDevicePropertyNominalSampleRate) ||
           (inSelector == kAudioDevicePropertyAvailableNominalSampleRates);
}

}  // namespace

HPDeviceFormatProperty::HPDeviceFormatProperty(HPDevice* inDevice) : HPDeviceProperty(inDevice) {}

HPDeviceFormatProperty::~HPDeviceFormatProperty() = default;

HPStream* HPDeviceFormatProperty::FindStream(const HPPropertyAddress& inAddress) const
{
    bool isInput = inAddress.mSection != 0;
    HPStream* theStream = mDevice->GetStreamByDeviceChannel(isInput, inAddress.mChannel);
    // The rate is the device's, whichever side carries the channel.
    if ((theStream == nullptr) && IsRateSelector(inAddress.mSelector)) {
        theStream = mDevice->GetStreamByDeviceChannel(!isInput, inAddress.mChannel);
    }
    return theStream;
}

HPStream* HPDeviceFormatProperty::FindStreamOrThrow(const HPPropertyAddress& inAddress) const
{
    HPStream* theStream = FindStream(inAddress);
    if (theStream == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return theStream;
}

HPPropertyAddress HPDeviceFormatProperty::MakeStreamAddress(const HPPropertyAddress& inAddress,
                                                            const HPStream* inStream)
{
    HPPropertyAddress theAddress = inAddress;
    if (theAddress.mChannel != 0) {
        theAddress.mChannel = inAddress.mChannel - inStream->GetStartingChannel();
    }
    return theAddress;
}

bool HPDeviceFormatProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    HPStream* theStream = FindStream(inAddress);
    if (theStream == nullptr) {
        CAThrow((inAddress.mSelector == kAudioDevicePropertyStreamFormats) ? kAudioHardwareIllegalOperationError
                                                                           : kAudioHardwareUnknownPropertyError);
    }
    return theStream->HasProperty(MakeStreamAddress(inAddress, theStream));
}

bool HPDeviceFormatProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    HPStream* theStream = FindStreamOrThrow(inAddress);
    return theStream->PropertyIsSettable(MakeStreamAddress(inAddress, theStream));
}

UInt32 HPDeviceFormatProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    HPStream* theStream = FindStreamOrThrow(inAddress);
    return theStream->GetPropertyDataSize(MakeStreamAddress(inAddress, theStream));
}

void HPDeviceFormatProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    HPStream* theStream = FindStreamOrThrow(inAddress);
    theStream->GetPropertyData(MakeStreamAddress(inAddress, theStream), ioDataSize, outData);
}

void HPDeviceFormatProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                                     const AudioTimeStamp* inWhen)
{
    HPStream* theStream = FindStreamOrThrow(inAddress);
    theStream->SetPropertyData(MakeStreamAddress(inAddress, theStream), inDataSize, inData, inWhen);
}

UInt32 HPDeviceFormatProperty::GetNumberAddressesImplemented() const { return UInt32(std::size(kSelectors)); }

void HPDeviceFormatProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    if (inIndex < std::size(kSelectors)) {
        outAddress = HPPropertyAddress::AllChannelsAndSections(kSelectors[inIndex]);
    }
}
