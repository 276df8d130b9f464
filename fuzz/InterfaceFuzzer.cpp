// libFuzzer target over the interface table of the live plug-in: the real
// bundle loaded through the host layer, the simulated unit registered as the
// muxer, packets delivered in stepped pacing between calls.
//
// Every input starts from the same state (the unit present with its default
// settings, both devices freshly published, no IOProc) and is decoded into a
// sequence of operations: property info/get/set on devices and streams with
// any ID (live, stale from an earlier arrival in the same input, random),
// any selector (the known ones weighted up), channel, section, size (0,
// short, exact, long, huge) and null or non-null pointers; IOProc add,
// remove, start and stop; reads and time queries; packets stepped through
// the running devices; unit departure and arrival and changes of the unit's
// settings. Calls go through the host's client API or straight into the
// table (so that IDs the host would refuse reach the plug-in too).
//
// A crash, a sanitizer report, a packet not given back (or given back
// twice) or a hang is a finding. Run it with -close_fd_mask=3: the plug-in
// reports every refused request on standard error, which libFuzzer then
// discards while keeping its own output and the sanitizers' reports.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"
#include "platform/AudioHardware.h"
#include "platform/AudioHardwareHost.h"
#include "platform/HostClock.h"
#include "unit/SimulatedUnit.h"

namespace {

using Kestro::Unit::SimulatedUnit;
using Kestro::Unit::UnitControl;

// The selectors the plug-in knows, drawn far more often than random ones.
constexpr AudioDevicePropertyID kSelectors[] = {
    kAudioDevicePropertyDeviceName,
    kAudioDevicePropertyDeviceNameCFString,
    kAudioDevicePropertyDeviceManufacturer,
    kAudioDevicePropertyDeviceManufacturerCFString,
    kAudioDevicePropertyDeviceUID,
    kAudioDevicePropertyTransportType,
    kAudioDevicePropertyDeviceIsAlive,
    kAudioDevicePropertyDeviceIsRunning,
    kAudioDevicePropertyDeviceIsRunningSomewhere,
    kAudioDevicePropertyDeviceCanBeDefaultDevice,
    kAudioDevicePropertyDeviceCanBeDefaultSystemDevice,
    kAudioDevicePropertyHogMode,
    kAudioDevicePropertyLatency,
    kAudioDevicePropertySafetyOffset,
    kAudioDevicePropertyIOProcStreamUsage,
    kAudioDevicePropertyActualSampleRate,
    kAudioDevicePropertyUsesVariableBufferFrameSizes,
    kAudioDevicePropertyBufferSize,
    kAudioDevicePropertyBufferSizeRange,
    kAudioDevicePropertyBufferFrameSize,
    kAudioDevicePropertyBufferFrameSizeRange,
    kAudioDevicePropertyStreams,
    kAudioDevicePropertyStreamConfiguration,
    kAudioDevicePropertyStreamFormat,
    kAudioDevicePropertyStreamFormats,
    kAudioDevicePropertyStreamFormatSupported,
    kAudioDevicePropertyStreamFormatMatch,
    kAudioDevicePropertyNominalSampleRate,
    kAudioDevicePropertyAvailableNominalSampleRates,
    kAudioDevicePropertyVolumeScalar,
    kAudioDevicePropertyVolumeDecibels,
    kAudioDevicePropertyVolumeRangeDecibels,
    kAudioDevicePropertyVolumeScalarToDecibels,
    kAudioDevicePropertyVolumeDecibelsToScalar,
    kAudioDevicePropertyMute,
    kAudioDevicePropertyPlayThru,
    kAudioDevicePropertyDataSource,
    kAudioDevicePropertyDataSources,
    kAudioDevicePropertyDataSourceNameForID,
    kAudioDevicePropertyDataSourceNameForIDNonLocalized,
    kAudioDevicePropertyDataSourceNameForIDCFString,
    kAudioDevicePropertyClockSource,
    kAudioDevicePropertyClockSources,
    kAudioDevicePropertyClockSourceNameForID,
    kAudioDevicePropertyClockSourceNameForIDCFString,
    kAudioStreamPropertyDirection,
    kAudioStreamPropertyTerminalType,
    kAudioStreamPropertyStartingChannel,
    kAudioStreamPropertyOwningDevice,
    kAudioStreamPropertyPhysicalFormat,
    kAudioStreamPropertyPhysicalFormats,
    kAudioStreamPropertyPhysicalFormatSupported,
    kAudioStreamPropertyPhysicalFormatMatch,
    FourCC("Dvrv"),
    kAudioPropertyWildcardPropertyID,
};

// Property data is never larger than this in a call the fuzzer makes with a
// real buffer; a larger claimed size goes with a null pointer.
constexpr UInt32 kLargestBuffer = 1u << 16;

// What IOProcs see. They touch every byte of every buffer handed to them, so
// a buffer list that lies about its sizes shows up under AddressSanitizer.
std::atomic<UInt64> gIOProcCalls{0};
std::atomic<UInt32> gSink{0};

void TouchBuffers(const AudioBufferList* inList, bool inWrite)
{
    if (inList == nullptr) {
        return;
    }
    UInt32 sum = 0;
    for (UInt32 i = 0; i < inList->mNumberBuffers; ++i) {
        const AudioBuffer& buffer = inList->mBuffers[i];
        if (buffer.mData == nullptr) {
            continue;
        }
        auto* bytes = static_cast<UInt8*>(buffer.mData);
        for (UInt32 b = 0; b < buffer.mDataByteSize; ++b) {
            sum += bytes[b];
            if (inWrite) {
                bytes[b] = UInt8(b * 7u);
            }
        }
    }
    gSink.fetch_add(sum, std::memory_order_relaxed);
}

OSStatus PlainIOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInput, const AudioTimeStamp*,
                     AudioBufferList* outOutput, const AudioTimeStamp*, void*)
{
    gIOProcCalls.fetch_add(1, std::memory_order_relaxed);
    TouchBuffers(inInput, false);
    TouchBuffers(outOutput, true);
    return 0;
}

