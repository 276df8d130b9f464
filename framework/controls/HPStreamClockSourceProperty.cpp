#include "framework/controls/HPStreamClockSourceProperty.h"

#include <iterator>

#include "framework/HPStream.h"
#include "framework/controls/HPControlPropertyOperations.h"
#include "framework/controls/HPSelectorControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr const char* kClassName = "HPStreamClockSourceProperty";
constexpr UInt32 kControlClassID = kAudioDevicePropertyClockSource;
// Each is implemented for every channel and section.
constexpr UInt32 kSelectors[] = {
    kAudioDevicePropertyClockSource,
    kAudioDevicePropertyClockSources,
    kAudioDevicePropertyClockSourceNameForID,
    kAudioDevicePropertyClockSourceNameForIDCFString,
};
constexpr UInt32 kNumberSelectors = static_cast<UInt32>(std::size(kSelectors));
constexpr HPControlPropertyOperations::SelectorFamily kFamily = {
    kAudioDevicePropertyClockSource,
    kAudioDevicePropertyClockSources,
    kAudioDevicePropertyClockSourceNameForID,
    0,
    kAudioDevicePropertyClockSourceNameForIDCFString,
    "kAudioDevicePropertyClockSource",
    "kAudioDevicePropertyClockSourceNameForID",
    nullptr,
    "kAudioDevicePropertyClockSourceNameForIDCFString",
    "output from kAudioDevicePropertyClockSourceNameForIDCFString",
};

}  // namespace

namespace Ops = HPControlPropertyOperations;

HPStreamClockSourceProperty::HPStreamClockSourceProperty(HPStream* inStream) : mStream(inStream) {}

HPStreamClockSourceProperty::~HPStreamClockSourceProperty() = default;

// The untyped lookup, so that the question never depends on the control's
// kind. No control is the silent 'who?' that makes the property unknown.
bool HPStreamClockSourceProperty::IsActive(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection);
    if (control == nullptr) {
        CAThrow(kAudioHardwareUnknownPropertyError);
    }
    return control->IsActive();
}

bool HPStreamClockSourceProperty::IsSettable(const HPPropertyAddress& inAddress) const
{
    const HPControl* control = Ops::RequireControl(mStream->HPControlOwner::GetControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "IsSettable");
    return Ops::SelectorIsSettable(kFamily, inAddress, *control);
}

UInt32 HPStreamClockSourceProperty::GetDataSize(const HPPropertyAddress& inAddress) const
{
    const HPSelectorControl* control = Ops::RequireControl(mStream->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetDataSize");
    return Ops::SelectorGetDataSize(kFamily, inAddress, *control);
}

void HPStreamClockSourceProperty::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    const HPSelectorControl* control = Ops::RequireControl(mStream->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "GetData");
    Ops::SelectorGetData(kClassName, kFamily, inAddress, *control, ioDataSize, outData);
}

void HPStreamClockSourceProperty::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                    const AudioTimeStamp* /*inWhen*/)
{
    HPSelectorControl* control = Ops::RequireControl(mStream->GetSelectorControl(kControlClassID, inAddress.mChannel, inAddress.mSection), kClassName, "SetData");
    Ops::SelectorSetData(kClassName, kFamily, inAddress, *control, inDataSize, inData);
}

UInt32 HPStreamClockSourceProperty::GetNumberAddressesImplemented() const { return kNumberSelectors; }

void HPStreamClockSourceProperty::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    Ops::GetAddressByIndex(kSelectors, kNumberSelectors, inIndex, outAddress);
}
