#include "driver/Stream.h"

#include "driver/OrvelDevice.h"
#include "framework/HPFormatList.h"
#include "framework/HPPropertyAddress.h"
#include "support/CAException.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

namespace {

constexpr UInt32 kTerminalType = 0x0206;
constexpr Float64 kStreamSampleRate = 48000.0;
constexpr UInt32 kStreamBitsPerChannel = 24;
constexpr UInt32 kSignedIntegerPackedFlags = 12;

}  // namespace

Stream::Stream(HPPlugIn* inPlugIn, HPDevice* inOwningDevice, AudioStreamID inStreamID, bool inIsInput,
               UInt32 inStartingChannel, CFStringRef inName, UInt32 inCode)
    : HPStream(inPlugIn, inOwningDevice, inStreamID, inIsInput, inStartingChannel),
      mFormatList(nullptr),
      mName(inName),
      mCode(inCode)
{
}

Stream::~Stream() { delete mFormatList; }

UInt32 Stream::GetChannelCountForCode(UInt32 inCode)
{
    switch (inCode) {
    case OrvelDevice::kStreamCodeSDI:
    case OrvelDevice::kStreamCodeADAT:
    case OrvelDevice::kStreamCodeOutput:
        return 8;
    case OrvelDevice::kStreamCodeSPDIF:
        return 2;
    default:
        return 4;
    }
}

void Stream::Initialize()
{
    HPStream::Initialize();
    mFormatList = new HPFormatList(this);

    const UInt32 theChannels = GetChannelCountForCode(mCode);
    const UInt32 theBytesPerFrame = (kStreamBitsPerChannel / 8) * theChannels;
    AudioStreamBasicDescription theFormat{};
    theFormat.mSampleRate = kStreamSampleRate;
    theFormat.mFormatID = kAudioFormatLinearPCM;
    theFormat.mFormatFlags = kSignedIntegerPackedFlags;
    theFormat.mBytesPerPacket = theBytesPerFrame;
    theFormat.mFramesPerPacket = 1;
    theFormat.mBytesPerFrame = theBytesPerFrame;
    theFormat.mChannelsPerFrame = theChannels;
    theFormat.mBitsPerChannel = kStreamBitsPerChannel;

    const AudioValueRange theRates = {kStreamSampleRate, kStreamSampleRate};
    mFormatList->AddPhysicalFormat(theRates, theFormat);
    mFormatList->DirectSetCurrentPhysicalFormat(theFormat);
    AddProperty(mFormatList);
}

void Stream::Teardown()
{
    if (mFormatList != nullptr) {
        RemoveProperty(mFormatList);
        delete mFormatList;
        mFormatList = nullptr;
    }
    HPStream::Teardown();
}

void Stream::SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                             const AudioTimeStamp* inWhen)
{
    HPStream::SetPropertyData(inAddress, inDataSize, inData, inWhen);
    PropertyChanged(inAddress);
    if (inAddress.mSelector == kAudioDevicePropertyStreamFormat) {
        PropertyChanged(HPPropertyAddress(kAudioStreamPropertyPhysicalFormat, inAddress.mChannel, inAddress.mSection));
    }
}

CFStringRef Stream::CopyStreamName() const
{
    if (mName != nullptr) {
        CFRetain(mName);
    }
    return mName;
}

UInt32 Stream::GetTerminalType() const { return kTerminalType; }

bool Stream::ChangePhysicalFormat(const AudioStreamBasicDescription&, const AudioStreamBasicDescription& inNewFormat)
{
    static_cast<OrvelDevice*>(GetOwningDevice())->SetSettings(inNewFormat);
    return true;
}

void Stream::PhysicalFormatChanged(const AudioStreamBasicDescription& inOldFormat,
                                   const AudioStreamBasicDescription& inNewFormat)
{
    if (inOldFormat == inNewFormat) {
        return;
    }
    GetFormatList().DirectSetCurrentPhysicalFormat(inNewFormat);
}

HPFormatList& Stream::GetFormatList() const
{
    if (mFormatList == nullptr) {
        CAThrowWithMessage("Stream::GetFormatList: the stream has no format list",
                           kAudioHardwareIllegalOperationError);
    }
    return *mFormatList;
}

Float64 Stream::GetCurrentNominalSampleRate() const { return GetFormatList().GetCurrentNominalSampleRate(); }

void Stream::SetCurrentNominalSampleRate(Float64 inSampleRate)
{
    GetFormatList().SetCurrentNominalSampleRate(inSampleRate);
}

UInt32 Stream::GetNumberNominalSampleRateRanges() const { return GetFormatList().GetNumberNominalSampleRateRanges(); }

void Stream::GetAvailableNominalSampleRateRangeByIndex(UInt32 inIndex, AudioValueRange& outRange) const
{
    GetFormatList().GetAvailableNominalSampleRateRangeByIndex(inIndex, outRange);
}

bool Stream::SupportsNominalSampleRate(Float64 inSampleRate) const
{
    return GetFormatList().SupportsNominalSampleRate(inSampleRate);
}

void Stream::GetCurrentVirtualFormat(AudioStreamBasicDescription& outFormat) const
{
    GetFormatList().GetCurrentVirtualFormat(outFormat);
}

void Stream::SetCurrentVirtualFormat(const AudioStreamBasicDescription& inFormat)
{
    GetFormatList().SetCurrentVirtualFormat(inFormat);
}

UInt32 Stream::GetNumberAvailableVirtualFormats() const { return GetFormatList().GetNumberAvailableVirtualFormats(); }

void Stream::GetAvailableVirtualFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const
{
    GetFormatList().GetAvailableVirtualFormatByIndex(inIndex, outFormat);
}

bool Stream::SupportsVirtualFormat(const AudioStreamBasicDescription& inFormat) const
{
    return GetFormatList().SupportsVirtualFormat(inFormat);
}

void Stream::BestMatchForVirtualFormat(AudioStreamBasicDescription& ioFormat) const
{
    GetFormatList().BestMatchForVirtualFormat(ioFormat);
}

void Stream::GetCurrentPhysicalFormat(AudioStreamBasicDescription& outFormat) const
{
    GetFormatList().GetCurrentPhysicalFormat(outFormat);
}

void Stream::SetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat)
{
    GetFormatList().SetCurrentPhysicalFormat(inFormat);
}

UInt32 Stream::GetNumberAvailablePhysicalFormats() const
{
    return GetFormatList().GetNumberAvailablePhysicalFormats();
}

void Stream::GetAvailablePhysicalFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const
{
    GetFormatList().GetAvailablePhysicalFormatByIndex(inIndex, outFormat);
}

bool Stream::SupportsPhysicalFormat(const AudioStreamBasicDescription& inFormat) const
{
    return GetFormatList().SupportsPhysicalFormat(inFormat);
}

void Stream::BestMatchForPhysicalFormat(AudioStreamBasicDescription& ioFormat) const
{
    GetFormatList().BestMatchForPhysicalFormat(ioFormat);
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