OSStatus SecondIOProc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInput,
                      const AudioTimeStamp* inInputTime, AudioBufferList* outOutput,
                      const AudioTimeStamp* inOutputTime, void* inClientData)
{
    return PlainIOProc(inDevice, inNow, inInput, inInputTime, outOutput, inOutputTime, inClientData);
}

// Stops itself from inside the I/O cycle, as clients do.
OSStatus SelfStoppingIOProc(AudioDeviceID inDevice, const AudioTimeStamp*, const AudioBufferList* inInput,
                            const AudioTimeStamp*, AudioBufferList* outOutput, const AudioTimeStamp*, void*)
{
    gIOProcCalls.fetch_add(1, std::memory_order_relaxed);
    TouchBuffers(inInput, false);
    TouchBuffers(outOutput, true);
    AudioDeviceStop(inDevice, SelfStoppingIOProc);
    return 0;
}

constexpr AudioDeviceIOProc kIOProcs[] = {PlainIOProc, SecondIOProc, SelfStoppingIOProc};

// The world every input starts from.
struct World {
    SimulatedUnit* unit = nullptr;
    AudioHardwarePlugInRef plugIn = nullptr;
    Zent::Orvel::Settings defaultSettings;
};

World& TheWorld()
{
    static World world;
    return world;
}

void Fail(const char* inWhat)
{
    std::fprintf(stderr, "kestro fuzz: %s\n", inWhat);
    std::abort();
}

std::vector<AudioDeviceID> LiveDevices()
{
    UInt32 size = 0;
    Boolean writable = false;
    std::vector<AudioDeviceID> devices;
    if (AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &size, &writable) != 0) {
        return devices;
    }
    devices.resize(size / sizeof(AudioDeviceID));
    if (!devices.empty() && AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, devices.data()) != 0) {
        devices.clear();
    }
    devices.resize(size / sizeof(AudioDeviceID));
    return devices;
}

