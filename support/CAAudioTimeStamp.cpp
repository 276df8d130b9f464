#include "support/CAAudioTimeStamp.h"

const AudioTimeStamp CAAudioTimeStamp::kZero = {};

CAAudioTimeStamp::CAAudioTimeStamp() : AudioTimeStamp() {}

namespace {

bool BothHave(const AudioTimeStamp& x, const AudioTimeStamp& y, UInt32 flag)
{
    return (x.mFlags & flag) != 0 && (y.mFlags & flag) != 0;
}

}  // namespace

bool operator==(const AudioTimeStamp& x, const AudioTimeStamp& y)
{
    if (BothHave(x, y, kAudioTimeStampSampleTimeValid)) {
        return x.mSampleTime == y.mSampleTime;
    }
    if (BothHave(x, y, kAudioTimeStampHostTimeValid)) {
        return x.mHostTime == y.mHostTime;
    }
    if (BothHave(x, y, kAudioTimeStampWordClockTimeValid)) {
        return x.mWordClockTime == y.mWordClockTime;
    }
    return false;
}

bool operator<(const AudioTimeStamp& x, const AudioTimeStamp& y)
{
    if (BothHave(x, y, kAudioTimeStampSampleTimeValid)) {
        return x.mSampleTime < y.mSampleTime;
    }
    if (BothHave(x, y, kAudioTimeStampHostTimeValid)) {
        return x.mHostTime < y.mHostTime;
    }
    if (BothHave(x, y, kAudioTimeStampWordClockTimeValid)) {
        return x.mWordClockTime < y.mWordClockTime;
    }
    return false;
}
