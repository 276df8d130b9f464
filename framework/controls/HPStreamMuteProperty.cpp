#include "framework/controls/HPStreamMuteProperty.h"

#include <iterator>

#include "framework/HPStream.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPBooleanControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPStreamMuteProperty";
constexpr UInt32 kControlClassID = kAudioDevicePropertyMute;
// Each is implemented for every channel and section.
constexpr UInt32 kSelectors[] = {
    kAudioDevicePropertyMute,
};
constexpr UInt32 kNumberSelectors = static_cast<UInt32>(std::size(kSelectors));

}  // namespace

namespace Ops = HPControlPropertyOperations;

HPStreamMuteProperty::HPStreamMuteProperty(HPStream* inStream) : mStream(inStream) {}

HPStreamMuteProperty::~HPStreamMuteProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPStreamMuteProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPStreamMuteProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::BooleanIsSettable(*control);
}

UInt32 HPStreamMuteProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::BooleanGetDataSize();
}

void HPStreamMuteProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPBooleanControl* control = Ops::RequireControl(mStream->GetBooleanControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::BooleanGetData(kClassName, "kAudioDevicePropertyMute", *control, ioDataSize, outData);
}

void HPStreamMuteProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPBooleanControl* control = Ops::RequireControl(mStream->GetBooleanControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::BooleanSetData(kClassName, "kAudioDevicePropertyMute", *control, inDataSize, inData);
}

UInt32 HPStreamMuteProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPStreamMuteProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
