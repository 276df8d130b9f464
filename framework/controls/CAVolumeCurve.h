// Maps a level control's raw hardware value (a step number) to decibels and
// to the 0..1 scalar clients use, and back. The decibel mapping is piecewise
// linear over a sorted set of ranges; the scalar is linear in the raw value
// for curves spanning at most 30 dB and quadratic for wider ones, so that the
// lower half of a slider covers only the quietest quarter of the steps.
// Decibels and scalars convert into each other through the raw value, so
// every result lies on a raw step.
//
// Filled once by the owning control's Initialize; read-only afterwards and
// then safe to read from any thread. The conversions neither allocate nor
// lock.
#pragma once

#include <map>

#include "platform/MacTypes.h"

class CAVolumeCurve {
public:
    CAVolumeCurve();
    virtual ~CAVolumeCurve();

    // The curve's bounds, from its first and last ranges; 0 when empty.
    SInt32 GetMinimumRaw() const;
    SInt32 GetMaximumRaw() const;
    Float64 GetMinimumDB() const;
    Float64 GetMaximumDB() const;

    // Adds one range (raw minimum maps to dB minimum, raw maximum to dB
    // maximum). A range overlapping an existing one is reported on standard
    // error and ignored; one starting at an existing range's minimum raw is
    // ignored silently. Never throws.
    void AddRange(SInt32 inMinRaw, SInt32 inMaxRaw, Float64 inMinDB, Float64 inMaxDB);
    void ResetRange();
    // Whether each range starts, in raw and in dB, where the previous ends.
    bool CheckForContinuity() const;

    // Values outside the curve convert as the nearest bound. The conversions
    // assume contiguous ranges. An empty curve converts everything to 0.
    Float64 ConvertRawToDB(SInt32 inRaw) const;
    SInt32 ConvertDBToRaw(Float64 inDB) const;
    Float64 ConvertRawToScalar(SInt32 inRaw) const;
    SInt32 ConvertScalarToRaw(Float64 inScalar) const;
    Float64 ConvertDBToScalar(Float64 inDB) const;
    Float64 ConvertScalarToDB(Float64 inScalar) const;

private:
    struct RawRange {
        SInt32 mMinimum;
        SInt32 mMaximum;
        // Spans with the same minimum are the same key.
        bool operator<(const RawRange& inOther) const { return mMinimum < inOther.mMinimum; }
    };
    struct DBRange {
        Float64 mMinimum;
        Float64 mMaximum;
    };
    using CurveMap = std::map<RawRange, DBRange>;

    CurveMap mCurveMap;
};
