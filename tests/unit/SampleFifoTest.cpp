// The unit's frame FIFO: order kept across the wrap, overflow dropped and
// reported, partial reads.
#include <gtest/gtest.h>

#include <vector>

#include "unit/SampleFifo.h"

namespace {

using Kestro::Unit::SampleFifo;

std::vector<SInt32> Frames(UInt32 inFirst, UInt32 inCount)
{
    std::vector<SInt32> samples;
    for (UInt32 frame = inFirst; frame < inFirst + inCount; ++frame) {
        for (UInt32 channel = 0; channel < 8; ++channel) {
            samples.push_back(SInt32(frame * 8 + channel));
        }
    }
    return samples;
}

TEST(SampleFifo, KeepsOrderAcrossTheWrap)
{
    SampleFifo fifo(5);
    std::vector<SInt32> out(8 * 5);
    EXPECT_EQ(fifo.Write(Frames(0, 3).data(), 3), 3u);
    EXPECT_EQ(fifo.Read(out.data(), 2), 2u);
    EXPECT_EQ(fifo.Write(Frames(3, 4).data(), 4), 4u);  // wraps
    EXPECT_EQ(fifo.GetFrameCount(), 5u);
    EXPECT_EQ(fifo.Read(out.data(), 5), 5u);
    EXPECT_EQ(out, Frames(2, 5));
    EXPECT_EQ(fifo.GetFrameCount(), 0u);
}

TEST(SampleFifo, DropsWhatDoesNotFitAndReadsWhatThereIs)
{
    SampleFifo fifo(4);
    EXPECT_EQ(fifo.Write(Frames(0, 6).data(), 6), 4u);
    std::vector<SInt32> out(8 * 6, -1);
    EXPECT_EQ(fifo.Read(out.data(), 6), 4u);
    EXPECT_EQ(std::vector<SInt32>(out.begin(), out.begin() + 32), Frames(0, 4));
    EXPECT_EQ(out[32], -1);  // untouched past what was read
    EXPECT_EQ(fifo.Read(out.data(), 1), 0u);
}

TEST(SampleFifo, ZeroCapacityTakesNothing)
{
    SampleFifo fifo;
    EXPECT_EQ(fifo.Write(Frames(0, 1).data(), 1), 0u);
    SInt32 out[8];
    EXPECT_EQ(fifo.Read(out, 1), 0u);
}

}  // namespace
