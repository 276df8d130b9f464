// Test signals for the loopback: every sample is an exact integer at the
// unit's word size divided by 2^(bits-1), so a bit-exact path gives back the
// very same floats.
#pragma once

#include <vector>

#include "platform/MacTypes.h"

class TestSignal {
public:
    // inChannels channels: channel c a cosine at inFrequency × (c + 1) (the
    // first frame is never zero), at inAmplitude of full scale, with a small
    // pseudo-random dither that exercises the low bits.
    static std::vector<float> Make(UInt64 inFrames, UInt32 inChannels, double inSampleRate, UInt32 inBits,
                                   double inFrequency = 441.0, double inAmplitude = 0.5);
    // x rounded to the nearest step of inBits (saturated).
    static float Quantize(double inValue, UInt32 inBits);
};
