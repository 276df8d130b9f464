// The simulated unit as the driver sees it, paced step by step: packets and
// their cadence, sizes, times and flags; the pool accounting; inputs per
// connector, loopback and capture; settings; sync patterns; the component.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/Components.h"
#include "tests/unit/RecordingClient.h"

namespace {

using Kestro::Unit::PackedSamples;
using Kestro::Unit::PacketRecord;
using Kestro::Unit::RecordingClient;
using Kestro::Unit::SimulatedUnit;
using Kestro::Unit::UnitControl;
using Zent::Mux::Orvel::MuxPacket;
using Zent::Orvel::Settings;

class SimulatedUnitTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(unit.SetPacing(UnitControl::Pacing::kStepped), noErr); }

    // Output samples a test writes: frame f of packet p, channel c.
    static SInt32 Ramp(UInt32 inPacket, UInt32 inFrame, UInt32 inChannel, UInt32 inBits)
    {
        const SInt64 value = SInt64(inPacket) * 100003 + SInt64(inFrame) * 8 + inChannel - 40000;
        return PackedSamples::Saturate(inChannel % 2 ? -value : value, inBits);
    }
    static void WriteRamp(MuxPacket* ioPacket, UInt32 inBits)
    {
        const UInt32 frames = ioPacket->GetHeader()->GetFrameCount();
        std::vector<SInt32> samples(size_t(frames) * 8);
        for (UInt32 frame = 0; frame < frames; ++frame) {
            for (UInt32 channel = 0; channel < 8; ++channel) {
                samples[frame * 8 + channel] = Ramp(ioPacket->GetHeader()->GetDebugTimeStamp(), frame, channel, inBits);
            }
        }
        PackedSamples::Pack(samples.data(), frames * 8, inBits / 8, ioPacket->GetSampleData());
    }

    SimulatedUnit unit;
};

TEST_F(SimulatedUnitTest, PacketsFollowTheCadenceOfTheSettings)
{
    struct Case {
        UInt32 frameRate;
        UInt32 sampleRate;
        std::vector<UInt32> firstFrames;
        UInt32 period;
        UInt32 periodTotal;
    };
    const Case cases[] = {
        {Settings::kFrameRate2997, 48000, {1602, 1601, 1602, 1601, 1602, 1602}, 5, 8008},
        {Settings::kFrameRate2997, 44100, {1472, 1471, 1472, 1471}, 100, 147147},
        {Settings::kFrameRate2997, 96000, {3203, 3203}, 1, 3203},
        {Settings::kFrameRate25, 48000, {1920, 1920}, 1, 1920},
        {Settings::kFrameRate25, 96000, {3840}, 1, 3840},
    };
    for (const Case& each : cases) {
        SimulatedUnit local;
        ASSERT_EQ(local.SetPacing(UnitControl::Pacing::kStepped), noErr);
        ASSERT_EQ(local.SetFrameRate(each.frameRate), noErr);
        ASSERT_EQ(local.SetSampleRate(each.sampleRate), noErr);
        RecordingClient input(local, true);
        RecordingClient output(local, false);
        ASSERT_TRUE(input.Start());
        ASSERT_TRUE(output.Start());
        ASSERT_EQ(local.Step(each.period + UInt32(each.firstFrames.size())), noErr);
        for (size_t i = 0; i < each.firstFrames.size(); ++i) {
            EXPECT_EQ(input.records[i].frames, each.firstFrames[i]) << each.sampleRate << " packet " << i;
            EXPECT_EQ(output.records[i].frames, each.firstFrames[i]) << each.sampleRate << " packet " << i;
        }
        UInt32 total = 0;
        for (UInt32 i = 0; i < each.period; ++i) {
            total += input.records[i].frames;
        }
        EXPECT_EQ(total, each.periodTotal) << each.sampleRate;
        EXPECT_EQ(input.records[0].type, SimulatedUnit::kInputPacketType);
        EXPECT_EQ(output.records[0].type, SimulatedUnit::kOutputPacketType);
    }
}

