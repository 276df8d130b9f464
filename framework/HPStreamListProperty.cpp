#include "framework/HPStreamListProperty.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "framework/HPDevice.h"
#include "framework/HPStream.h"
#include "support/CAAudioBufferList.h"
#include "support/CAException.h"

namespace {

const UInt32 kSelectors[] = {
    kAudioDevicePropertyStreams,
    kAudioDevicePropertyStreamConfiguration,
};

}  // namespace

HPStreamListProperty::HPStreamListProperty(HPDevice* inDevice) : HPDeviceProperty(inDevice) {}

HPStreamListProperty::~HPStreamListProperty() = default;

bool HPStreamListProperty::IsSettable(const HPPropertyAddress&) const { return false; }

UInt32 HPStreamListProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    UInt32 theNumberStreams = mDevice->GetNumberStreams(inAddress.mSection != 0);
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyStreams:
        return UInt32(sizeof(AudioStreamID)) * theNumberStreams;
    case kAudioDevicePropertyStreamConfiguration:
        return CAAudioBufferList::CalculateByteSize(theNumberStreams);
    default:
        return 0;
    }
}

void HPStreamListProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    bool isInput = inAddress.mSection != 0;
    UInt32 theNumberStreams = mDevice->GetNumberStreams(isInput);
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyStreams: {
        // A short buffer gets the first streams; it is not an error.
        UInt32 theCount = std::min(UInt32(ioDataSize / sizeof(AudioStreamID)), theNumberStreams);
        if ((theCount != 0) && (outData == nullptr)) {
            CAThrowWithMessage("HPStreamListProperty::GetData: the data can't be NULL",
                               kAudioHardwareIllegalOperationError);
        }
        for (UInt32 theIndex = 0; theIndex < theCount; ++theIndex) {
            AudioStreamID theID = mDevice->GetStreamByIndex(isInput, theIndex)->GetObjectID();
            std::memcpy(static_cast<char*>(outData) + theIndex * sizeof(AudioStreamID), &theID, sizeof(theID));
        }
        ioDataSize = UInt32(theCount * sizeof(AudioStreamID));
        break;
    }

    case kAudioDevicePropertyStreamConfiguration: {
        UInt32 theSize = CAAudioBufferList::CalculateByteSize(theNumberStreams);
        if (ioDataSize != theSize) {
            CAThrowWithMessage(
                "HPStreamListProperty::GetData: wrong data size for kAudioDevicePropertyStreamConfiguration",
                kAudioHardwareBadPropertySizeError);
        }
        if (outData == nullptr) {
            CAThrowWithMessage("HPStreamListProperty::GetData: the data can't be NULL",
                               kAudioHardwareIllegalOperationError);
        }
        AudioBufferList* theList = static_cast<AudioBufferList*>(outData);
        theList->mNumberBuffers = theNumberStreams;
        for (UInt32 theIndex = 0; theIndex < theNumberStreams; ++theIndex) {
            HPStream* theStream = mDevice->GetStreamByIndex(isInput, theIndex);
            AudioBuffer& theBuffer = theList->mBuffers[theIndex];
            theBuffer.mNumberChannels = theStream->GetCurrentNumberChannels();
            theBuffer.mDataByteSize = mDevice->GetIOBufferFrameSize() * theStream->GetCurrentVirtualBytesPerFrame();
            theBuffer.mData = nullptr;
        }
        ioDataSize = theSize;
        break;
    }

    default:
        break;
    }
}

void HPStreamListProperty::SetData(const HPPropertyAddress&, UInt32, const void*, const AudioTimeStamp*) {}

UInt32 HPStreamListProperty::GetNumberAddressesImplemented() const { return UInt32(std::size(kSelectors)); }

void HPStreamListProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    if (inIndex < std::size(kSelectors)) {
        outAddress = HPPropertyAddress::AllChannelsAndSections(kSelectors[inIndex]);
    }
}
