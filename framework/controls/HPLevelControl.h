// A control with a raw integer value, shown to clients in decibels and as a
// 0..1 scalar through its volume curve. The raw value is the only state: the
// decibel and scalar operations go through GetRawValue/SetRawValue, so a
// concrete control overrides those two and fills the curve in Initialize.
#pragma once

#include "framework/controls/CAVolumeCurve.h"
#include "framework/controls/HPControl.h"

class HPLevelControl : public HPControl {
public:
    HPLevelControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner);
    ~HPLevelControl() override;

    virtual Float32 GetMinimumDBValue() const;
    virtual Float32 GetMaximumDBValue() const;
    virtual Float32 GetDBValue() const;
    virtual void SetDBValue(Float32 inDBValue);
    virtual Float32 GetScalarValue() const;
    virtual void SetScalarValue(Float32 inScalarValue);
    // Conversions on the curve; the control's value is untouched.
    virtual Float32 ConverScalarValueToDBValue(Float32 inScalarValue) const;
    virtual Float32 ConverDBValueToScalarValue(Float32 inDBValue) const;
    // 0 and nothing in the base.
    virtual SInt32 GetRawValue() const;
    virtual void SetRawValue(SInt32 inRawValue);

    const CAVolumeCurve& GetVolumeCurve() const { return mVolumeCurve; }

protected:
    CAVolumeCurve mVolumeCurve;  // empty until the concrete control fills it
};
