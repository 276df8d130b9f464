#include "framework/controls/CAVolumeCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Curves wider than this map the scalar quadratically.
constexpr Float64 kQuadraticThresholdDB = 30.0;

// A range's decibels per raw step. A range of no raw steps adds no steps
// and a flat range adds no decibels, so both answer 0 instead of an
// infinite or undefined slope.
Float64 Slope(SInt64 inRawDelta, Float64 inDBDelta)
{
    if (inRawDelta == 0) {
        return 0.0;
    }
    return inDBDelta / static_cast<Float64>(inRawDelta);
}

SInt32 ClampToSInt32(SInt64 inValue)
{
    return static_cast<SInt32>(std::clamp<SInt64>(inValue, INT32_MIN, INT32_MAX));
}

}  // namespace

CAVolumeCurve::CAVolumeCurve() = default;

CAVolumeCurve::~CAVolumeCurve() = default;

SInt32 CAVolumeCurve::GetMinimumRaw() const { return mCurveMap.empty() ? 0 : mCurveMap.begin()->first.mMinimum; }

SInt32 CAVolumeCurve::GetMaximumRaw() const { return mCurveMap.empty() ? 0 : mCurveMap.rbegin()->first.mMaximum; }

Float64 CAVolumeCurve::GetMinimumDB() const { return mCurveMap.empty() ? 0.0 : mCurveMap.begin()->second.mMinimum; }

Float64 CAVolumeCurve::GetMaximumDB() const { return mCurveMap.empty() ? 0.0 : mCurveMap.rbegin()->second.mMaximum; }

void CAVolumeCurve::AddRange(SInt32 inMinRaw, SInt32 inMaxRaw, Float64 inMinDB, Float64 inMaxDB)
{
    // Spans that only touch at an end do not overlap. Every existing range
    // is checked, not only those before the new one's place: a range that
    // overlaps a later one would otherwise slip in and break the conversions,
    // which count raw steps across contiguous ranges.
    for (const auto& range : mCurveMap) {
        const bool overlaps = inMinRaw < range.first.mMaximum && inMaxRaw > range.first.mMinimum;
        if (overlaps) {
            std::fprintf(stderr, "CAVolumeCurve::AddRange: new point overlaps\n");
            return;
        }
    }
    // A range with the same minimum raw is the same key: the curve keeps the
    // one it has.
    mCurveMap.emplace(RawRange{inMinRaw, inMaxRaw}, DBRange{inMinDB, inMaxDB});
}

void CAVolumeCurve::ResetRange() { mCurveMap.clear(); }

bool CAVolumeCurve::CheckForContinuity() const
{
    bool continuous = true;
    if (mCurveMap.empty()) {
        return continuous;
    }
    SInt64 expectedRaw = mCurveMap.begin()->first.mMinimum;
    Float64 expectedDB = mCurveMap.begin()->second.mMinimum;
    for (const auto& range : mCurveMap) {
        continuous = range.first.mMinimum == expectedRaw && range.second.mMinimum == expectedDB;
        if (!continuous) {
            break;
        }
        expectedRaw += SInt64(range.first.mMaximum) - range.first.mMinimum;
        expectedDB += range.second.mMaximum - range.second.mMinimum;
    }
    return continuous;
}

Float64 CAVolumeCurve::ConvertRawToDB(SInt32 inRaw) const
{
    if (mCurveMap.empty()) {
        return 0.0;
    }
    const SInt32 minimumRaw = GetMinimumRaw();
    const SInt32 raw = std::clamp(inRaw, minimumRaw, std::max(minimumRaw, GetMaximumRaw()));

    // 64-bit so that a curve spanning the whole SInt32 range cannot overflow.
    SInt64 remaining = SInt64(raw) - minimumRaw;
    Float64 result = mCurveMap.begin()->second.mMinimum;
    for (auto range = mCurveMap.begin(); range != mCurveMap.end() && remaining > 0; ++range) {
        const SInt64 rawDelta = SInt64(range->first.mMaximum) - range->first.mMinimum;
        // A reversed range (maximum below minimum) contributes no steps.
        const SInt64 steps = std::clamp<SInt64>(remaining, 0, std::max<SInt64>(rawDelta, 0));
        result += static_cast<Float64>(steps) * Slope(rawDelta, range->second.mMaximum - range->second.mMinimum);
        remaining -= steps;
    }
    return result;
}

SInt32 CAVolumeCurve::ConvertDBToRaw(Float64 inDB) const
{
    if (mCurveMap.empty()) {
        return 0;
    }
    const Float64 minimumDB = GetMinimumDB();
    const Float64 maximumDB = GetMaximumDB();
    // A NaN converts as the minimum.
    Float64 dB = std::isnan(inDB) ? minimumDB : inDB;
    dB = std::max(dB, minimumDB);
    dB = std::min(dB, maximumDB);

    SInt64 result = GetMinimumRaw();
    for (const auto& range : mCurveMap) {
        const SInt64 rawDelta = SInt64(range.first.mMaximum) - range.first.mMinimum;
        if (dB > range.second.mMaximum) {
            result += rawDelta;
            continue;
        }
        const Float64 slope = Slope(rawDelta, range.second.mMaximum - range.second.mMinimum);
        if (slope != 0.0 && std::isfinite(slope)) {
            const Float64 steps = std::round((dB - range.second.mMinimum) / slope);
            result += static_cast<SInt64>(std::clamp(steps, -4294967296.0, 4294967296.0));
        }
        break;
    }
    return ClampToSInt32(result);
}

Float64 CAVolumeCurve::ConvertRawToScalar(SInt32 inRaw) const
{
    const SInt32 minimumRaw = GetMinimumRaw();
    const SInt32 maximumRaw = std::max(minimumRaw, GetMaximumRaw());
    const Float64 dBRange = GetMaximumDB() - GetMinimumDB();
    const Float64 rawRange = Float64(maximumRaw) - Float64(minimumRaw);
    if (rawRange <= 0.0) {
        // An empty or single-step curve has nowhere to go but its bottom.
        return 0.0;
    }
    const SInt32 raw = std::clamp(inRaw, minimumRaw, maximumRaw);
    Float64 scalar = (Float64(raw) - Float64(minimumRaw)) / rawRange;
    if (dBRange > kQuadraticThresholdDB) {
        scalar = std::pow(scalar, 2.0);
    }
    return scalar;
}

SInt32 CAVolumeCurve::ConvertScalarToRaw(Float64 inScalar) const
{
    // std::max(0.0, NaN) is 0.0, so a NaN converts as 0.
    Float64 scalar = std::max(0.0, inScalar);
    scalar = std::min(scalar, 1.0);

    const SInt32 minimumRaw = GetMinimumRaw();
    const Float64 dBRange = GetMaximumDB() - GetMinimumDB();
    const Float64 rawRange = std::max(0.0, Float64(GetMaximumRaw()) - Float64(minimumRaw));
    if (dBRange > kQuadraticThresholdDB) {
        scalar = std::pow(scalar, 0.5);
    }
    return ClampToSInt32(SInt64(minimumRaw) + static_cast<SInt64>(std::round(scalar * rawRange)));
}

Float64 CAVolumeCurve::ConvertDBToScalar(Float64 inDB) const { return ConvertRawToScalar(ConvertDBToRaw(inDB)); }

Float64 CAVolumeCurve::ConvertScalarToDB(Float64 inScalar) const { return ConvertRawToDB(ConvertScalarToRaw(inScalar)); }
