#include "framework/controls/HPControl.h"

#include "framework/controls/HPControlOwner.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

HPControl::HPControl(UInt32 inBaseClassID, UInt32 inClassID, UInt32 inChannel, UInt8 inSection,
                     HPControlOwner* inOwner)
    : mBaseClassID(inBaseClassID), mClassID(inClassID), mChannel(inChannel), mSection(inSection), mOwner(inOwner)
{
    if (inOwner == nullptr) {
        CAThrowWithMessage("HPControl::HPControl: controls must have an owner", kAudioHardwareIllegalOperationError);
    }
}

HPControl::~HPControl() = default;

void HPControl::Initialize() {}

void HPControl::Teardown() {}

bool HPControl::IsActive() const { return true; }

bool HPControl::IsSettable() const { return true; }

UInt32 HPControl::GetValueDataSize() const { return 0; }

void HPControl::GetValueData(UInt32& ioSize, void* /*outData*/) const { ioSize = 0; }

void HPControl::SetValueData(UInt32 /*inSize*/, const void* /*inData*/) {}

void HPControl::ValueChanged() { mOwner->ControlValueChanged(this); }

void HPControl::RangeChanged() { mOwner->ControlRangeChanged(this); }
