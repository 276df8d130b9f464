// The unit's own clock: the time of each packet's first frame, in host
// nanoseconds, as the unit's sample clock (nominal rate × (1 + drift)) lays
// the frames out from the start of a run, plus a deterministic time-stamp
// jitter. Each direction counts its own frames, so its times follow its own
// rate exactly: over any span of packets, frames ÷ elapsed time is the true
// rate, whatever the cadence.
//
// Not synchronised: the simulated unit uses it under its state lock. Never
// allocates.
#pragma once

#include "platform/MacTypes.h"

namespace Kestro {
namespace Unit {

class UnitClock {
public:
    UnitClock() = default;

    // Drift of the sample clock in parts per million (positive = fast).
    // Keeps the times already laid out: the new rate applies from the next
    // frame on.
    void SetDrift(double inPPM);
    double GetDrift() const { return mDriftPPM; }
    // Largest time-stamp deviation in nanoseconds and the PRNG seed.
    void SetJitter(UInt64 inMaxNanos, UInt64 inSeed);

    // Starts a run at inHostNanos: packet 0, no frames counted.
    void Restart(UInt64 inHostNanos);
    UInt64 GetPacketIndex() const { return mPacketIndex; }
    void NextPacket() { ++mPacketIndex; }

    // The exact time of the next frame of that direction at inSampleRate
    // (Hz). A change of rate keeps the times already laid out.
    UInt64 GetFrameTime(bool inIsInput, UInt32 inSampleRate);
    // Counts inFrames frames of that direction, sent at inSampleRate.
    void AdvanceFrames(bool inIsInput, UInt32 inSampleRate, UInt32 inFrames);
    // inExactNanos moved by the next jitter value, in [-max, +max].
    UInt64 ApplyJitter(UInt64 inExactNanos);

private:
    struct Direction {
        long double baseNanos = 0;  // time of the frame where the count starts
        UInt64 frames = 0;          // frames since then
        UInt32 sampleRate = 0;      // rate the count runs at
    };

    // The direction, rebased first if its rate changes to inSampleRate.
    Direction& Prepare(bool inIsInput, UInt32 inSampleRate);
    long double GetTrueRate(UInt32 inSampleRate) const;
    // Moves the base to the current frame, so that a new rate or drift
    // applies from there on.
    void Rebase(Direction& ioDirection);
    UInt64 NextRandom();

    Direction mInput;
    Direction mOutput;
    double mDriftPPM = 0;
    UInt64 mPacketIndex = 0;
    UInt64 mJitterNanos = 0;
    UInt64 mRandomState = 0;
};

}  // namespace Unit
}  // namespace Kestro
