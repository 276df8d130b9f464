// The host clock. Host time counts ticks of a monotonic clock; the timebase
// (numer/denom nanoseconds per tick) is 1/1 by default. For deterministic runs
// the clock can be switched to a virtual time that only moves when told to.
// Every read is lock-free and may be called from the I/O thread.
// mach_absolute_time and mach_timebase_info are declared in platform/Mach.h;
// AudioGetCurrentHostTime and the conversions in platform/AudioHardware.h.
#pragma once

#include "platform/MacTypes.h"

// Switches between the real monotonic clock and the virtual one. Switching on
// starts the virtual clock at the current real time, so time never jumps back
// for callers that already read it.
PLATFORM_EXPORT void HostClockUseVirtual(bool useVirtual);
PLATFORM_EXPORT bool HostClockIsVirtual();
// Moves the virtual clock forward by nanos.
PLATFORM_EXPORT void HostClockAdvance(UInt64 nanos);
// Sets the virtual clock to nanos.
PLATFORM_EXPORT void HostClockSetVirtualNanos(UInt64 nanos);
// The clock in nanoseconds (real or virtual, whichever is in use).
PLATFORM_EXPORT UInt64 HostClockNanos();
// Changes the timebase: one tick lasts numer/denom nanoseconds. Both must be
// non-zero; returns false and changes nothing otherwise. Meant for tests of
// conversions; the default is 1/1.
PLATFORM_EXPORT bool HostClockSetTimebase(UInt32 numer, UInt32 denom);
