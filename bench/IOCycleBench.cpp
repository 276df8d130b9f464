// Measures the driver's whole I/O cycle and the system's fast-pacing speed,
// with the real bundle loaded through the host layer.
//
// 1. One packet (1602 frames, 8 channels, 24 bits) through each device with
//    one IOProc that copies its buffer: a minimal muxer registered in place
//    of the unit hands the packet straight to the device's I/O callback on
//    the benchmark thread, so the time is the driver's alone (DoIO: the rate
//    window, the conversion, the time stamps, the IOProc, the release).
//    Each cycle runs round-robin with a memcpy of the packet's float bytes
//    (1602 x 8 x 4) in batches of about 30 microseconds, the order
//    alternating per round; after a warm-up, the median time per packet and
//    the median of the per-round ratio to memcpy.
// 2. The real-time factor of a loopback run at fast pacing: the simulated
//    unit, an IOProc feeding Kestro Out, the unit looping it back, an IOProc
//    on Kestro In collecting it in memory.
//
//   kestro_bench_io [--rounds N] [--seconds S]
#include <benchmark/benchmark.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "Digitizers/Orvel/Zent_Orvel_Settings.h"
#include "driver/muxer/Zent_Mux_Orvel_BaseMuxer.h"
#include "platform/AudioHardware.h"
#include "platform/AudioHardwareHost.h"
#include "platform/Components.h"
#include "platform/HostClock.h"
#include "platform/HostRunLoop.h"
#include "unit/SimulatedUnit.h"

namespace {

using BenchSupport::Median;
using BenchSupport::Devices;
using BenchSupport::FindDevice;

using Clock = std::chrono::steady_clock;
using Zent::Mux::Orvel::BaseMuxer;
using Zent::Mux::Orvel::FWDevice;
using Zent::Mux::Orvel::IOCallback;
using Zent::Mux::Orvel::MuxPacket;
using Zent::Mux::Orvel::NotificationCallback;

void* (*volatile gMemcpy)(void*, const void*, std::size_t) = std::memcpy;

constexpr UInt32 kFrames = 1602;
constexpr UInt32 kChannels = 8;
constexpr UInt32 kBytesPerSample = 3;
constexpr double kBatchNanoseconds = 30000.0;
constexpr int kWarmupRounds = 100;

// A muxer with nothing behind it: it answers what the driver asks, keeps the
// two devices' I/O callbacks and lets the benchmark call them. Arrival is
// announced when the benchmark says so, on the caller's thread.
class BenchMuxer final : public BaseMuxer {
public:
    BenchMuxer()
    {
        mParked = std::thread([] {});
        mParkedHandle = mParked.native_handle();
        mParked.join();
        mIOThread = mParkedHandle;
    }

    void Arrive() { mNotification(mNotificationRefCon, Zent::Mux::Orvel::kNotificationUnitArrived, Unit()); }
    void Depart() { mNotification(mNotificationRefCon, Zent::Mux::Orvel::kNotificationUnitGone, Unit()); }
    FWDevice* Unit() { return reinterpret_cast<FWDevice*>(&mUnitIdentity); }
    // Makes the calling thread the muxer's I/O thread (or none).
    void BecomeIOThread(bool inYes) { mIOThread = inYes ? pthread_self() : mParkedHandle; }
    // Hands a packet to the client that acquired that direction.
    bool Deliver(bool inIsInput, MuxPacket* ioPacket)
    {
        const Client& client = mClients[inIsInput ? 1 : 0];
        if (client.callback == nullptr) {
            return false;
        }
        client.callback(client.refCon, inIsInput ? 2 : 3, ioPacket);
        return true;
    }
    UInt64 GetReleased() const { return mReleased; }