std::vector<AudioStreamID> StreamsOf(AudioDeviceID inDevice)
{
    std::vector<AudioStreamID> streams;
    for (Boolean isInput : {Boolean(false), Boolean(true)}) {
        UInt32 size = 0;
        if (AudioDeviceGetPropertyInfo(inDevice, 0, isInput, kAudioDevicePropertyStreams, &size, nullptr) != 0 ||
            size == 0 || size > 64 * sizeof(AudioStreamID)) {
            continue;
        }
        std::vector<AudioStreamID> some(size / sizeof(AudioStreamID));
        if (AudioDeviceGetProperty(inDevice, 0, isInput, kAudioDevicePropertyStreams, &size, some.data()) == 0) {
            some.resize(size / sizeof(AudioStreamID));
            streams.insert(streams.end(), some.begin(), some.end());
        }
    }
    return streams;
}

// One input's run.
class Session {
public:
    explicit Session(FuzzedDataProvider& inData) : mData(inData), mWorld(TheWorld()) { Refresh(); }

    void Run()
    {
        for (int count = 0; count < 64 && mData.remaining_bytes() > 0; ++count) {
            Step();
        }
    }

    // Back to the starting state: no IOProc, unit present with its defaults,
    // devices rebuilt by a departure and an arrival.
    void Finish()
    {
        for (AudioDeviceID device : LiveDevices()) {
            for (AudioDeviceIOProc proc : kIOProcs) {
                AudioDeviceStop(device, proc);
                AudioDeviceRemoveIOProc(device, proc);
            }
        }
        SimulatedUnit& unit = *mWorld.unit;
        unit.SetAcquireRefusal(false, false);
        unit.SetAcquireRefusal(true, false);
        if (unit.IsUnitPresent()) {
            unit.RemoveUnit();
            unit.WaitForNotifications();
        }
        unit.SetConnectors(SimulatedUnit::kAllConnectors);
        unit.SetUnitSettings(mWorld.defaultSettings);
        unit.PresentUnit();
        unit.WaitForNotifications();

        UnitControl::PacketAccounting packets = unit.GetPacketAccounting();
        if (packets.outstanding != 0 || packets.doubleReleases != 0 || packets.foreignReleases != 0) {
            std::fprintf(stderr, "kestro fuzz: packets handed out %llu released %llu outstanding %llu double %llu "
                                 "foreign %llu\n",
                         (unsigned long long)packets.handedOut, (unsigned long long)packets.released,
                         (unsigned long long)packets.outstanding, (unsigned long long)packets.doubleReleases,
                         (unsigned long long)packets.foreignReleases);
            Fail("a packet was not given back exactly once");
        }
        if (LiveDevices().size() != 2) {
            Fail("the devices did not come back after an arrival");
        }
    }

private:
    void Refresh()
    {
        mDevices = LiveDevices();
        mStreams.clear();
        for (AudioDeviceID device : mDevices) {
            std::vector<AudioStreamID> streams = StreamsOf(device);
            mStreams.insert(mStreams.end(), streams.begin(), streams.end());
        }
        mStale.insert(mStale.end(), mDevices.begin(), mDevices.end());
        mStale.insert(mStale.end(), mStreams.begin(), mStreams.end());
    }

    AudioObjectID PickID(const std::vector<AudioObjectID>& inLive)
    {
        switch (mData.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return mData.ConsumeIntegral<UInt32>();
        case 1:
            return mStale.empty() ? 0 : mStale[mData.ConsumeIntegralInRange<size_t>(0, mStale.size() - 1)];
        case 2:
            return 0;
        default:
            return inLive.empty() ? 0 : inLive[mData.ConsumeIntegralInRange<size_t>(0, inLive.size() - 1)];
        }
    }
    AudioDeviceID PickDevice() { return PickID(mDevices); }
    AudioStreamID PickStream() { return PickID(mStreams); }

