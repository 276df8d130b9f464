// What one input connector of the simulated unit delivers: silence, a tone, a
// caller's samples (played once or looped) or the loopback of the output
// (which the unit itself feeds from its FIFO). Not synchronised: the unit
// uses it under its state lock. Render never allocates; the setters copy the
// caller's samples and may allocate.
#pragma once

#include <vector>

#include "unit/UnitControl.h"

namespace Kestro {
namespace Unit {

class InputSource {
public:
    static constexpr UInt32 kChannels = 8;

    InputSource() = default;

    void SetSilence();
    // inAmplitude 0 .. 1 of the full scale, every channel the same.
    void SetTone(double inFrequency, double inAmplitude);
    void SetSamples(const void* inSamples, UInt32 inFrames, UnitControl::SampleLayout inLayout, bool inLoop);
    void SetLoopback();
    UnitControl::InputKind GetKind() const { return mKind; }

    // Writes inFrames 8-channel frames of right-justified integers at inBits
    // into outSamples. A loopback source writes silence: the unit fills
    // those frames from its FIFO.
    void Render(SInt32* outSamples, UInt32 inFrames, UInt32 inBits, UInt32 inSampleRate);

private:
    UnitControl::InputKind mKind = UnitControl::InputKind::kSilence;
    double mFrequency = 0;
    double mAmplitude = 0;
    double mPhase = 0;  // in cycles, 0 .. 1
    UnitControl::SampleLayout mLayout = UnitControl::SampleLayout::kInt32;
    std::vector<SInt32> mIntSamples;
    std::vector<float> mFloatSamples;
    UInt32 mFrames = 0;
    UInt32 mPosition = 0;
    bool mLoop = false;
};

}  // namespace Unit
}  // namespace Kestro
