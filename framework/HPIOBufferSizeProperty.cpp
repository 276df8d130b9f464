#include "framework/HPIOBufferSizeProperty.h"

#include <cstring>
#include <iterator>

#include "framework/HPChangeBufferSizeCommand.h"
#include "framework/HPDevice.h"
#include "framework/HPStream.h"
#include "support/CAException.h"

namespace {

const UInt32 kSelectors[] = {
    kAudioDevicePropertyBufferSize,
    kAudioDevicePropertyBufferFrameSize,
    kAudioDevicePropertyBufferSizeRange,
    kAudioDevicePropertyBufferFrameSizeRange,
};

void CheckDataSize(UInt32 inDataSize, UInt32 inExpectedSize, const char* inMessage)
{
    if (inDataSize != inExpectedSize) {
        CAThrowWithMessage(inMessage, kAudioHardwareBadPropertySizeError);
    }
}

void CheckDataPointer(const void* inData, const char* inMessage)
{
    if (inData == nullptr) {
        CAThrowWithMessage(inMessage, kAudioHardwareIllegalOperationError);
    }
}

void WriteRange(void* outData, Float64 inMinimum, Float64 inMaximum)
{
    AudioValueRange theRange;
    theRange.mMinimum = inMinimum;
    theRange.mMaximum = inMaximum;
    std::memcpy(outData, &theRange, sizeof(theRange));
}

}  // namespace

HPIOBufferSizeProperty::HPIOBufferSizeProperty(HPDevice* inDevice) : HPDeviceProperty(inDevice) {}

HPIOBufferSizeProperty::~HPIOBufferSizeProperty() = default;

bool HPIOBufferSizeProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    return (inAddress.mSelector == kAudioDevicePropertyBufferSize) ||
           (inAddress.mSelector == kAudioDevicePropertyBufferFrameSize);
}

UInt32 HPIOBufferSizeProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyBufferSize:
    case kAudioDevicePropertyBufferFrameSize:
        return sizeof(UInt32);
    case kAudioDevicePropertyBufferSizeRange:
    case kAudioDevicePropertyBufferFrameSizeRange:
        return sizeof(AudioValueRange);
    default:
        return 0;
    }
}

void HPIOBufferSizeProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    static const char kNullDataMessage[] = "HPIOBufferSizeProperty::GetData: the data can't be NULL";
    bool isInput = inAddress.mSection != 0;
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyBufferSize: {
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferSize");
        HPStream* theStream = mDevice->GetStreamByDeviceChannel(isInput, inAddress.mChannel);
        if (theStream == nullptr) {
            CAThrow(kAudioHardwareBadStreamError);
        }
        CheckDataPointer(outData, kNullDataMessage);
        UInt32 theBytes = mDevice->GetIOBufferFrameSize() * theStream->GetCurrentVirtualBytesPerFrame();
        std::memcpy(outData, &theBytes, sizeof(theBytes));
        ioDataSize = sizeof(UInt32);
        break;
    }

    case kAudioDevicePropertyBufferFrameSize: {
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferFrameSize");
        CheckDataPointer(outData, kNullDataMessage);
        UInt32 theFrames = mDevice->GetIOBufferFrameSize();
        std::memcpy(outData, &theFrames, sizeof(theFrames));
        ioDataSize = sizeof(UInt32);
        break;
    }

    case kAudioDevicePropertyBufferSizeRange: {
        CheckDataSize(ioDataSize, sizeof(AudioValueRange),
                      "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferSizeRange");
        HPStream* theStream = mDevice->GetStreamByDeviceChannel(isInput, inAddress.mChannel);
        if (theStream == nullptr) {
            CAThrow(kAudioHardwareBadStreamError);
        }
        CheckDataPointer(outData, kNullDataMessage);
        UInt32 theBytesPerFrame = theStream->GetCurrentVirtualBytesPerFrame();
        UInt32 theMinimum = mDevice->GetMinimumIOBufferFrameSize() * theBytesPerFrame;
        UInt32 theMaximum = mDevice->GetMaximumIOBufferFrameSize() * theBytesPerFrame;
        WriteRange(outData, theMinimum, theMaximum);
        ioDataSize = sizeof(AudioValueRange);
        break;
    }

    case kAudioDevicePropertyBufferFrameSizeRange:
        CheckDataSize(ioDataSize, sizeof(AudioValueRange),
                      "HPIOBufferSizeProperty::GetData: wrong data size for kAudioDevicePropertyBufferFrameSizeRange");
        CheckDataPointer(outData, kNullDataMessage);
        WriteRange(outData, mDevice->GetMinimumIOBufferFrameSize(), mDevice->GetMaximumIOBufferFrameSize());
        ioDataSize = sizeof(AudioValueRange);
        break;

    default:
        break;
    }
}

void HPIOBufferSizeProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                                     const AudioTimeStamp*)
{
    static const char kNullDataMessage[] = "HPIOBufferSizeProperty::SetData: the data can't be NULL";
    UInt32 theFrames = 0;
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyBufferSize: {
        CheckDataSize(inDataSize, sizeof(UInt32),
                      "HPIOBufferSizeProperty::SetData: wrong data size for kAudioDevicePropertyBufferSize");
        HPStream* theStream = mDevice->GetStreamByDeviceChannel(inAddress.mSection != 0, inAddress.mChannel);
        if (theStream == nullptr) {
            CAThrow(kAudioHardwareBadStreamError);
        }
        CheckDataPointer(inData, kNullDataMessage);
        UInt32 theBytes = 0;
        std::memcpy(&theBytes, inData, sizeof(theBytes));
        UInt32 theBytesPerFrame = theStream->GetCurrentVirtualBytesPerFrame();
        if (theBytesPerFrame == 0) {
            // A stream without a format has no frame size to divide by.
            CAThrowWithMessage("HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferSize: the stream has no "
                               "bytes per frame",
                               kAudioHardwareIllegalOperationError);
        }
        theFrames = theBytes / theBytesPerFrame;
        if (theFrames < mDevice->GetMinimumIOBufferFrameSize()) {
            CAThrowWithMessage("HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferSize: requested size is "
                               "too small",
                               kAudioHardwareIllegalOperationError);
        }
        if (theFrames > mDevice->GetMaximumIOBufferFrameSize()) {
            CAThrowWithMessage("HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferSize: requested size is "
                               "too large",
                               kAudioHardwareIllegalOperationError);
        }
        break;
    }

    case kAudioDevicePropertyBufferFrameSize:
        CheckDataSize(inDataSize, sizeof(UInt32),
                      "HPIOBufferSizeProperty::SetData: wrong data size for kAudioDevicePropertyBufferFrameSize");
        CheckDataPointer(inData, kNullDataMessage);
        std::memcpy(&theFrames, inData, sizeof(theFrames));
        if (theFrames < mDevice->GetMinimumIOBufferFrameSize()) {
            CAThrowWithMessage("HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferFrameSize: requested size "
                               "is too small",
                               kAudioHardwareIllegalOperationError);
        }
        if (theFrames > mDevice->GetMaximumIOBufferFrameSize()) {
            CAThrowWithMessage("HPIOBufferSizeProperty::SetData: kAudioDevicePropertyBufferFrameSize: requested size "
                               "is too large",
                               kAudioHardwareIllegalOperationError);
        }
        break;

    default:
        return;
    }

    if (theFrames != mDevice->GetIOBufferFrameSize()) {
        mDevice->ExecuteCommand(new HPChangeBufferSizeCommand(mDevice, theFrames));
    }
}

UInt32 HPIOBufferSizeProperty::GetNumberAddressesImplemented() const { return UInt32(std::size(kSelectors)); }

void HPIOBufferSizeProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    if (inIndex < std::size(kSelectors)) {
        outAddress = HPPropertyAddress::AllChannelsAndSections(kSelectors[inIndex]);
    }
}
