// Concurrency stress through the host layer: four host threads hammer both
// devices (property reads and writes, IOProc add/remove/start/stop,
// buffer-size and format changes, data-source switches) while the unit
// delivers packets in fast pacing and leaves and arrives again. Statuses of
// the hammering calls are not checked (a call racing a departure may get
// '!dev'); what counts is that nothing crashes, hangs (the fixture's
// watchdog) or races (ThreadSanitizer runs it too), that every packet comes
// back exactly once, and that both devices work normally afterwards. One of
// the IOProcs also switches the data source from inside its call, so that
// commands queued on the I/O thread meet the host calls too.
//
// KESTRO_STRESS_SECONDS sets how long the threads hammer (default 3).
#include "tests/integration/KestroTest.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/CoreFoundation.h"

namespace KestroIntegration {
namespace {

double StressSeconds()
{
    const char* text = std::getenv("KESTRO_STRESS_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 3.0;
    return seconds > 0 ? seconds : 3.0;
}

std::atomic<UInt64> gStressIOProcCalls{0};

// Touches every byte it is given, so a wrong buffer size shows up under a
// sanitizer.
OSStatus StressIOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInput, const AudioTimeStamp*,
                      AudioBufferList* outOutput, const AudioTimeStamp*, void*)
{
    gStressIOProcCalls.fetch_add(1, std::memory_order_relaxed);
    if (inInput != nullptr) {
        volatile UInt8 sink = 0;
        for (UInt32 i = 0; i < inInput->mNumberBuffers; ++i) {
            const auto* bytes = static_cast<const UInt8*>(inInput->mBuffers[i].mData);
            for (UInt32 b = 0; bytes != nullptr && b < inInput->mBuffers[i].mDataByteSize; b += 64) {
                sink = sink + bytes[b];
            }
        }
    }
    if (outOutput != nullptr) {
        for (UInt32 i = 0; i < outOutput->mNumberBuffers; ++i) {
            if (outOutput->mBuffers[i].mData != nullptr) {
                std::memset(outOutput->mBuffers[i].mData, 0, outOutput->mBuffers[i].mDataByteSize);
            }
        }
    }
    return noErr;
}

template <int N>
OSStatus StressIOProcN(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInput,
                       const AudioTimeStamp* inInputTime, AudioBufferList* outOutput,
                       const AudioTimeStamp* inOutputTime, void* inClientData)
{
    return StressIOProc(inDevice, inNow, inInput, inInputTime, outOutput, inOutputTime, inClientData);
}

// Every 16th call switches the input device's data source between SDI and
// AES from the I/O thread (on the output device the call is refused).
OSStatus SwitchingIOProc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInput,
                         const AudioTimeStamp* inInputTime, AudioBufferList* outOutput,
                         const AudioTimeStamp* inOutputTime, void* inClientData)
{
    static std::atomic<UInt32> sCalls{0};
    const UInt32 call = sCalls.fetch_add(1, std::memory_order_relaxed);
    if (call % 16 == 0) {
        const UInt32 source = (call / 16) % 2 == 0 ? FourCC("iaes") : FourCC("isdi");
        AudioDeviceSetProperty(inDevice, nullptr, 0, true, kAudioDevicePropertyDataSource, sizeof(source), &source);
    }
    return StressIOProc(inDevice, inNow, inInput, inInputTime, outOutput, inOutputTime, inClientData);
}

constexpr std::array<AudioDeviceIOProc, 3> kStressProcs = {&StressIOProcN<0>, &StressIOProcN<1>, &SwitchingIOProc};

// A list property read whole (formats, sources, streams); empty on failure.
template <typename T>
std::vector<T> ReadList(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector)
{
    UInt32 size = 0;
    if (AudioDeviceGetPropertyInfo(inDevice, 0, inIsInput, inSelector, &size, nullptr) != noErr || size == 0 ||
        size > 1024 * sizeof(T)) {
        return {};
    }
    std::vector<T> items(size / sizeof(T));
    if (AudioDeviceGetProperty(inDevice, 0, inIsInput, inSelector, &size, items.data()) != noErr) {
        return {};
    }
    items.resize(size / sizeof(T));
    return items;
}

template <typename T>
std::vector<T> ReadStreamList(AudioStreamID inStream, AudioDevicePropertyID inSelector)
{
    UInt32 size = 0;
    if (AudioStreamGetPropertyInfo(inStream, 0, inSelector, &size, nullptr) != noErr || size == 0 ||
        size > 1024 * sizeof(T)) {
        return {};
    }
    std::vector<T> items(size / sizeof(T));
    if (AudioStreamGetProperty(inStream, 0, inSelector, &size, items.data()) != noErr) {
        return {};
    }
    items.resize(size / sizeof(T));
    return items;
}

class StressTest : public KestroTest {
public:
    std::chrono::seconds TimeBound() const override
    {
        return std::chrono::seconds(240 + static_cast<int>(StressSeconds()));
    }