    UInt32 RegisterNotification(NotificationCallback inCallback, void* inRefCon) override
    {
        mNotification = inCallback;
        mNotificationRefCon = inRefCon;
        return 1;
    }
    void UnregisterNotification(UInt32) override { mNotification = nullptr; }
    void GetSettings(Zent::Orvel::Settings& outSettings) override { outSettings = Zent::Orvel::Settings(); }
    void ApplySettings(bool, const Zent::Orvel::Settings&) override {}
    UInt32 GetOutputSkipCount() override { return 0; }
    UInt32 AttachAudioClient(FWDevice*, UInt32) override { return ++mNextClient; }
    void DetachAudioClient(UInt32) override {}
    void StartAudio(UInt32) override {}
    void StopAudio(UInt32) override {}
    void ArmAudio(UInt32, UInt32) override {}
    bool AcquireAudio(UInt32 inClient, bool inIsInput) override
    {
        mClients[inIsInput ? 1 : 0].handle = inClient;
        return true;
    }
    void ReleaseAudio(UInt32) override {}
    void ReleasePacket(MuxPacket*) override { ++mReleased; }
    void SetIOCallback(UInt32 inClient, IOCallback inCallback, void* inRefCon) override
    {
        for (Client& client : mClients) {
            if (client.handle == inClient) {
                client.callback = inCallback;
                client.refCon = inRefCon;
            }
        }
    }
    void ClearIOCallback(UInt32 inClient) override
    {
        for (Client& client : mClients) {
            if (client.handle == inClient) {
                client.callback = nullptr;
                client.refCon = nullptr;
            }
        }
    }
    pthread_t GetIOThread() override { return mIOThread; }
    void GetInputSyncPattern(UInt32& outFrameCount, const void*& outFrames) override
    {
        outFrameCount = 0;
        outFrames = nullptr;
    }
    bool HasInputSyncPattern() override { return false; }
    bool HasSDIInput() override { return true; }
    bool HasAnalogInput() override { return true; }
    bool HasAESInput() override { return true; }
    bool HasADATInput() override { return true; }
    bool HasSPDIFInput() override { return true; }

private:
    struct Client {
        UInt32 handle = 0;
        IOCallback callback = nullptr;
        void* refCon = nullptr;
    };
    NotificationCallback mNotification = nullptr;
    void* mNotificationRefCon = nullptr;
    Client mClients[2];
    UInt32 mNextClient = 0;
    UInt64 mReleased = 0;
    char mUnitIdentity = 0;
    std::thread mParked;
    pthread_t mParkedHandle{};
    pthread_t mIOThread{};
};

// The IOProc of the cycle benchmark: copies its buffer.
struct CopyProc {
    std::vector<float> storage = std::vector<float>(size_t(3840) * kChannels);
    static OSStatus Proc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInputData,
                         const AudioTimeStamp*, AudioBufferList* outOutputData, const AudioTimeStamp*,
                         void* inClientData)
    {
        CopyProc& self = *static_cast<CopyProc*>(inClientData);
        if (inInputData != nullptr) {
            const AudioBuffer& buffer = inInputData->mBuffers[0];
            std::memcpy(self.storage.data(), buffer.mData, buffer.mDataByteSize);
        }
        if (outOutputData != nullptr) {
            AudioBuffer& buffer = outOutputData->mBuffers[0];
            std::memcpy(buffer.mData, self.storage.data(), buffer.mDataByteSize);
        }
        return noErr;
    }
};

struct Figure {
    double nsPerPacket;
    double ratio;
};

// The cycle of one device against memcpy of the packet's float bytes.
Figure MeasureCycle(BenchMuxer& ioMuxer, bool inIsInput, int inRounds)
{
    std::vector<UInt8> samples(size_t(kFrames) * kChannels * kBytesPerSample);
    for (size_t index = 0; index < samples.size(); ++index) {
        samples[index] = UInt8(index * 131 + 7);
    }
    MuxPacket packet;
    packet.SetSampleData(samples.data());
    packet.GetHeader()->SetFrameCount(kFrames);
    packet.GetHeader()->SetHasTime(true);
    UInt64 nanos = 1000000000;

    const size_t floatBytes = size_t(kFrames) * kChannels * sizeof(float);
    std::vector<UInt8> source(floatBytes, 1);
    std::vector<UInt8> destination(floatBytes, 0);

    auto cycle = [&] {
        // A fresh time per packet, as the unit's clock gives it.
        nanos += 33366667;
        packet.SetTimeInNanos(nanos);
        ioMuxer.Deliver(inIsInput, &packet);
    };
    auto copy = [&] { gMemcpy(destination.data(), source.data(), floatBytes); };
    auto timeBatch = [](auto& work, int repeats) {
        const auto start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            work();
            benchmark::ClobberMemory();
        }
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    };

    // Calibrate the batch sizes to about 30 microseconds each.
    int cycleRepeats = 1;
    int copyRepeats = 1;
    for (int pass = 0; pass < 3; ++pass) {
        cycleRepeats = std::max(1, int(kBatchNanoseconds / (timeBatch(cycle, 16) / 16)));
        copyRepeats = std::max(1, int(kBatchNanoseconds / (timeBatch(copy, 64) / 64)));
    }
    std::vector<double> cycleTimes;
    std::vector<double> ratios;
    for (int round = 0; round < kWarmupRounds + inRounds; ++round) {
        double cycleTime = 0;
        double copyTime = 0;
        if (round % 2 == 0) {
            cycleTime = timeBatch(cycle, cycleRepeats) / cycleRepeats;
            copyTime = timeBatch(copy, copyRepeats) / copyRepeats;
        } else {
            copyTime = timeBatch(copy, copyRepeats) / copyRepeats;
            cycleTime = timeBatch(cycle, cycleRepeats) / cycleRepeats;
        }
        if (round >= kWarmupRounds) {
            cycleTimes.push_back(cycleTime);
            ratios.push_back(cycleTime / copyTime);
        }
    }
    return {Median(cycleTimes), Median(ratios)};
}

