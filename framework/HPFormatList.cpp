#include "framework/HPFormatList.h"

#include <algorithm>
#include <cstring>

#include "framework/HPChangeFormatCommand.h"
#include "framework/HPDevice.h"
#include "framework/HPStream.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

// The selectors the list answers, in the order it enters them in a table.
constexpr UInt32 kImplementedSelectors[] = {
    kAudioDevicePropertyNominalSampleRate,       kAudioDevicePropertyAvailableNominalSampleRates,
    kAudioDevicePropertyStreamFormat,            kAudioDevicePropertyStreamFormats,
    kAudioDevicePropertyStreamFormatSupported,   kAudioDevicePropertyStreamFormatMatch,
    kAudioStreamPropertyPhysicalFormat,          kAudioStreamPropertyPhysicalFormats,
    kAudioStreamPropertyPhysicalFormatSupported, kAudioStreamPropertyPhysicalFormatMatch,
};
constexpr UInt32 kNumberImplementedSelectors = sizeof(kImplementedSelectors) / sizeof(kImplementedSelectors[0]);

constexpr UInt32 kFormatSize = sizeof(AudioStreamBasicDescription);
constexpr UInt32 kRateSize = sizeof(Float64);
constexpr UInt32 kRangeSize = sizeof(AudioValueRange);

// Copies a format with its reserved word cleared, so that no stored or
// returned format carries whatever a caller left there.
void CopyFormat(AudioStreamBasicDescription& outFormat, const AudioStreamBasicDescription& inFormat)
{
    outFormat = inFormat;
    outFormat.mReserved = 0;
}

AudioStreamBasicDescription ReadFormat(const void* inData)
{
    AudioStreamBasicDescription format;
    std::memcpy(&format, inData, kFormatSize);
    return format;
}

AudioStreamBasicDescription Normalized(const AudioStreamBasicDescription& inFormat)
{
    AudioStreamBasicDescription format = inFormat;
    CAAudioStreamBasicDescription::NormalizeLinearPCMFormat(format);
    return format;
}

}  // namespace

HPFormatList::HPFormatList(HPStream* inOwningStream) : HPProperty(), mOwningStream(inOwningStream)
{
    CAAudioStreamBasicDescription::ResetFormat(mCurrentPhysicalFormat);
    mCurrentPhysicalFormat.mReserved = 0;
}

HPFormatList::~HPFormatList() = default;

bool HPFormatList::IsSettable(const HPPropertyAddress& inAddress) const
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyNominalSampleRate:
        case kAudioDevicePropertyStreamFormat:
        case kAudioStreamPropertyPhysicalFormat:
            return true;
        default:
            return false;
    }
}

UInt32 HPFormatList::GetDataSize(const HPPropertyAddress& inAddress) const
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyNominalSampleRate:
            return kRateSize;
        case kAudioDevicePropertyAvailableNominalSampleRates:
            return kRangeSize * GetNumberNominalSampleRateRanges();
        case kAudioDevicePropertyStreamFormat:
        case kAudioDevicePropertyStreamFormatSupported:
        case kAudioDevicePropertyStreamFormatMatch:
        case kAudioStreamPropertyPhysicalFormat:
        case kAudioStreamPropertyPhysicalFormatSupported:
        case kAudioStreamPropertyPhysicalFormatMatch:
            return kFormatSize;
        case kAudioDevicePropertyStreamFormats:
            return kFormatSize * GetNumberAvailableVirtualFormats();
        case kAudioStreamPropertyPhysicalFormats:
            return kFormatSize * GetNumberAvailablePhysicalFormats();
        default:
            return 0;
    }
}

