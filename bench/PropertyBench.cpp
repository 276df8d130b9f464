// Measures the latency of property calls as a host client makes them: the
// real bundle loaded through the host layer with the simulated unit (stepped
// pacing, so no packet runs and the devices are idle), every call made with
// the host's client API, which checks the object ID and then goes through the
// bundle's interface table into the device or stream.
//
// Each call runs round-robin with the others in batches of about 30
// microseconds, the order of the calls reversing every round; after a
// warm-up, the median over the rounds of the time per call. Set calls
// alternate between two values, so that every call really changes the
// property and the device announces the change (the host records it and
// queues it for its notification thread, which is part of the call's cost).
// Between batches, outside the timing, the host's run loop is flushed and its
// record of notifications cleared, so that nothing piles up from one batch to
// the next. The last row is the host's own check alone (an unknown device,
// answered without reaching the plug-in), the floor under every other row.
//
//   kestro_bench_property [--rounds N]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/AudioHardware.h"
#include "platform/AudioHardwareHost.h"
#include "platform/AudioHardwareServer.h"
#include "platform/CoreAudioTypes.h"
#include "platform/HostRunLoop.h"
#include "unit/SimulatedUnit.h"

namespace {

using BenchSupport::Median;
using BenchSupport::Devices;
using BenchSupport::FindDevice;

using Clock = std::chrono::steady_clock;
using Kestro::Unit::SimulatedUnit;
using Kestro::Unit::UnitControl;

constexpr double kBatchNanoseconds = 30000.0;
constexpr int kWarmupRounds = 100;
// Not a selector of any device or stream.
constexpr AudioDevicePropertyID kUnknownSelector = FourCC("zzzz");
// Not an ID the host ever hands out for a device.
constexpr AudioDeviceID kUnknownDevice = 0x7FFFFFF0;

AudioStreamID FirstStream(AudioDeviceID inDevice, bool inIsInput)
{
    AudioStreamID stream = 0;
    UInt32 size = sizeof(stream);
    if (AudioDeviceGetProperty(inDevice, 0, inIsInput, kAudioDevicePropertyStreams, &size, &stream) != noErr ||
        size != sizeof(stream)) {
        return 0;
    }
    return stream;
}

// One kind of call: made again and again, it must answer the expected status
// every time. Set calls announce a change the host queues (flushed between
// batches).
struct Call {
    Call(std::string inName, std::function<OSStatus()> inMake, OSStatus inExpected = noErr, bool inAnnounces = false)
        : name(std::move(inName)), make(std::move(inMake)), expected(inExpected), announces(inAnnounces)
    {
    }

