#include "tools/TestSignal.h"

#include <algorithm>
#include <cmath>

float TestSignal::Quantize(double inValue, UInt32 inBits)
{
    double scale = double(1u << (inBits - 1));
    double step = std::nearbyint(inValue * scale);
    step = std::clamp(step, -scale, scale - 1);
    return float(step / scale);
}

std::vector<float> TestSignal::Make(UInt64 inFrames, UInt32 inChannels, double inSampleRate, UInt32 inBits,
                                    double inFrequency, double inAmplitude)
{
    std::vector<float> samples(inFrames * inChannels);
    UInt32 state = 0x2545F491u;
    double lsb = 1.0 / double(1u << (inBits - 1));
    for (UInt64 f = 0; f < inFrames; ++f) {
        for (UInt32 c = 0; c < inChannels; ++c) {
            state = state * 1664525u + 1013904223u;
            double dither = (double(state >> 24) - 127.5) * lsb;  // about ±128 LSB
            double phase = 2 * M_PI * inFrequency * double(c + 1) * double(f) / inSampleRate;
            samples[f * inChannels + c] = Quantize(inAmplitude * std::cos(phase) + dither, inBits);
        }
    }
    return samples;
}