void HPFormatList::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyNominalSampleRate: {
            if (ioDataSize != kRateSize) {
                CAThrowWithMessage("HPFormatList::GetData: wrong data size for kAudioDevicePropertyNominalSampleRate",
                                   kAudioHardwareBadPropertySizeError);
            }
            const Float64 rate = GetCurrentNominalSampleRate();
            std::memcpy(outData, &rate, kRateSize);
            break;
        }
        case kAudioDevicePropertyAvailableNominalSampleRates: {
            const UInt32 count = std::min(GetNumberNominalSampleRateRanges(), ioDataSize / kRangeSize);
            auto* out = static_cast<char*>(outData);
            for (UInt32 index = 0; index < count; ++index) {
                AudioValueRange range;
                GetAvailableNominalSampleRateRangeByIndex(index, range);
                std::memcpy(out + index * kRangeSize, &range, kRangeSize);
            }
            ioDataSize = count * kRangeSize;
            break;
        }
        case kAudioDevicePropertyStreamFormat: {
            if (ioDataSize != kFormatSize) {
                CAThrowWithMessage("HPFormatList::GetData: wrong data size for kAudioDevicePropertyStreamFormat",
                                   kAudioHardwareBadPropertySizeError);
            }
            AudioStreamBasicDescription format;
            GetCurrentVirtualFormat(format);
            std::memcpy(outData, &format, kFormatSize);
            break;
        }
        case kAudioDevicePropertyStreamFormats: {
            const UInt32 count = std::min(GetNumberAvailableVirtualFormats(), ioDataSize / kFormatSize);
            auto* out = static_cast<char*>(outData);
            for (UInt32 index = 0; index < count; ++index) {
                AudioStreamBasicDescription format;
                GetAvailableVirtualFormatByIndex(index, format);
                std::memcpy(out + index * kFormatSize, &format, kFormatSize);
            }
            ioDataSize = count * kFormatSize;
            break;
        }
        case kAudioDevicePropertyStreamFormatSupported:
            if (ioDataSize != kFormatSize) {
                CAThrowWithMessage(
                    "HPFormatList::GetData: wrong data size for kAudioDevicePropertyStreamFormatSupported",
                    kAudioHardwareBadPropertySizeError);
            }
            if (!SupportsVirtualFormat(ReadFormat(outData))) {
                CAThrowWithMessage(
                    "HPFormatList::GetData: kAudioDevicePropertyStreamFormatSupported: format not supported",
                    kAudioDeviceUnsupportedFormatError);
            }
            break;
        case kAudioDevicePropertyStreamFormatMatch: {
            if (ioDataSize != kFormatSize) {
                CAThrowWithMessage("HPFormatList::GetData: wrong data size for kAudioDevicePropertyStreamFormatMatch",
                                   kAudioHardwareBadPropertySizeError);
            }
            AudioStreamBasicDescription format = ReadFormat(outData);
            BestMatchForVirtualFormat(format);
            std::memcpy(outData, &format, kFormatSize);
            break;
        }
        case kAudioStreamPropertyPhysicalFormat: {
            if (ioDataSize != kFormatSize) {
                CAThrowWithMessage("HPFormatList::GetData: wrong data size for kAudioStreamPropertyPhysicalFormat",
                                   kAudioHardwareBadPropertySizeError);
            }
            AudioStreamBasicDescription format;
            GetCurrentPhysicalFormat(format);
            std::memcpy(outData, &format, kFormatSize);
            break;
        }
        case kAudioStreamPropertyPhysicalFormats: {
            const UInt32 count = std::min(GetNumberAvailablePhysicalFormats(), ioDataSize / kFormatSize);
            auto* out = static_cast<char*>(outData);
            for (UInt32 index = 0; index < count; ++index) {
                AudioStreamBasicDescription format;
                GetAvailablePhysicalFormatByIndex(index, format);
                std::memcpy(out + index * kFormatSize, &format, kFormatSize);
            }
            ioDataSize = count * kFormatSize;
            break;
        }
        case kAudioStreamPropertyPhysicalFormatSupported:
            if (ioDataSize != kFormatSize) {
                CAThrowWithMessage(
                    "HPFormatList::GetData: wrong data size for kAudioStreamPropertyPhysicalFormatSupported",
                    kAudioHardwareBadPropertySizeError);
            }
            if (!SupportsPhysicalFormat(ReadFormat(outData))) {
                CAThrowWithMessage(
                    "HPFormatList::GetData: kAudioStreamPropertyPhysicalFormatSupported: format not supported",
                    kAudioDeviceUnsupportedFormatError);
            }
            break;
        case kAudioStreamPropertyPhysicalFormatMatch: {
            if (ioDataSize != kFormatSize) {
                CAThrowWithMessage("HPFormatList::GetData: wrong data size for kAudioStreamPropertyPhysicalFormatMatch",
                                   kAudioHardwareBadPropertySizeError);
            }
            AudioStreamBasicDescription format = ReadFormat(outData);
            BestMatchForPhysicalFormat(format);
            std::memcpy(outData, &format, kFormatSize);
            break;
        }
        default:
            break;
    }
}

