// One hour of 8-channel audio through the unit's loopback at fast pacing, with
// the unit pulled out and plugged back in every five minutes of audio. Between
// two departures every frame that comes back on "Kestro In" must equal what
// was played on "Kestro Out"; every packet the unit hands out must come back
// exactly once; and the peak resident size must not grow after the first
// minute. The test is an executable of its own so that the peak resident size
// is this run's alone.
//
// KESTRO_SOAK_MINUTES (default 60) sets the audio time; the sanitizer builds
// shorten it. The number of departures stays the same, the segments between
// them get shorter.
#include "tests/integration/KestroTest.h"

#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRO_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTRO_SOAK_SANITIZED 1
#endif
#endif

namespace KestroIntegration {
namespace {

#ifdef KESTRO_SOAK_SANITIZED
// The sanitizers' allocators keep freed memory in quarantine: the resident
// size says nothing about leaks there, so it is only printed.
constexpr bool kCheckMemory = false;
#else
constexpr bool kCheckMemory = true;
#endif

constexpr UInt64 kSampleRate = 48000;
// Twelve stretches of audio, so eleven departures and arrivals between them.
constexpr UInt32 kSegments = 12;
constexpr UInt64 kMemoryGrowthLimitKiB = 1024;
// No frame checked for this long (wall time) means the audio stopped.
constexpr auto kStallLimit = std::chrono::seconds(60);

// The audio time to run, in minutes; 0 when KESTRO_SOAK_MINUTES is not a whole
// number from 1 to 1440.
UInt32 SoakMinutes()
{
    const char* text = std::getenv("KESTRO_SOAK_MINUTES");
    if (text == nullptr || *text == '\0') {
        return 60;
    }
    char* end = nullptr;
    const unsigned long minutes = std::strtoul(text, &end, 10);
    if (*end != '\0' || minutes == 0 || minutes > 24 * 60) {
        return 0;
    }
    return UInt32(minutes);
}

// The process's peak resident size (VmHWM) in KiB; 0 if unreadable.
UInt64 PeakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtoull(line.c_str() + 6, nullptr, 10);
        }
    }
    return 0;
}

// One stretch of audio between two departures. The output proc plays the
// pattern from frame mBase on; the input proc waits for the first frame that
// is not silence and from then on compares every frame with the pattern, so
// a lost, repeated or altered frame shows as an error. Both procs run on the
// unit's I/O thread; the test thread reads the atomics while audio runs and
// the rest once the unit stopped delivering.
struct SegmentCheck {
    UInt64 mBase = 0;
    UInt64 mWritten = 0;
    bool mSynced = false;
    UInt64 mExpected = 0;
    std::atomic<UInt64> mCompared{0};      // frames compared
    std::atomic<UInt64> mSampleErrors{0};  // samples that differ
    std::atomic<UInt64> mBitErrors{0};     // bits that differ
    UInt64 mFirstError = ~0ull;            // pattern frame of the first error
};

OSStatus PlayPattern(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                     AudioBufferList* outOutputData, const AudioTimeStamp*, void* inClientData)
{
    SegmentCheck& check = *static_cast<SegmentCheck*>(inClientData);
    check.mWritten += FillPattern(outOutputData->mBuffers[0], check.mBase + check.mWritten);
    return noErr;
}

OSStatus ComparePattern(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInputData,
                        const AudioTimeStamp*, AudioBufferList*, const AudioTimeStamp*, void* inClientData)
{
    SegmentCheck& check = *static_cast<SegmentCheck*>(inClientData);
    const AudioBuffer& buffer = inInputData->mBuffers[0];
    const float* data = static_cast<const float*>(buffer.mData);
    const UInt32 channels = buffer.mNumberChannels;
    const UInt32 frames = buffer.mDataByteSize / (channels * sizeof(float));
    UInt64 compared = 0;
    UInt64 sampleErrors = 0;
    UInt64 bitErrors = 0;
    for (UInt32 frame = 0; frame < frames; ++frame) {
        const float* samples = data + size_t(frame) * channels;
        if (!check.mSynced) {
            // Silence until the output's first frame has come round; the
            // pattern is never zero.
            if (samples[0] == 0.0f) {
                continue;
            }
            check.mSynced = true;
            check.mExpected = check.mBase;
        }
        for (UInt32 channel = 0; channel < channels; ++channel) {
            const UInt32 got = std::bit_cast<UInt32>(samples[channel]);
            const UInt32 want = std::bit_cast<UInt32>(Sample24(PatternValue24(check.mExpected, channel)));
            if (got != want) {
                if (check.mSampleErrors.load(std::memory_order_relaxed) + sampleErrors == 0) {
                    check.mFirstError = check.mExpected;
                }
                ++sampleErrors;
                bitErrors += UInt64(std::popcount(got ^ want));
            }
        }
        ++check.mExpected;
        ++compared;
    }
    check.mSampleErrors.fetch_add(sampleErrors);
    check.mBitErrors.fetch_add(bitErrors);
    check.mCompared.fetch_add(compared);
    return noErr;
}

