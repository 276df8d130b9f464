// kestro play FILE [--capture OUT.wav]
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tools/AudioFile.h"
#include "tools/IOProcTransfer.h"
#include "tools/KestroSession.h"
#include "tools/Meter.h"
#include "tools/PropertyCodec.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"

namespace {

class PlayCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_option("FILE", mFile, "An audio file libsndfile reads (WAV, FLAC, AIFF, ...)")->required();
        ioApp.add_option("--capture", mCapture,
                         "Save what the unit received as an 8-channel WAV file at the unit's word size");
        ioApp.footer("The file's sample rate must be the device's (48000 Hz); its channels go to the\n"
                     "first channels of Kestro Out, the others stay silent.\n\n"
                     "Examples:\n"
                     "  kestro play music.flac\n"
                     "  kestro play tone.wav --capture received.wav\n"
                     "  kestro play speech.wav --realtime");
    }

    int Run(const SessionOptions& inOptions) override
    {
        AudioFile file = AudioFile::Read(mFile);
        if (file.GetFrames() == 0) {
            throw ToolError::Usage(mFile + " holds no audio");
        }
        KestroSession session(inOptions);
        AudioDeviceID device = session.GetDevice(false);
        AudioStreamID stream = KestroSession::GetPublishedStream(device);
        if (stream == 0) {
            throw ToolError::System("Kestro Out publishes no stream", kAudioHardwareBadStreamError);
        }
        AudioStreamBasicDescription format = KestroSession::GetStreamFormat(stream, false);
        if (double(file.GetSampleRate()) != format.mSampleRate) {
            throw ToolError::System(mFile + " is at " + std::to_string(file.GetSampleRate()) + " Hz but " +
                                        KestroSession::GetDeviceName(device) + " runs at " +
                                        PropertyCodec::NumberText(format.mSampleRate) +
                                        " Hz (convert it first, e.g. sox IN -r 48000 OUT.wav)",
                                    kAudioDeviceUnsupportedFormatError);
        }
        UInt32 channels = format.mChannelsPerFrame;
        std::vector<float> samples = file.GetSamples(channels);
        UInt64 frames = file.GetFrames();

        auto& unit = session.GetUnit();
        UInt32 wordSize = unit.GetUnitSettings().GetWordSizeAsBytes(false) * 8;
        if (!mCapture.empty()) {
            UInt64 capacity = std::min<UInt64>(frames + 4 * 3840, UInt64(1) << 24);
            ToolError::Check(unit.StartCapture(UInt32(capacity)), "the unit refused to capture");
        }

        auto start = std::chrono::steady_clock::now();
        IOProcTransfer player = IOProcTransfer::ForOutput(device, &samples, channels);
        {
            Meter meter("playing " + mFile, double(frames) / format.mSampleRate, std::min(file.GetChannels(), channels));
            player.Start();
            IOProcTransfer::WaitUntilDone({&player}, &meter, &player, format.mSampleRate, [&] {
                return mCapture.empty() || unit.GetCapturedFrameCount() >= frames;
            });
            player.Stop();
        }
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("played %s: %llu frames, %u ch, %.2f s of audio in %.2f s\n", mFile.c_str(),
                    (unsigned long long)frames, unsigned(file.GetChannels()), double(frames) / format.mSampleRate,
                    wall);

        if (!mCapture.empty()) {
            unit.StopCapture();
            std::vector<SInt32> captured(frames * 8);
            UInt32 got = unit.ReadCapture(captured.data(), UInt32(frames));
            captured.resize(size_t(got) * 8);
            AudioFile::WriteIntegers(mCapture, captured, 8, UInt32(format.mSampleRate), wordSize);
            std::printf("captured %u frames (8 ch, %u-bit) to %s\n", unsigned(got), unsigned(wordSize),
                        mCapture.c_str());
        }
        return 0;
    }

private:
    std::string mFile;
    std::string mCapture;
};

}  // namespace

std::unique_ptr<Command> MakePlayCommand()
{
    return std::make_unique<PlayCommand>();
}