    // Counts of one run, printed at the end.
    struct Counts {
        std::atomic<UInt64> calls{0};
        std::atomic<UInt64> refused{0};
        std::atomic<UInt64> hotPlugCycles{0};
    };

    void Count(OSStatus inStatus)
    {
        mCounts.calls.fetch_add(1, std::memory_order_relaxed);
        if (inStatus != noErr) {
            mCounts.refused.fetch_add(1, std::memory_order_relaxed);
        }
    }

    // A device of the moment, and whether it is the input device (the one
    // with input streams). While the unit is away the host lists none: then
    // now and then the last device seen stands in (refused with '!dev'),
    // otherwise 0 (the caller skips its turn) after a yield, so that
    // refusals do not flood the figures.
    AudioDeviceID PickDevice(std::mt19937& ioRandom, bool& outIsInput)
    {
        std::vector<AudioDeviceID> devices = GetDevices();
        if (devices.empty()) {
            outIsInput = false;
            if (ioRandom() % 64 != 0) {
                std::this_thread::yield();
                return 0;
            }
            return mLastDevice.load(std::memory_order_relaxed);
        }
        mLastDevice.store(devices[0], std::memory_order_relaxed);
        AudioDeviceID device = devices[ioRandom() % devices.size()];
        outIsInput = !GetStreams(device, true).empty();
        return device;
    }

    // Host thread 0: reads of device and stream properties.
    void Reader(std::mt19937& ioRandom)
    {
        static constexpr AudioDevicePropertyID kDeviceReads[] = {
            kAudioDevicePropertyDeviceName,       kAudioDevicePropertyDeviceIsAlive,
            kAudioDevicePropertyDeviceIsRunning,  kAudioDevicePropertyLatency,
            kAudioDevicePropertySafetyOffset,     kAudioDevicePropertyBufferFrameSize,
            kAudioDevicePropertyBufferSize,       kAudioDevicePropertyBufferFrameSizeRange,
            kAudioDevicePropertyStreamFormat,     kAudioDevicePropertyStreamFormats,
            kAudioDevicePropertyNominalSampleRate, kAudioDevicePropertyActualSampleRate,
            kAudioDevicePropertyStreamConfiguration, kAudioDevicePropertyDataSource,
            kAudioDevicePropertyDataSources,      kAudioDevicePropertyMute,
            kAudioDevicePropertyStreams,          kAudioDevicePropertyTransportType,
        };
        static constexpr AudioDevicePropertyID kStreamReads[] = {
            kAudioStreamPropertyDirection,      kAudioStreamPropertyStartingChannel,
            kAudioStreamPropertyOwningDevice,   kAudioStreamPropertyPhysicalFormat,
            kAudioStreamPropertyPhysicalFormats, kAudioDevicePropertyStreamFormat,
        };
        bool isInput = false;
        const AudioDeviceID device = PickDevice(ioRandom, isInput);
        if (device == 0) {
            return;
        }
        std::vector<UInt8> buffer(4096);
        const AudioDevicePropertyID selector = kDeviceReads[ioRandom() % std::size(kDeviceReads)];
        UInt32 size = 0;
        Count(AudioDeviceGetPropertyInfo(device, 0, isInput, selector, &size, nullptr));
        size = std::min<UInt32>(size, UInt32(buffer.size()));
        Count(AudioDeviceGetProperty(device, 0, isInput, selector, &size, buffer.data()));

        CFStringRef uid = nullptr;
        size = sizeof(uid);
        OSStatus status = AudioDeviceGetProperty(device, 0, isInput, kAudioDevicePropertyDeviceUID, &size, &uid);
        Count(status);
        if (status == noErr && uid != nullptr) {
            CFRelease(uid);
        }

        std::vector<AudioStreamID> streams = GetStreams(device, isInput);
        if (!streams.empty()) {
            const AudioStreamID stream = streams[ioRandom() % streams.size()];
            const AudioDevicePropertyID streamSelector = kStreamReads[ioRandom() % std::size(kStreamReads)];
            size = 0;
            Count(AudioStreamGetPropertyInfo(stream, 0, streamSelector, &size, nullptr));
            size = std::min<UInt32>(size, UInt32(buffer.size()));
            Count(AudioStreamGetProperty(stream, 0, streamSelector, &size, buffer.data()));
        }
        AudioTimeStamp now{};
        Count(AudioDeviceGetCurrentTime(device, &now));
    }