void HPFormatList::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                           const AudioTimeStamp* /*inWhen*/)
{
    AudioStreamBasicDescription requested;
    bool isPhysical = true;
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyNominalSampleRate: {
            if (inDataSize != kRateSize) {
                CAThrowWithMessage("HPFormatList::SetData: wrong data size for kAudioDevicePropertyNominalSampleRate",
                                   kAudioHardwareBadPropertySizeError);
            }
            Float64 rate;
            std::memcpy(&rate, inData, kRateSize);
            if (!SupportsNominalSampleRate(rate)) {
                CAThrow(kAudioDeviceUnsupportedFormatError);
            }
            GetCurrentPhysicalFormat(requested);
            requested.mSampleRate = rate;
            break;
        }
        case kAudioDevicePropertyStreamFormat:
            if (inDataSize != kFormatSize) {
                CAThrowWithMessage("HPFormatList::SetData: wrong data size for kAudioDevicePropertyStreamFormat",
                                   kAudioHardwareBadPropertySizeError);
            }
            requested = ReadFormat(inData);
            if (!SupportsVirtualFormat(requested)) {
                CAThrowWithMessage("HPFormatList::SetData: kAudioDevicePropertyStreamFormat: format not supported",
                                   kAudioDeviceUnsupportedFormatError);
            }
            isPhysical = false;
            break;
        case kAudioStreamPropertyPhysicalFormat:
            if (inDataSize != kFormatSize) {
                CAThrow(kAudioHardwareBadPropertySizeError);
            }
            requested = ReadFormat(inData);
            if (!SupportsPhysicalFormat(requested)) {
                CAThrow(kAudioDeviceUnsupportedFormatError);
            }
            break;
        default:
            return;
    }
    // The device owns the command from here on, whether it runs it now or
    // after the current I/O cycle.
    mOwningStream->GetOwningDevice()->ExecuteCommand(new HPChangeFormatCommand(this, requested, isPhysical));
}

UInt32 HPFormatList::GetNumberAddressesImplemented() const { return kNumberImplementedSelectors; }

void HPFormatList::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    if (inIndex < kNumberImplementedSelectors) {
        outAddress = HPPropertyAddress::AllChannelsAndSections(kImplementedSelectors[inIndex]);
    }
}

Float64 HPFormatList::GetCurrentNominalSampleRate() const { return mCurrentPhysicalFormat.mSampleRate; }

void HPFormatList::SetCurrentNominalSampleRate(Float64 inSampleRate)
{
    if (inSampleRate == mCurrentPhysicalFormat.mSampleRate) {
        return;
    }
    if (!SupportsNominalSampleRate(inSampleRate)) {
        CAThrowWithMessage("HPFormatList::SetCurrentNominalSampleRate: sample rate not supported",
                           kAudioDeviceUnsupportedFormatError);
    }
    const AudioStreamBasicDescription oldFormat = mCurrentPhysicalFormat;
    AudioStreamBasicDescription newFormat = oldFormat;
    newFormat.mSampleRate = inSampleRate;
    if (!mOwningStream->ChangePhysicalFormat(oldFormat, newFormat)) {
        return;
    }
    CopyFormat(mCurrentPhysicalFormat, newFormat);
    PropagatePhysicalFormatChanged(oldFormat, mCurrentPhysicalFormat);
}

UInt32 HPFormatList::GetNumberNominalSampleRateRanges() const
{
    return static_cast<UInt32>(mNominalSampleRateRanges.size());
}

void HPFormatList::GetAvailableNominalSampleRateRangeByIndex(UInt32 inIndex, AudioValueRange& outRange) const
{
    if (inIndex >= mNominalSampleRateRanges.size()) {
        CAThrowWithMessage("HPFormatList::GetAvailableNominalSampleRateRangeByIndex: index out of range",
                           kAudioHardwareIllegalOperationError);
    }
    outRange = mNominalSampleRateRanges[inIndex];
}

bool HPFormatList::SupportsNominalSampleRate(Float64 inSampleRate) const
{
    return std::any_of(mNominalSampleRateRanges.begin(), mNominalSampleRateRanges.end(),
                       [inSampleRate](const AudioValueRange& range) {
                           return range.mMinimum <= inSampleRate && inSampleRate <= range.mMaximum;
                       });
}

void HPFormatList::GetCurrentVirtualFormat(AudioStreamBasicDescription& outFormat) const
{
    CopyFormat(outFormat, Normalized(mCurrentPhysicalFormat));
}