    AudioDevicePropertyID PickSelector()
    {
        if (mData.ConsumeIntegralInRange<int>(0, 15) == 0) {
            return mData.ConsumeIntegral<UInt32>();
        }
        return mData.PickValueInArray(kSelectors);
    }

    UInt32 PickChannel()
    {
        switch (mData.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            return mData.ConsumeIntegral<UInt32>();
        case 1:
            return kAudioPropertyWildcardChannel;
        case 2:
            return mData.ConsumeIntegralInRange<UInt32>(1, 9);
        default:
            return 0;
        }
    }

    // A size around inExact: 0, short, exact, long or huge.
    UInt32 PickSize(UInt32 inExact)
    {
        switch (mData.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return 0;
        case 1:
            return inExact > 0 ? mData.ConsumeIntegralInRange<UInt32>(0, inExact - 1) : 1;
        case 2:
            return inExact + mData.ConsumeIntegralInRange<UInt32>(1, 64);
        case 3:
            return mData.ConsumeIntegral<UInt32>();
        default:
            return inExact;
        }
    }

    // The size the plug-in announces for a property, or a guess.
    UInt32 ExactSize(bool inStream, AudioObjectID inID, UInt32 inChannel, Boolean inIsInput,
                     AudioDevicePropertyID inSelector)
    {
        UInt32 size = 0;
        OSStatus status =
            inStream ? AudioStreamGetPropertyInfo(inID, inChannel, inSelector, &size, nullptr)
                     : AudioDeviceGetPropertyInfo(inID, inChannel, inIsInput, inSelector, &size, nullptr);
        return status == 0 ? std::min(size, kLargestBuffer) : sizeof(UInt32);
    }

    // A buffer of inSize bytes (filled with input data), or null: by choice,
    // or because inSize is beyond what a real caller would pass.
    void* PickBuffer(UInt32 inSize)
    {
        if (inSize > kLargestBuffer || mData.ConsumeIntegralInRange<int>(0, 11) == 0) {
            return nullptr;
        }
        mBuffer.assign(std::max<UInt32>(inSize, 1), 0);
        std::vector<UInt8> bytes = mData.ConsumeBytes<UInt8>(inSize);
        std::copy(bytes.begin(), bytes.end(), mBuffer.begin());
        return mBuffer.data();
    }

    const AudioTimeStamp* PickTimeStamp()
    {
        if (mData.ConsumeBool()) {
            return nullptr;
        }
        mTimeStamp = AudioTimeStamp{};
        mTimeStamp.mSampleTime = mData.ConsumeFloatingPoint<Float64>();
        mTimeStamp.mHostTime = mData.ConsumeIntegral<UInt64>();
        mTimeStamp.mRateScalar = mData.ConsumeFloatingPoint<Float64>();
        mTimeStamp.mFlags = mData.ConsumeIntegral<UInt32>();
        return &mTimeStamp;
    }

    AudioDeviceIOProc PickIOProc()
    {
        if (mData.ConsumeIntegralInRange<int>(0, 15) == 0) {
            return nullptr;
        }
        return mData.PickValueInArray(kIOProcs);
    }

    void PropertyInfo(bool inStream, bool inDirect)
    {
        AudioObjectID id = inStream ? PickStream() : PickDevice();
        UInt32 channel = PickChannel();
        Boolean isInput = mData.ConsumeBool();
        AudioDevicePropertyID selector = PickSelector();
        UInt32 size = 0;
        Boolean writable = false;
        UInt32* sizePointer = mData.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : &size;
        Boolean* writablePointer = mData.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : &writable;
        AudioHardwarePlugInRef p = mWorld.plugIn;
        if (inStream) {
            inDirect ? (*p)->StreamGetPropertyInfo(p, id, channel, selector, sizePointer, writablePointer)
                     : AudioStreamGetPropertyInfo(id, channel, selector, sizePointer, writablePointer);
        } else {
            inDirect ? (*p)->DeviceGetPropertyInfo(p, id, channel, isInput, selector, sizePointer, writablePointer)
                     : AudioDeviceGetPropertyInfo(id, channel, isInput, selector, sizePointer, writablePointer);
        }
    }