    std::string name;
    std::function<OSStatus()> make;
    OSStatus expected;
    bool announces;
    int repeats = 1;
    bool failed = false;
    OSStatus failure = noErr;   // the first unexpected status
    std::vector<double> times;  // ns per call, one per measured round
};

// Makes inCall inRepeats times and returns the elapsed nanoseconds.
double TimeBatch(Call& ioCall, int inRepeats)
{
    bool failed = false;
    OSStatus unexpected = noErr;
    const auto start = Clock::now();
    for (int i = 0; i < inRepeats; ++i) {
        const OSStatus status = ioCall.make();
        if (status != ioCall.expected) {
            failed = true;
            unexpected = status;
        }
        benchmark::ClobberMemory();
    }
    const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    if (failed && !ioCall.failed) {
        ioCall.failed = true;
        ioCall.failure = unexpected;
    }
    return elapsed;
}

// Lets the host deliver what the calls announced and forgets its record.
void Settle(const Call& inCall)
{
    if (inCall.announces) {
        HostRunLoopFlush();
        AudioHardwareServerClearEvents();
    }
}

void Measure(std::vector<Call>& ioCalls, int inRounds)
{
    // Calibrate the batch sizes to about 30 microseconds each.
    for (Call& call : ioCalls) {
        for (int pass = 0; pass < 3; ++pass) {
            call.repeats = std::max(1, int(kBatchNanoseconds / (TimeBatch(call, 16) / 16)));
            Settle(call);
        }
    }
    const std::size_t count = ioCalls.size();
    for (int round = 0; round < kWarmupRounds + inRounds; ++round) {
        for (std::size_t step = 0; step < count; ++step) {
            Call& call = ioCalls[round % 2 == 0 ? step : count - 1 - step];
            const double perCall = TimeBatch(call, call.repeats) / call.repeats;
            Settle(call);
            if (round >= kWarmupRounds) {
                call.times.push_back(perCall);
            }
        }
    }
}

// The calls a client typically makes, on the output device, its published
// stream and (for the host's own check) an unknown device.
std::vector<Call> MakeCalls(AudioDeviceID inDevice, AudioStreamID inStream, std::vector<UInt64>& ioListStorage)
{
    std::vector<Call> calls;
    calls.emplace_back("DeviceGetPropertyInfo 'fsiz' (size and writable)", [inDevice] {
        UInt32 size = 0;
        Boolean writable = false;
        const OSStatus status =
            AudioDeviceGetPropertyInfo(inDevice, 0, false, kAudioDevicePropertyBufferFrameSize, &size, &writable);
        benchmark::DoNotOptimize(size);
        benchmark::DoNotOptimize(writable);
        return status;
    });
    calls.emplace_back("DeviceGetProperty 'nsrt' (nominal sample rate, Float64)", [inDevice] {
        Float64 rate = 0;
        UInt32 size = sizeof(rate);
        const OSStatus status =
            AudioDeviceGetProperty(inDevice, 0, false, kAudioDevicePropertyNominalSampleRate, &size, &rate);
        benchmark::DoNotOptimize(rate);
        return status;
    });
    calls.emplace_back("DeviceGetProperty 'fsiz' (buffer frame size, UInt32)", [inDevice] {
        UInt32 frames = 0;
        UInt32 size = sizeof(frames);
        const OSStatus status =
            AudioDeviceGetProperty(inDevice, 0, false, kAudioDevicePropertyBufferFrameSize, &size, &frames);
        benchmark::DoNotOptimize(frames);
        return status;
    });
    calls.emplace_back("DeviceGetProperty 'name' (device name, C string)", [inDevice] {
        char name[64];
        UInt32 size = sizeof(name);
        const OSStatus status = AudioDeviceGetProperty(inDevice, 0, false, kAudioDevicePropertyDeviceName, &size, name);
        benchmark::DoNotOptimize(name);
        return status;
    });
    UInt32 listSize = 0;
    AudioDeviceGetPropertyInfo(inDevice, 0, false, kAudioDevicePropertyStreamConfiguration, &listSize, nullptr);
    ioListStorage.assign((std::max<UInt32>(listSize, AudioBufferListSize(1)) + 7) / 8, 0);
    UInt64* list = ioListStorage.data();
    calls.emplace_back("DeviceGetProperty 'slay' (stream configuration, 1 buffer)", [inDevice, listSize, list] {
        UInt32 size = listSize;
        const OSStatus status =
            AudioDeviceGetProperty(inDevice, 0, false, kAudioDevicePropertyStreamConfiguration, &size, list);
        benchmark::DoNotOptimize(list);
        return status;
    });
    calls.emplace_back("DeviceGetProperty 'pft ' (the stream's physical format)", [inDevice] {
        AudioStreamBasicDescription format;
        UInt32 size = sizeof(format);
        const OSStatus status =
            AudioDeviceGetProperty(inDevice, 0, false, kAudioStreamPropertyPhysicalFormat, &size, &format);
        benchmark::DoNotOptimize(format);
        return status;
    });
    calls.emplace_back("StreamGetProperty 'pft ' (physical format)", [inStream] {
        AudioStreamBasicDescription format;
        UInt32 size = sizeof(format);
        const OSStatus status = AudioStreamGetProperty(inStream, 0, kAudioStreamPropertyPhysicalFormat, &size, &format);
        benchmark::DoNotOptimize(format);
        return status;
    });
    calls.emplace_back(
        "DeviceSetProperty 'fsiz' (1602 and 3840 frames in turn)",
        [inDevice, turn = UInt32(0)]() mutable {
            const UInt32 frames = (turn++ % 2 == 0) ? 1602 : 3840;
            return AudioDeviceSetProperty(inDevice, nullptr, 0, false, kAudioDevicePropertyBufferFrameSize,
                                          sizeof(frames), &frames);
        },
        noErr, true);
    calls.emplace_back(
        "DeviceSetProperty 'mute' (1 and 0 in turn)",
        [inDevice, turn = UInt32(0)]() mutable {
            const UInt32 mute = (turn++ % 2 == 0) ? 1 : 0;
            return AudioDeviceSetProperty(inDevice, nullptr, 0, false, kAudioDevicePropertyMute, sizeof(mute), &mute);
        },
        noErr, true);
    calls.emplace_back(
        "DeviceGetProperty of an unknown selector ('who?')",
        [inDevice] {
            UInt32 value = 0;
            UInt32 size = sizeof(value);
            const OSStatus status = AudioDeviceGetProperty(inDevice, 0, false, kUnknownSelector, &size, &value);
            benchmark::DoNotOptimize(value);
            return status;
        },
        kAudioHardwareUnknownPropertyError);
    calls.emplace_back(
        "reference: unknown device, the host's check alone ('!dev')",
        [] {
            UInt32 frames = 0;
            UInt32 size = sizeof(frames);
            const OSStatus status =
                AudioDeviceGetProperty(kUnknownDevice, 0, false, kAudioDevicePropertyBufferFrameSize, &size, &frames);
            benchmark::DoNotOptimize(frames);
            return status;
        },
        kAudioHardwareBadDeviceError);
    return calls;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 1000;
    for (int index = 1; index + 1 < argc; index += 2) {
        if (std::strcmp(argv[index], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[index + 1]));
        }
    }

