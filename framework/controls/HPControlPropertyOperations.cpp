#include "framework/controls/HPControlPropertyOperations.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "framework/controls/HPBooleanControl.h"
#include "framework/controls/HPControl.h"
#include "framework/controls/HPLevelControl.h"
#include "framework/controls/HPSelectorControl.h"
#include "platform/AudioHardware.h"
#include "support/CACFString.h"
#include "support/CAException.h"

namespace HPControlPropertyOperations {

namespace {

// "<class>::<text>" on standard error, then the status.
[[noreturn]] void ThrowWithClassName(const char* inClassName, const char* inText, OSStatus inStatus)
{
    char message[256];
    std::snprintf(message, sizeof(message), "%s::%s", inClassName, inText);
    CAThrowWithMessage(message, inStatus);
}

// "<class>::<operation>: wrong data size for <what>", then '!siz'.
[[noreturn]] void ThrowWrongSize(const char* inClassName, const char* inOperation, const char* inWhat)
{
    char text[200];
    std::snprintf(text, sizeof(text), "%s: wrong data size for %s", inOperation, inWhat);
    ThrowWithClassName(inClassName, text, kAudioHardwareBadPropertySizeError);
}

void CheckSize(UInt32 inGiven, UInt32 inExpected, const char* inClassName, const char* inOperation,
               const char* inWhat)
{
    if (inGiven != inExpected) {
        ThrowWrongSize(inClassName, inOperation, inWhat);
    }
}

// A null buffer with a non-zero size would be written or read through; the
// host layer already refuses it, this keeps a direct caller safe too.
void CheckBuffer(const void* inData, UInt32 inDataSize, const char* inClassName, const char* inOperation)
{
    if (inData == nullptr && inDataSize != 0) {
        char text[200];
        std::snprintf(text, sizeof(text), "%s: no data buffer", inOperation);
        ThrowWithClassName(inClassName, text, kAudioHardwareIllegalOperationError);
    }
}

template <typename T>
T ReadValue(const void* inData)
{
    T value;
    std::memcpy(&value, inData, sizeof(T));
    return value;
}

template <typename T>
void WriteValue(void* outData, const T& inValue)
{
    std::memcpy(outData, &inValue, sizeof(T));
}

constexpr UInt32 kUInt32Size = sizeof(UInt32);
constexpr UInt32 kFloat32Size = sizeof(Float32);
constexpr UInt32 kRangeSize = sizeof(AudioValueRange);
constexpr UInt32 kTranslationSize = sizeof(AudioValueTranslation);
constexpr UInt32 kCFStringSize = sizeof(CFStringRef);

// Releases the copied name however the conversion ends.
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

}  // namespace

void ThrowNoSuchControl(const char* inClassName, const char* inOperation)
{
    char text[200];
    std::snprintf(text, sizeof(text), "%s: no such control", inOperation);
    ThrowWithClassName(inClassName, text, kAudioHardwareUnknownPropertyError);
}

void GetAddressByIndex(const UInt32* inSelectors, UInt32 inCount, UInt32 inIndex, HPPropertyAddress& outAddress)
{
    if (inIndex < inCount) {
        outAddress = HPPropertyAddress::AllChannelsAndSections(inSelectors[inIndex]);
    }
}

// ---- Volume ----

bool VolumeIsSettable(const HPPropertyAddress& inAddress, const HPControl& inControl)
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyVolumeScalar:
        case kAudioDevicePropertyVolumeDecibels:
            return inControl.IsActive() && inControl.IsSettable();
        default:
            return false;
    }
}

UInt32 VolumeGetDataSize(const HPPropertyAddress& inAddress)
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyVolumeScalar:
        case kAudioDevicePropertyVolumeDecibels:
        case kAudioDevicePropertyVolumeScalarToDecibels:
        case kAudioDevicePropertyVolumeDecibelsToScalar:
            return kFloat32Size;
        case kAudioDevicePropertyVolumeRangeDecibels:
            return kRangeSize;
        default:
            return 0;
    }
}