    void GetProperty(bool inStream, bool inDirect)
    {
        AudioObjectID id = inStream ? PickStream() : PickDevice();
        UInt32 channel = PickChannel();
        Boolean isInput = mData.ConsumeBool();
        AudioDevicePropertyID selector = PickSelector();
        UInt32 size = PickSize(ExactSize(inStream, id, channel, isInput, selector));
        void* data = PickBuffer(size);
        UInt32 claimed = size;
        UInt32* sizePointer = mData.ConsumeIntegralInRange<int>(0, 15) == 0 ? nullptr : &size;
        AudioHardwarePlugInRef p = mWorld.plugIn;
        OSStatus status;
        if (inStream) {
            status = inDirect ? (*p)->StreamGetProperty(p, id, channel, selector, sizePointer, data)
                              : AudioStreamGetProperty(id, channel, selector, sizePointer, data);
        } else {
            status = inDirect ? (*p)->DeviceGetProperty(p, id, channel, isInput, selector, sizePointer, data)
                              : AudioDeviceGetProperty(id, channel, isInput, selector, sizePointer, data);
        }
        if (status == 0 && sizePointer != nullptr && size > claimed) {
            Fail("a get wrote more than the caller's size");
        }
        // Releases what a get of a foundation string handed over.
        if (status == 0 && data != nullptr && size == sizeof(CFStringRef) &&
            (selector == kAudioDevicePropertyDeviceNameCFString ||
             selector == kAudioDevicePropertyDeviceManufacturerCFString ||
             selector == kAudioDevicePropertyDeviceUID)) {
            CFStringRef string = nullptr;
            std::memcpy(&string, data, sizeof(string));
            if (string != nullptr) {
                CFRelease(string);
            }
        }
    }

    void SetProperty(bool inStream, bool inDirect)
    {
        AudioObjectID id = inStream ? PickStream() : PickDevice();
        const AudioTimeStamp* when = PickTimeStamp();
        UInt32 channel = PickChannel();
        Boolean isInput = mData.ConsumeBool();
        AudioDevicePropertyID selector = PickSelector();
        UInt32 exact = ExactSize(inStream, id, channel, isInput, selector);
        UInt32 size = PickSize(exact);
        const void* data = nullptr;
        if (mData.ConsumeBool() && size <= kLargestBuffer && size >= exact) {
            data = ValidValue(inStream, id, channel, isInput, selector, size);
        }
        if (data == nullptr) {
            data = PickBuffer(size);
        }
        AudioHardwarePlugInRef p = mWorld.plugIn;
        if (inStream) {
            inDirect ? (*p)->StreamSetProperty(p, id, when, channel, selector, size, data)
                     : AudioStreamSetProperty(id, when, channel, selector, size, data);
        } else {
            inDirect ? (*p)->DeviceSetProperty(p, id, when, channel, isInput, selector, size, data)
                     : AudioDeviceSetProperty(id, when, channel, isInput, selector, size, data);
        }
    }

