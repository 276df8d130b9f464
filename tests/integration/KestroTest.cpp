#include "tests/integration/KestroTest.h"

#include <cstdio>
#include <cstdlib>

#include "platform/HostClock.h"
#include "platform/HostRunLoop.h"

namespace KestroIntegration {

Watchdog::Watchdog(std::string inName, std::chrono::seconds inBound)
{
    mThread = std::thread([this, name = std::move(inName), inBound] {
        std::unique_lock<std::mutex> lock(mMutex);
        if (!mDone.wait_for(lock, inBound, [this] { return mDisarmed; })) {
            std::fprintf(stderr, "watchdog: %s still running after %lld s, aborting\n", name.c_str(),
                         static_cast<long long>(inBound.count()));
            std::fflush(stderr);
            std::abort();
        }
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mDisarmed = true;
    }
    mDone.notify_all();
    mThread.join();
}

SInt32 PatternValue24(UInt64 inFrame, UInt32 inChannel)
{
    UInt64 mixed = (inFrame * 8 + inChannel + 1) * 0x9E3779B97F4A7C15ull;
    mixed ^= mixed >> 29;
    // Odd, so never zero; within -2^23 .. 2^23-1.
    const UInt32 bits = UInt32(mixed >> 40) | 1u;
    return SInt32(bits & 0xFFFFFFu) - 0x800000;
}

OSStatus IOProcLog::Proc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                         const AudioTimeStamp* inInputTime, AudioBufferList* outOutputData,
                         const AudioTimeStamp* inOutputTime, void* inClientData)
{
    IOProcLog& log = *static_cast<IOProcLog*>(inClientData);
    const UInt32 call = log.calls.load() + 1;
    log.nows.push_back(*inNow);
    log.inputTimes.push_back(*inInputTime);
    log.outputTimes.push_back(*inOutputTime);
    const AudioBufferList* list = inInputData != nullptr ? inInputData : outOutputData;
    UInt32 frames = 0;
    UInt32 channels = 0;
    if (list != nullptr && list->mNumberBuffers > 0 && list->mBuffers[0].mNumberChannels > 0) {
        channels = list->mBuffers[0].mNumberChannels;
        frames = list->mBuffers[0].mDataByteSize / (channels * sizeof(float));
    }
    log.bufferCounts.push_back(list != nullptr ? list->mNumberBuffers : 0);
    log.frames.push_back(frames);
    log.channels.push_back(channels);
    if (inInputData != nullptr && channels != 0) {
        const float* data = static_cast<const float*>(inInputData->mBuffers[0].mData);
        log.input.insert(log.input.end(), data, data + size_t(frames) * channels);
    }
    if (outOutputData != nullptr && channels != 0 && log.fill != nullptr) {
        log.fill(log, static_cast<float*>(outOutputData->mBuffers[0].mData), frames, channels, log.framesWritten);
        log.framesWritten += frames;
    }
    if (log.stopOnCall == call) {
        log.stopStatus = AudioDeviceStop(log.stopDeviceOnCall != 0 ? log.stopDeviceOnCall : inDevice, log.self);
    }
    log.calls.store(call);
    return noErr;
}

void KestroTest::SetUp()
{
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    mWatchdog = std::make_unique<Watchdog>(std::string(info->test_suite_name()) + "." + info->name(), TimeBound());
    HostClockUseVirtual(false);
    mUnit = std::make_unique<SimulatedUnit>();
    ASSERT_EQ(mUnit->SetPacing(UnitControl::Pacing::kStepped), noErr);
    AudioHardwareServerClearEvents();
}

void KestroTest::TearDown()
{
    EXPECT_EQ(UnloadBundle(), noErr);
    if (mUnit) {
        ExpectCleanAccounting();
        EXPECT_EQ(mUnit->GetClientCounts().attached, 0u) << "a device did not detach from the muxer";
        mUnit.reset();
    }
    HostClockUseVirtual(false);
    mWatchdog.reset();
}

OSStatus KestroTest::LoadBundle(bool inRegisterUnit)
{
    if (inRegisterUnit) {
        EXPECT_EQ(mUnit->RegisterUnitComponent(), noErr);
    }
    OSStatus status = -1;
    AudioHardwarePlugInRef plugIn = AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status);
    EXPECT_NE(plugIn, nullptr);
    mLoaded = plugIn != nullptr;
    Settle();
    FindDevices();
    return status;
}

OSStatus KestroTest::UnloadBundle()
{
    if (!mLoaded) {
        return noErr;
    }
    mLoaded = false;
    const OSStatus status = AudioHardwareHostUnloadPlugIn();
    Settle();
    mOutputDevice = 0;
    mInputDevice = 0;
    return status;
}

void KestroTest::Settle()
{
    if (mUnit) {
        EXPECT_EQ(mUnit->WaitForNotifications(), noErr);
    }
    HostRunLoopFlush();
}

void KestroTest::FindDevices()
{
    mOutputDevice = 0;
    mInputDevice = 0;
    for (AudioDeviceID device : GetDevices()) {
        const std::string name = GetDeviceString(device, false, kAudioDevicePropertyDeviceName);
        if (name == "Kestro Out") {
            mOutputDevice = device;
        } else if (name == "Kestro In") {
            mInputDevice = device;
        }
    }
}

