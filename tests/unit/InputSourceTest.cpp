// One input connector's signal: a tone of the asked frequency and level,
// a caller's samples once or looped, silence after the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "unit/InputSource.h"

namespace {

using Kestro::Unit::InputSource;
using Kestro::Unit::UnitControl;

TEST(InputSource, ToneHasItsFrequencyAndAmplitudeOnEveryChannel)
{
    InputSource source;
    source.SetTone(1000.0, 0.5);
    std::vector<SInt32> samples(48000 * 8);
    // In two calls: the phase carries over.
    source.Render(samples.data(), 20000, 24, 48000);
    source.Render(samples.data() + 20000 * 8, 28000, 24, 48000);
    int risingCrossings = 0;
    SInt32 peak = 0;
    for (UInt32 frame = 0; frame < 48000; ++frame) {
        for (UInt32 channel = 1; channel < 8; ++channel) {
            ASSERT_EQ(samples[frame * 8 + channel], samples[frame * 8]);
        }
        peak = std::max(peak, samples[frame * 8]);
        if (frame > 0 && samples[(frame - 1) * 8] < 0 && samples[frame * 8] >= 0) {
            ++risingCrossings;
        }
    }
    EXPECT_NEAR(risingCrossings, 1000, 1);
    EXPECT_NEAR(peak, 0.5 * 0x7FFFFF, 2.0);
}

TEST(InputSource, SamplesPlayOnceThenSilenceOrLoop)
{
    const std::vector<SInt32> three = {
        1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18, -1, -2, -3, -4, -5, -6, -7, -8,
    };
    for (const bool loop : {false, true}) {
        InputSource source;
        source.SetSamples(three.data(), 3, UnitControl::SampleLayout::kInt32, loop);
        std::vector<SInt32> out(5 * 8, 99);
        source.Render(out.data(), 2, 16, 48000);
        source.Render(out.data() + 16, 3, 16, 48000);
        EXPECT_TRUE(std::equal(three.begin(), three.end(), out.begin())) << loop;
        EXPECT_EQ(out[24], loop ? 1 : 0);
        EXPECT_EQ(out[39], loop ? 18 : 0);
    }
}

TEST(InputSource, CallerSamplesSaturateToTheWordSize)
{
    std::vector<float> floats(8, 2.0f);
    floats[1] = -1.0f;
    floats[2] = 0.5f;
    InputSource source;
    source.SetSamples(floats.data(), 1, UnitControl::SampleLayout::kFloat32, false);
    SInt32 out[8];
    source.Render(out, 1, 16, 48000);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32768);
    EXPECT_EQ(out[2], 16384);

    std::vector<SInt32> ints(8, 0x7FFFFF);
    ints[1] = -0x800000;
    source.SetSamples(ints.data(), 1, UnitControl::SampleLayout::kInt32, false);
    source.Render(out, 1, 16, 48000);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32768);
}

TEST(InputSource, SilenceAndLoopbackRenderZeros)
{
    InputSource source;
    SInt32 out[16];
    std::fill(std::begin(out), std::end(out), 5);
    source.Render(out, 2, 24, 48000);
    EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](SInt32 v) { return v == 0; }));
    source.SetLoopback();
    EXPECT_EQ(source.GetKind(), UnitControl::InputKind::kLoopback);
    std::fill(std::begin(out), std::end(out), 5);
    source.Render(out, 2, 24, 48000);
    EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](SInt32 v) { return v == 0; }));
}

}  // namespace
