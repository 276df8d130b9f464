#include "framework/controls/HPStreamDataSourceProperty.h"

#include <iterator>

#include "framework/HPStream.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPSelectorControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPStreamDataSourceProperty";
constexpr UInt32 kControlClassID = kAudioDevicePropertyDataSource;
// Each is implemented for every channel and section.
constexpr UInt32 kSelectors[] = {
    kAudioDevicePropertyDataSource,
    kAudioDevicePropertyDataSources,
    kAudioDevicePropertyDataSourceNameForID,
    kAudioDevicePropertyDataSourceNameForIDCFString,
};
constexpr UInt32 kNumberSelectors = static_cast<UInt32>(std::size(kSelectors));
constexpr HPControlPropertyOperations::SelectorFamily kFamily = {
    kAudioDevicePropertyDataSource,
    kAudioDevicePropertyDataSources,
    kAudioDevicePropertyDataSourceNameForID,
    0,
    kAudioDevicePropertyDataSourceNameForIDCFString,
    "kAudioDevicePropertyDataSource",
    "kAudioDevicePropertyDataSourceNameForID",
    nullptr,
    "kAudioDevicePropertyDataSourceNameForIDCFString",
    "output frm kAudioDevicePropertyDataSourceNameForIDCFString",
};

}  // namespace

namespace Ops = HPControlPropertyOperations;

HPStreamDataSourceProperty::HPStreamDataSourceProperty(HPStream* inStream) : mStream(inStream) {}

HPStreamDataSourceProperty::~HPStreamDataSourceProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPStreamDataSourceProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPStreamDataSourceProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::SelectorIsSettable(kFamily, inAddress, *control);
}

UInt32 HPStreamDataSourceProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    const HPSelectorControl* control = Ops::RequireControl(mStream->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::SelectorGetDataSize(kFamily, inAddress, *control);
}

void HPStreamDataSourceProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPSelectorControl* control = Ops::RequireControl(mStream->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::SelectorGetData(kClassName, kFamily, inAddress, *control, ioDataSize, outData);
}

void HPStreamDataSourceProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPSelectorControl* control = Ops::RequireControl(mStream->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::SelectorSetData(kClassName, kFamily, inAddress, *control, inDataSize, inData);
}

UInt32 HPStreamDataSourceProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPStreamDataSourceProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