    // A value the plug-in offers itself, so that sets get past the checks:
    // a format from its format list, an item of a selector, a frame size in
    // range, an IOProc's stream usage.
    const void* ValidValue(bool inStream, AudioObjectID inID, UInt32 inChannel, Boolean inIsInput,
                           AudioDevicePropertyID inSelector, UInt32 inSize)
    {
        auto listOf = [&](AudioDevicePropertyID inListSelector) -> std::vector<UInt8> {
            UInt32 size = ExactSize(inStream, inID, inChannel, inIsInput, inListSelector);
            std::vector<UInt8> bytes(size);
            OSStatus status =
                inStream ? AudioStreamGetProperty(inID, inChannel, inListSelector, &size, bytes.data())
                         : AudioDeviceGetProperty(inID, inChannel, inIsInput, inListSelector, &size, bytes.data());
            bytes.resize(status == 0 ? size : 0);
            return bytes;
        };
        auto pickRecord = [&](const std::vector<UInt8>& inList, size_t inRecordSize) -> const void* {
            size_t count = inList.size() / inRecordSize;
            if (count == 0) {
                return nullptr;
            }
            size_t index = mData.ConsumeIntegralInRange<size_t>(0, count - 1);
            mBuffer.assign(std::max<size_t>(inSize, inRecordSize), 0);
            std::memcpy(mBuffer.data(), inList.data() + index * inRecordSize, inRecordSize);
            return mBuffer.data();
        };
        switch (inSelector) {
        case kAudioDevicePropertyStreamFormat:
        case kAudioDevicePropertyStreamFormatSupported:
        case kAudioDevicePropertyStreamFormatMatch:
            return pickRecord(listOf(kAudioDevicePropertyStreamFormats), sizeof(AudioStreamBasicDescription));
        case kAudioStreamPropertyPhysicalFormat:
        case kAudioStreamPropertyPhysicalFormatSupported:
        case kAudioStreamPropertyPhysicalFormatMatch:
            return pickRecord(listOf(kAudioStreamPropertyPhysicalFormats), sizeof(AudioStreamBasicDescription));
        case kAudioDevicePropertyDataSource:
            return pickRecord(listOf(kAudioDevicePropertyDataSources), sizeof(UInt32));
        case kAudioDevicePropertyClockSource:
            return pickRecord(listOf(kAudioDevicePropertyClockSources), sizeof(UInt32));
        case kAudioDevicePropertyBufferFrameSize:
        case kAudioDevicePropertyBufferSize: {
            std::vector<UInt8> range = listOf(inSelector == kAudioDevicePropertyBufferFrameSize
                                                  ? kAudioDevicePropertyBufferFrameSizeRange
                                                  : kAudioDevicePropertyBufferSizeRange);
            if (range.size() < sizeof(AudioValueRange)) {
                return nullptr;
            }
            AudioValueRange limits;
            std::memcpy(&limits, range.data(), sizeof(limits));
            double lo = std::max(0.0, limits.mMinimum), hi = std::min(1e6, limits.mMaximum);
            UInt32 value = hi > lo ? UInt32(lo + (hi - lo) * mData.ConsumeProbability<double>()) : UInt32(lo);
            mBuffer.assign(std::max<size_t>(inSize, sizeof(value)), 0);
            std::memcpy(mBuffer.data(), &value, sizeof(value));
            return mBuffer.data();
        }
        case kAudioDevicePropertyIOProcStreamUsage: {
            UInt32 streams = UInt32((inSize - std::min<UInt32>(inSize, AudioHardwareIOProcStreamUsageSize(0))) /
                                    sizeof(UInt32));
            mBuffer.assign(std::max<size_t>(inSize, AudioHardwareIOProcStreamUsageSize(1)), 0);
            auto* usage = reinterpret_cast<AudioHardwareIOProcStreamUsage*>(mBuffer.data());
            usage->mIOProc = reinterpret_cast<void*>(mData.PickValueInArray(kIOProcs));
            usage->mNumberStreams = streams;
            for (UInt32 i = 0; i < streams; ++i) {
                UInt32 on = mData.ConsumeBool();
                std::memcpy(mBuffer.data() + AudioHardwareIOProcStreamUsageSize(i), &on, sizeof(on));
            }
            return mBuffer.data();
        }
        default:
            return nullptr;
        }
    }