bool RunCycleBenchmarks(int inRounds, Figure outFigures[2])
{
    BenchMuxer muxer;
    ComponentDescription description = {FourCC("muxr"), FourCC("orvl"), FourCC("Dove"), 0, 0};
    Component component = RegisterComponent(&description, reinterpret_cast<long>(static_cast<BaseMuxer*>(&muxer)));
    OSStatus status = -1;
    if (AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status) == nullptr || status != noErr) {
        std::fprintf(stderr, "kestro_bench_io: the bundle did not load (%d)\n", int(status));
        UnregisterComponent(component);
        return false;
    }
    muxer.Arrive();
    HostRunLoopFlush();
    const AudioDeviceID devices[2] = {FindDevice("Kestro Out"), FindDevice("Kestro In")};
    bool ok = devices[0] != 0 && devices[1] != 0;
    CopyProc procs[2];
    for (int index = 0; ok && index < 2; ++index) {
        ok = AudioDeviceAddIOProc(devices[index], &CopyProc::Proc, &procs[index]) == noErr &&
             AudioDeviceStart(devices[index], &CopyProc::Proc) == noErr;
    }
    if (ok) {
        muxer.BecomeIOThread(true);
        for (int index = 0; index < 2; ++index) {
            outFigures[index] = MeasureCycle(muxer, index == 1, inRounds);
        }
        muxer.BecomeIOThread(false);
        for (int index = 0; index < 2; ++index) {
            AudioDeviceStop(devices[index], &CopyProc::Proc);
        }
        HostRunLoopFlush();
    } else {
        std::fprintf(stderr, "kestro_bench_io: the devices did not start\n");
    }
    muxer.Depart();
    HostRunLoopFlush();
    AudioHardwareHostUnloadPlugIn();
    UnregisterComponent(component);
    return ok;
}

// The loopback run: returns audio seconds per wall-clock second.
struct LoopbackState {
    std::vector<float> source;  // what the feeding proc plays, in a loop
    UInt64 written = 0;
    std::atomic<UInt64> collected{0};
    std::vector<float> collection;
};

OSStatus FeedProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                  AudioBufferList* outOutputData, const AudioTimeStamp*, void* inClientData)
{
    LoopbackState& state = *static_cast<LoopbackState*>(inClientData);
    AudioBuffer& buffer = outOutputData->mBuffers[0];
    float* data = static_cast<float*>(buffer.mData);
    const UInt32 count = buffer.mDataByteSize / sizeof(float);
    // A client playing from memory: the next piece of its buffer.
    const size_t start = size_t(state.written % (state.source.size() / 2));
    std::memcpy(data, state.source.data() + start, size_t(count) * sizeof(float));
    state.written += count;
    return noErr;
}

OSStatus CollectProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInputData, const AudioTimeStamp*,
                     AudioBufferList*, const AudioTimeStamp*, void* inClientData)
{
    LoopbackState& state = *static_cast<LoopbackState*>(inClientData);
    const AudioBuffer& buffer = inInputData->mBuffers[0];
    const UInt32 count = buffer.mDataByteSize / sizeof(float);
    const UInt64 at = state.collected.load(std::memory_order_relaxed);
    if (at + count <= state.collection.size()) {
        std::memcpy(state.collection.data() + at, buffer.mData, buffer.mDataByteSize);
    }
    state.collected.store(at + count, std::memory_order_release);
    return noErr;
}

struct LoopbackFigures {
    double wallFactor = 0;  // audio seconds per wall-clock second
    double cpuFactor = 0;   // audio seconds per CPU second of the unit's I/O thread
};

