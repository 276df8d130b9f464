// Audio files through libsndfile: any format it reads (WAV, FLAC, AIFF, ...)
// as interleaved 32-bit float, and WAV written as 24-bit (or 16-bit) PCM from
// float or from right-justified integers.
#pragma once

#include <string>
#include <vector>

#include "platform/MacTypes.h"

class AudioFile {
public:
    AudioFile() = default;

    // Reads the whole file. Throws a usage error naming the file and
    // libsndfile's reason when it can't be read.
    static AudioFile Read(const std::string& inPath);

    // Writes interleaved floats (-1 .. 1) as a WAV file of inBits (16 or 24).
    // Throws a system error naming the file when it can't be written.
    static void WriteFloat(const std::string& inPath, const std::vector<float>& inSamples, UInt32 inChannels,
                           UInt32 inSampleRate, UInt32 inBits);
    // Writes interleaved integers right-justified at inBits as a WAV file of inBits.
    static void WriteIntegers(const std::string& inPath, const std::vector<SInt32>& inSamples, UInt32 inChannels,
                              UInt32 inSampleRate, UInt32 inBits);

    UInt32 GetChannels() const { return mChannels; }
    UInt32 GetSampleRate() const { return mSampleRate; }
    UInt64 GetFrames() const { return mChannels == 0 ? 0 : mSamples.size() / mChannels; }
    const std::vector<float>& GetSamples() const { return mSamples; }
    // The samples with inChannels channels: the first channels kept, extra ones zero.
    std::vector<float> GetSamples(UInt32 inChannels) const;

private:
    std::vector<float> mSamples;
    UInt32 mChannels = 0;
    UInt32 mSampleRate = 0;
};