void VolumeGetData(const char* inClassName, const HPPropertyAddress& inAddress, const HPLevelControl& inControl,
                   UInt32 inDataSize, void* outData)
{
    CheckBuffer(outData, inDataSize, inClassName, "GetData");
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyVolumeScalar:
            CheckSize(inDataSize, kFloat32Size, inClassName, "GetData", "kAudioDevicePropertyVolumeScalar");
            WriteValue<Float32>(outData, inControl.GetScalarValue());
            break;
        case kAudioDevicePropertyVolumeDecibels:
            CheckSize(inDataSize, kFloat32Size, inClassName, "GetData", "kAudioDevicePropertyVolumeDecibels");
            WriteValue<Float32>(outData, inControl.GetDBValue());
            break;
        case kAudioDevicePropertyVolumeRangeDecibels: {
            CheckSize(inDataSize, kRangeSize, inClassName, "GetData", "kAudioDevicePropertyVolumeRangeDecibels");
            AudioValueRange range;
            range.mMinimum = static_cast<Float64>(inControl.GetMinimumDBValue());
            range.mMaximum = static_cast<Float64>(inControl.GetMaximumDBValue());
            WriteValue(outData, range);
            break;
        }
        case kAudioDevicePropertyVolumeScalarToDecibels:
            CheckSize(inDataSize, kFloat32Size, inClassName, "GetData",
                      "kAudioDevicePropertyVolumeScalarToDecibels");
            WriteValue<Float32>(outData, inControl.ConverScalarValueToDBValue(ReadValue<Float32>(outData)));
            break;
        case kAudioDevicePropertyVolumeDecibelsToScalar:
            CheckSize(inDataSize, kFloat32Size, inClassName, "GetData",
                      "kAudioDevicePropertyVolumeDecibelsToScalar");
            WriteValue<Float32>(outData, inControl.ConverDBValueToScalarValue(ReadValue<Float32>(outData)));
            break;
        default:
            break;
    }
}

void VolumeSetData(const char* inClassName, const HPPropertyAddress& inAddress, HPLevelControl& inControl,
                   UInt32 inDataSize, const void* inData)
{
    switch (inAddress.mSelector) {
        case kAudioDevicePropertyVolumeScalar:
            CheckBuffer(inData, inDataSize, inClassName, "SetData");
            CheckSize(inDataSize, kFloat32Size, inClassName, "SetData", "kAudioDevicePropertyVolumeScalar");
            inControl.SetScalarValue(ReadValue<Float32>(inData));
            break;
        case kAudioDevicePropertyVolumeDecibels:
            CheckBuffer(inData, inDataSize, inClassName, "SetData");
            CheckSize(inDataSize, kFloat32Size, inClassName, "SetData", "kAudioDevicePropertyVolumeDecibels");
            inControl.SetDBValue(ReadValue<Float32>(inData));
            break;
        default:
            // The range and the conversions cannot be set; the request is
            // accepted and does nothing.
            break;
    }
}

// ---- Boolean ----

bool BooleanIsSettable(const HPControl& inControl) { return inControl.IsActive() && inControl.IsSettable(); }

UInt32 BooleanGetDataSize() { return kUInt32Size; }

void BooleanGetData(const char* inClassName, const char* inPropertyName, const HPBooleanControl& inControl,
                    UInt32 inDataSize, void* outData)
{
    CheckBuffer(outData, inDataSize, inClassName, "GetData");
    CheckSize(inDataSize, kUInt32Size, inClassName, "GetData", inPropertyName);
    WriteValue<UInt32>(outData, inControl.GetValue() ? 1 : 0);
}

void BooleanSetData(const char* inClassName, const char* inPropertyName, HPBooleanControl& inControl,
                    UInt32 inDataSize, const void* inData)
{
    CheckBuffer(inData, inDataSize, inClassName, "SetData");
    CheckSize(inDataSize, kUInt32Size, inClassName, "SetData", inPropertyName);
    inControl.SetValue(ReadValue<UInt32>(inData) != 0);
}

// ---- Selector ----

namespace {

bool IsNameSelector(const SelectorFamily& inFamily, UInt32 inSelector, const char*& outText)
{
    if (inSelector == inFamily.mName) {
        outText = inFamily.mNameText;
        return true;
    }
    if (inFamily.mNonLocalizedName != 0 && inSelector == inFamily.mNonLocalizedName) {
        outText = inFamily.mNonLocalizedNameText;
        return true;
    }
    return false;
}

// "input to <what>".
void CheckInputSize(const AudioValueTranslation& inTranslation, const char* inClassName, const char* inWhat)
{
    if (inTranslation.mInputDataSize != kUInt32Size) {
        char what[160];
        std::snprintf(what, sizeof(what), "input to %s", inWhat);
        ThrowWrongSize(inClassName, "GetData", what);
    }
}

// A translation's pointers are checked before anything is read or written
// through them: the host hands them over from a client unchecked.
void CheckTranslationPointers(const AudioValueTranslation& inTranslation, const char* inClassName,
                              const char* inWhat)
{
    char text[200];
    if (inTranslation.mInputData == nullptr) {
        std::snprintf(text, sizeof(text), "GetData: no input data for %s", inWhat);
        ThrowWithClassName(inClassName, text, kAudioHardwareIllegalOperationError);
    }
    if (inTranslation.mOutputData == nullptr && inTranslation.mOutputDataSize != 0) {
        std::snprintf(text, sizeof(text), "GetData: no output buffer for %s", inWhat);
        ThrowWithClassName(inClassName, text, kAudioHardwareIllegalOperationError);
    }
}

void WriteOutputSize(void* outTranslation, UInt32 inOutputSize)
{
    std::memcpy(static_cast<char*>(outTranslation) + offsetof(AudioValueTranslation, mOutputDataSize),
                &inOutputSize, sizeof(inOutputSize));
}

}  // namespace