    void IOProcCall(int inWhich, bool inDirect)
    {
        AudioDeviceID device = PickDevice();
        AudioDeviceIOProc proc = PickIOProc();
        AudioHardwarePlugInRef p = mWorld.plugIn;
        switch (inWhich) {
        case 0:
            inDirect ? (*p)->DeviceAddIOProc(p, device, proc, this) : AudioDeviceAddIOProc(device, proc, this);
            break;
        case 1:
            inDirect ? (*p)->DeviceRemoveIOProc(p, device, proc) : AudioDeviceRemoveIOProc(device, proc);
            break;
        case 2:
            inDirect ? (*p)->DeviceStart(p, device, proc) : AudioDeviceStart(device, proc);
            break;
        default:
            inDirect ? (*p)->DeviceStop(p, device, proc) : AudioDeviceStop(device, proc);
            break;
        }
    }

    void TimeCall(bool inDirect)
    {
        AudioDeviceID device = PickDevice();
        AudioHardwarePlugInRef p = mWorld.plugIn;
        AudioTimeStamp out{};
        AudioTimeStamp* outPointer = mData.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : &out;
        switch (mData.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            inDirect ? (*p)->DeviceGetCurrentTime(p, device, outPointer)
                     : AudioDeviceGetCurrentTime(device, outPointer);
            break;
        case 1: {
            const AudioTimeStamp* in = PickTimeStamp();
            inDirect ? (*p)->DeviceTranslateTime(p, device, in, outPointer)
                     : AudioDeviceTranslateTime(device, in, outPointer);
            break;
        }
        default: {
            // A buffer list whose sizes are honest about its memory.
            UInt32 buffers = mData.ConsumeIntegralInRange<UInt32>(0, 4);
            UInt32 bytes = mData.ConsumeIntegralInRange<UInt32>(0, 8192);
            std::vector<UInt8> list(AudioBufferListSize(std::max<UInt32>(buffers, 1)), 0);
            mReadData.assign(size_t(std::max<UInt32>(buffers, 1)) * std::max<UInt32>(bytes, 1), 0);
            auto* bufferList = reinterpret_cast<AudioBufferList*>(list.data());
            bufferList->mNumberBuffers = buffers;
            for (UInt32 i = 0; i < buffers; ++i) {
                bufferList->mBuffers[i].mNumberChannels = mData.ConsumeIntegralInRange<UInt32>(0, 8);
                bufferList->mBuffers[i].mDataByteSize = bytes;
                bufferList->mBuffers[i].mData = mReadData.data() + size_t(i) * std::max<UInt32>(bytes, 1);
            }
            const AudioTimeStamp* start = PickTimeStamp();
            AudioBufferList* listPointer = mData.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : bufferList;
            inDirect ? (*p)->DeviceRead(p, device, start, listPointer)
                     : AudioDeviceRead(device, start, listPointer);
            break;
        }
        }
    }

    void UnitCall()
    {
        SimulatedUnit& unit = *mWorld.unit;
        switch (mData.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
        case 1:
            // Departure or arrival, then the devices as the host now sees them.
            unit.IsUnitPresent() ? unit.RemoveUnit() : unit.PresentUnit();
            unit.WaitForNotifications();
            Refresh();
            break;
        case 2:
            unit.SetWordSize(mData.ConsumeBool() ? 16 : 24);
            break;
        case 3:
            unit.SetSampleRate(mData.PickValueInArray({44100u, 48000u, 96000u, mData.ConsumeIntegral<UInt32>()}));
            break;
        case 4:
            unit.SetFrameRate(mData.ConsumeIntegralInRange<UInt32>(3, 6));
            break;
        case 5:
            unit.SetConnectors(mData.ConsumeIntegralInRange<UInt32>(0, 31));
            break;
        case 6:
            unit.SetAcquireRefusal(mData.ConsumeBool(), mData.ConsumeBool());
            break;
        case 7: {
            UInt32 frames = mData.ConsumeIntegralInRange<UInt32>(0, 2048);
            std::vector<float> pattern(size_t(frames) * 8);
            for (float& sample : pattern) {
                sample = mData.ConsumeFloatingPointInRange<float>(-2.0f, 2.0f);
            }
            unit.SetSyncPattern(pattern.data(), frames);
            break;
        }
        case 8:
            unit.SetOutputSkipCount(mData.ConsumeIntegralInRange<UInt32>(0, 3));
            break;
        default:
            unit.MarkNextPacket();
            break;
        }
    }

