#include "framework/controls/HPStreamPlayThruProperty.h"

#include <iterator>

#include "framework/HPStream.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPBooleanControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPStreamPlayThruProperty";
constexpr UInt32 kControlClassID = kAudioDevicePropertyPlayThru;
// Each is implemented for every channel and section.
constexpr UInt32 kSelectors[] = {
    kAudioDevicePropertyPlayThru,
};
constexpr UInt32 kNumberSelectors = static_cast<UInt32>(std::size(kSelectors));

}  // namespace

namespace Ops = HPControlPropertyOperations;

HPStreamPlayThruProperty::HPStreamPlayThruProperty(HPStream* inStream) : mStream(inStream) {}

HPStreamPlayThruProperty::~HPStreamPlayThruProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPStreamPlayThruProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPStreamPlayThruProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::BooleanIsSettable(*control);
}

UInt32 HPStreamPlayThruProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::BooleanGetDataSize();
}

void HPStreamPlayThruProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPBooleanControl* control = Ops::RequireControl(mStream->GetBooleanControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::BooleanGetData(kClassName, "kAudioDevicePropertyPlayThru", *control, ioDataSize, outData);
}

void HPStreamPlayThruProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPBooleanControl* control = Ops::RequireControl(mStream->GetBooleanControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::BooleanSetData(kClassName, "kAudioDevicePropertyPlayThru", *control, inDataSize, inData);
}

UInt32 HPStreamPlayThruProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPStreamPlayThruProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