    std::vector<Call> calls;
    bool ok = false;
    {
        SimulatedUnit unit;
        unit.SetPacing(UnitControl::Pacing::kStepped);
        unit.RegisterUnitComponent();
        OSStatus status = -1;
        const bool loaded = AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status) != nullptr;
        unit.WaitForNotifications();
        HostRunLoopFlush();
        const AudioDeviceID device = loaded && status == noErr ? FindDevice("Kestro Out") : 0;
        const AudioStreamID stream = device != 0 ? FirstStream(device, false) : 0;
        std::vector<UInt64> listStorage;
        if (stream != 0) {
            calls = MakeCalls(device, stream, listStorage);
            Measure(calls, rounds);
            ok = true;
        } else if (!loaded || status != noErr) {
            std::fprintf(stderr, "kestro_bench_property: the bundle did not load (%d)\n", int(status));
        } else {
            std::fprintf(stderr, "kestro_bench_property: Kestro Out or its stream is missing\n");
        }
        if (loaded) {
            HostRunLoopFlush();
            AudioHardwareServerClearEvents();
            AudioHardwareHostUnloadPlugIn();
            unit.WaitForNotifications();
        }
    }
    if (!ok) {
        return 1;
    }

    std::printf("| call (Kestro Out, through the interface table) | ns per call |\n");
    std::printf("|---|---:|\n");
    for (const Call& call : calls) {
        if (call.failed) {
            ok = false;
            std::printf("| %s | failed: '%s' |\n", call.name.c_str(), FourCCText(UInt32(call.failure)).text);
        } else {
            std::printf("| %s | %.0f |\n", call.name.c_str(), Median(call.times));
        }
    }
    return ok ? 0 : 1;
}