std::vector<AudioDeviceID> KestroTest::GetDevices()
{
    UInt32 size = 0;
    if (AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &size, nullptr) != noErr) {
        return {};
    }
    std::vector<AudioDeviceID> devices(size / sizeof(AudioDeviceID));
    size = UInt32(devices.size() * sizeof(AudioDeviceID));
    if (AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, devices.data()) != noErr) {
        return {};
    }
    devices.resize(size / sizeof(AudioDeviceID));
    return devices;
}

std::string KestroTest::GetDeviceString(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector)
{
    char text[256] = {};
    UInt32 size = sizeof(text) - 1;
    if (AudioDeviceGetProperty(inDevice, 0, inIsInput, inSelector, &size, text) != noErr) {
        return "<error>";
    }
    return std::string(text);
}

std::string KestroTest::GetDeviceUID(AudioDeviceID inDevice)
{
    CFStringRef uid = nullptr;
    UInt32 size = sizeof(uid);
    if (AudioDeviceGetProperty(inDevice, 0, false, kAudioDevicePropertyDeviceUID, &size, &uid) != noErr ||
        uid == nullptr) {
        return "<error>";
    }
    char text[256] = {};
    const bool converted = CFStringGetCString(uid, text, sizeof(text), kCFStringEncodingUTF8);
    CFRelease(uid);
    return converted ? std::string(text) : "<error>";
}

OSStatus KestroTest::GetDeviceUInt32(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector,
                                     UInt32& outValue)
{
    UInt32 size = sizeof(outValue);
    return AudioDeviceGetProperty(inDevice, 0, inIsInput, inSelector, &size, &outValue);
}

OSStatus KestroTest::SetDeviceUInt32(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector,
                                     UInt32 inValue)
{
    return AudioDeviceSetProperty(inDevice, nullptr, 0, inIsInput, inSelector, sizeof(inValue), &inValue);
}

std::vector<AudioStreamID> KestroTest::GetStreams(AudioDeviceID inDevice, bool inIsInput)
{
    UInt32 size = 0;
    if (AudioDeviceGetPropertyInfo(inDevice, 0, inIsInput, kAudioDevicePropertyStreams, &size, nullptr) != noErr) {
        return {};
    }
    std::vector<AudioStreamID> streams(size / sizeof(AudioStreamID));
    if (streams.empty()) {
        return streams;
    }
    size = UInt32(streams.size() * sizeof(AudioStreamID));
    if (AudioDeviceGetProperty(inDevice, 0, inIsInput, kAudioDevicePropertyStreams, &size, streams.data()) != noErr) {
        return {};
    }
    streams.resize(size / sizeof(AudioStreamID));
    return streams;
}

std::string KestroTest::GetStreamName(AudioStreamID inStream)
{
    char text[256] = {};
    UInt32 size = sizeof(text) - 1;
    if (AudioStreamGetProperty(inStream, 0, kAudioDevicePropertyDeviceName, &size, text) != noErr) {
        return "<error>";
    }
    return std::string(text);
}

OSStatus KestroTest::GetStreamFormat(AudioStreamID inStream, AudioDevicePropertyID inSelector,
                                     AudioStreamBasicDescription& outFormat)
{
    UInt32 size = sizeof(outFormat);
    return AudioStreamGetProperty(inStream, 0, inSelector, &size, &outFormat);
}

Float64 KestroTest::GetActualSampleRate(AudioDeviceID inDevice, bool inIsInput)
{
    Float64 rate = 0;
    UInt32 size = sizeof(rate);
    if (AudioDeviceGetProperty(inDevice, 0, inIsInput, kAudioDevicePropertyActualSampleRate, &size, &rate) !=
        noErr) {
        return -1;
    }
    return rate;
}

std::vector<AudioHardwareServerEvent> KestroTest::EventsOfKind(AudioHardwareServerEvent::Kind inKind)
{
    std::vector<AudioHardwareServerEvent> events;
    for (const AudioHardwareServerEvent& event : AudioHardwareServerCopyEvents()) {
        if (event.mKind == inKind) {
            events.push_back(event);
        }
    }
    return events;
}

UInt32 FillPattern(AudioBuffer& ioBuffer, UInt64 inFirstFrame)
{
    float* data = static_cast<float*>(ioBuffer.mData);
    const UInt32 channels = ioBuffer.mNumberChannels;
    const UInt32 frames = ioBuffer.mDataByteSize / (channels * sizeof(float));
    for (UInt32 frame = 0; frame < frames; ++frame) {
        for (UInt32 channel = 0; channel < channels; ++channel) {
            data[size_t(frame) * channels + channel] = Sample24(PatternValue24(inFirstFrame + frame, channel));
        }
    }
    return frames;
}

void KestroTest::Step(UInt32 inCount)
{
    ASSERT_EQ(mUnit->Step(inCount), noErr);
}

void KestroTest::PullUnitAndExpectItGone()
{
    ASSERT_EQ(mUnit->RemoveUnit(), noErr);
    Settle();
    EXPECT_TRUE(GetDevices().empty());
    EXPECT_EQ(mUnit->GetClientCounts().attached, 0u);
    EXPECT_EQ(mUnit->GetClientCounts().running, 0u);
}

void KestroTest::ExpectCleanAccounting()
{
    const UnitControl::PacketAccounting accounting = mUnit->GetPacketAccounting();
    EXPECT_EQ(accounting.outstanding, 0u);
    EXPECT_EQ(accounting.released, accounting.handedOut);
    EXPECT_EQ(accounting.doubleReleases, 0u);
    EXPECT_EQ(accounting.foreignReleases, 0u);
}

}  // namespace KestroIntegration
