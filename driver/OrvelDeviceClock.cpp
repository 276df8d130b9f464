// OrvelDevice: the device clock. Sample time 0 is the host time of engine
// start (the anchor); the time line runs at the rate measured from the
// unit's packets. See driver/README.md for the maths.
//
// Host threads and the I/O thread call these without a lock: the anchor
// changes only at engine start (IO guard held, no cycle running) and the
// measured rate is one atomic double written by the I/O cycle.
#include <cmath>
#include <cstdio>

#include "driver/OrvelDevice.h"
#include "support/CAAudioTimeStamp.h"
#include "support/CAException.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

Float64 OrvelDevice::GetActualSampleRate() const
{
    const Float64 theRate = mMeasuredRate.load(std::memory_order_relaxed);
    return (theRate == 0.0) ? GetNominalSampleRate() : theRate;
}

Float64 OrvelDevice::HostTimeSinceAnchor(UInt64 inHostTime) const
{
    if (inHostTime < mAnchorTime.mHostTime) {
        return -Float64(mAnchorTime.mHostTime - inHostTime);
    }
    return Float64(inHostTime - mAnchorTime.mHostTime);
}

void OrvelDevice::GetCurrentTime(AudioTimeStamp& outTime)
{
    if (!IsEngineRunning()) {
        std::fprintf(stderr, "%s\n", "OrvelDevice::GetCurrentTime: hardware not running");
        throw OSStatus(kAudioHardwareNotRunningError);
    }
    const Float64 theFrequency = AudioGetHostClockFrequency();
    const Float64 theRate = GetActualSampleRate();
    const Float64 theNominalRate = GetNominalSampleRate();
    outTime = CAAudioTimeStamp::kZero;
    outTime.mHostTime = AudioGetCurrentHostTime();
    outTime.mSampleTime =
        mAnchorTime.mSampleTime + std::floor(HostTimeSinceAnchor(outTime.mHostTime) / theFrequency * theRate);
    outTime.mRateScalar = theRate / theNominalRate;
    outTime.mFlags = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid | kAudioTimeStampRateScalarValid;
}

void OrvelDevice::TranslateTime(const AudioTimeStamp& inTime, AudioTimeStamp& outTime)
{
    const bool hasSampleTime = (inTime.mFlags & kAudioTimeStampSampleTimeValid) != 0;
    const bool hasHostTime = (inTime.mFlags & kAudioTimeStampHostTimeValid) != 0;
    if (!hasSampleTime && !hasHostTime) {
        CAThrowWithMessage(
            "OrvelDevice::TranslateTime: have to have either sample time or host time valid on the input",
            kAudioHardwareIllegalOperationError);
    }
    const Float64 theFrequency = AudioGetHostClockFrequency();
    const Float64 theRate = GetActualSampleRate();

    if ((outTime.mFlags & kAudioTimeStampSampleTimeValid) != 0) {
        if (hasSampleTime) {
            outTime.mSampleTime = inTime.mSampleTime;
        } else {
            outTime.mSampleTime =
                mAnchorTime.mSampleTime + std::floor(HostTimeSinceAnchor(inTime.mHostTime) / theFrequency * theRate);
        }
    }
    if ((outTime.mFlags & kAudioTimeStampHostTimeValid) != 0) {
        if (hasHostTime) {
            outTime.mHostTime = inTime.mHostTime;
        } else {
            const Float64 theOffset =
                std::trunc(std::floor((inTime.mSampleTime - mAnchorTime.mSampleTime) / theRate * theFrequency));
            // Added as a signed quantity, so times before the anchor wrap
            // back correctly.
            outTime.mHostTime = mAnchorTime.mHostTime + UInt64(SInt64(theOffset));
        }
    }
    if ((outTime.mFlags & kAudioTimeStampRateScalarValid) != 0) {
        outTime.mRateScalar = theRate / GetNominalSampleRate();
    }
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
