// The machine's absolute time (host ticks) and its conversion to nanoseconds
// by the kernel's time base (nanoseconds = ticks * numerator / denominator).
// Initialises itself on first use. Any thread may call it; nothing blocks.
//
// The members are atomics: two threads that initialise at once both store
// the same values, and a reader that sees sIsInited sees the values stored
// before it.
#pragma once

#include <atomic>

#include "platform/MacTypes.h"

class CAHostTimeBase {
public:
    // Fills the members from mach_timebase_info. May run more than once.
    static void Initialize();
    static UInt64 CurrentHostTime();
    // hostTime / denominator * numerator in Float64, truncated. Reports
    // "CAHostTimeBase::ConvertToNanos: The conversion wrapped" on standard
    // error when the result moved the wrong way for the ratio or does not fit
    // in 64 bits (then the result is the largest UInt64).
    static UInt64 ConvertToNanos(UInt64 inHostTime);
    static UInt64 CurrentHostTimeInNanos();

    static std::atomic<Float64> sFrequency;  // host ticks per second
    static std::atomic<UInt32> sMinDelta;
    static std::atomic<UInt32> sToNanosNumerator;
    static std::atomic<UInt32> sToNanosDenominator;
    static std::atomic<UInt32> sFromNanosNumerator;
    static std::atomic<UInt32> sFromNanosDenominator;
    static std::atomic<bool> sUseMicroseconds;  // never set
    static std::atomic<bool> sIsInited;
};
