// Host ticks to nanoseconds by the kernel's time base, and the wrap report.
#include <gtest/gtest.h>

#include <limits>

#include "platform/HostClock.h"
#include "support/CAHostTimeBase.h"

namespace {

// Sets the conversion terms directly and puts the real ones back afterwards,
// so that other tests see the machine's time base.
class CAHostTimeBaseTest : public testing::Test {
protected:
    void SetUp() override { CAHostTimeBase::Initialize(); }
    void TearDown() override
    {
        HostClockSetTimebase(1, 1);
        CAHostTimeBase::Initialize();
    }

    static void UseTimeBase(UInt32 inNumerator, UInt32 inDenominator)
    {
        CAHostTimeBase::sToNanosNumerator = inNumerator;
        CAHostTimeBase::sToNanosDenominator = inDenominator;
        CAHostTimeBase::sIsInited = true;
    }
};

struct ConversionCase {
    UInt32 numerator;
    UInt32 denominator;
    UInt64 hostTime;
    UInt64 nanos;
    bool reportsWrap;
};

TEST_F(CAHostTimeBaseTest, ConvertToNanosTable)
{
    constexpr UInt64 kMax = std::numeric_limits<UInt64>::max();
    const ConversionCase cases[] = {
        {1, 1, 5, 5, false},
        {1, 1, 0, 0, false},
        {125, 3, 3, 125, false},
        {125, 3, 4, 166, false},  // 166.67 truncated
        {3, 125, 125, 3, false},
        {3, 125, 124, 2, false},  // 2.976 truncated
        {1, 1, kMax, kMax, false},  // 2^64 in Float64, but the ratio is 1: the largest value, no wrap
        {125, 3, kMax / 2, kMax, true},  // beyond 64 bits: saturated and reported
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.numerator << "/" << c.denominator << " of " << c.hostTime);
        UseTimeBase(c.numerator, c.denominator);
        testing::internal::CaptureStderr();
        EXPECT_EQ(CAHostTimeBase::ConvertToNanos(c.hostTime), c.nanos);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  c.reportsWrap ? "CAHostTimeBase::ConvertToNanos: The conversion wrapped\n" : "");
    }
}

TEST_F(CAHostTimeBaseTest, InitializeTakesTheKernelsTimeBase)
{
    ASSERT_TRUE(HostClockSetTimebase(125, 3));
    CAHostTimeBase::Initialize();
    EXPECT_EQ(CAHostTimeBase::sToNanosNumerator.load(), 125u);
    EXPECT_EQ(CAHostTimeBase::sToNanosDenominator.load(), 3u);
    EXPECT_EQ(CAHostTimeBase::sFromNanosNumerator.load(), 3u);
    EXPECT_EQ(CAHostTimeBase::sFromNanosDenominator.load(), 125u);
    EXPECT_DOUBLE_EQ(CAHostTimeBase::sFrequency.load(), 24000000.0);  // 3/125 ticks per ns
    EXPECT_EQ(CAHostTimeBase::sMinDelta.load(), 1u);
    EXPECT_FALSE(CAHostTimeBase::sUseMicroseconds.load());
    EXPECT_TRUE(CAHostTimeBase::sIsInited.load());
    EXPECT_EQ(CAHostTimeBase::ConvertToNanos(3), 125u);
}

TEST_F(CAHostTimeBaseTest, InitializesItselfOnFirstUse)
{
    CAHostTimeBase::sIsInited = false;
    CAHostTimeBase::sToNanosNumerator = 0;
    CAHostTimeBase::sToNanosDenominator = 0;
    EXPECT_EQ(CAHostTimeBase::ConvertToNanos(7), 7u);  // the platform's 1/1
    EXPECT_TRUE(CAHostTimeBase::sIsInited.load());
}

TEST_F(CAHostTimeBaseTest, CurrentHostTimeInNanosFollowsTheHostClock)
{
    const UInt64 before = HostClockNanos();
    const UInt64 now = CAHostTimeBase::CurrentHostTimeInNanos();
    const UInt64 after = HostClockNanos();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

TEST_F(CAHostTimeBaseTest, CurrentHostTimeReadsTheVirtualClockWhenItIsOn)
{
    HostClockUseVirtual(true);
    HostClockSetVirtualNanos(1000000);
    EXPECT_EQ(CAHostTimeBase::CurrentHostTimeInNanos(), 1000000u);
    HostClockAdvance(250);
    EXPECT_EQ(CAHostTimeBase::CurrentHostTimeInNanos(), 1000250u);
    HostClockUseVirtual(false);
}

}  // namespace
