#include "unit/UnitClock.h"

#include <cmath>

namespace Kestro {
namespace Unit {

void UnitClock::SetDrift(double inPPM)
{
    Rebase(mInput);
    Rebase(mOutput);
    mDriftPPM = inPPM;
}

void UnitClock::SetJitter(UInt64 inMaxNanos, UInt64 inSeed)
{
    mJitterNanos = inMaxNanos;
    mRandomState = inSeed;
}

void UnitClock::Restart(UInt64 inHostNanos)
{
    mInput = Direction{static_cast<long double>(inHostNanos), 0, mInput.sampleRate};
    mOutput = Direction{static_cast<long double>(inHostNanos), 0, mOutput.sampleRate};
    mPacketIndex = 0;
}

long double UnitClock::GetTrueRate(UInt32 inSampleRate) const
{
    return static_cast<long double>(inSampleRate) * (1.0L + static_cast<long double>(mDriftPPM) / 1000000.0L);
}

void UnitClock::Rebase(Direction& ioDirection)
{
    if (ioDirection.sampleRate != 0 && ioDirection.frames != 0) {
        ioDirection.baseNanos +=
            static_cast<long double>(ioDirection.frames) * 1000000000.0L / GetTrueRate(ioDirection.sampleRate);
    }
    ioDirection.frames = 0;
}

UnitClock::Direction& UnitClock::Prepare(bool inIsInput, UInt32 inSampleRate)
{
    Direction& direction = inIsInput ? mInput : mOutput;
    if (direction.sampleRate != inSampleRate) {
        Rebase(direction);
        direction.sampleRate = inSampleRate;
    }
    return direction;
}

UInt64 UnitClock::GetFrameTime(bool inIsInput, UInt32 inSampleRate)
{
    const Direction& direction = Prepare(inIsInput, inSampleRate);
    if (inSampleRate == 0) {
        return UInt64(direction.baseNanos);
    }
    const long double nanos =
        direction.baseNanos + static_cast<long double>(direction.frames) * 1000000000.0L / GetTrueRate(inSampleRate);
    return UInt64(std::llround(nanos));
}

void UnitClock::AdvanceFrames(bool inIsInput, UInt32 inSampleRate, UInt32 inFrames)
{
    Prepare(inIsInput, inSampleRate).frames += inFrames;
}

UInt64 UnitClock::NextRandom()
{
    // splitmix64: a full-period sequence from any seed, cheap and portable.
    UInt64 value = (mRandomState += 0x9E3779B97F4A7C15ull);
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

UInt64 UnitClock::ApplyJitter(UInt64 inExactNanos)
{
    if (mJitterNanos == 0) {
        return inExactNanos;
    }
    const UInt64 span = 2 * mJitterNanos + 1;
    const SInt64 offset = SInt64(NextRandom() % span) - SInt64(mJitterNanos);
    if (offset < 0 && UInt64(-offset) > inExactNanos) {
        return 0;
    }
    return UInt64(SInt64(inExactNanos) + offset);
}

}  // namespace Unit
}  // namespace Kestro
