#include "framework/controls/HPBooleanControl.h"

HPBooleanControl::HPBooleanControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner)
    : HPControl(kBooleanControlBaseClassID, inClassID, inChannel, inSection, inOwner)
{
}

HPBooleanControl::~HPBooleanControl() = default;

bool HPBooleanControl::GetValue() const { return false; }

void HPBooleanControl::SetValue(bool /*inValue*/) {}