double ThreadSeconds(pthread_t inThread)
{
    clockid_t clock;
    timespec time = {};
    if (pthread_getcpuclockid(inThread, &clock) != 0 || clock_gettime(clock, &time) != 0) {
        return 0;
    }
    return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
}

LoopbackFigures RunLoopback(double inSeconds)
{
    using Kestro::Unit::SimulatedUnit;
    using Kestro::Unit::UnitControl;
    const UInt64 samples = UInt64(inSeconds * 48000) * kChannels;
    LoopbackState state;
    state.collection.assign(samples + size_t(3840) * kChannels, 0.0f);
    state.source.resize(size_t(2) * 48000 * kChannels);
    for (size_t index = 0; index < state.source.size(); ++index) {
        state.source[index] = float(SInt32((index * 2654435761u) % 16777216) - 8388608) / 8388608.0f;
    }
    LoopbackFigures figures;
    {
        SimulatedUnit unit;
        unit.SetInputLoopback(Zent::Orvel::Settings::kAudioFormatSDI);
        unit.SetPacing(UnitControl::Pacing::kStepped);
        unit.RegisterUnitComponent();
        OSStatus status = -1;
        if (AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status) == nullptr || status != noErr) {
            std::fprintf(stderr, "kestro_bench_io: the bundle did not load with the unit (%d)\n", int(status));
            return figures;
        }
        unit.WaitForNotifications();
        HostRunLoopFlush();
        const AudioDeviceID output = FindDevice("Kestro Out");
        const AudioDeviceID input = FindDevice("Kestro In");
        if (output != 0 && input != 0 && AudioDeviceAddIOProc(output, &FeedProc, &state) == noErr &&
            AudioDeviceAddIOProc(input, &CollectProc, &state) == noErr &&
            AudioDeviceStart(input, &CollectProc) == noErr && AudioDeviceStart(output, &FeedProc) == noErr) {
            const auto start = Clock::now();
            const double cpuStart = ThreadSeconds(unit.GetIOThread());
            unit.SetPacing(UnitControl::Pacing::kFast);
            const auto deadline = start + std::chrono::seconds(120);
            while (state.collected.load(std::memory_order_acquire) < samples && Clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            unit.SetPacing(UnitControl::Pacing::kStepped);
            const double wall = std::chrono::duration<double>(Clock::now() - start).count();
            const double cpu = ThreadSeconds(unit.GetIOThread()) - cpuStart;
            const double audio = double(state.collected.load()) / kChannels / 48000.0;
            figures.wallFactor = audio / wall;
            figures.cpuFactor = cpu > 0 ? audio / cpu : 0;
            AudioDeviceStop(output, &FeedProc);
            AudioDeviceStop(input, &CollectProc);
            HostRunLoopFlush();
        } else {
            std::fprintf(stderr, "kestro_bench_io: the loopback did not start\n");
        }
        AudioHardwareHostUnloadPlugIn();
        unit.WaitForNotifications();
    }
    HostClockUseVirtual(false);
    return figures;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 1000;
    double seconds = 60;
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string option = argv[index];
        if (option == "--rounds") {
            rounds = std::max(1, std::atoi(argv[index + 1]));
        } else if (option == "--seconds") {
            seconds = std::max(1.0, std::atof(argv[index + 1]));
        }
    }

    Figure figures[2] = {};
    const bool cyclesOk = RunCycleBenchmarks(rounds, figures);
    const LoopbackFigures loopback = RunLoopback(seconds);

    std::printf("| measurement | time per packet | ratio to memcpy | target |\n");
    std::printf("|---|---|---|---|\n");
    if (cyclesOk) {
        std::printf("| I/O cycle, Kestro In (1602 frames, 8 ch, 24-bit) | %.2f us | %.2f | <= 4 |\n",
                    figures[1].nsPerPacket / 1000, figures[1].ratio);
        std::printf("| I/O cycle, Kestro Out (1602 frames, 8 ch, 24-bit) | %.2f us | %.2f | <= 9 |\n",
                    figures[0].nsPerPacket / 1000, figures[0].ratio);
    }
    std::printf("\n| measurement | real-time factor | target |\n|---|---|---|\n");
    std::printf("| loopback at fast pacing, %.0f s of audio, wall clock | %.0fx | >= 500x |\n", seconds,
                loopback.wallFactor);
    std::printf("| the same, CPU time of the unit's I/O thread | %.0fx | |\n", loopback.cpuFactor);
    return cyclesOk && loopback.wallFactor > 0 ? 0 : 1;
}