    void InterfaceCall()
    {
        AudioHardwarePlugInRef p = mWorld.plugIn;
        CFUUIDBytes bytes;
        switch (mData.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            bytes = CFUUIDGetUUIDBytes(kAudioHardwarePlugInInterfaceID);
            break;
        case 1:
            bytes = CFUUIDGetUUIDBytes(IUnknownUUID);
            break;
        default:
            std::vector<UInt8> random = mData.ConsumeBytes<UInt8>(sizeof(bytes));
            random.resize(sizeof(bytes));
            std::memcpy(&bytes, random.data(), sizeof(bytes));
            break;
        }
        void* result = nullptr;
        if ((*p)->QueryInterface(p, bytes, &result) == S_OK) {
            if (result != p) {
                Fail("QueryInterface handed out another reference");
            }
            (*p)->Release(p);
        }
        (*p)->AddRef(p);
        (*p)->Release(p);
    }

    void Step()
    {
        bool direct = mData.ConsumeIntegralInRange<int>(0, 3) == 0;
        switch (mData.ConsumeIntegralInRange<int>(0, 19)) {
        case 0:
        case 1:
            PropertyInfo(mData.ConsumeBool(), direct);
            break;
        case 2:
        case 3:
        case 4:
            GetProperty(false, direct);
            break;
        case 5:
        case 6:
            GetProperty(true, direct);
            break;
        case 7:
        case 8:
        case 9:
            SetProperty(false, direct);
            break;
        case 10:
            SetProperty(true, direct);
            break;
        case 11:
        case 12:
        case 13:
        case 14:
            IOProcCall(mData.ConsumeIntegralInRange<int>(0, 3), direct);
            break;
        case 15:
        case 16:
            if (mWorld.unit->IsUnitPresent()) {
                mWorld.unit->Step(mData.ConsumeIntegralInRange<UInt32>(1, 4));
            }
            break;
        case 17:
            TimeCall(direct);
            break;
        case 18:
            UnitCall();
            break;
        default:
            InterfaceCall();
            break;
        }
    }

    FuzzedDataProvider& mData;
    World& mWorld;
    std::vector<AudioDeviceID> mDevices;
    std::vector<AudioStreamID> mStreams;
    std::vector<AudioObjectID> mStale;
    std::vector<UInt8> mBuffer;
    std::vector<UInt8> mReadData;
    AudioTimeStamp mTimeStamp{};
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    World& world = TheWorld();
    HostClockUseVirtual(true);
    world.unit = new SimulatedUnit();
    world.unit->SetPacing(UnitControl::Pacing::kStepped);
    world.defaultSettings = world.unit->GetUnitSettings();
    if (world.unit->RegisterUnitComponent() != 0) {
        Fail("the unit could not be registered");
    }
    const char* path = std::getenv("KESTRO_BUNDLE");
    OSStatus status = -1;
    world.plugIn = AudioHardwareHostLoadPlugIn(path != nullptr ? path : KESTRO_BUNDLE_PATH, &status);
    if (world.plugIn == nullptr || status != 0) {
        Fail("the bundle could not be loaded and initialized");
    }
    world.unit->WaitForNotifications();
    if (LiveDevices().size() != 2) {
        Fail("the unit's arrival did not publish two devices");
    }
    // The world lives as long as the process: libFuzzer exits without
    // returning, and the plug-in, the unit and the host are not leaks.
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    FuzzedDataProvider data(inData, inSize);
    Session session(data);
    session.Run();
    session.Finish();
    return 0;
}
