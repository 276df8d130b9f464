// kestro loopback [FILE] [--seconds N] [--tone HZ] [--connector C] [--output OUT.wav]
#include <cstdio>

#include "tools/AudioFile.h"
#include "tools/KestroSession.h"
#include "tools/LoopbackRun.h"
#include "tools/PropertyCodec.h"
#include "tools/TestSignal.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"

namespace {

class LoopbackCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_option("FILE", mFile, "An audio file to send (default: a generated test signal)");
        ioApp.add_option("--seconds", mSeconds, "Length of the generated signal")->check(CLI::Range(0.01, 3600.0))
            ->capture_default_str();
        ioApp.add_option("--tone", mTone, "Base frequency of the generated signal in Hz (channel n: n times it)")
            ->check(CLI::Range(1.0, 2000.0))->capture_default_str();
        ioApp.add_option("--connector", mConnector, "The input the unit loops its output back to")
            ->check(CLI::IsMember({"sdi", "aes", "adat", "spdif", "analog"}))
            ->capture_default_str();
        ioApp.add_option("--output", mOutput, "Save the recording of Kestro In as a WAV file");
        ioApp.footer("Exit status 0 when every sample came back bit for bit, 2 otherwise.\n\n"
                     "Examples:\n"
                     "  kestro loopback\n"
                     "  kestro loopback --seconds 10 --connector spdif\n"
                     "  kestro loopback music.wav --output back.wav\n"
                     "  kestro loopback --realtime --drift-ppm 50");
    }

    int Run(const SessionOptions& inOptions) override
    {
        AudioFile file;
        if (!mFile.empty()) {
            file = AudioFile::Read(mFile);
        }
        KestroSession session(inOptions);
        UInt32 bits = session.GetUnit().GetUnitSettings().GetWordSizeAsBytes(false) * 8;
        double rate = session.GetUnit().GetUnitSettings().GetSampleRate(false);
        std::vector<float> signal;
        UInt32 channels = 8;
        if (!mFile.empty()) {
            channels = file.GetChannels();
            signal = file.GetSamples();
        } else {
            signal = TestSignal::Make(UInt64(mSeconds * rate), channels, rate, bits, mTone);
        }
        LoopbackRun run(session, std::move(signal), channels, mConnector);
        LoopbackRun::Result result = run.Run("loopback via " + mConnector);
        if (!mOutput.empty()) {
            AudioFile::WriteFloat(mOutput, result.recording, result.inputChannels, UInt32(rate), bits);
        }
        std::printf("sent %llu frames through Kestro Out, looped back to %s, recorded from Kestro In\n",
                    (unsigned long long)result.framesSent, mConnector.c_str());
        std::printf("%s\n", result.Describe().c_str());
        if (!mOutput.empty()) {
            std::printf("saved the recording to %s\n", mOutput.c_str());
        }
        if (!result.IsBitExact()) {
            throw ToolError::System("the loopback is not bit-exact", kAudioHardwareUnspecifiedError);
        }
        return 0;
    }

private:
    std::string mFile;
    double mSeconds = 2;
    double mTone = 441;
    std::string mConnector = "sdi";
    std::string mOutput;
};

}  // namespace

std::unique_ptr<Command> MakeLoopbackCommand()
{
    return std::make_unique<LoopbackCommand>();
}
