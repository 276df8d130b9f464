// The volume curve: raw <-> dB <-> scalar conversions on a narrow (linear)
// and a wide (quadratic) curve, clamping, rounding, adding and resetting
// ranges, continuity, and the empty and degenerate curves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "framework/controls/CAVolumeCurve.h"

namespace {

// One range raw 0..3 <-> -14..+4 dB: 18 dB wide, so the scalar is linear.
class NarrowCurveTest : public testing::Test {
protected:
    void SetUp() override { mCurve.AddRange(0, 3, -14.0, 4.0); }
    CAVolumeCurve mCurve;
};

TEST_F(NarrowCurveTest, RawToDBIsPiecewiseLinearAndClamped)
{
    const struct {
        SInt32 mRaw;
        Float64 mDB;
    } cases[] = {{0, -14.0}, {1, -8.0}, {2, -2.0}, {3, 4.0}, {-5, -14.0}, {9, 4.0}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(c.mDB, mCurve.ConvertRawToDB(c.mRaw)) << "raw " << c.mRaw;
    }
}

TEST_F(NarrowCurveTest, DBToRawRoundsHalvesAwayFromZeroAndClamps)
{
    const struct {
        Float64 mDB;
        SInt32 mRaw;
    } cases[] = {
        {-5.0, 2},    // 1.5 steps
        {-11.0, 1},   // 0.5 steps
        {-12.0, 0},   // 0.33 steps
        {100.0, 3},   // above the curve
        {-100.0, 0},  // below the curve
        {std::numeric_limits<Float64>::quiet_NaN(), 0},
        {std::numeric_limits<Float64>::infinity(), 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.mRaw, mCurve.ConvertDBToRaw(c.mDB)) << "dB " << c.mDB;
    }
}

TEST_F(NarrowCurveTest, ScalarIsLinearAndClamped)
{
    EXPECT_DOUBLE_EQ(2.0 / 3.0, mCurve.ConvertRawToScalar(2));
    EXPECT_DOUBLE_EQ(0.0, mCurve.ConvertRawToScalar(-7));
    EXPECT_DOUBLE_EQ(1.0, mCurve.ConvertRawToScalar(70));
    const struct {
        Float64 mScalar;
        SInt32 mRaw;
    } cases[] = {{0.5, 2}, {-1.0, 0}, {7.0, 3}, {0.0, 0}, {1.0, 3}, {std::nan(""), 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.mRaw, mCurve.ConvertScalarToRaw(c.mScalar)) << "scalar " << c.mScalar;
    }
}

TEST_F(NarrowCurveTest, DBAndScalarConvertThroughARawStep)
{
    EXPECT_DOUBLE_EQ(-2.0, mCurve.ConvertScalarToDB(0.5));
    // 0 dB lies between raw 2 and 3: 14 / 6 = 2.33 rounds to raw 2.
    EXPECT_DOUBLE_EQ(2.0 / 3.0, mCurve.ConvertDBToScalar(0.0));
}

TEST(WideCurveTest, ScalarIsQuadraticAndRoundTrips)
{
    CAVolumeCurve curve;
    curve.AddRange(0, 100, -60.0, 0.0);
    EXPECT_DOUBLE_EQ(0.25, curve.ConvertRawToScalar(50));
    EXPECT_EQ(50, curve.ConvertScalarToRaw(0.25));
    // The exponents and the rounding match in both directions.
    for (SInt32 raw = 0; raw <= 100; ++raw) {
        EXPECT_EQ(raw, curve.ConvertScalarToRaw(curve.ConvertRawToScalar(raw))) << raw;
    }
}

TEST(WideCurveTest, ThirtyDecibelsExactlyIsStillLinear)
{
    CAVolumeCurve curve;
    curve.AddRange(0, 10, -30.0, 0.0);
    EXPECT_DOUBLE_EQ(0.5, curve.ConvertRawToScalar(5));
}

TEST(MultiRangeCurveTest, ConversionsWalkContiguousRanges)
{
    CAVolumeCurve curve;
    // Added out of order; kept sorted by minimum raw.
    curve.AddRange(10, 20, -20.0, 0.0);   // 2 dB per step
    curve.AddRange(0, 10, -70.0, -20.0);  // 5 dB per step
    EXPECT_TRUE(curve.CheckForContinuity());
    EXPECT_EQ(0, curve.GetMinimumRaw());
    EXPECT_EQ(20, curve.GetMaximumRaw());
    EXPECT_DOUBLE_EQ(-70.0, curve.GetMinimumDB());
    EXPECT_DOUBLE_EQ(0.0, curve.GetMaximumDB());

    EXPECT_DOUBLE_EQ(-45.0, curve.ConvertRawToDB(5));
    EXPECT_DOUBLE_EQ(-20.0, curve.ConvertRawToDB(10));
    EXPECT_DOUBLE_EQ(-10.0, curve.ConvertRawToDB(15));
    EXPECT_EQ(5, curve.ConvertDBToRaw(-45.0));
    EXPECT_EQ(10, curve.ConvertDBToRaw(-20.0));
    EXPECT_EQ(15, curve.ConvertDBToRaw(-10.0));
    EXPECT_EQ(16, curve.ConvertDBToRaw(-9.0));  // 5.5 steps into the second range
}

TEST(AddRangeTest, TouchingRangesCoexistAndOverlapsAreIgnoredWithAMessage)
{
    CAVolumeCurve curve;
    curve.AddRange(0, 10, -20.0, -10.0);
    curve.AddRange(10, 20, -10.0, 0.0);
    EXPECT_EQ(20, curve.GetMaximumRaw());
    EXPECT_TRUE(curve.CheckForContinuity());

    const struct {
        SInt32 mMin;
        SInt32 mMax;
    } overlapping[] = {
        {5, 15},    // across the first
        {15, 25},   // into the last (after the place it would go)
        {-5, 1},    // into the first from below
        {-10, 30},  // around both
    };
    for (const auto& c : overlapping) {
        testing::internal::CaptureStderr();
        curve.AddRange(c.mMin, c.mMax, -99.0, 99.0);
        EXPECT_EQ("CAVolumeCurve::AddRange: new point overlaps\n", testing::internal::GetCapturedStderr())
            << c.mMin << ".." << c.mMax;
    }
    // Nothing changed.
    EXPECT_EQ(0, curve.GetMinimumRaw());
    EXPECT_EQ(20, curve.GetMaximumRaw());
    EXPECT_DOUBLE_EQ(-20.0, curve.GetMinimumDB());
    EXPECT_DOUBLE_EQ(0.0, curve.GetMaximumDB());
    EXPECT_DOUBLE_EQ(-5.0, curve.ConvertRawToDB(15));
}

TEST(AddRangeTest, SameMinimumRawIsIgnoredSilently)
{
    CAVolumeCurve curve;
    curve.AddRange(0, 0, -10.0, -10.0);
    testing::internal::CaptureStderr();
    curve.AddRange(0, 5, -40.0, 0.0);  // touches only at raw 0, same key
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(0, curve.GetMaximumRaw());
    EXPECT_DOUBLE_EQ(-10.0, curve.GetMaximumDB());
}

TEST(AddRangeTest, ResetEmptiesTheCurve)
{
    CAVolumeCurve curve;
    curve.AddRange(-5, 5, -30.0, 6.0);
    curve.ResetRange();
    EXPECT_EQ(0, curve.GetMinimumRaw());
    EXPECT_EQ(0, curve.GetMaximumRaw());
    EXPECT_DOUBLE_EQ(0.0, curve.GetMinimumDB());
    EXPECT_DOUBLE_EQ(0.0, curve.GetMaximumDB());
    EXPECT_TRUE(curve.CheckForContinuity());
}

TEST(ContinuityTest, GapsInRawOrDecibelsAreDiscontinuous)
{
    CAVolumeCurve rawGap;
    rawGap.AddRange(0, 10, -20.0, -10.0);
    rawGap.AddRange(11, 20, -10.0, 0.0);
    EXPECT_FALSE(rawGap.CheckForContinuity());

    CAVolumeCurve dBGap;
    dBGap.AddRange(0, 10, -20.0, -10.0);
    dBGap.AddRange(10, 20, -9.0, 0.0);
    dBGap.AddRange(20, 30, 0.0, 10.0);  // continues the second, but the walk stopped
    EXPECT_FALSE(dBGap.CheckForContinuity());
}

TEST(DegenerateCurveTest, EmptyCurveConvertsEverythingToZero)
{
    CAVolumeCurve curve;
    EXPECT_DOUBLE_EQ(0.0, curve.ConvertRawToDB(42));
    EXPECT_EQ(0, curve.ConvertDBToRaw(-6.0));
    EXPECT_DOUBLE_EQ(0.0, curve.ConvertRawToScalar(42));
    EXPECT_EQ(0, curve.ConvertScalarToRaw(0.7));
    EXPECT_DOUBLE_EQ(0.0, curve.ConvertScalarToDB(0.7));
    EXPECT_DOUBLE_EQ(0.0, curve.ConvertDBToScalar(-6.0));
}

TEST(DegenerateCurveTest, ZeroWidthRangesGiveFiniteResults)
{
    // A single raw step: no slope, scalar 0.
    CAVolumeCurve point;
    point.AddRange(7, 7, -3.0, 5.0);
    EXPECT_DOUBLE_EQ(-3.0, point.ConvertRawToDB(7));
    EXPECT_EQ(7, point.ConvertDBToRaw(1.0));
    EXPECT_DOUBLE_EQ(0.0, point.ConvertRawToScalar(7));
    EXPECT_EQ(7, point.ConvertScalarToRaw(1.0));

    // A flat range: every raw value is the same level.
    CAVolumeCurve flat;
    flat.AddRange(0, 10, -6.0, -6.0);
    EXPECT_DOUBLE_EQ(-6.0, flat.ConvertRawToDB(4));
    EXPECT_EQ(0, flat.ConvertDBToRaw(-6.0));
    EXPECT_DOUBLE_EQ(0.4, flat.ConvertRawToScalar(4));
}

TEST(DegenerateCurveTest, FullSInt32RangeDoesNotOverflow)
{
    CAVolumeCurve curve;
    const SInt32 lowest = std::numeric_limits<SInt32>::min();
    const SInt32 highest = std::numeric_limits<SInt32>::max();
    curve.AddRange(lowest, highest, -100.0, 0.0);
    EXPECT_DOUBLE_EQ(0.0, curve.ConvertRawToDB(highest));
    EXPECT_DOUBLE_EQ(-100.0, curve.ConvertRawToDB(lowest));
    EXPECT_EQ(highest, curve.ConvertDBToRaw(0.0));
    EXPECT_EQ(lowest, curve.ConvertScalarToRaw(0.0));
    EXPECT_EQ(highest, curve.ConvertScalarToRaw(1.0));
}

}  // namespace
