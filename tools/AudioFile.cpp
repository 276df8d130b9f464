#include "tools/AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "platform/AudioHardware.h"
#include "tools/ToolError.h"

AudioFile AudioFile::Read(const std::string& inPath)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(inPath.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw ToolError::Usage("couldn't read " + inPath + ": " + sf_strerror(nullptr));
    }
    AudioFile result;
    result.mChannels = UInt32(info.channels);
    result.mSampleRate = UInt32(info.samplerate);
    result.mSamples.resize(size_t(info.frames) * size_t(info.channels));
    // Integer files come back as x / 2^(bits-1), exactly, like the device's floats.
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    sf_count_t frames = sf_readf_float(file, result.mSamples.data(), info.frames);
    sf_close(file);
    if (frames < 0) {
        frames = 0;
    }
    result.mSamples.resize(size_t(frames) * size_t(info.channels));
    return result;
}

std::vector<float> AudioFile::GetSamples(UInt32 inChannels) const
{
    if (inChannels == mChannels) {
        return mSamples;
    }
    UInt64 frames = GetFrames();
    std::vector<float> result(frames * inChannels, 0.0f);
    UInt32 kept = std::min(inChannels, mChannels);
    for (UInt64 f = 0; f < frames; ++f) {
        for (UInt32 c = 0; c < kept; ++c) {
            result[f * inChannels + c] = mSamples[f * mChannels + c];
        }
    }
    return result;
}

namespace {

SNDFILE* OpenForWriting(const std::string& inPath, UInt32 inChannels, UInt32 inSampleRate, UInt32 inBits)
{
    SF_INFO info{};
    info.channels = int(inChannels);
    info.samplerate = int(inSampleRate);
    info.format = SF_FORMAT_WAV | (inBits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
    if (inChannels > 2) {
        // WAVE_FORMAT_EXTENSIBLE, as players expect for more than two channels.
        info.format = SF_FORMAT_WAVEX | (inBits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
    }
    SNDFILE* file = sf_open(inPath.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw ToolError::System("couldn't write " + inPath + ": " + sf_strerror(nullptr),
                                kAudioHardwareUnspecifiedError);
    }
    return file;
}

void Close(SNDFILE* inFile, const std::string& inPath, bool inComplete)
{
    int closed = sf_close(inFile);
    if (!inComplete || closed != 0) {
        throw ToolError::System("couldn't write " + inPath, kAudioHardwareUnspecifiedError);
    }
}

}  // namespace

void AudioFile::WriteFloat(const std::string& inPath, const std::vector<float>& inSamples, UInt32 inChannels,
                           UInt32 inSampleRate, UInt32 inBits)
{
    // x * 2^(bits-1), rounded and saturated: the same mapping the device uses,
    // so samples that came from integers go back to the same integers.
    double scale = double(1u << (inBits - 1));
    double top = scale - 1;
    std::vector<SInt32> integers(inSamples.size());
    for (size_t i = 0; i < inSamples.size(); ++i) {
        double value = std::isnan(inSamples[i]) ? 0.0 : std::nearbyint(double(inSamples[i]) * scale);
        integers[i] = SInt32(std::clamp(value, -scale, top));
    }
    WriteIntegers(inPath, integers, inChannels, inSampleRate, inBits);
}

void AudioFile::WriteIntegers(const std::string& inPath, const std::vector<SInt32>& inSamples, UInt32 inChannels,
                              UInt32 inSampleRate, UInt32 inBits)
{
    // libsndfile's int samples are left-justified 32-bit.
    std::vector<int> justified(inSamples.size());
    int shift = int(32 - inBits);
    for (size_t i = 0; i < inSamples.size(); ++i) {
        justified[i] = int(UInt32(inSamples[i]) << shift);
    }
    SNDFILE* file = OpenForWriting(inPath, inChannels, inSampleRate, inBits);
    sf_count_t frames = sf_count_t(justified.size() / inChannels);
    sf_count_t written = sf_writef_int(file, justified.data(), frames);
    Close(file, inPath, written == frames);
}
