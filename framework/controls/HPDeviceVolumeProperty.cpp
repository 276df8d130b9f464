#include "framework/controls/HPDeviceVolumeProperty.h"

#include <iterator>

#include "framework/HPDevice.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPLevelControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPDeviceVolumeProperty";
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

HPDeviceVolumeProperty::HPDeviceVolumeProperty(HPDevice* inDevice) : HPDeviceProperty(inDevice) {}

HPDeviceVolumeProperty::~HPDeviceVolumeProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPDeviceVolumeProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPDeviceVolumeProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::VolumeIsSettable(inAddress, *control);
}

UInt32 HPDeviceVolumeProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    Ops::RequireControl(mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::VolumeGetDataSize(inAddress);
}

void HPDeviceVolumeProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPLevelControl* control = Ops::RequireControl(mDevice->GetLevelControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::VolumeGetData(kClassName, inAddress, *control, ioDataSize, outData);
}

void HPDeviceVolumeProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPLevelControl* control = Ops::RequireControl(mDevice->GetLevelControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::VolumeSetData(kClassName, inAddress, *control, inDataSize, inData);
}

UInt32 HPDeviceVolumeProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPDeviceVolumeProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
