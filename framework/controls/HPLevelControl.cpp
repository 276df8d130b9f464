#include "framework/controls/HPLevelControl.h"

HPLevelControl::HPLevelControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner)
    : HPControl(kLevelControlBaseClassID, inClassID, inChannel, inSection, inOwner)
{
}

HPLevelControl::~HPLevelControl() = default;

// The curve works in Float64; Float32 arguments are widened before each call
// and results narrowed after it.

Float32 HPLevelControl::GetMinimumDBValue() const { return static_cast<Float32>(mVolumeCurve.GetMinimumDB()); }

Float32 HPLevelControl::GetMaximumDBValue() const { return static_cast<Float32>(mVolumeCurve.GetMaximumDB()); }

Float32 HPLevelControl::GetDBValue() const
{
    return static_cast<Float32>(mVolumeCurve.ConvertRawToDB(GetRawValue()));
}

void HPLevelControl::SetDBValue(Float32 inDBValue)
{
    SetRawValue(mVolumeCurve.ConvertDBToRaw(static_cast<Float64>(inDBValue)));
}

Float32 HPLevelControl::GetScalarValue() const
{
    return static_cast<Float32>(mVolumeCurve.ConvertRawToScalar(GetRawValue()));
}

void HPLevelControl::SetScalarValue(Float32 inScalarValue)
{
    SetRawValue(mVolumeCurve.ConvertScalarToRaw(static_cast<Float64>(inScalarValue)));
}

Float32 HPLevelControl::ConverScalarValueToDBValue(Float32 inScalarValue) const
{
    return static_cast<Float32>(mVolumeCurve.ConvertScalarToDB(static_cast<Float64>(inScalarValue)));
}

Float32 HPLevelControl::ConverDBValueToScalarValue(Float32 inDBValue) const
{
    return static_cast<Float32>(mVolumeCurve.ConvertDBToScalar(static_cast<Float64>(inDBValue)));
}

SInt32 HPLevelControl::GetRawValue() const { return 0; }

void HPLevelControl::SetRawValue(SInt32 /*inRawValue*/) {}
