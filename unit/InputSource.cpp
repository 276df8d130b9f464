#include "unit/InputSource.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "unit/PackedSamples.h"

namespace Kestro {
namespace Unit {

void InputSource::SetSilence()
{
    mKind = UnitControl::InputKind::kSilence;
    mIntSamples.clear();
    mFloatSamples.clear();
    mFrames = 0;
}

void InputSource::SetTone(double inFrequency, double inAmplitude)
{
    SetSilence();
    mKind = UnitControl::InputKind::kTone;
    mFrequency = inFrequency;
    mAmplitude = inAmplitude;
    mPhase = 0;
}

void InputSource::SetSamples(const void* inSamples, UInt32 inFrames, UnitControl::SampleLayout inLayout, bool inLoop)
{
    SetSilence();
    mKind = UnitControl::InputKind::kSamples;
    mLayout = inLayout;
    const size_t count = size_t(inFrames) * kChannels;
    if (inLayout == UnitControl::SampleLayout::kInt32) {
        mIntSamples.resize(count);
        if (count != 0) {
            std::memcpy(mIntSamples.data(), inSamples, count * sizeof(SInt32));
        }
    } else {
        mFloatSamples.resize(count);
        if (count != 0) {
            std::memcpy(mFloatSamples.data(), inSamples, count * sizeof(float));
        }
    }
    mFrames = inFrames;
    mPosition = 0;
    mLoop = inLoop;
}

void InputSource::SetLoopback()
{
    SetSilence();
    mKind = UnitControl::InputKind::kLoopback;
}

void InputSource::Render(SInt32* outSamples, UInt32 inFrames, UInt32 inBits, UInt32 inSampleRate)
{
    const size_t total = size_t(inFrames) * kChannels;
    switch (mKind) {
    case UnitControl::InputKind::kSilence:
    case UnitControl::InputKind::kLoopback:
        std::memset(outSamples, 0, total * sizeof(SInt32));
        return;
    case UnitControl::InputKind::kTone: {
        const double scale = mAmplitude * double(PackedSamples::GetMaximum(inBits));
        const double step = inSampleRate == 0 ? 0.0 : mFrequency / double(inSampleRate);
        for (UInt32 frame = 0; frame < inFrames; ++frame) {
            const SInt64 value = std::llround(scale * std::sin(2.0 * std::numbers::pi * mPhase));
            const SInt32 sample = PackedSamples::Saturate(value, inBits);
            for (UInt32 channel = 0; channel < kChannels; ++channel) {
                outSamples[size_t(frame) * kChannels + channel] = sample;
            }
            mPhase += step;
            mPhase -= std::floor(mPhase);
        }
        return;
    }
    case UnitControl::InputKind::kSamples:
        for (UInt32 frame = 0; frame < inFrames; ++frame) {
            SInt32* out = outSamples + size_t(frame) * kChannels;
            if (mPosition >= mFrames && mLoop && mFrames != 0) {
                mPosition = 0;
            }
            if (mPosition >= mFrames) {
                std::memset(out, 0, kChannels * sizeof(SInt32));
                continue;
            }
            const size_t first = size_t(mPosition) * kChannels;
            for (UInt32 channel = 0; channel < kChannels; ++channel) {
                out[channel] = mLayout == UnitControl::SampleLayout::kInt32
                                   ? PackedSamples::Saturate(mIntSamples[first + channel], inBits)
                                   : PackedSamples::FromFloat(mFloatSamples[first + channel], inBits);
            }
            ++mPosition;
        }
        return;
    }
}

}  // namespace Unit
}  // namespace Kestro
