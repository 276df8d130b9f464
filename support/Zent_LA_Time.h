// The maker's logging aids: a millisecond stopwatch on the host audio
// server's clock, and the prefix of a log line for the current local time.
// Any thread may use them; nothing blocks.
#pragma once

#include <time.h>

#include <string>

#include "platform/MacTypes.h"

namespace Zent {
namespace LA {

class Time {
public:
    Time();

    // Restarts the stopwatch.
    void Reset();
    // The host audio server's current host time in nanoseconds.
    static UInt64 Current();
    // Whole milliseconds since the start, then the start becomes now.
    Float32 Delta();
    // Whole milliseconds from inSince (nanoseconds of host time) to now.
    Float32 Delta(UInt64 inSince) const;

    UInt64 GetStart() const { return mStart; }

private:
    UInt64 mStart;
};

// "YYYY-MM-DD hh:mm:ss.mmm Kestro[pid]: " for the current local time.
std::string GetTime();

// The same prefix for a given broken-down local time, microseconds within
// its second and process ID.
std::string FormatTime(const struct tm& inLocalTime, UInt32 inMicroseconds, int inProcessID);

}  // namespace LA
}  // namespace Zent