    // Host thread 1: IOProcs added, started, stopped and removed.
    void IOProcs(std::mt19937& ioRandom)
    {
        bool isInput = false;
        const AudioDeviceID device = PickDevice(ioRandom, isInput);
        if (device == 0) {
            return;
        }
        const AudioDeviceIOProc proc = kStressProcs[ioRandom() % kStressProcs.size()];
        switch (ioRandom() % 4) {
        case 0:
            Count(AudioDeviceAddIOProc(device, proc, nullptr));
            break;
        case 1:
            Count(AudioDeviceStart(device, proc));
            break;
        case 2:
            Count(AudioDeviceStop(device, proc));
            break;
        default:
            Count(AudioDeviceStop(device, proc));
            Count(AudioDeviceRemoveIOProc(device, proc));
            break;
        }
    }

    // Host thread 2: buffer sizes and formats, from the ranges and lists
    // the devices offer.
    void SizesAndFormats(std::mt19937& ioRandom)
    {
        bool isInput = false;
        const AudioDeviceID device = PickDevice(ioRandom, isInput);
        if (device == 0) {
            return;
        }
        switch (ioRandom() % 3) {
        case 0: {
            std::vector<AudioValueRange> range =
                ReadList<AudioValueRange>(device, isInput, kAudioDevicePropertyBufferFrameSizeRange);
            UInt32 frames = 512;
            if (!range.empty() && range[0].mMaximum >= range[0].mMinimum) {
                const double span = std::min(range[0].mMaximum, 8192.0) - range[0].mMinimum;
                frames = UInt32(range[0].mMinimum + span * double(ioRandom() % 1000) / 999.0);
            }
            Count(SetDeviceUInt32(device, isInput, kAudioDevicePropertyBufferFrameSize, frames));
            break;
        }
        case 1: {
            std::vector<AudioStreamBasicDescription> formats =
                ReadList<AudioStreamBasicDescription>(device, isInput, kAudioDevicePropertyStreamFormats);
            if (!formats.empty()) {
                const AudioStreamBasicDescription format = formats[ioRandom() % formats.size()];
                Count(AudioDeviceSetProperty(device, nullptr, 0, isInput, kAudioDevicePropertyStreamFormat,
                                             sizeof(format), &format));
            }
            break;
        }
        default: {
            std::vector<AudioStreamID> streams = GetStreams(device, isInput);
            if (streams.empty()) {
                break;
            }
            const AudioStreamID stream = streams[ioRandom() % streams.size()];
            std::vector<AudioStreamBasicDescription> formats =
                ReadStreamList<AudioStreamBasicDescription>(stream, kAudioStreamPropertyPhysicalFormats);
            if (!formats.empty()) {
                const AudioStreamBasicDescription format = formats[ioRandom() % formats.size()];
                Count(AudioStreamSetProperty(stream, nullptr, 0, kAudioStreamPropertyPhysicalFormat, sizeof(format),
                                             &format));
            }
            break;
        }
        }
    }

    // Host thread 3: data-source switches on the input device, mute on both.
    void SourcesAndMute(std::mt19937& ioRandom)
    {
        bool isInput = false;
        const AudioDeviceID device = PickDevice(ioRandom, isInput);
        if (device == 0) {
            return;
        }
        if (isInput && ioRandom() % 2 == 0) {
            std::vector<UInt32> sources = ReadList<UInt32>(device, true, kAudioDevicePropertyDataSources);
            if (!sources.empty()) {
                Count(SetDeviceUInt32(device, true, kAudioDevicePropertyDataSource,
                                      sources[ioRandom() % sources.size()]));
            }
        } else {
            Count(SetDeviceUInt32(device, isInput, kAudioDevicePropertyMute, ioRandom() % 2));
        }
    }

