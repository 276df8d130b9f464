// A first-in first-out ring of 8-channel frames of 32-bit integers, of a
// fixed capacity. Used for the loopback from the output packets to the input
// packets and for the capture of output packets. Not synchronised: its owner
// guards it with its own lock. Write and Read never allocate.
#pragma once

#include <vector>

#include "platform/MacTypes.h"

namespace Kestro {
namespace Unit {

class SampleFifo {
public:
    static constexpr UInt32 kChannels = 8;

    explicit SampleFifo(UInt32 inCapacityFrames = 0);

    // Empties the ring and gives it a new capacity (allocates).
    void Reset(UInt32 inCapacityFrames);
    void Clear();

    // Appends up to inFrames frames; returns how many fitted (the rest is
    // dropped).
    UInt32 Write(const SInt32* inFrames, UInt32 inFrameCount);
    // Takes up to inFrames frames out; returns how many.
    UInt32 Read(SInt32* outFrames, UInt32 inFrameCount);

    UInt32 GetFrameCount() const { return mCount; }
    UInt32 GetCapacity() const { return mCapacity; }

private:
    std::vector<SInt32> mSamples;
    UInt32 mCapacity = 0;
    UInt32 mReadFrame = 0;
    UInt32 mCount = 0;
};

}  // namespace Unit
}  // namespace Kestro