void HPFormatList::SetCurrentVirtualFormat(const AudioStreamBasicDescription& inFormat)
{
    AudioStreamBasicDescription currentVirtual;
    GetCurrentVirtualFormat(currentVirtual);
    AudioStreamBasicDescription filled = inFormat;
    CAAudioStreamBasicDescription::FillOutFormat(filled, currentVirtual);

    // A linear PCM request names a rate and a channel count; the sample
    // layout is the physical format's business.
    AudioStreamBasicDescription match = filled;
    if (match.mFormatID == kAudioFormatLinearPCM) {
        match.mFormatFlags = 0;
        match.mBytesPerPacket = 0;
        match.mBytesPerFrame = 0;
        match.mBitsPerChannel = 0;
        match.mFramesPerPacket = 1;
    }
    if (match == mCurrentPhysicalFormat) {
        // The current physical format already serves the request: keep it
        // rather than switch to the first format in list order (which
        // could silently lower the bit depth).
        CopyFormat(match, mCurrentPhysicalFormat);
    } else {
        BestMatchForPhysicalFormat(match);
    }

    if (match.mFormatID != filled.mFormatID) {
        CAThrowWithMessage("HPFormatList::SetCurrentVirtualFormat: format not supported (format ID)",
                           kAudioDeviceUnsupportedFormatError);
    }
    if (match.mSampleRate != filled.mSampleRate) {
        CAThrowWithMessage("HPFormatList::SetCurrentVirtualFormat: format not supported (sample rate)",
                           kAudioDeviceUnsupportedFormatError);
    }
    if (match.mChannelsPerFrame != filled.mChannelsPerFrame) {
        CAThrowWithMessage("HPFormatList::SetCurrentVirtualFormat: format not supported (number channels)",
                           kAudioDeviceUnsupportedFormatError);
    }
    if (match == mCurrentPhysicalFormat) {
        return;
    }
    const AudioStreamBasicDescription oldFormat = mCurrentPhysicalFormat;
    if (!mOwningStream->ChangePhysicalFormat(oldFormat, match)) {
        return;
    }
    CopyFormat(mCurrentPhysicalFormat, match);
    PropagatePhysicalFormatChanged(oldFormat, mCurrentPhysicalFormat);
}

UInt32 HPFormatList::GetNumberAvailableVirtualFormats() const { return static_cast<UInt32>(mVirtualFormats.size()); }

void HPFormatList::GetAvailableVirtualFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const
{
    if (inIndex >= mVirtualFormats.size()) {
        CAThrowWithMessage("HPFormatList::GetAvailableVirtualFormatByIndex: index out of range",
                           kAudioHardwareIllegalOperationError);
    }
    CopyFormat(outFormat, mVirtualFormats[inIndex]);
}

bool HPFormatList::SupportsVirtualFormat(const AudioStreamBasicDescription& inFormat) const
{
    return ContainsFormat(mVirtualFormats, inFormat);
}

void HPFormatList::BestMatchForVirtualFormat(AudioStreamBasicDescription& ioFormat) const
{
    BestMatch(mVirtualFormats, ioFormat);
}

void HPFormatList::GetCurrentPhysicalFormat(AudioStreamBasicDescription& outFormat) const
{
    CopyFormat(outFormat, mCurrentPhysicalFormat);
}

void HPFormatList::SetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat)
{
    AudioStreamBasicDescription filled = inFormat;
    CAAudioStreamBasicDescription::FillOutFormat(filled, mCurrentPhysicalFormat);
    if (inFormat == mCurrentPhysicalFormat) {
        return;
    }
    if (!SupportsPhysicalFormat(inFormat)) {
        CAThrowWithMessage("HPFormatList::SetCurrentPhysicalFormat: format not supported",
                           kAudioDeviceUnsupportedFormatError);
    }
    if (!SupportsPhysicalFormat(filled)) {
        // Completing a partial request from the current format mixed two
        // formats (say 16 bits with the 24-bit frame size) into one the
        // hardware cannot run. Complete it from the supported format it
        // names instead; fields that one leaves open still come from the
        // current format.
        // The rate, format ID and channel count the request leaves open are
        // kept from the current format when some supported format has them.
        AudioStreamBasicDescription supported = inFormat;
        if (supported.mSampleRate == 0.0) {
            supported.mSampleRate = mCurrentPhysicalFormat.mSampleRate;
        }
        if (supported.mFormatID == 0) {
            supported.mFormatID = mCurrentPhysicalFormat.mFormatID;
        }
        if (supported.mChannelsPerFrame == 0) {
            supported.mChannelsPerFrame = mCurrentPhysicalFormat.mChannelsPerFrame;
        }
        if (!SupportsPhysicalFormat(supported)) {
            supported = inFormat;
        }
        BestMatchForPhysicalFormat(supported);
        filled = inFormat;
        CAAudioStreamBasicDescription::FillOutFormat(filled, supported);
        CAAudioStreamBasicDescription::FillOutFormat(filled, mCurrentPhysicalFormat);
    }
    const AudioStreamBasicDescription oldFormat = mCurrentPhysicalFormat;
    if (!mOwningStream->ChangePhysicalFormat(oldFormat, filled)) {
        return;
    }
    CopyFormat(mCurrentPhysicalFormat, filled);
    PropagatePhysicalFormatChanged(oldFormat, mCurrentPhysicalFormat);
}

