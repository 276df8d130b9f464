// The host clock: real and virtual time, timebase conversions.
#include "platform/AudioHardware.h"
#include "platform/HostClock.h"
#include "platform/Mach.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

namespace {

// Leaves the clock as every other test expects it: real, timebase 1/1.
class HostClockTest : public testing::Test {
protected:
    void TearDown() override
    {
        HostClockUseVirtual(false);
        HostClockSetTimebase(1, 1);
    }
};

TEST_F(HostClockTest, DefaultTimebaseIsNanoseconds)
{
    mach_timebase_info_data_t info{};
    ASSERT_EQ(mach_timebase_info(&info), KERN_SUCCESS);
    EXPECT_EQ(info.numer, 1u);
    EXPECT_EQ(info.denom, 1u);
    EXPECT_EQ(mach_timebase_info(nullptr), KERN_INVALID_ARGUMENT);
    EXPECT_EQ(AudioGetHostClockFrequency(), 1e9);
    EXPECT_EQ(AudioConvertHostTimeToNanos(5), 5u);
    EXPECT_EQ(AudioConvertNanosToHostTime(5), 5u);
}

TEST_F(HostClockTest, RealClockIsMonotonic)
{
    EXPECT_FALSE(HostClockIsVirtual());
    UInt64 previous = mach_absolute_time();
    for (int i = 0; i < 1000; ++i) {
        const UInt64 now = AudioGetCurrentHostTime();
        EXPECT_GE(now, previous);
        previous = now;
    }
}

TEST_F(HostClockTest, VirtualClockMovesOnlyWhenTold)
{
    const UInt64 before = mach_absolute_time();
    HostClockUseVirtual(true);
    EXPECT_TRUE(HostClockIsVirtual());
    // Switching over never moves time backwards.
    const UInt64 start = mach_absolute_time();
    EXPECT_GE(start, before);
    EXPECT_EQ(mach_absolute_time(), start);
    HostClockAdvance(1500);
    EXPECT_EQ(mach_absolute_time(), start + 1500);
    HostClockSetVirtualNanos(42);
    EXPECT_EQ(AudioGetCurrentHostTime(), 42u);
    EXPECT_EQ(HostClockNanos(), 42u);
    HostClockUseVirtual(true); // already virtual: unchanged
    EXPECT_EQ(HostClockNanos(), 42u);
}

TEST_F(HostClockTest, VirtualClockAdvancedFromManyThreadsLosesNothing)
{
    HostClockUseVirtual(true);
    HostClockSetVirtualNanos(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 10000; ++i) {
                HostClockAdvance(3);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(HostClockNanos(), 120000u);
}

TEST_F(HostClockTest, NonTrivialTimebaseConvertsBothWays)
{
    ASSERT_TRUE(HostClockSetTimebase(125, 3));
    struct Case {
        UInt64 ticks;
        UInt64 nanos;
    } cases[] = {{0, 0}, {3, 125}, {4, 166}, {24000000, 1000000000}};
    for (const Case& test : cases) {
        EXPECT_EQ(AudioConvertHostTimeToNanos(test.ticks), test.nanos) << test.ticks;
    }
    EXPECT_EQ(AudioConvertNanosToHostTime(1000000000), 24000000u);
    EXPECT_DOUBLE_EQ(AudioGetHostClockFrequency(), 24000000.0);
    HostClockUseVirtual(true);
    HostClockSetVirtualNanos(250);
    EXPECT_EQ(mach_absolute_time(), 6u);
    // Results past the 64-bit range saturate instead of wrapping.
    EXPECT_EQ(AudioConvertHostTimeToNanos(std::numeric_limits<UInt64>::max()), std::numeric_limits<UInt64>::max());
}

TEST_F(HostClockTest, ZeroTimebaseIsRefusedAndChangesNothing)
{
    EXPECT_FALSE(HostClockSetTimebase(0, 1));
    EXPECT_FALSE(HostClockSetTimebase(1, 0));
    mach_timebase_info_data_t info{};
    mach_timebase_info(&info);
    EXPECT_EQ(info.numer, 1u);
    EXPECT_EQ(info.denom, 1u);
}

} // namespace