TEST_F(SimulatedUnitTest, StepDeliversOnePacketPerRunningClientOnTheIOThreadOutputFirst)
{
    std::vector<int> order;
    RecordingClient input(unit, true);
    RecordingClient output(unit, false);
    input.onPacket = [&order](MuxPacket*) { order.push_back(1); };
    output.onPacket = [&order](MuxPacket*) { order.push_back(0); };
    ASSERT_TRUE(input.Start());
    ASSERT_TRUE(output.Start());
    ASSERT_EQ(unit.Step(3), noErr);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 0, 1, 0, 1}));
    for (const PacketRecord& record : input.records) {
        EXPECT_TRUE(record.onIOThread);
    }
    EXPECT_EQ(unit.GetDeliveredPacketCount(true), 3u);
    EXPECT_EQ(unit.GetDeliveredPacketCount(false), 3u);
    EXPECT_EQ(unit.Step(0), noErr);
    EXPECT_EQ(input.calls.load(), 3u);

    // A stopped client gets nothing more; the other goes on.
    input.Stop();
    ASSERT_EQ(unit.Step(2), noErr);
    EXPECT_EQ(input.calls.load(), 3u);
    EXPECT_EQ(output.calls.load(), 5u);
}

TEST_F(SimulatedUnitTest, OnlyAcquiredArmedStartedClientsWithACallbackRun)
{
    RecordingClient client(unit, true);
    const UInt32 handle = client.GetHandle();
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(unit.Step(1), noErr);
    unit.SetIOCallback(handle, nullptr, nullptr);
    unit.StartAudio(handle);
    ASSERT_EQ(unit.Step(1), noErr);
    EXPECT_EQ(client.calls.load(), 0u);  // started, but neither acquired nor with a callback
    EXPECT_EQ(unit.GetClientCounts().running, 0u);
    ASSERT_TRUE(client.Start());
    EXPECT_EQ(unit.GetClientCounts().running, 1u);
    ASSERT_EQ(unit.Step(1), noErr);
    EXPECT_EQ(client.calls.load(), 1u);
}

TEST_F(SimulatedUnitTest, PacketsCarryTheUnitWordSize)
{
    // A full-scale negative tone sample shows the word size in its bytes.
    for (const UInt32 bits : {16u, 24u}) {
        SimulatedUnit local;
        ASSERT_EQ(local.SetPacing(UnitControl::Pacing::kStepped), noErr);
        ASSERT_EQ(local.SetWordSize(bits), noErr);
        std::vector<SInt32> frame(8, 0);
        frame[0] = PackedSamples::GetMinimum(bits);
        frame[7] = 0x1234;
        ASSERT_EQ(local.SetInputSamples(Settings::kAudioFormatSDI, frame.data(), 1, UnitControl::SampleLayout::kInt32,
                                        false),
                  noErr);
        RecordingClient input(local, true, bits / 8);
        std::vector<UInt8> bytes;
        input.onPacket = [&bytes, bits](MuxPacket* packet) {
            const UInt8* data = static_cast<const UInt8*>(packet->GetSampleData());
            bytes.assign(data, data + 2 * 8 * bits / 8);
        };
        ASSERT_TRUE(input.Start());
        ASSERT_EQ(local.Step(1), noErr);
        const UInt32 width = bits / 8;
        EXPECT_EQ(bytes[width - 1], 0x80) << bits;  // sign byte of channel 0, little-endian
        EXPECT_EQ(bytes[0], 0x00) << bits;
        EXPECT_EQ(bytes[7 * width], 0x34) << bits;
        EXPECT_EQ(bytes[7 * width + 1], 0x12) << bits;
        // Frame 1 is past the caller's single frame: silence.
        EXPECT_TRUE(std::all_of(bytes.begin() + 8 * width, bytes.end(), [](UInt8 b) { return b == 0; })) << bits;
        EXPECT_EQ(input.records[0].samples[0], PackedSamples::GetMinimum(bits));
    }
}

TEST_F(SimulatedUnitTest, TimeStampsFollowTheDriftedClock)
{
    ASSERT_EQ(unit.SetClockDrift(100.0), noErr);
    RecordingClient input(unit, true);
    ASSERT_TRUE(input.Start());
    ASSERT_EQ(unit.Step(300), noErr);
    const double trueRate = 48000.0 * 1.0001;
    UInt64 frames = 0;
    for (size_t i = 0; i < input.records.size(); ++i) {
        ASSERT_TRUE(input.records[i].hasTime);
        const double expected = double(frames) * 1e9 / trueRate;
        EXPECT_NEAR(double(input.records[i].time - input.records[0].time), expected, 1.0) << i;
        frames += input.records[i].frames;
    }
    // The driver's measurement over a 150-record window gives the true rate.
    UInt64 samples = 0;
    for (size_t i = 150; i < 299; ++i) {
        samples += input.records[i].frames;
    }
    const double rate = double(samples) * 1e9 / double(input.records[299].time - input.records[150].time);
    EXPECT_NEAR((rate - trueRate) / trueRate * 1e6, 0.0, 0.01);
}

