#include "framework/HPStream.h"

#include <cstdio>

#include "framework/HPDevice.h"
#include "framework/HPPlugIn.h"
#include "framework/controls/HPControl.h"
#include "framework/controls/HPStreamClockSourceProperty.h"
#include "framework/controls/HPStreamDataSourceProperty.h"
#include "framework/controls/HPStreamMuteProperty.h"
#include "framework/controls/HPStreamPlayThruProperty.h"
#include "framework/controls/HPStreamVolumeProperty.h"
#include "support/CACFString.h"
#include "support/CAException.h"

namespace {

// The format ID of AC-3 framed for an IEC 60958 (S/PDIF) link; every frame of
// it occupies four bytes.
constexpr UInt32 kIEC60958AC3FormatID = FourCC("cac3");

// The capacity of the temporary buffer that sizes the 'name' property: a name
// longer than 255 characters reports 256 bytes.
constexpr UInt32 kNameBufferSize = 256;

// Owns one reference to a copied name and releases it on every path.
class NameReference {
public:
    explicit NameReference(CFStringRef inName) : mName(inName) {}
    ~NameReference()
    {
        if (mName != nullptr) {
            CFRelease(mName);
        }
    }
    NameReference(const NameReference&) = delete;
    NameReference& operator=(const NameReference&) = delete;

    CFStringRef Get() const { return mName; }

private:
    CFStringRef mName;
};

bool IsStreamLevelSelector(UInt32 inSelector)
{
    switch (inSelector) {
        case kAudioDevicePropertyDeviceName:
        case kAudioDevicePropertyDeviceNameCFString:
        case kAudioStreamPropertyStartingChannel:
        case kAudioStreamPropertyDirection:
        case kAudioStreamPropertyOwningDevice:
        case kAudioStreamPropertyTerminalType:
            return true;
        default:
            return false;
    }
}

}  // namespace

HPStream::HPStream(HPPlugIn* inPlugIn, HPDevice* inOwningDevice, AudioStreamID inStreamID, bool inIsInput,
                   UInt32 inStartingChannel)
    : HPPropertyObject(inStreamID),
      HPControlOwner(),
      mPlugIn(inPlugIn),
      mOwningDevice(inOwningDevice),
      mIsInput(inIsInput),
      mStartingChannel(inStartingChannel),
      mVolumeProperty(nullptr),
      mMuteProperty(nullptr),
      mPlayThruProperty(nullptr),
      mDataSourceProperty(nullptr),
      mClockSourceProperty(nullptr)
{
}

HPStream::~HPStream() = default;

void HPStream::Initialize()
{
    mVolumeProperty = new HPStreamVolumeProperty(this);
    mVolumeProperty->Initialize();
    AddProperty(mVolumeProperty);

    mMuteProperty = new HPStreamMuteProperty(this);
    mMuteProperty->Initialize();
    AddProperty(mMuteProperty);

    mPlayThruProperty = new HPStreamPlayThruProperty(this);
    mPlayThruProperty->Initialize();
    AddProperty(mPlayThruProperty);

    mDataSourceProperty = new HPStreamDataSourceProperty(this);
    mDataSourceProperty->Initialize();
    AddProperty(mDataSourceProperty);

    mClockSourceProperty = new HPStreamClockSourceProperty(this);
    mClockSourceProperty->Initialize();
    AddProperty(mClockSourceProperty);
}

void HPStream::Teardown()
{
    RemoveProperty(mClockSourceProperty);
    mClockSourceProperty->Teardown();
    delete mClockSourceProperty;
    mClockSourceProperty = nullptr;

    RemoveProperty(mDataSourceProperty);
    mDataSourceProperty->Teardown();
    delete mDataSourceProperty;
    mDataSourceProperty = nullptr;

    RemoveProperty(mPlayThruProperty);
    mPlayThruProperty->Teardown();
    delete mPlayThruProperty;
    mPlayThruProperty = nullptr;

    RemoveProperty(mMuteProperty);
    mMuteProperty->Teardown();
    delete mMuteProperty;
    mMuteProperty = nullptr;

    RemoveProperty(mVolumeProperty);
    mVolumeProperty->Teardown();
    delete mVolumeProperty;
    mVolumeProperty = nullptr;
}

bool HPStream::HasProperty(const HPPropertyAddress& inAddress) const
{
    if (IsStreamLevelSelector(inAddress.mSelector)) {
        return true;
    }
    return HPPropertyObject::HasProperty(inAddress);
}

bool HPStream::PropertyIsSettable(const HPPropertyAddress& inAddress) const
{
    if (IsStreamLevelSelector(inAddress.mSelector)) {
        return false;
    }
    return HPPropertyObject::PropertyIsSettable(inAddress);
}