UInt32 HPFormatList::GetNumberAvailablePhysicalFormats() const
{
    return static_cast<UInt32>(mPhysicalFormats.size());
}

void HPFormatList::GetAvailablePhysicalFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const
{
    if (inIndex >= mPhysicalFormats.size()) {
        CAThrowWithMessage("HPFormatList::GetAvailablePhysicalFormatByIndex: index out of range",
                           kAudioHardwareIllegalOperationError);
    }
    CopyFormat(outFormat, mPhysicalFormats[inIndex]);
}

bool HPFormatList::SupportsPhysicalFormat(const AudioStreamBasicDescription& inFormat) const
{
    return ContainsFormat(mPhysicalFormats, inFormat);
}

void HPFormatList::BestMatchForPhysicalFormat(AudioStreamBasicDescription& ioFormat) const
{
    BestMatch(mPhysicalFormats, ioFormat);
}

void HPFormatList::AddPhysicalFormat(const AudioValueRange& inRates, const AudioStreamBasicDescription& inFormat)
{
    if (!SupportsPhysicalFormat(inFormat)) {
        InsertFormat(mPhysicalFormats, inFormat);
        const AudioStreamBasicDescription image = Normalized(inFormat);
        if (!SupportsVirtualFormat(image)) {
            InsertFormat(mVirtualFormats, image);
        }
    }
    const bool rangePresent =
        std::any_of(mNominalSampleRateRanges.begin(), mNominalSampleRateRanges.end(),
                    [&inRates](const AudioValueRange& range) {
                        return range.mMinimum == inRates.mMinimum && range.mMaximum == inRates.mMaximum;
                    });
    if (!rangePresent) {
        auto position = std::lower_bound(
            mNominalSampleRateRanges.begin(), mNominalSampleRateRanges.end(), inRates,
            [](const AudioValueRange& element, const AudioValueRange& value) { return element.mMinimum < value.mMinimum; });
        mNominalSampleRateRanges.insert(position, inRates);
    }
}

void HPFormatList::DirectSetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat)
{
    CopyFormat(mCurrentPhysicalFormat, inFormat);
}

void HPFormatList::BroadcastFormatChangedNotifications(const AudioStreamBasicDescription& inOldFormat,
                                                       const AudioStreamBasicDescription& inNewFormat)
{
    if (inOldFormat == inNewFormat) {
        return;
    }
    const bool rateChanged = inOldFormat.mSampleRate != inNewFormat.mSampleRate;
    const bool channelsChanged = inOldFormat.mChannelsPerFrame != inNewFormat.mChannelsPerFrame;
    const bool virtualChanged = !(Normalized(inOldFormat) == Normalized(inNewFormat));

    HPDevice* device = mOwningStream->GetOwningDevice();
    const bool isInput = mOwningStream->IsInput();
    const UInt8 section = isInput ? HPPropertyAddress::kInputSection : HPPropertyAddress::kOutputSection;
    const UInt32 startingChannel = mOwningStream->GetStartingChannel();

    mOwningStream->PropertyChanged(HPPropertyAddress(kAudioStreamPropertyPhysicalFormat, 0, section));
    if (virtualChanged) {
        mOwningStream->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyStreamFormat, 0, section));
    }
    if (rateChanged) {
        mOwningStream->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, section));
        NotifyOtherStreamsOfRate(true);
        NotifyOtherStreamsOfRate(false);
    }

    device->PropertyChanged(HPPropertyAddress(kAudioStreamPropertyPhysicalFormat, startingChannel, section));
    if (virtualChanged) {
        device->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyStreamFormat, startingChannel, section));
    }
    // The first stream of a direction also speaks for the master channel.
    if (startingChannel == 1) {
        device->PropertyChanged(HPPropertyAddress(kAudioStreamPropertyPhysicalFormat, 0, section));
        if (virtualChanged) {
            device->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyStreamFormat, 0, section));
        }
    }
    if (rateChanged) {
        for (bool input : {true, false}) {
            if (!device->HasSection(input)) {
                continue;
            }
            const UInt8 deviceSection = input ? HPPropertyAddress::kInputSection : HPPropertyAddress::kOutputSection;
            device->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, deviceSection));
            device->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyLatency, 0, deviceSection));
            device->PropertyChanged(HPPropertyAddress(kAudioDevicePropertySafetyOffset, 0, deviceSection));
        }
    }
    if (channelsChanged) {
        for (bool input : {true, false}) {
            if (device->HasSection(input)) {
                const UInt8 deviceSection =
                    input ? HPPropertyAddress::kInputSection : HPPropertyAddress::kOutputSection;
                device->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyStreamConfiguration, 0, deviceSection));
            }
        }
    }
}