TEST_F(SimulatedUnitTest, JitterMovesStampsWithinItsBoundDeterministically)
{
    std::vector<UInt64> runs[2];
    for (auto& times : runs) {
        SimulatedUnit local;
        ASSERT_EQ(local.SetPacing(UnitControl::Pacing::kStepped), noErr);
        ASSERT_EQ(local.SetTimeStampJitter(50, 7), noErr);
        RecordingClient input(local, true);
        ASSERT_TRUE(input.Start());
        ASSERT_EQ(local.Step(200), noErr);
        UInt64 frames = 0;
        bool moved = false;
        for (const PacketRecord& record : input.records) {
            // Relative to the first (itself jittered): at most twice the bound.
            const double exact = double(frames) * 1e9 / 48000.0;
            const double offset = double(SInt64(record.time - input.records[0].time)) - exact;
            EXPECT_LE(std::fabs(offset), 100000.0 + 1.0);
            moved |= std::fabs(offset) > 1000.0;
            frames += record.frames;
            times.push_back(record.time - input.records[0].time);
        }
        EXPECT_TRUE(moved);
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST_F(SimulatedUnitTest, TimeAndMarkFlagsFollowTheirIntervals)
{
    ASSERT_EQ(unit.SetTimeStampInterval(3), noErr);
    ASSERT_EQ(unit.SetMarkInterval(4), noErr);
    RecordingClient input(unit, true);
    RecordingClient output(unit, false);
    ASSERT_TRUE(input.Start());
    ASSERT_TRUE(output.Start());
    ASSERT_EQ(unit.Step(9), noErr);
    unit.MarkNextPacket();
    ASSERT_EQ(unit.Step(2), noErr);
    for (size_t i = 0; i < 11; ++i) {
        EXPECT_EQ(input.records[i].hasTime, i % 3 == 0) << i;
        EXPECT_EQ(input.records[i].marked, i % 4 == 0 || i == 9) << i;
        EXPECT_EQ(output.records[i].marked, i % 4 == 0 || i == 9) << i;
        if (!input.records[i].hasTime) {
            EXPECT_EQ(input.records[i].time, 0u) << i;
        }
    }
}

TEST_F(SimulatedUnitTest, PoolAccountingCatchesDoubleAndMissingReleases)
{
    RecordingClient input(unit, true);
    input.releaseTwice = true;
    ASSERT_TRUE(input.Start());
    testing::internal::CaptureStderr();
    ASSERT_EQ(unit.Step(2), noErr);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("was released twice"), std::string::npos) << errors;
    auto accounting = unit.GetPacketAccounting();
    EXPECT_EQ(accounting.handedOut, 2u);
    EXPECT_EQ(accounting.released, 2u);
    EXPECT_EQ(accounting.doubleReleases, 2u);
    EXPECT_EQ(accounting.outstanding, 0u);

    input.releaseTwice = false;
    input.neverRelease = true;
    ASSERT_EQ(unit.Step(3), noErr);
    accounting = unit.GetPacketAccounting();
    EXPECT_EQ(accounting.handedOut, 5u);
    EXPECT_EQ(accounting.outstanding, 3u);

    // Foreign pointers are counted, never touched.
    MuxPacket stranger;
    testing::internal::CaptureStderr();
    unit.ReleasePacket(&stranger);
    unit.ReleasePacket(nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is not a packet of the unit"), std::string::npos);
    EXPECT_EQ(unit.GetPacketAccounting().foreignReleases, 2u);
}

TEST_F(SimulatedUnitTest, AnExhaustedPoolSkipsDeliveriesAndSaysSo)
{
    SimulatedUnit small(2);
    ASSERT_EQ(small.SetPacing(UnitControl::Pacing::kStepped), noErr);
    RecordingClient input(small, true);
    input.neverRelease = true;
    ASSERT_TRUE(input.Start());
    ASSERT_EQ(small.Step(4), noErr);
    EXPECT_EQ(input.calls.load(), 2u);
    const auto accounting = small.GetPacketAccounting();
    EXPECT_EQ(accounting.poolExhausted, 2u);
    EXPECT_EQ(accounting.outstanding, 2u);
    input.Stop();
    testing::internal::CaptureStderr();
    {
        // Destruction reports what never came back (the client detaches first).
        SimulatedUnit leaky(1);
        ASSERT_EQ(leaky.SetPacing(UnitControl::Pacing::kStepped), noErr);
        RecordingClient holder(leaky, false);
        holder.neverRelease = true;
        ASSERT_TRUE(holder.Start());
        ASSERT_EQ(leaky.Step(1), noErr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SimulatedUnit: 1 packets handed out were never released\n");
}

TEST_F(SimulatedUnitTest, InputComesFromTheSelectedConnectorWhenPresent)
{
    std::vector<SInt32> sdi(8, 111);
    std::vector<SInt32> aes(8, 222);
    ASSERT_EQ(unit.SetInputSamples(Settings::kAudioFormatSDI, sdi.data(), 1, UnitControl::SampleLayout::kInt32, true),
              noErr);
    ASSERT_EQ(unit.SetInputSamples(Settings::kAudioFormatAES, aes.data(), 1, UnitControl::SampleLayout::kInt32, true),
              noErr);
    RecordingClient input(unit, true);
    ASSERT_TRUE(input.Start());
    ASSERT_EQ(unit.Step(1), noErr);
    Settings settings;
    settings.audioinformat = Settings::kAudioFormatAES;
    unit.ApplySettings(true, settings);
    ASSERT_EQ(unit.Step(1), noErr);
    ASSERT_EQ(unit.SetConnectors(Settings::kAudioFormatSDI), noErr);
    ASSERT_EQ(unit.Step(1), noErr);
    EXPECT_FALSE(unit.HasAESInput());
    EXPECT_TRUE(unit.HasSDIInput());
    ASSERT_EQ(input.records.size(), 3u);
    EXPECT_EQ(input.records[0].samples[1601 * 8 + 7], 111);
    EXPECT_EQ(input.records[1].samples[0], 222);
    EXPECT_EQ(input.records[2].samples[0], 0);  // the selected connector is gone
}

TEST_F(SimulatedUnitTest, LoopbackCarriesTheOutputIntoTheInputOfTheSameFrame)
{
    ASSERT_EQ(unit.SetInputLoopback(Settings::kAudioFormatSDI), noErr);
    RecordingClient output(unit, false);
    RecordingClient input(unit, true);
    output.onPacket = [](MuxPacket* packet) { WriteRamp(packet, 24); };
    ASSERT_TRUE(output.Start());
    ASSERT_TRUE(input.Start());
    ASSERT_EQ(unit.Step(12), noErr);
    ASSERT_EQ(input.records.size(), 12u);
    for (UInt32 packet = 0; packet < 12; ++packet) {
        const PacketRecord& record = input.records[packet];
        ASSERT_EQ(record.frames, output.records[packet].frames);
        EXPECT_EQ(record.samples, output.records[packet].samples) << packet;
        EXPECT_EQ(record.samples[5], Ramp(packet, 0, 5, 24));
    }
    EXPECT_EQ(unit.GetLoopbackUnderruns(), 0u);
    EXPECT_EQ(unit.GetLoopbackOverruns(), 0u);
}

TEST_F(SimulatedUnitTest, LoopbackConvertsBetweenWordSizesAndStarvesToSilence)
{
    Settings settings;
    settings.audiooutwordsize = Settings::kWordSize16;
    unit.ApplySettings(false, settings);
    ASSERT_EQ(unit.SetInputLoopback(Settings::kAudioFormatSDI), noErr);
    RecordingClient output(unit, false, 2);
    RecordingClient input(unit, true, 3);
    output.onPacket = [](MuxPacket* packet) { WriteRamp(packet, 16); };
    ASSERT_TRUE(input.Start());
    ASSERT_EQ(unit.Step(1), noErr);  // no output yet: silence
    EXPECT_EQ(unit.GetLoopbackUnderruns(), 1602u);
    EXPECT_TRUE(std::all_of(input.records[0].samples.begin(), input.records[0].samples.end(),
                            [](SInt32 v) { return v == 0; }));
    ASSERT_TRUE(output.Start());
    ASSERT_EQ(unit.Step(1), noErr);
    for (UInt32 i = 0; i < 1601 * 8; ++i) {
        ASSERT_EQ(input.records[1].samples[i], output.records[0].samples[i] * 256) << i;
    }
}

TEST_F(SimulatedUnitTest, OutputIsCapturedUpToTheBound)
{
    RecordingClient output(unit, false);
    output.onPacket = [](MuxPacket* packet) { WriteRamp(packet, 24); };
    ASSERT_TRUE(output.Start());
    ASSERT_EQ(unit.Step(1), noErr);  // before capture: not kept
    ASSERT_EQ(unit.StartCapture(4000), noErr);
    ASSERT_EQ(unit.Step(3), noErr);  // 1601 + 1602 + 1601 frames
    EXPECT_EQ(unit.GetCapturedFrameCount(), 4000u);
    EXPECT_EQ(unit.GetCaptureOverruns(), 1601u + 1602u + 1601u - 4000u);
    std::vector<SInt32> frames(4000 * 8);
    EXPECT_EQ(unit.ReadCapture(frames.data(), 4000), 4000u);
    EXPECT_EQ(frames[0], Ramp(1, 0, 0, 24));
    EXPECT_EQ(frames[1601 * 8 + 3], Ramp(2, 0, 3, 24));
    EXPECT_EQ(unit.ReadCapture(frames.data(), 1), 0u);
    unit.StopCapture();
    ASSERT_EQ(unit.Step(1), noErr);
    EXPECT_EQ(unit.ReadCapture(frames.data(), 1), 0u);
    EXPECT_EQ(unit.StartCapture(0), paramErr);
}

TEST_F(SimulatedUnitTest, ApplySettingsChangesOnlyThatDirectionsThreeCodes)
{
    struct Case {
        bool isInput;
        UInt32 format;
        UInt32 wordSize;
        UInt32 rate;
        bool accepted;
    };
    const Case cases[] = {
        {true, Settings::kAudioFormatAES, Settings::kWordSize16, Settings::kSampleRate44100, true},
        {false, Settings::kAudioFormatSDI, Settings::kWordSize16, Settings::kSampleRate96000, true},
        {true, Settings::kAudioFormatAnalog, Settings::kWordSize24, Settings::kSampleRate48000, true},
        {true, 3, Settings::kWordSize24, Settings::kSampleRate48000, false},
        {false, Settings::kAudioFormatSDI, 0x200, Settings::kSampleRate48000, false},
        {true, Settings::kAudioFormatSDI, Settings::kWordSize24, 0x3000, false},
    };
    for (const Case& each : cases) {
        SimulatedUnit local;
        const Settings before = local.GetUnitSettings();
        Settings request;
        // Every other field differs from the unit's, and must not be taken.
        request.framerate = Settings::kFrameRate25;
        request.audioin0gain = 5;
        request.audiooutmute = 1;
        request.audioinformat = request.audiooutformat = each.format;
        request.audioinwordsize = request.audiooutwordsize = each.wordSize;
        request.audioinsamplerate = request.audiooutsamplerate = each.rate;
        testing::internal::CaptureStderr();
        local.ApplySettings(each.isInput, request);
        const std::string errors = testing::internal::GetCapturedStderr();
        Settings after;
        local.GetSettings(after);
        Settings expected = before;
        if (each.accepted) {
            expected.SetAudioFormat(each.isInput, each.format);
            expected.SetWordSizeCode(each.isInput, each.wordSize);
            expected.SetSampleRateCode(each.isInput, each.rate);
            EXPECT_EQ(errors, "");
        } else {
            EXPECT_NE(errors.find("SimulatedUnit::ApplySettings: the unit can't serve"), std::string::npos);
        }
        EXPECT_TRUE(after == expected) << each.isInput << " " << each.format;
        EXPECT_EQ(local.GetClientCounts().applySettingsCalls, each.accepted ? 1u : 0u);
        EXPECT_EQ(local.GetClientCounts().applySettingsRejected, each.accepted ? 0u : 1u);
    }
}

TEST_F(SimulatedUnitTest, ControlsRefuseBadInputAndChangeNothing)
{
    const Settings before = unit.GetUnitSettings();
    EXPECT_EQ(unit.SetFrameRate(Settings::kFrameRate24), paramErr);
    EXPECT_EQ(unit.SetSampleRate(88200), paramErr);
    EXPECT_EQ(unit.SetWordSize(32), paramErr);
    Settings strange = before;
    strange.framerate = Settings::kFrameRate30;
    EXPECT_EQ(unit.SetUnitSettings(strange), paramErr);
    strange = before;
    strange.audiooutwordsize = 7;
    EXPECT_EQ(unit.SetUnitSettings(strange), paramErr);
    EXPECT_TRUE(unit.GetUnitSettings() == before);

    EXPECT_EQ(unit.SetConnectors(32), paramErr);
    EXPECT_EQ(unit.GetConnectors(), SimulatedUnit::kAllConnectors);
    EXPECT_EQ(unit.SetClockDrift(1000.0), paramErr);
    EXPECT_EQ(unit.SetClockDrift(NAN), paramErr);
    EXPECT_EQ(unit.SetTimeStampJitter(10001, 1), paramErr);
    EXPECT_EQ(unit.SetTimeStampInterval(0), paramErr);
    EXPECT_EQ(unit.SetInputTone(Settings::kAudioFormatSDI, 440.0, 1.5), paramErr);
    EXPECT_EQ(unit.SetInputTone(Settings::kAudioFormatSDI, -1.0, 0.5), paramErr);
    EXPECT_EQ(unit.SetInputTone(3, 440.0, 0.5), paramErr);
    EXPECT_EQ(unit.SetInputSamples(Settings::kAudioFormatSDI, nullptr, 4, UnitControl::SampleLayout::kInt32, false),
              paramErr);
    EXPECT_EQ(unit.SetInputLoopback(0), paramErr);
    EXPECT_EQ(unit.SetSyncPattern(nullptr, 3), paramErr);
    EXPECT_FALSE(unit.HasInputSyncPattern());

    // Step outside stepped pacing, or with the unit absent.
    ASSERT_EQ(unit.SetPacing(UnitControl::Pacing::kRealTime), noErr);
    EXPECT_EQ(unit.Step(1), kAudioHardwareIllegalOperationError);
    ASSERT_EQ(unit.SetPacing(UnitControl::Pacing::kStepped), noErr);
    ASSERT_EQ(unit.RemoveUnit(), noErr);
    EXPECT_EQ(unit.Step(1), kAudioHardwareIllegalOperationError);
    EXPECT_EQ(unit.RemoveUnit(), kAudioHardwareIllegalOperationError);
    ASSERT_EQ(unit.PresentUnit(), noErr);
    EXPECT_EQ(unit.PresentUnit(), kAudioHardwareIllegalOperationError);
}

TEST_F(SimulatedUnitTest, UnknownClientHandlesAreCountedAndHarmless)
{
    testing::internal::CaptureStderr();
    unit.StartAudio(77);
    unit.StopAudio(77);
    unit.ClearIOCallback(0);
    unit.DetachAudioClient(77);
    EXPECT_FALSE(unit.AcquireAudio(77, true));
    int stranger = 0;
    EXPECT_EQ(unit.AttachAudioClient(reinterpret_cast<Zent::Mux::Orvel::FWDevice*>(&stranger), 1), 0u);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("SimulatedUnit::StartAudio: unknown audio client 77\n"), std::string::npos) << errors;
    EXPECT_EQ(unit.GetClientCounts().badClientCalls, 6u);
    EXPECT_EQ(unit.GetClientCounts().attached, 0u);
}

TEST_F(SimulatedUnitTest, AcquireIsRefusedOnDemandAndHeldByOneClientPerDirection)
{
    RecordingClient first(unit, true);
    RecordingClient second(unit, true);
    RecordingClient output(unit, false);
    unit.SetAcquireRefusal(true, true);
    EXPECT_FALSE(first.Start());
    EXPECT_TRUE(output.Start());  // the other direction is not refused
    unit.SetAcquireRefusal(true, false);
    EXPECT_TRUE(first.Start());
    EXPECT_FALSE(second.Start());
    first.Stop();
    EXPECT_TRUE(second.Start());
    EXPECT_EQ(unit.GetClientCounts().acquireRefusals, 2u);
}

TEST_F(SimulatedUnitTest, SyncPatternIsOfferedOnceAndBigEndian)
{
    EXPECT_FALSE(unit.HasInputSyncPattern());
    std::vector<float> pattern(3 * 8);
    std::iota(pattern.begin(), pattern.end(), 0.5f);
    ASSERT_EQ(unit.SetSyncPattern(pattern.data(), 3), noErr);
    std::vector<float> replacement(2 * 8, -1.0f);
    ASSERT_EQ(unit.SetSyncPattern(replacement.data(), 2), noErr);  // the latest wins
    EXPECT_TRUE(unit.HasInputSyncPattern());
    EXPECT_FALSE(unit.HasInputSyncPattern());
    UInt32 count = 0;
    const void* frames = nullptr;
    unit.GetInputSyncPattern(count, frames);
    ASSERT_EQ(count, 2u);
    const UInt8* bytes = static_cast<const UInt8*>(frames);
    EXPECT_EQ(bytes[0], 0xBF);  // -1.0f is 0xBF800000
    EXPECT_EQ(bytes[1], 0x80);
    EXPECT_EQ(bytes[3], 0x00);

    ASSERT_EQ(unit.SetSyncPattern(pattern.data(), 3), noErr);
    EXPECT_TRUE(unit.HasInputSyncPattern());
    unit.GetInputSyncPattern(count, frames);
    ASSERT_EQ(count, 3u);
    bytes = static_cast<const UInt8*>(frames);
    EXPECT_EQ(bytes[4 * 23], 0x41);  // 23.5f is 0x41BC0000
    EXPECT_EQ(bytes[4 * 23 + 1], 0xBC);
}

TEST_F(SimulatedUnitTest, SkipCountAndDebugWordsAreTheMuxersAnswers)
{
    EXPECT_EQ(unit.GetOutputSkipCount(), 0u);
    unit.SetOutputSkipCount(8);
    EXPECT_EQ(unit.GetOutputSkipCount(), 8u);
    Zent::Mux::Orvel::BaseMuxer* muxer = unit.GetMuxer();
    EXPECT_EQ(muxer->dumpFrameCount.load(), -1);
    unit.SetDebugWord(UnitControl::DebugWord::kDumpFrameCount, 4);
    unit.SetDebugWord(UnitControl::DebugWord::kPrintSampleRate, 1);
    unit.SetDebugWord(UnitControl::DebugWord::kWriteTestRamp, 1);
    unit.SetDebugWord(UnitControl::DebugWord::kVerboseWarnings, 1);
    unit.SetDebugWord(UnitControl::DebugWord::kPrintPacketInfo, 1);
    EXPECT_EQ(muxer->dumpFrameCount.load(), 4);
    EXPECT_EQ(muxer->printSampleRate.load(), 1);
    EXPECT_EQ(muxer->writeTestRamp.load(), 1);
    EXPECT_EQ(muxer->verboseWarnings.load(), 1);
    EXPECT_EQ(muxer->printPacketInfo.load(), 1);
}

TEST_F(SimulatedUnitTest, RegistersAsTheMuxerComponent)
{
    ASSERT_EQ(unit.RegisterUnitComponent(), noErr);
    EXPECT_EQ(unit.RegisterUnitComponent(), kAudioHardwareIllegalOperationError);
    ComponentDescription looking = {FourCC("muxr"), FourCC("orvl"), FourCC("Dove"), 0, 0};
    Component component = FindNextComponent(nullptr, &looking);
    ASSERT_NE(component, nullptr);
    ComponentInstance instance = OpenComponent(component);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(reinterpret_cast<Zent::Mux::Orvel::BaseMuxer*>(GetComponentRefcon(component)), unit.GetMuxer());
    EXPECT_EQ(CloseComponent(instance), noErr);
    ASSERT_EQ(unit.UnregisterUnitComponent(), noErr);
    EXPECT_EQ(FindNextComponent(nullptr, &looking), nullptr);
    EXPECT_EQ(unit.UnregisterUnitComponent(), kAudioHardwareIllegalOperationError);
}

}  // namespace
