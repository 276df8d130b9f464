#include "framework/controls/HPStreamVolumeProperty.h"

#include <iterator>

#include "framework/HPStream.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPLevelControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPStreamVolumeProperty";
constexpr UInt32 kControlClassID = kAudioDevicePropertyVolumeScalar;
// Each is implemented for every channel and section.
constexpr UInt32 kSelectors[] = {
    kAudioDevicePropertyVolumeScalar,
    kAudioDevicePropertyVolumeDecibels,
    kAudioDevicePropertyVolumeRangeDecibels,
    kAudioDevicePropertyVolumeScalarToDecibels,
    kAudioDevicePropertyVolumeDecibelsToScalar,
};
constexpr UInt32 kNumberSelectors = static_cast<UInt32>(std::size(kSelectors));

}  // namespace

namespace Ops = HPControlPropertyOperations;

HPStreamVolumeProperty::HPStreamVolumeProperty(HPStream* inStream) : mStream(inStream) {}

HPStreamVolumeProperty::~HPStreamVolumeProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPStreamVolumeProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPStreamVolumeProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::VolumeIsSettable(inAddress, *control);
}

UInt32 HPStreamVolumeProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::VolumeGetDataSize(inAddress);
}

void HPStreamVolumeProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPLevelControl* control = Ops::RequireControl(mStream->GetLevelControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::VolumeGetData(kClassName, inAddress, *control, ioDataSize, outData);
}

void HPStreamVolumeProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPLevelControl* control = Ops::RequireControl(mStream->GetLevelControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::VolumeSetData(kClassName, inAddress, *control, inDataSize, inData);
}

UInt32 HPStreamVolumeProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPStreamVolumeProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
