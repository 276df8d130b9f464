// kestro demo: the main job.
#include <cmath>
#include <cstdio>

#include "tools/AudioFile.h"
#include "tools/DeviceInfo.h"
#include "tools/KestroSession.h"
#include "tools/LoopbackRun.h"
#include "tools/PropertyCodec.h"
#include "tools/TestSignal.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"

namespace {

// The drift the demo gives the unit's clock unless --drift-ppm says otherwise,
// so that the measured rate visibly follows the unit rather than the nominal.
constexpr double kDemoDriftPPM = 50;

class DemoCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_option("--seconds", mSeconds, "Length of the test signal")->check(CLI::Range(1.0, 600.0))
            ->capture_default_str();
        ioApp.add_option("--output", mOutput, "Where to save the recording")->capture_default_str();
        ioApp.add_option("--connector", mConnector, "The input the unit loops back to")
            ->check(CLI::IsMember({"sdi", "aes", "adat", "spdif", "analog"}))
            ->capture_default_str();
        ioApp.footer("The unit arrives, the devices are listed, a test signal runs through Kestro Out,\n"
                     "the unit loops it back to Kestro In, the recording is verified and saved, a\n"
                     "summary shows packets, frames, rates, drift, bit errors and speed, and the unit\n"
                     "leaves. Exit status 0 when the loopback was bit-exact.\n\n"
                     "Examples:\n"
                     "  kestro demo\n"
                     "  kestro demo --seconds 30 --drift-ppm -120 --jitter-us 200\n"
                     "  kestro demo --realtime --seconds 5\n"
                     "  kestro demo --frame-rate 25 --output /tmp/loop.wav");
    }

    int Run(const SessionOptions& inOptions) override
    {
        SessionOptions options = inOptions;
        if (!options.driftGiven) {
            options.driftPPM = kDemoDriftPPM;
        }
        std::printf("== 1. The unit arrives\n");
        KestroSession session(options);
        auto& unit = session.GetUnit();
        std::vector<AudioDeviceID> devices = session.GetDevices();
        std::printf("Kestro unit plugged in (%s fps, %u Hz, %u-bit, drift %s ppm, %s pacing): %zu devices appeared\n\n",
                    options.frameRate.c_str(), unsigned(options.sampleRate), unsigned(options.wordSize),
                    PropertyCodec::NumberText(options.driftPPM).c_str(), options.realtime ? "real-time" : "fast",
                    devices.size());

        std::printf("== 2. The devices\n");
        std::string listing;
        for (AudioDeviceID device : devices) {
            if (!listing.empty()) {
                listing += "\n";
            }
            DeviceInfo(device).PrintText(listing);
        }
        std::fputs(listing.c_str(), stdout);
        std::printf("\n");

        std::printf("== 3. Loopback: %s s of an 8-channel test signal through Kestro Out, looped back to %s\n",
                    PropertyCodec::NumberText(mSeconds).c_str(), mConnector.c_str());
        std::fflush(stdout);
        Zent::Orvel::Settings settings = unit.GetUnitSettings();
        UInt32 bits = settings.GetWordSizeAsBytes(false) * 8;
        double rate = settings.GetSampleRate(false);
        UInt64 outPacketsBefore = unit.GetDeliveredPacketCount(false);
        UInt64 inPacketsBefore = unit.GetDeliveredPacketCount(true);
        LoopbackRun run(session, TestSignal::Make(UInt64(mSeconds * rate), 8, rate, bits), 8, mConnector);
        LoopbackRun::Result result = run.Run("loopback");
        UInt64 outPackets = unit.GetDeliveredPacketCount(false) - outPacketsBefore;
        UInt64 inPackets = unit.GetDeliveredPacketCount(true) - inPacketsBefore;
        std::printf("recorded %llu frames from Kestro In in %.2f s\n\n",
                    (unsigned long long)(result.recording.size() / result.inputChannels), result.wallSeconds);

        std::printf("== 4. Verification\n");
        std::printf("%s\n", result.Describe().c_str());
        AudioFile::WriteFloat(mOutput, result.recording, result.inputChannels, UInt32(rate), bits);
        std::printf("saved the recording to %s\n\n", mOutput.c_str());

        std::printf("== 5. Summary\n");
        double trueRate = rate * (1 + options.driftPPM / 1e6);
        double measuredDrift = result.measuredRate > 0 ? (result.measuredRate / rate - 1) * 1e6 : NAN;
        double audioSeconds = double(result.framesSent) / rate;
        Kestro::Unit::UnitControl::PacketAccounting pool = unit.GetPacketAccounting();
        auto row = [](const char* inWhat, const std::string& inValue) {
            std::printf("| %-22s | %-52s |\n", inWhat, inValue.c_str());
        };
        auto format = [](const char* inFormat, auto... inArgs) {
            char text[128];
            std::snprintf(text, sizeof(text), inFormat, inArgs...);
            return std::string(text);
        };
        std::string rule = "+" + std::string(24, '-') + "+" + std::string(54, '-') + "+";
        std::printf("%s\n", rule.c_str());
        row("packets", format("%llu out, %llu in (pool: %llu handed out, %llu back)", (unsigned long long)outPackets,
                              (unsigned long long)inPackets, (unsigned long long)pool.handedOut,
                              (unsigned long long)pool.released));
        row("frames", format("%llu sent, %llu compared (%llu silent before)", (unsigned long long)result.framesSent,
                             (unsigned long long)result.framesCompared,
                             (unsigned long long)result.silentFramesSkipped));
        row("sample rate measured", result.measuredRate > 0 ? format("%.3f Hz (Kestro In)", result.measuredRate)
                                                            : std::string("not measured"));
        row("unit's true rate", format("%.3f Hz", trueRate));
        if (result.measuredRate == rate && options.driftPPM != 0) {
            // The device measures over a window of at least 150 packets (5 s).
            measuredDrift = NAN;
            row("", "(not measured yet: the rate window needs 150 packets)");
        }
        row("drift", std::isnan(measuredDrift)
                         ? format("set %+.1f ppm", options.driftPPM)
                         : format("set %+.1f ppm, measured %+.1f ppm", options.driftPPM, measuredDrift));
        row("bit errors", format("%llu of %llu samples", (unsigned long long)result.bitErrors,
                                 (unsigned long long)(result.framesSent * result.channelsCompared)));
        row("real-time factor", format("%.1fx (%.2f s of audio in %.2f s)", audioSeconds / result.wallSeconds,
                                       audioSeconds, result.wallSeconds));
        std::printf("%s\n\n", rule.c_str());

        std::printf("== 6. The unit leaves\n");
        std::fflush(stdout);
        session.RemoveUnit();
        std::printf("Kestro unit unplugged: %zu devices left\n", session.GetDevices().size());
        pool = unit.GetPacketAccounting();
        if (pool.outstanding != 0 || pool.doubleReleases != 0 || pool.foreignReleases != 0) {
            throw ToolError::System(format("packets were mishandled: %llu outstanding, %llu released twice, %llu foreign",
                                           (unsigned long long)pool.outstanding,
                                           (unsigned long long)pool.doubleReleases,
                                           (unsigned long long)pool.foreignReleases),
                                    kAudioHardwareUnspecifiedError);
        }
        if (!result.IsBitExact()) {
            throw ToolError::System("the loopback is not bit-exact", kAudioHardwareUnspecifiedError);
        }
        std::printf("demo passed\n");
        return 0;
    }

private:
    double mSeconds = 10;
    std::string mOutput = "kestro-demo.wav";
    std::string mConnector = "sdi";
};

}  // namespace

std::unique_ptr<Command> MakeDemoCommand()
{
    return std::make_unique<DemoCommand>();
}
