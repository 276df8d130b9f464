// AudioTimeStamp helpers: the all-zero time stamp and the comparisons by the
// first kind of time both stamps carry.
#pragma once

#include "platform/CoreAudioTypes.h"

class CAAudioTimeStamp : public AudioTimeStamp {
public:
    // Every byte zero: no time is valid.
    static const AudioTimeStamp kZero;

    // Every byte zero, as kZero.
    CAAudioTimeStamp();
};

// Compare by sample time if both stamps have it valid, else by host time if
// both have it, else by word-clock time if both have it; otherwise false.
bool operator==(const AudioTimeStamp& x, const AudioTimeStamp& y);
bool operator<(const AudioTimeStamp& x, const AudioTimeStamp& y);
