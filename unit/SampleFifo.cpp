#include "unit/SampleFifo.h"

#include <algorithm>
#include <cstring>

namespace Kestro {
namespace Unit {

SampleFifo::SampleFifo(UInt32 inCapacityFrames) { Reset(inCapacityFrames); }

void SampleFifo::Reset(UInt32 inCapacityFrames)
{
    mSamples.assign(size_t(inCapacityFrames) * kChannels, 0);
    mCapacity = inCapacityFrames;
    Clear();
}

void SampleFifo::Clear()
{
    mReadFrame = 0;
    mCount = 0;
}

UInt32 SampleFifo::Write(const SInt32* inFrames, UInt32 inFrameCount)
{
    const UInt32 toWrite = std::min(inFrameCount, mCapacity - mCount);
    UInt32 written = 0;
    while (written < toWrite) {
        const UInt32 writeFrame = (mReadFrame + mCount) % mCapacity;
        const UInt32 piece = std::min(toWrite - written, mCapacity - writeFrame);
        std::memcpy(&mSamples[size_t(writeFrame) * kChannels], inFrames + size_t(written) * kChannels,
                    size_t(piece) * kChannels * sizeof(SInt32));
        written += piece;
        mCount += piece;
    }
    return toWrite;
}

UInt32 SampleFifo::Read(SInt32* outFrames, UInt32 inFrameCount)
{
    const UInt32 toRead = std::min(inFrameCount, mCount);
    UInt32 done = 0;
    while (done < toRead) {
        const UInt32 piece = std::min(toRead - done, mCapacity - mReadFrame);
        std::memcpy(outFrames + size_t(done) * kChannels, &mSamples[size_t(mReadFrame) * kChannels],
                    size_t(piece) * kChannels * sizeof(SInt32));
        done += piece;
        mReadFrame = (mReadFrame + piece) % mCapacity;
        mCount -= piece;
    }
    return toRead;
}

}  // namespace Unit
}  // namespace Kestro
