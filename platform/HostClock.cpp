// The host clock. Real time is CLOCK_MONOTONIC in nanoseconds; virtual time
// is a counter that tests and the simulated unit move. Host ticks are
// nanoseconds × denom ÷ numer. Every read is lock-free: the I/O thread reads
// the clock once per packet.
#include "platform/HostClock.h"

#include "platform/AudioHardware.h"
#include "platform/Mach.h"

#include <atomic>
#include <ctime>
#include <limits>

namespace {

std::atomic<bool> gUseVirtual{false};
std::atomic<UInt64> gVirtualNanos{0};
// numer in the high 32 bits, denom in the low: one atomic keeps the pair consistent.
std::atomic<UInt64> gTimebase{(UInt64(1) << 32) | 1};

UInt64 RealNanos()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return UInt64(now.tv_sec) * 1000000000ull + UInt64(now.tv_nsec);
}

void GetTimebase(UInt64& numer, UInt64& denom)
{
    const UInt64 pair = gTimebase.load(std::memory_order_relaxed);
    numer = pair >> 32;
    denom = pair & 0xFFFFFFFFu;
}

// value × multiplier ÷ divisor without overflow on the way; results past the
// UInt64 range saturate.
UInt64 Scale(UInt64 value, UInt64 multiplier, UInt64 divisor)
{
    const unsigned __int128 product = static_cast<unsigned __int128>(value) * multiplier / divisor;
    return product > std::numeric_limits<UInt64>::max() ? std::numeric_limits<UInt64>::max() : UInt64(product);
}

} // namespace

void HostClockUseVirtual(bool useVirtual)
{
    if (useVirtual && !gUseVirtual.load(std::memory_order_acquire)) {
        gVirtualNanos.store(RealNanos(), std::memory_order_relaxed);
    }
    gUseVirtual.store(useVirtual, std::memory_order_release);
}

bool HostClockIsVirtual() { return gUseVirtual.load(std::memory_order_acquire); }

void HostClockAdvance(UInt64 nanos) { gVirtualNanos.fetch_add(nanos, std::memory_order_acq_rel); }

void HostClockSetVirtualNanos(UInt64 nanos) { gVirtualNanos.store(nanos, std::memory_order_release); }

UInt64 HostClockNanos()
{
    return gUseVirtual.load(std::memory_order_acquire) ? gVirtualNanos.load(std::memory_order_acquire)
                                                       : RealNanos();
}

bool HostClockSetTimebase(UInt32 numer, UInt32 denom)
{
    if (numer == 0 || denom == 0) {
        return false;
    }
    gTimebase.store((UInt64(numer) << 32) | denom, std::memory_order_relaxed);
    return true;
}

UInt64 mach_absolute_time() { return AudioConvertNanosToHostTime(HostClockNanos()); }

kern_return_t mach_timebase_info(mach_timebase_info_t info)
{
    if (info == nullptr) {
        return KERN_INVALID_ARGUMENT;
    }
    UInt64 numer, denom;
    GetTimebase(numer, denom);
    info->numer = UInt32(numer);
    info->denom = UInt32(denom);
    return KERN_SUCCESS;
}

UInt64 AudioGetCurrentHostTime() { return mach_absolute_time(); }

Float64 AudioGetHostClockFrequency()
{
    UInt64 numer, denom;
    GetTimebase(numer, denom);
    return Float64(denom) / Float64(numer) * 1000000000.0;
}

UInt64 AudioConvertHostTimeToNanos(UInt64 hostTime)
{
    UInt64 numer, denom;
    GetTimebase(numer, denom);
    return Scale(hostTime, numer, denom);
}

UInt64 AudioConvertNanosToHostTime(UInt64 nanos)
{
    UInt64 numer, denom;
    GetTimebase(numer, denom);
    return Scale(nanos, denom, numer);
}