class SoakTest : public KestroTest {
public:
    // Only a hang should reach this: a stall fails the test after kStallLimit.
    std::chrono::seconds TimeBound() const override { return std::chrono::seconds(3600); }

    // Outlive the test body, so that a failure that leaves audio running
    // still leaves the procs valid data until TearDown unloads the bundle.
    std::vector<std::unique_ptr<SegmentCheck>> mChecks;
};

TEST_F(SoakTest, AnHourOfLoopbackWithTheUnitPulledEveryFiveMinutesLosesNothing)
{
    const UInt32 minutes = SoakMinutes();
    ASSERT_NE(minutes, 0u) << "KESTRO_SOAK_MINUTES must be a whole number of minutes from 1 to 1440";
    const UInt64 targetFrames = UInt64(minutes) * 60 * kSampleRate;
    const UInt64 segmentFrames = (targetFrames + kSegments - 1) / kSegments;
    const UInt64 firstMinuteFrames = 60 * kSampleRate;

    ASSERT_EQ(Unit().SetInputLoopback(Settings::kAudioFormatSDI), noErr);
    ASSERT_EQ(LoadBundle(), noErr);
    ASSERT_EQ(Unit().SetPacing(UnitControl::Pacing::kFast), noErr);

    mChecks.reserve(kSegments);
    const auto wallStart = std::chrono::steady_clock::now();
    UInt64 played = 0;
    UInt64 compared = 0;
    UInt64 sampleErrors = 0;
    UInt64 bitErrors = 0;
    UInt32 cycles = 0;
    UInt64 peakAfterFirstMinute = 0;

    for (UInt32 segment = 0; segment < kSegments; ++segment) {
        SCOPED_TRACE(testing::Message() << "segment " << segment);
        ASSERT_NE(OutputDevice(), 0u);
        ASSERT_NE(InputDevice(), 0u);
        mChecks.push_back(std::make_unique<SegmentCheck>());
        SegmentCheck& check = *mChecks.back();
        // Each segment plays its own stretch of the pattern, so audio left
        // over from an earlier one could not pass for this one's.
        check.mBase = UInt64(segment) << 36;
        ASSERT_EQ(AudioDeviceAddIOProc(InputDevice(), &ComparePattern, &check), noErr);
        ASSERT_EQ(AudioDeviceAddIOProc(OutputDevice(), &PlayPattern, &check), noErr);
        ASSERT_EQ(AudioDeviceStart(InputDevice(), &ComparePattern), noErr);
        ASSERT_EQ(AudioDeviceStart(OutputDevice(), &PlayPattern), noErr);

        UInt64 lastCompared = 0;
        auto lastProgress = std::chrono::steady_clock::now();
        bool stalled = false;
        while (check.mCompared.load() < segmentFrames) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const UInt64 now = check.mCompared.load();
            if (peakAfterFirstMinute == 0 && compared + now >= firstMinuteFrames) {
                peakAfterFirstMinute = PeakResidentKiB();
            }
            if (now != lastCompared) {
                lastCompared = now;
                lastProgress = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - lastProgress > kStallLimit) {
                stalled = true;
                break;
            }
        }

        const bool last = segment + 1 == kSegments;
        if (last) {
            // The input first: once the output stops, silence comes round.
            EXPECT_EQ(AudioDeviceStop(InputDevice(), &ComparePattern), noErr);
            Settle();
            EXPECT_EQ(AudioDeviceStop(OutputDevice(), &PlayPattern), noErr);
            Settle();
            EXPECT_TRUE(WaitFor([&] { return Unit().GetClientCounts().running == 0; }));
        } else {
            // Pulled out while both devices run.
            PullUnitAndExpectItGone();
        }
        ExpectCleanAccounting();
        EXPECT_FALSE(stalled) << "no frame came back for " << kStallLimit.count() << " s after "
                              << check.mCompared.load() << " frames";
        EXPECT_GE(check.mCompared.load(), segmentFrames);
        EXPECT_EQ(check.mSampleErrors.load(), 0u) << "first wrong frame " << (check.mFirstError - check.mBase);
        played += check.mWritten;
        compared += check.mCompared.load();
        sampleErrors += check.mSampleErrors.load();
        bitErrors += check.mBitErrors.load();
        if (last || HasFatalFailure()) {
            break;
        }

        // The host keeps a record of every announcement for the tests; start
        // it afresh so that it does not count against the memory.
        AudioHardwareServerClearEvents();
        const UInt64 writtenBefore = check.mWritten;
        const UInt64 comparedBefore = check.mCompared.load();
        ASSERT_EQ(Unit().PresentUnit(), noErr);
        Settle();
        FindDevices();
        ++cycles;
        // The departed devices' procs are never called again.
        EXPECT_EQ(check.mWritten, writtenBefore);
        EXPECT_EQ(check.mCompared.load(), comparedBefore);
    }
    const double wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const UInt64 peakAtEnd = PeakResidentKiB();

    const UnitControl::PacketAccounting accounting = Unit().GetPacketAccounting();
    const UInt64 deliveredOutput = Unit().GetDeliveredPacketCount(false);
    const UInt64 deliveredInput = Unit().GetDeliveredPacketCount(true);
    EXPECT_EQ(cycles, kSegments - 1);
    EXPECT_GE(compared, targetFrames);
    EXPECT_EQ(sampleErrors, 0u);
    EXPECT_EQ(bitErrors, 0u);
    EXPECT_EQ(deliveredOutput + deliveredInput, accounting.handedOut);
    EXPECT_EQ(accounting.released, accounting.handedOut);
    EXPECT_EQ(accounting.poolExhausted, 0u);
    EXPECT_EQ(Unit().GetLoopbackOverruns(), 0u);
    EXPECT_EQ(Unit().GetClientCounts().badClientCalls, 0u);
    EXPECT_NE(peakAfterFirstMinute, 0u) << "VmHWM was not read after the first minute";
    if (kCheckMemory) {
        EXPECT_LE(peakAtEnd, peakAfterFirstMinute + kMemoryGrowthLimitKiB)
            << "the peak resident size grew after the first minute of audio";
    }

    const double audioSeconds = double(played) / double(kSampleRate);
    const long long growth = (long long)peakAtEnd - (long long)peakAfterFirstMinute;
    std::printf("\nSoak figures (8-channel loopback, %" PRIu32 " minutes asked)\n", minutes);
    std::printf("  audio time          %.1f s (%.2f min) played on \"Kestro Out\"\n", audioSeconds,
                audioSeconds / 60.0);
    std::printf("  wall time           %.1f s (%.0f times real time)\n", wallSeconds,
                wallSeconds > 0 ? audioSeconds / wallSeconds : 0.0);
    std::printf("  packets delivered   %" PRIu64 " (output %" PRIu64 ", input %" PRIu64 ")\n",
                deliveredOutput + deliveredInput, deliveredOutput, deliveredInput);
    std::printf("  packets released    %" PRIu64 " (outstanding %" PRIu64 ", twice %" PRIu64 ", foreign %" PRIu64
                ")\n",
                accounting.released, accounting.outstanding, accounting.doubleReleases, accounting.foreignReleases);
    std::printf("  hot-plug cycles     %" PRIu32 "\n", cycles);
    std::printf("  frames compared     %" PRIu64 " (%.1f s of audio)\n", compared,
                double(compared) / double(kSampleRate));
    std::printf("  bit errors          %" PRIu64 " (in %" PRIu64 " wrong samples)\n", bitErrors, sampleErrors);
    std::printf("  VmHWM first minute  %" PRIu64 " kB\n", peakAfterFirstMinute);
    std::printf("  VmHWM at end        %" PRIu64 " kB (%+lld kB; %s)\n", peakAtEnd, growth,
                kCheckMemory ? "limit +1024 kB" : "not checked under a sanitizer");
    std::fflush(stdout);
}

}  // namespace
}  // namespace KestroIntegration
