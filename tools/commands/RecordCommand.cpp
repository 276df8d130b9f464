// kestro record FILE [--seconds N] [--source CONNECTOR] [--unit-input FILE | --tone HZ]
#include <chrono>
#include <cmath>
#include <cstdio>

#include "tools/AudioFile.h"
#include "tools/IOProcTransfer.h"
#include "tools/KestroSession.h"
#include "tools/Meter.h"
#include "tools/PropertyCodec.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"

using Kestro::Unit::UnitControl;

namespace {

class RecordCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_option("FILE", mFile, "The WAV file to write (the stream's channels, 24-bit)")->required();
        ioApp.add_option("--seconds", mSeconds, "How long to record")->check(CLI::Range(0.001, 3600.0))
            ->capture_default_str();
        ioApp.add_option("--source", mSource, "The input connector: sdi, aes, adat, spdif or analog")
            ->check(CLI::IsMember({"sdi", "aes", "adat", "spdif", "analog"}))
            ->capture_default_str();
        CLI::Option* input = ioApp.add_option("--unit-input", mUnitInput,
                                              "What the unit receives on that connector: an audio file");
        CLI::Option* tone = ioApp.add_option("--tone", mTone, "... or a sine tone of this frequency in Hz")
                                ->check(CLI::Range(1.0, 23999.0));
        input->excludes(tone);
        ioApp.add_option("--level", mLevel, "Level of the tone in dBFS")->check(CLI::Range(-120.0, 0.0))
            ->capture_default_str();
        ioApp.footer("Without --unit-input or --tone the unit's input is silent.\n\n"
                     "Examples:\n"
                     "  kestro record tone.wav --tone 1000 --seconds 2\n"
                     "  kestro record spdif.wav --source spdif --unit-input music.wav\n"
                     "  kestro record quiet.wav --seconds 1 --realtime");
    }

    int Run(const SessionOptions& inOptions) override
    {
        AudioFile unitInput;
        if (!mUnitInput.empty()) {
            unitInput = AudioFile::Read(mUnitInput);
        }
        KestroSession session(inOptions);
        auto& unit = session.GetUnit();
        UInt32 connector = KestroSession::ConnectorCode(mSource);
        session.SelectSource(mSource);
        if (!mUnitInput.empty()) {
            std::vector<float> frames = unitInput.GetSamples(8);
            ToolError::Check(unit.SetInputSamples(connector, frames.data(), UInt32(unitInput.GetFrames()),
                                                  UnitControl::SampleLayout::kFloat32, false),
                             "the unit refused the samples of " + mUnitInput);
        } else if (mTone > 0) {
            ToolError::Check(unit.SetInputTone(connector, mTone, std::pow(10.0, mLevel / 20)),
                             "the unit refused a tone of " + PropertyCodec::NumberText(mTone) + " Hz");
        } else {
            ToolError::Check(unit.SetInputSilence(connector), "the unit refused silence");
        }

        AudioDeviceID device = session.GetDevice(true);
        AudioStreamID stream = KestroSession::GetPublishedStream(device);
        if (stream == 0) {
            throw ToolError::System("Kestro In publishes no stream for " + mSource, kAudioHardwareBadStreamError);
        }
        AudioStreamBasicDescription format = KestroSession::GetStreamFormat(stream, false);
        UInt32 channels = format.mChannelsPerFrame;
        UInt64 frames = UInt64(std::llround(mSeconds * format.mSampleRate));

        auto start = std::chrono::steady_clock::now();
        IOProcTransfer recorder = IOProcTransfer::ForInput(device, frames, channels);
        {
            Meter meter("recording " + mFile, mSeconds, channels);
            recorder.Start();
            IOProcTransfer::WaitUntilDone({&recorder}, &meter, &recorder, format.mSampleRate);
            recorder.Stop();
        }
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        UInt32 bits = session.GetUnit().GetUnitSettings().GetWordSizeAsBytes(true) * 8;
        AudioFile::WriteFloat(mFile, recorder.GetRecording(), channels, UInt32(format.mSampleRate), bits);
        std::printf("recorded %s: %llu frames, %u ch, %u-bit, %s Hz from %s in %.2f s\n", mFile.c_str(),
                    (unsigned long long)frames, unsigned(channels), unsigned(bits),
                    PropertyCodec::NumberText(format.mSampleRate).c_str(), mSource.c_str(), wall);
        return 0;
    }

private:
    std::string mFile;
    double mSeconds = 5;
    std::string mSource = "sdi";
    std::string mUnitInput;
    double mTone = 0;
    double mLevel = -6;
};

}  // namespace

std::unique_ptr<Command> MakeRecordCommand()
{
    return std::make_unique<RecordCommand>();
}
