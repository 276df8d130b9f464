#include "framework/controls/HPControlOwner.h"

#include "framework/controls/HPBooleanControl.h"
#include "framework/controls/HPControl.h"
#include "framework/controls/HPLevelControl.h"
#include "framework/controls/HPSelectorControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

HPControlOwner::HPControlOwner() = default;

HPControlOwner::~HPControlOwner()
{
    for (auto& entry : mControlMap) {
        entry.second->Teardown();
        delete entry.second;
    }
}

HPControlOwner::ControlKey HPControlOwner::MakeKey(const HPControl* inControl)
{
    return ControlKey{inControl->GetClassID(), inControl->GetChannel(), inControl->GetSection()};
}

void HPControlOwner::AddControl(HPControl* inControl)
{
    const ControlKey key = MakeKey(inControl);
    if (mControlMap.contains(key)) {
        CAThrowWithMessage("HPControlOwner::AddControl: control already in the map",
                           kAudioHardwareIllegalOperationError);
    }
    mControlMap.emplace(key, inControl);
}

void HPControlOwner::RemoveControl(HPControl* inControl) { mControlMap.erase(MakeKey(inControl)); }

HPControl* HPControlOwner::GetControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const
{
    auto found = mControlMap.find(ControlKey{inClassID, inChannel, inSection});
    if (found != mControlMap.end()) {
        return found->second;
    }
    if (inSection != HPControl::kAllSections) {
        found = mControlMap.find(ControlKey{inClassID, inChannel, HPControl::kAllSections});
        if (found != mControlMap.end()) {
            return found->second;
        }
    }
    return nullptr;
}

HPLevelControl* HPControlOwner::GetLevelControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const
{
    HPControl* control = GetControl(inClassID, inChannel, inSection);
    if (control == nullptr || control->GetBaseClassID() != HPControl::kLevelControlBaseClassID) {
        return nullptr;
    }
    // The base class ID decides; the cast only guards against a plain
    // HPControl constructed with that ID.
    return dynamic_cast<HPLevelControl*>(control);
}

HPBooleanControl* HPControlOwner::GetBooleanControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const
{
    HPControl* control = GetControl(inClassID, inChannel, inSection);
    if (control == nullptr || control->GetBaseClassID() != HPControl::kBooleanControlBaseClassID) {
        return nullptr;
    }
    // The base class ID decides; the cast only guards against a plain
    // HPControl constructed with that ID.
    return dynamic_cast<HPBooleanControl*>(control);
}

HPSelectorControl* HPControlOwner::GetSelectorControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const
{
    HPControl* control = GetControl(inClassID, inChannel, inSection);
    if (control == nullptr || control->GetBaseClassID() != HPControl::kSelectorControlBaseClassID) {
        return nullptr;
    }
    // The base class ID decides; the cast only guards against a plain
    // HPControl constructed with that ID.
    return dynamic_cast<HPSelectorControl*>(control);
}

void HPControlOwner::ControlValueChanged(HPControl* /*inControl*/) {}

void HPControlOwner::ControlRangeChanged(HPControl* /*inControl*/) {}
