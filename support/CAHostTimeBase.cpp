#include "support/CAHostTimeBase.h"

#include <cstdio>
#include <limits>

#include "platform/Mach.h"

std::atomic<Float64> CAHostTimeBase::sFrequency{0.0};
std::atomic<UInt32> CAHostTimeBase::sMinDelta{0};
std::atomic<UInt32> CAHostTimeBase::sToNanosNumerator{0};
std::atomic<UInt32> CAHostTimeBase::sToNanosDenominator{0};
std::atomic<UInt32> CAHostTimeBase::sFromNanosNumerator{0};
std::atomic<UInt32> CAHostTimeBase::sFromNanosDenominator{0};
std::atomic<bool> CAHostTimeBase::sUseMicroseconds{false};
std::atomic<bool> CAHostTimeBase::sIsInited{false};

void CAHostTimeBase::Initialize()
{
    mach_timebase_info_data_t timeBase = {0, 0};
    mach_timebase_info(&timeBase);

    sToNanosNumerator = timeBase.numer;
    sToNanosDenominator = timeBase.denom;
    sFromNanosNumerator = timeBase.denom;
    sFromNanosDenominator = timeBase.numer;
    sFrequency = (Float64(timeBase.denom) / Float64(timeBase.numer)) * 1000000000.0;
    sMinDelta = 1;
    // Last, so that a thread that sees it set also sees the values above.
    sIsInited = true;
}

UInt64 CAHostTimeBase::CurrentHostTime()
{
    if (!sIsInited) {
        Initialize();
    }
    return mach_absolute_time();
}

UInt64 CAHostTimeBase::ConvertToNanos(UInt64 inHostTime)
{
    if (!sIsInited) {
        Initialize();
    }
    const Float64 numerator = sToNanosNumerator;
    const Float64 denominator = sToNanosDenominator;
    const Float64 nanos = Float64(inHostTime) / denominator * numerator;

    // 2^64: the first value a UInt64 cannot hold. Converting such a value
    // (or NaN) is undefined, so it saturates.
    constexpr Float64 kUInt64Limit = 18446744073709551616.0;
    const bool fits = nanos < kUInt64Limit;
    const UInt64 result = fits ? UInt64(nanos) : std::numeric_limits<UInt64>::max();

    // Only a growing ratio can leave the range; with equal terms the
    // saturated value is the exact one.
    const bool wrapped = (numerator > denominator && (!fits || result < inHostTime)) ||
                         (numerator < denominator && result > inHostTime);
    if (wrapped) {
        std::fprintf(stderr, "%s\n", "CAHostTimeBase::ConvertToNanos: The conversion wrapped");
    }
    return result;
}

UInt64 CAHostTimeBase::CurrentHostTimeInNanos() { return ConvertToNanos(CurrentHostTime()); }
