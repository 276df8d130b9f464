#include "support/Zent_LA_Time.h"

#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "platform/AudioHardware.h"

namespace Zent {
namespace LA {

namespace {
constexpr UInt64 kNanosPerMilli = 1000000ULL;
}

Time::Time() : mStart(Current()) {}

void Time::Reset() { mStart = Current(); }

UInt64 Time::Current() { return AudioConvertHostTimeToNanos(AudioGetCurrentHostTime()); }

Float32 Time::Delta()
{
    const UInt64 now = Current();
    const UInt64 elapsedMillis = (now - mStart) / kNanosPerMilli;
    mStart = now;
    return Float32(elapsedMillis);
}

Float32 Time::Delta(UInt64 inSince) const { return Float32((Current() - inSince) / kNanosPerMilli); }

std::string FormatTime(const struct tm& inLocalTime, UInt32 inMicroseconds, int inProcessID)
{
    char line[1024];
    std::snprintf(line, sizeof(line) - 1, "%04u-%02u-%02u %02u:%02u:%02u.%03u Kestro[%d]: ",
                  unsigned(inLocalTime.tm_year + 1900), unsigned(inLocalTime.tm_mon + 1),
                  unsigned(inLocalTime.tm_mday), unsigned(inLocalTime.tm_hour), unsigned(inLocalTime.tm_min),
                  unsigned(inLocalTime.tm_sec), unsigned(inMicroseconds / 1000), inProcessID);
    return std::string(line);
}

std::string GetTime()
{
    timeval now;
    gettimeofday(&now, nullptr);
    const time_t seconds = now.tv_sec;
    struct tm localTime;
    localtime_r(&seconds, &localTime);
    return FormatTime(localTime, UInt32(now.tv_usec), int(getpid()));
}

}  // namespace LA
}  // namespace Zent
