#include "framework/controls/HPDevicePlayThruProperty.h"

#include <iterator>

#include "framework/HPDevice.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPBooleanControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPDevicePlayThruProperty";
constexpr UInt32 kControlClassID = kAudioDevicePropertyPlayThru;
// Each is implemented for every channel and section.
constexpr UInt32 kSelectors[] = {
    kAudioDevicePropertyPlayThru,
};
constexpr UInt32 kNumberSelectors = static_cast<UInt32>(std::size(kSelectors));

}  // namespace

namespace Ops = HPControlPropertyOperations;

HPDevicePlayThruProperty::HPDevicePlayThruProperty(HPDevice* inDevice) : HPDeviceProperty(inDevice) {}

HPDevicePlayThruProperty::~HPDevicePlayThruProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPDevicePlayThruProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPDevicePlayThruProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::BooleanIsSettable(*control);
}

UInt32 HPDevicePlayThruProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    Ops::RequireControl(mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::BooleanGetDataSize();
}

void HPDevicePlayThruProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPBooleanControl* control = Ops::RequireControl(mDevice->GetBooleanControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::BooleanGetData(kClassName, "kAudioDevicePropertyPlayThru", *control, ioDataSize, outData);
}

void HPDevicePlayThruProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPBooleanControl* control = Ops::RequireControl(mDevice->GetBooleanControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::BooleanSetData(kClassName, "kAudioDevicePropertyPlayThru", *control, inDataSize, inData);
}

UInt32 HPDevicePlayThruProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPDevicePlayThruProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