bool SelectorIsSettable(const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                        const HPControl& inControl)
{
    if (inAddress.mSelector == inFamily.mCurrent) {
        return inControl.IsActive() && inControl.IsSettable();
    }
    return false;
}

UInt32 SelectorGetDataSize(const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                           const HPSelectorControl& inControl)
{
    const char* text = nullptr;
    if (inAddress.mSelector == inFamily.mCurrent) {
        return kUInt32Size;
    }
    if (inAddress.mSelector == inFamily.mList) {
        return kUInt32Size * inControl.GetNumberItems();
    }
    if (IsNameSelector(inFamily, inAddress.mSelector, text) || inAddress.mSelector == inFamily.mCFName) {
        return kTranslationSize;
    }
    return 0;
}

void SelectorGetData(const char* inClassName, const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                     const HPSelectorControl& inControl, UInt32& ioDataSize, void* outData)
{
    CheckBuffer(outData, ioDataSize, inClassName, "GetData");
    const char* nameText = nullptr;

    if (inAddress.mSelector == inFamily.mCurrent) {
        CheckSize(ioDataSize, kUInt32Size, inClassName, "GetData", inFamily.mCurrentText);
        WriteValue<UInt32>(outData, inControl.GetCurrentItemID());

    } else if (inAddress.mSelector == inFamily.mList) {
        // A short buffer is not an error: it gets the lowest IDs.
        UInt32 count = ioDataSize / kUInt32Size;
        if (count > inControl.GetNumberItems()) {
            count = inControl.GetNumberItems();
        }
        for (UInt32 index = 0; index < count; ++index) {
            WriteValue<UInt32>(static_cast<char*>(outData) + index * kUInt32Size, inControl.GetItemIDForIndex(index));
        }
        ioDataSize = count * kUInt32Size;

    } else if (IsNameSelector(inFamily, inAddress.mSelector, nameText)) {
        CheckSize(ioDataSize, kTranslationSize, inClassName, "GetData", nameText);
        AudioValueTranslation translation = ReadValue<AudioValueTranslation>(outData);
        CheckInputSize(translation, inClassName, nameText);
        CheckTranslationPointers(translation, inClassName, nameText);

        NameReference name(inControl.CopyItemNameByID(ReadValue<UInt32>(translation.mInputData)));
        // At most output size - 1 bytes and a NUL, as ASCII up to the first
        // character without an ASCII form; an output size of 0 gets nothing
        // and reports 0.
        UInt32 outputSize = translation.mOutputDataSize;
        if (outputSize != 0) {
            CACFString::GetCString(name.Get(), static_cast<char*>(translation.mOutputData), outputSize);
        }
        WriteOutputSize(outData, outputSize);

    } else if (inAddress.mSelector == inFamily.mCFName) {
        CheckSize(ioDataSize, kTranslationSize, inClassName, "GetData", inFamily.mCFNameText);
        AudioValueTranslation translation = ReadValue<AudioValueTranslation>(outData);
        CheckInputSize(translation, inClassName, inFamily.mCFNameText);
        if (translation.mOutputDataSize != kCFStringSize) {
            ThrowWrongSize(inClassName, "GetData", inFamily.mCFNameOutputText);
        }
        CheckTranslationPointers(translation, inClassName, inFamily.mCFNameText);

        // The caller receives the reference and releases it.
        CFStringRef name = inControl.CopyItemNameByID(ReadValue<UInt32>(translation.mInputData));
        WriteValue(translation.mOutputData, name);
    }
}

void SelectorSetData(const char* inClassName, const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                     HPSelectorControl& inControl, UInt32 inDataSize, const void* inData)
{
    if (inAddress.mSelector == inFamily.mCurrent) {
        CheckBuffer(inData, inDataSize, inClassName, "SetData");
        CheckSize(inDataSize, kUInt32Size, inClassName, "SetData", inFamily.mCurrentText);
        inControl.SetCurrentItemByID(ReadValue<UInt32>(inData));
    }
    // The list and the names cannot be set; the request is accepted and does
    // nothing.
}

}  // namespace HPControlPropertyOperations