UInt32 HPStream::GetPropertyDataSize(const HPPropertyAddress& inAddress) const
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyDeviceName: {
            NameReference name(CopyStreamName());
            char buffer[kNameBufferSize];
            UInt32 size = kNameBufferSize;
            CACFString::GetCString(name.Get(), buffer, size);
            return size;
        }
        case kAudioDevicePropertyDeviceNameCFString:
            // A foundation reference is pointer-sized on this host.
            return sizeof(CFStringRef);
        case kAudioStreamPropertyStartingChannel:
        case kAudioStreamPropertyDirection:
        case kAudioStreamPropertyOwningDevice:
        case kAudioStreamPropertyTerminalType:
            return sizeof(UInt32);
        default:
            return HPPropertyObject::GetPropertyDataSize(inAddress);
    }
}

void HPStream::GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyDeviceName: {
            NameReference name(CopyStreamName());
            CACFString::GetCString(name.Get(), static_cast<char*>(outData), ioDataSize);
            break;
        }
        case kAudioDevicePropertyDeviceNameCFString:
            if (ioDataSize != sizeof(CFStringRef)) {
                CAThrowWithMessage(
                    "HPStream::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceNameCFString",
                    kAudioHardwareBadPropertySizeError);
            }
            *static_cast<CFStringRef*>(outData) = CopyStreamName();
            break;
        case kAudioStreamPropertyStartingChannel:
            if (ioDataSize != sizeof(UInt32)) {
                CAThrowWithMessage(
                    "HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyStartingChannel",
                    kAudioHardwareBadPropertySizeError);
            }
            *static_cast<UInt32*>(outData) = mStartingChannel;
            break;
        case kAudioStreamPropertyDirection:
            if (ioDataSize != sizeof(UInt32)) {
                CAThrowWithMessage("HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyDirection",
                                   kAudioHardwareBadPropertySizeError);
            }
            *static_cast<UInt32*>(outData) = mIsInput ? 1 : 0;
            break;
        case kAudioStreamPropertyOwningDevice:
            if (ioDataSize != sizeof(UInt32)) {
                CAThrowWithMessage("HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyOwningDevice",
                                   kAudioHardwareBadPropertySizeError);
            }
            *static_cast<UInt32*>(outData) = mOwningDevice->GetObjectID();
            break;
        case kAudioStreamPropertyTerminalType:
            if (ioDataSize != sizeof(UInt32)) {
                CAThrowWithMessage("HPStream::GetPropertyData: wrong data size for kAudioStreamPropertyTerminalType",
                                   kAudioHardwareBadPropertySizeError);
            }
            *static_cast<UInt32*>(outData) = GetTerminalType();
            break;
        default:
            HPPropertyObject::GetPropertyData(inAddress, ioDataSize, outData);
            break;
    }
}

void HPStream::SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                               const AudioTimeStamp* inWhen)
{
    if (!mOwningDevice->HogModeOwnedBySelfOrIsFree()) {
        CAThrowWithMessage("HPStream::SetPropertyData: can't set property because hog mode is owned by another process",
                           kAudioDevicePermissionsError);
    }
    HPPropertyObject::SetPropertyData(inAddress, inDataSize, inData, inWhen);
}

void HPStream::PropertyChanged(const HPPropertyAddress& inAddress) const
{
    OSStatus error = AudioHardwareStreamPropertyChanged(mPlugIn->GetInterface(), mOwningDevice->GetObjectID(),
                                                        GetObjectID(), inAddress.mChannel, inAddress.mSelector);
    if (error != 0) {
        std::fprintf(stderr, "HPStream::PropertyChanged: got an error from AudioHardwareStreamPropertyChanged, Error: %ld\n",
                     static_cast<long>(error));
    }
}

CFStringRef HPStream::CopyStreamName() const { return nullptr; }

UInt32 HPStream::GetTerminalType() const { return 0; }

UInt32 HPStream::CalculateIOBufferByteSize(UInt32 inFrames) const
{
    AudioStreamBasicDescription format{};
    GetCurrentVirtualFormat(format);
    switch (format.mFormatID) {
        case kAudioFormatLinearPCM:
            return inFrames * format.mBytesPerFrame;
        case kIEC60958AC3FormatID:
            return inFrames * 4;
        default:
            if (inFrames != format.mFramesPerPacket) {
                CAThrowWithMessage("HPStream::GetBufferByteSize: illegal buffer size",
                                   kAudioDeviceUnsupportedFormatError);
            }
            return format.mBytesPerPacket;
    }
}

