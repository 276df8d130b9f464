// An on/off control (mute, play-through). The base has no state: GetValue is
// false and SetValue does nothing until a concrete control overrides them.
#pragma once

#include "framework/controls/HPControl.h"

class HPBooleanControl : public HPControl {
public:
    HPBooleanControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner);
    ~HPBooleanControl() override;

    virtual bool GetValue() const;
    virtual void SetValue(bool inValue);
};
