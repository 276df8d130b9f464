#include "framework/controls/HPDeviceDataSourceProperty.h"

#include <iterator>

#include "framework/HPDevice.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPSelectorControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPDeviceDataSourceProperty";
constexpr UInt32 kControlClassID = kAudioDevicePropertyDataSource;
// Each is implemented for every channel and section.
constexpr UInt32 kSelectors[] = {
    kAudioDevicePropertyDataSource,
    kAudioDevicePropertyDataSources,
    kAudioDevicePropertyDataSourceNameForID,
    kAudioDevicePropertyDataSourceNameForIDNonLocalized,
    kAudioDevicePropertyDataSourceNameForIDCFString,
};
constexpr UInt32 kNumberSelectors = static_cast<UInt32>(std::size(kSelectors));
constexpr HPControlPropertyOperations::SelectorFamily kFamily = {
    kAudioDevicePropertyDataSource,
    kAudioDevicePropertyDataSources,
    kAudioDevicePropertyDataSourceNameForID,
    kAudioDevicePropertyDataSourceNameForIDNonLocalized,
    kAudioDevicePropertyDataSourceNameForIDCFString,
    "kAudioDevicePropertyDataSource",
    "kAudioDevicePropertyDataSourceNameForID",
    "kAudioDevicePropertyDataSourceNameForIDNonLocalized",
    "kAudioDevicePropertyDataSourceNameForIDCFString",
    "output frm kAudioDevicePropertyDataSourceNameForIDCFString",
};

}  // namespace

namespace Ops = HPControlPropertyOperations;

HPDeviceDataSourceProperty::HPDeviceDataSourceProperty(HPDevice* inDevice) : HPDeviceProperty(inDevice) {}

HPDeviceDataSourceProperty::~HPDeviceDataSourceProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPDeviceDataSourceProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPDeviceDataSourceProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mDevice->GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::SelectorIsSettable(kFamily, inAddress, *control);
}

UInt32 HPDeviceDataSourceProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    const HPSelectorControl* control = Ops::RequireControl(mDevice->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::SelectorGetDataSize(kFamily, inAddress, *control);
}

void HPDeviceDataSourceProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPSelectorControl* control = Ops::RequireControl(mDevice->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::SelectorGetData(kClassName, kFamily, inAddress, *control, ioDataSize, outData);
}

void HPDeviceDataSourceProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPSelectorControl* control = Ops::RequireControl(mDevice->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::SelectorSetData(kClassName, kFamily, inAddress, *control, inDataSize, inData);
}

UInt32 HPDeviceDataSourceProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPDeviceDataSourceProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