UInt8 HPStream::GetControlSection() const
{
    return mIsInput ? HPControl::kInputSection : HPControl::kOutputSection;
}

void HPStream::SendStreamNotification(UInt32 inSelector, UInt32 inChannel) const
{
    PropertyChanged(HPPropertyAddress(inSelector, inChannel, 0));
}

void HPStream::ControlValueChanged(HPControl* inControl)
{
    const UInt32 classID = inControl->GetClassID();
    const UInt32 channel = inControl->GetChannel();
    if (GetControl(classID, channel, GetControlSection()) == inControl) {
        switch (classID) {
            case kAudioDevicePropertyVolumeScalar:
                SendStreamNotification(kAudioDevicePropertyVolumeScalar, channel);
                SendStreamNotification(kAudioDevicePropertyVolumeDecibels, channel);
                break;
            case kAudioDevicePropertyMute:
            case kAudioDevicePropertyPlayThru:
            case kAudioDevicePropertyDataSource:
            case kAudioDevicePropertyClockSource:
                SendStreamNotification(classID, channel);
                break;
            default:
                break;
        }
    }
    // A master-channel change concerns the device only when this stream is
    // the device's only one in its direction.
    if (channel != 0 || mOwningDevice->GetNumberStreams(mIsInput) == 1) {
        mOwningDevice->ControlValueChanged(inControl);
    }
}

void HPStream::ControlRangeChanged(HPControl* inControl)
{
    const UInt32 classID = inControl->GetClassID();
    const UInt32 channel = inControl->GetChannel();
    if (GetControl(classID, channel, GetControlSection()) == inControl) {
        switch (classID) {
            case kAudioDevicePropertyVolumeScalar:
                SendStreamNotification(kAudioDevicePropertyVolumeRangeDecibels, channel);
                break;
            case kAudioDevicePropertyDataSource:
                SendStreamNotification(kAudioDevicePropertyDataSources, channel);
                break;
            case kAudioDevicePropertyClockSource:
                SendStreamNotification(kAudioDevicePropertyClockSources, channel);
                break;
            default:
                break;
        }
    }
    // A master-channel range change stays at the stream.
    if (channel != 0) {
        mOwningDevice->ControlRangeChanged(inControl);
    }
}

UInt32 HPStream::GetCurrentNumberChannels() const
{
    AudioStreamBasicDescription format{};
    GetCurrentPhysicalFormat(format);
    return format.mChannelsPerFrame;
}

bool HPStream::ChangePhysicalFormat(const AudioStreamBasicDescription&, const AudioStreamBasicDescription&)
{
    return true;
}

void HPStream::PhysicalFormatChanged(const AudioStreamBasicDescription&, const AudioStreamBasicDescription&) {}

Float64 HPStream::GetCurrentNominalSampleRate() const { return 0.0; }

void HPStream::SetCurrentNominalSampleRate(Float64) {}

UInt32 HPStream::GetNumberNominalSampleRateRanges() const { return 0; }

void HPStream::GetAvailableNominalSampleRateRangeByIndex(UInt32, AudioValueRange&) const {}

bool HPStream::SupportsNominalSampleRate(Float64) const { return false; }

void HPStream::GetCurrentVirtualFormat(AudioStreamBasicDescription&) const {}

UInt32 HPStream::GetCurrentVirtualBytesPerFrame() const
{
    AudioStreamBasicDescription format{};
    GetCurrentVirtualFormat(format);
    return format.mBytesPerFrame;
}

void HPStream::SetCurrentVirtualFormat(const AudioStreamBasicDescription&) {}

UInt32 HPStream::GetNumberAvailableVirtualFormats() const { return 0; }

void HPStream::GetAvailableVirtualFormatByIndex(UInt32, AudioStreamBasicDescription&) const {}

bool HPStream::SupportsVirtualFormat(const AudioStreamBasicDescription&) const { return false; }

void HPStream::BestMatchForVirtualFormat(AudioStreamBasicDescription&) const {}

void HPStream::GetCurrentPhysicalFormat(AudioStreamBasicDescription&) const {}

void HPStream::SetCurrentPhysicalFormat(const AudioStreamBasicDescription&) {}

UInt32 HPStream::GetNumberAvailablePhysicalFormats() const { return 0; }

void HPStream::GetAvailablePhysicalFormatByIndex(UInt32, AudioStreamBasicDescription&) const {}

bool HPStream::SupportsPhysicalFormat(const AudioStreamBasicDescription&) const { return false; }

void HPStream::BestMatchForPhysicalFormat(AudioStreamBasicDescription&) const {}