void HPFormatList::NotifyOtherStreamsOfRate(bool inIsInput) const
{
    HPDevice* device = mOwningStream->GetOwningDevice();
    if (!device->HasSection(inIsInput)) {
        return;
    }
    const UInt8 section = inIsInput ? HPPropertyAddress::kInputSection : HPPropertyAddress::kOutputSection;
    const UInt32 count = device->GetNumberStreams(inIsInput);
    for (UInt32 index = 0; index < count; ++index) {
        HPStream* stream = device->GetStreamByIndex(inIsInput, index);
        if (stream != nullptr && stream != mOwningStream) {
            stream->PropertyChanged(HPPropertyAddress(kAudioDevicePropertyNominalSampleRate, 0, section));
        }
    }
}

void HPFormatList::PropagatePhysicalFormatChanged(const AudioStreamBasicDescription& inOldFormat,
                                                  const AudioStreamBasicDescription& inNewFormat)
{
    if (inOldFormat == inNewFormat) {
        return;
    }
    HPDevice* device = mOwningStream->GetOwningDevice();
    if (inOldFormat.mSampleRate != inNewFormat.mSampleRate) {
        for (bool input : {true, false}) {
            if (!device->HasSection(input)) {
                continue;
            }
            const UInt32 count = device->GetNumberStreams(input);
            for (UInt32 index = 0; index < count; ++index) {
                HPStream* stream = device->GetStreamByIndex(input, index);
                if (stream == nullptr || stream == mOwningStream) {
                    continue;
                }
                AudioStreamBasicDescription current;
                stream->GetCurrentPhysicalFormat(current);
                AudioStreamBasicDescription following = current;
                following.mSampleRate = inNewFormat.mSampleRate;
                stream->PhysicalFormatChanged(current, following);
            }
        }
    }
    device->PhysicalFormatChanged(mOwningStream, inOldFormat, inNewFormat);
}

void HPFormatList::InsertFormat(FormatVector& ioFormats, const AudioStreamBasicDescription& inFormat)
{
    CAAudioStreamBasicDescription format(inFormat);
    format.mReserved = 0;
    auto position = std::lower_bound(ioFormats.begin(), ioFormats.end(), format,
                                     [](const CAAudioStreamBasicDescription& element,
                                        const CAAudioStreamBasicDescription& value) {
                                         return static_cast<const AudioStreamBasicDescription&>(element) <
                                                static_cast<const AudioStreamBasicDescription&>(value);
                                     });
    ioFormats.insert(position, format);
}

bool HPFormatList::ContainsFormat(const FormatVector& inFormats, const AudioStreamBasicDescription& inFormat)
{
    return std::any_of(inFormats.begin(), inFormats.end(), [&inFormat](const CAAudioStreamBasicDescription& element) {
        return static_cast<const AudioStreamBasicDescription&>(element) == inFormat;
    });
}

void HPFormatList::BestMatch(const FormatVector& inFormats, AudioStreamBasicDescription& ioFormat)
{
    if (inFormats.empty()) {
        return;
    }
    for (const CAAudioStreamBasicDescription& element : inFormats) {
        if (static_cast<const AudioStreamBasicDescription&>(element) == ioFormat) {
            CopyFormat(ioFormat, element);
            return;
        }
    }
    CopyFormat(ioFormat, inFormats.back());
}