    Counts mCounts;
    std::atomic<AudioDeviceID> mLastDevice{0};
};

TEST_F(StressTest, FourHostThreadsHammerBothDevicesWhileTheUnitComesAndGoes)
{
    ASSERT_EQ(LoadBundle(), noErr);
    ASSERT_NE(OutputDevice(), 0u);
    ASSERT_NE(InputDevice(), 0u);
    ASSERT_EQ(Unit().SetInputLoopback(Settings::kAudioFormatSDI), noErr);
    ASSERT_EQ(Unit().SetPacing(UnitControl::Pacing::kFast), noErr);
    gStressIOProcCalls = 0;

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(StressSeconds()));
    std::atomic<bool> stop{false};
    using Work = void (StressTest::*)(std::mt19937&);
    const Work kWork[4] = {&StressTest::Reader, &StressTest::IOProcs, &StressTest::SizesAndFormats,
                           &StressTest::SourcesAndMute};
    std::vector<std::thread> hosts;
    for (unsigned index = 0; index < 4; ++index) {
        hosts.emplace_back([this, index, &stop, work = kWork[index]] {
            std::mt19937 random(1234 + index);
            while (!stop.load(std::memory_order_relaxed)) {
                (this->*work)(random);
            }
        });
    }
    // The unit leaves and comes back while the host threads run.
    std::thread plug([this, &stop] {
        std::mt19937 random(99);
        while (!stop.load(std::memory_order_relaxed)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 60));
            if (Unit().RemoveUnit() == noErr) {
                Unit().WaitForNotifications();
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 10));
                EXPECT_EQ(Unit().PresentUnit(), noErr);
                Unit().WaitForNotifications();
                mCounts.hotPlugCycles.fetch_add(1, std::memory_order_relaxed);
            }
        }
    });
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop = true;
    for (std::thread& host : hosts) {
        host.join();
    }
    plug.join();

    // Quiet again: no IOProc left anywhere, the unit present, two devices.
    for (AudioDeviceID device : GetDevices()) {
        for (AudioDeviceIOProc proc : kStressProcs) {
            AudioDeviceStop(device, proc);
            AudioDeviceRemoveIOProc(device, proc);
        }
    }
    Settle();
    ASSERT_TRUE(Unit().IsUnitPresent());
    FindDevices();
    ASSERT_NE(OutputDevice(), 0u);
    ASSERT_NE(InputDevice(), 0u);
    EXPECT_EQ(GetDevices().size(), 2u);

    // Both devices still run an IOProc normally.
    for (AudioDeviceID device : {OutputDevice(), InputDevice()}) {
        SCOPED_TRACE(device);
        const UInt64 before = gStressIOProcCalls.load();
        ASSERT_EQ(AudioDeviceAddIOProc(device, kStressProcs[0], nullptr), noErr);
        ASSERT_EQ(AudioDeviceStart(device, kStressProcs[0]), noErr);
        EXPECT_TRUE(WaitFor([&] { return gStressIOProcCalls.load() >= before + 10; }));
        EXPECT_EQ(AudioDeviceStop(device, kStressProcs[0]), noErr);
        EXPECT_EQ(AudioDeviceRemoveIOProc(device, kStressProcs[0]), noErr);
    }
    Settle();
    EXPECT_TRUE(WaitFor([&] { return Unit().GetClientCounts().running == 0; }));

    const UnitControl::PacketAccounting packets = Unit().GetPacketAccounting();
    std::printf("stress: %.1f s, %llu calls (%llu refused), %llu hot-plug cycles, %llu IOProc calls, "
                "packets delivered %llu released %llu outstanding %llu\n",
                StressSeconds(), (unsigned long long)mCounts.calls.load(),
                (unsigned long long)mCounts.refused.load(), (unsigned long long)mCounts.hotPlugCycles.load(),
                (unsigned long long)gStressIOProcCalls.load(), (unsigned long long)packets.handedOut,
                (unsigned long long)packets.released, (unsigned long long)packets.outstanding);
    EXPECT_GT(mCounts.calls.load(), 0u);
    EXPECT_GT(packets.handedOut, 0u);
    // TearDown checks that every packet came back exactly once.
}

}  // namespace
}  // namespace KestroIntegration
