#include "unit/SimulatedUnit.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/AudioHardware.h"
#include "platform/HostClock.h"
#include "unit/PackedSamples.h"

namespace Kestro {
namespace Unit {

using Zent::Mux::Orvel::FWDevice;
using Zent::Mux::Orvel::MuxPacket;
using Zent::Orvel::Settings;

namespace {

// The loopback FIFO holds a few of the largest packets: the output of one
// video frame waits there only until the input packet of the same frame.
constexpr UInt32 kLoopbackFrames = 8 * PacketPool::kMaxFrames;
// Longest sleep of the real-time pacing, so that changes are seen promptly.
constexpr UInt64 kLongestSleepNanos = 10000000;

int DirectionIndex(bool inIsInput) { return inIsInput ? 1 : 0; }

}  // namespace

SimulatedUnit::SimulatedUnit(UInt32 inPoolSize)
    : mPool(inPoolSize)
{
    mRenderScratch.assign(size_t(PacketPool::kMaxFrames) * PacketPool::kChannels, 0);
    mReturnScratch.assign(size_t(PacketPool::kMaxFrames) * PacketPool::kChannels, 0);
    mLoopback.Reset(kLoopbackFrames);
    mClients.reserve(8);
    mTickHandles.reserve(64);
    Lock lock(mStateMutex);
    // The thread waits for the lock before it looks at anything.
    mIOThread = std::thread([this] { RunIO(); });
    mIOThreadHandle = mIOThread.native_handle();
}

SimulatedUnit::~SimulatedUnit()
{
    UnregisterUnitComponent();
    {
        Lock lock(mStateMutex);
        mQuit = true;
    }
    mIOWake.notify_all();
    mIODone.notify_all();
    mIOThread.join();
    const PacketAccounting accounting = mPool.GetAccounting();
    if (accounting.outstanding != 0) {
        std::fprintf(stderr, "SimulatedUnit: %llu packets handed out were never released\n",
                     static_cast<unsigned long long>(accounting.outstanding));
    }
}

FWDevice* SimulatedUnit::GetUnitHandle() const
{
    // Never dereferenced: the driver only passes it back.
    return reinterpret_cast<FWDevice*>(const_cast<char*>(&mUnitIdentity));
}

// ---------------------------------------------------------------------------
// Helpers (state lock held unless noted)

bool SimulatedUnit::OnIOThread() const { return pthread_equal(pthread_self(), mIOThreadHandle) != 0; }

SimulatedUnit::Client* SimulatedUnit::FindClient(UInt32 inHandle)
{
    for (Client& client : mClients) {
        if (client.handle == inHandle) {
            return &client;
        }
    }
    return nullptr;
}

bool SimulatedUnit::IsRunning(const Client& inClient) const
{
    return mPresent && !inClient.unplugged && inClient.acquired && inClient.callback != nullptr && inClient.started;
}

bool SimulatedUnit::AnyRunning() const
{
    return std::any_of(mClients.begin(), mClients.end(), [this](const Client& client) { return IsRunning(client); });
}

void SimulatedUnit::WaitForClientIdle(Lock& ioLock, UInt32 inHandle)
{
    // On the I/O thread the callback in flight is the caller itself; the
    // flags already cleared keep any further call from starting.
    if (OnIOThread()) {
        return;
    }
    mIODone.wait(ioLock, [this, inHandle] { return mInFlightClient != inHandle; });
}

void SimulatedUnit::CountBadClient(const char* inOperation, UInt32 inHandle)
{
    ++mBadClientCalls;
    std::fprintf(stderr, "SimulatedUnit::%s: unknown audio client %u\n", inOperation, unsigned(inHandle));
}

InputSource* SimulatedUnit::FindInput(UInt32 inConnector)
{
    switch (inConnector) {
    case Settings::kAudioFormatSDI:
        return &mInputs[0];
    case Settings::kAudioFormatAES:
        return &mInputs[1];
    case Settings::kAudioFormatADAT:
        return &mInputs[2];
    case Settings::kAudioFormatAnalog:
        return &mInputs[3];
    case Settings::kAudioFormatSPDIF:
        return &mInputs[4];
    default:
        return nullptr;
    }
}

bool SimulatedUnit::IsConnectorCode(UInt32 inCode)
{
    return inCode != 0 && (inCode & (inCode - 1)) == 0 && (inCode & ~kAllConnectors) == 0;
}

bool SimulatedUnit::CanServe(const Settings& inSettings, bool inIsInput)
{
    const UInt32 format = inIsInput ? inSettings.audioinformat : inSettings.audiooutformat;
    const UInt32 wordSize = inIsInput ? inSettings.audioinwordsize : inSettings.audiooutwordsize;
    const UInt32 rate = inIsInput ? inSettings.audioinsamplerate : inSettings.audiooutsamplerate;
    const bool wordSizeKnown = wordSize == Settings::kWordSize16 || wordSize == Settings::kWordSize24;
    const bool rateKnown = rate == Settings::kSampleRate44100 || rate == Settings::kSampleRate48000 ||
                           rate == Settings::kSampleRate96000;
    return IsConnectorCode(format) && wordSizeKnown && rateKnown;
}

// ---------------------------------------------------------------------------
// Notifications

UInt32 SimulatedUnit::RegisterNotification(Zent::Mux::Orvel::NotificationCallback inCallback, void* inRefCon)
{
    if (inCallback == nullptr) {
        std::fprintf(stderr, "SimulatedUnit::RegisterNotification: no callback\n");
        return 0;
    }
    // Under the state lock, so that an arrival or departure in between is
    // either seen here or posted to this registration, never both or neither.
    Lock lock(mStateMutex);
    const UInt32 handle = mNotifier.Add(inCallback, inRefCon);
    if (mPresent) {
        mNotifier.Post(handle, Zent::Mux::Orvel::kNotificationUnitArrived, GetUnitHandle());
    }
    return handle;
}

void SimulatedUnit::UnregisterNotification(UInt32 inHandle)
{
    // Not under the state lock: it may wait for a callback that calls in.
    if (!mNotifier.Remove(inHandle)) {
        Lock lock(mStateMutex);
        ++mBadClientCalls;
        std::fprintf(stderr, "SimulatedUnit::UnregisterNotification: unknown handle %u\n", unsigned(inHandle));
    }
}

// ---------------------------------------------------------------------------
// Settings

void SimulatedUnit::GetSettings(Settings& outSettings)
{
    Lock lock(mStateMutex);
    outSettings = mSettings;
}

void SimulatedUnit::ApplySettings(bool inIsInput, const Settings& inSettings)
{
    Lock lock(mStateMutex);
    if (!CanServe(inSettings, inIsInput)) {
        ++mApplySettingsRejected;
        std::fprintf(stderr, "SimulatedUnit::ApplySettings: the unit can't serve source %u, word size %u, rate %u\n",
                     unsigned(inIsInput ? inSettings.audioinformat : inSettings.audiooutformat),
                     unsigned(inIsInput ? inSettings.audioinwordsize : inSettings.audiooutwordsize),
                     unsigned(inIsInput ? inSettings.audioinsamplerate : inSettings.audiooutsamplerate));
        return;
    }
    ++mApplySettingsCalls;
    mSettings.SetAudioFormat(inIsInput, inSettings.GetAudioFormat(inIsInput));
    mSettings.SetWordSizeCode(inIsInput, inIsInput ? inSettings.audioinwordsize : inSettings.audiooutwordsize);
    mSettings.SetSampleRateCode(inIsInput, inIsInput ? inSettings.audioinsamplerate : inSettings.audiooutsamplerate);
}

UInt32 SimulatedUnit::GetOutputSkipCount() { return mOutputSkipCount.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------------------
// Audio clients

UInt32 SimulatedUnit::AttachAudioClient(FWDevice* inUnit, UInt32)
{
    Lock lock(mStateMutex);
    if (inUnit != GetUnitHandle()) {
        ++mBadClientCalls;
        std::fprintf(stderr, "SimulatedUnit::AttachAudioClient: %p is not this unit\n", static_cast<void*>(inUnit));
        return 0;
    }
    Client client;
    client.handle = mNextClient++;
    if (mNextClient == 0) {
        mNextClient = 1;
    }
    client.unplugged = !mPresent;
    mClients.push_back(client);
    return client.handle;
}

void SimulatedUnit::DetachAudioClient(UInt32 inClient)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("DetachAudioClient", inClient);
        return;
    }
    client->started = false;
    client->acquired = false;
    client->callback = nullptr;
    WaitForClientIdle(lock, inClient);
    std::erase_if(mClients, [inClient](const Client& each) { return each.handle == inClient; });
}

void SimulatedUnit::StartAudio(UInt32 inClient)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("StartAudio", inClient);
        return;
    }
    client->started = true;
    mIOWake.notify_all();
}

void SimulatedUnit::StopAudio(UInt32 inClient)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("StopAudio", inClient);
        return;
    }
    client->started = false;
    WaitForClientIdle(lock, inClient);
}

void SimulatedUnit::ArmAudio(UInt32 inClient, UInt32 inArm)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("ArmAudio", inClient);
        return;
    }
    client->armed = inArm;
}

bool SimulatedUnit::AcquireAudio(UInt32 inClient, bool inIsInput)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("AcquireAudio", inClient);
        return false;
    }
    const bool heldByOther = std::any_of(mClients.begin(), mClients.end(), [&](const Client& other) {
        return other.handle != inClient && !other.unplugged && other.acquired && other.isInput == inIsInput;
    });
    if (!mPresent || client->unplugged || heldByOther ||
        mRefuseAcquire[DirectionIndex(inIsInput)].load(std::memory_order_relaxed)) {
        ++mAcquireRefusals;
        return false;
    }
    client->acquired = true;
    client->isInput = inIsInput;
    mIOWake.notify_all();
    return true;
}

void SimulatedUnit::ReleaseAudio(UInt32 inClient)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("ReleaseAudio", inClient);
        return;
    }
    client->acquired = false;
    client->started = false;
    WaitForClientIdle(lock, inClient);
}

void SimulatedUnit::SetIOCallback(UInt32 inClient, Zent::Mux::Orvel::IOCallback inCallback, void* inRefCon)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("SetIOCallback", inClient);
        return;
    }
    client->callback = inCallback;
    client->refCon = inRefCon;
    mIOWake.notify_all();
}

void SimulatedUnit::ClearIOCallback(UInt32 inClient)
{
    Lock lock(mStateMutex);
    Client* client = FindClient(inClient);
    if (client == nullptr) {
        CountBadClient("ClearIOCallback", inClient);
        return;
    }
    client->callback = nullptr;
    client->refCon = nullptr;
    WaitForClientIdle(lock, inClient);
}

pthread_t SimulatedUnit::GetIOThread() { return mIOThreadHandle; }

// ---------------------------------------------------------------------------
// Packets coming back

void SimulatedUnit::ReleasePacket(MuxPacket* inPacket)
{
    PacketPool::Use use;
    switch (mPool.BeginRelease(inPacket, use)) {
    case PacketPool::ReleaseResult::kForeign:
        std::fprintf(stderr, "SimulatedUnit::ReleasePacket: %p is not a packet of the unit\n",
                     static_cast<void*>(inPacket));
        return;
    case PacketPool::ReleaseResult::kDoubleRelease:
        std::fprintf(stderr, "SimulatedUnit::ReleasePacket: packet %p was released twice\n",
                     static_cast<void*>(inPacket));
        return;
    case PacketPool::ReleaseResult::kReleased:
        break;
    }
    if (!use.isInput) {
        std::lock_guard<std::mutex> lock(mReturnMutex);
        SInt32* samples = mReturnScratch.data();
        PackedSamples::Unpack(inPacket->GetSampleData(), use.frames * PacketPool::kChannels, use.bytesPerSample,
                              samples);
        if (mCapturing) {
            const UInt32 written = mCapture.Write(samples, use.frames);
            mCapturedFrames += written;
            mCaptureOverruns += use.frames - written;
        }
        // The loopback keeps samples left-justified, so that an input of
        // another word size reads them at its own.
        const UInt32 shift = 32 - use.bytesPerSample * 8;
        for (UInt32 index = 0; index < use.frames * PacketPool::kChannels; ++index) {
            samples[index] = SInt32(UInt32(samples[index]) << shift);
        }
        mLoopbackOverruns += use.frames - mLoopback.Write(samples, use.frames);
    }
    mPool.FinishRelease(inPacket);
}

// ---------------------------------------------------------------------------
// Sync pattern and connectors

void SimulatedUnit::GetInputSyncPattern(UInt32& outFrameCount, const void*& outFrames)
{
    outFrameCount = mCurrentSyncFrames;
    outFrames = mCurrentSync.empty() ? nullptr : mCurrentSync.data();
}

bool SimulatedUnit::HasInputSyncPattern()
{
    if (!mSyncPending.load(std::memory_order_acquire)) {
        return false;
    }
    // Never blocks the I/O thread: a pattern being written now is taken at
    // the next packet.
    std::unique_lock<std::mutex> lock(mSyncMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        return false;
    }
    mCurrentSync.swap(mPendingSync);
    mCurrentSyncFrames = mPendingSyncFrames;
    mSyncPending.store(false, std::memory_order_release);
    return true;
}

bool SimulatedUnit::HasSDIInput() { return (GetConnectors() & Settings::kAudioFormatSDI) != 0; }
bool SimulatedUnit::HasAnalogInput() { return (GetConnectors() & Settings::kAudioFormatAnalog) != 0; }
bool SimulatedUnit::HasAESInput() { return (GetConnectors() & Settings::kAudioFormatAES) != 0; }
bool SimulatedUnit::HasADATInput() { return (GetConnectors() & Settings::kAudioFormatADAT) != 0; }
bool SimulatedUnit::HasSPDIFInput() { return (GetConnectors() & Settings::kAudioFormatSPDIF) != 0; }

// ---------------------------------------------------------------------------
// Controls

OSStatus SimulatedUnit::RegisterUnitComponent()
{
    Lock lock(mStateMutex);
    if (mComponent != nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    ComponentDescription description = {FourCC("muxr"), FourCC("orvl"), FourCC("Dove"), 0, 0};
    mComponent = ::RegisterComponent(&description,
                                     reinterpret_cast<long>(static_cast<Zent::Mux::Orvel::BaseMuxer*>(this)));
    return mComponent != nullptr ? OSStatus(noErr) : OSStatus(kAudioHardwareUnspecifiedError);
}

OSStatus SimulatedUnit::UnregisterUnitComponent()
{
    Lock lock(mStateMutex);
    if (mComponent == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    ::UnregisterComponent(mComponent);
    mComponent = nullptr;
    return noErr;
}

bool SimulatedUnit::IsUnitComponentRegistered() const
{
    Lock lock(mStateMutex);
    return mComponent != nullptr;
}

OSStatus SimulatedUnit::PresentUnit()
{
    Lock lock(mStateMutex);
    if (mPresent) {
        return kAudioHardwareIllegalOperationError;
    }
    mPresent = true;
    mWasActive = false;
    mNotifier.PostAll(Zent::Mux::Orvel::kNotificationUnitArrived, GetUnitHandle());
    return noErr;
}

OSStatus SimulatedUnit::RemoveUnit()
{
    Lock lock(mStateMutex);
    if (!mPresent) {
        return kAudioHardwareIllegalOperationError;
    }
    // As unplugging does: delivery stops first, then the driver hears of it.
    mPresent = false;
    for (Client& client : mClients) {
        client.unplugged = true;
        client.acquired = false;
    }
    if (!OnIOThread()) {
        mIODone.wait(lock, [this] { return mInFlightClient == 0; });
    }
    mNotifier.PostAll(Zent::Mux::Orvel::kNotificationUnitGone, GetUnitHandle());
    return noErr;
}

bool SimulatedUnit::IsUnitPresent() const
{
    Lock lock(mStateMutex);
    return mPresent;
}

OSStatus SimulatedUnit::WaitForNotifications()
{
    return mNotifier.WaitUntilIdle() ? OSStatus(noErr) : OSStatus(kAudioHardwareIllegalOperationError);
}

OSStatus SimulatedUnit::SetConnectors(UInt32 inConnectorMask)
{
    if ((inConnectorMask & ~kAllConnectors) != 0) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    mConnectors = inConnectorMask;
    return noErr;
}

UInt32 SimulatedUnit::GetConnectors() const
{
    Lock lock(mStateMutex);
    return mConnectors;
}

OSStatus SimulatedUnit::SetUnitSettings(const Settings& inSettings)
{
    const bool frameRateKnown =
        inSettings.framerate == Settings::kFrameRate2997 || inSettings.framerate == Settings::kFrameRate25;
    if (!frameRateKnown || !CanServe(inSettings, true) || !CanServe(inSettings, false)) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    mSettings = inSettings;
    return noErr;
}

Settings SimulatedUnit::GetUnitSettings() const
{
    Lock lock(mStateMutex);
    return mSettings;
}

OSStatus SimulatedUnit::SetFrameRate(UInt32 inFrameRateCode)
{
    if (inFrameRateCode != Settings::kFrameRate2997 && inFrameRateCode != Settings::kFrameRate25) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    mSettings.framerate = inFrameRateCode;
    mSettings.standard = inFrameRateCode == Settings::kFrameRate25 ? Settings::kStandard25 : Settings::kStandard2997;
    return noErr;
}

OSStatus SimulatedUnit::SetSampleRate(UInt32 inHz)
{
    UInt32 code = 0;
    switch (inHz) {
    case 44100:
        code = Settings::kSampleRate44100;
        break;
    case 48000:
        code = Settings::kSampleRate48000;
        break;
    case 96000:
        code = Settings::kSampleRate96000;
        break;
    default:
        return paramErr;
    }
    Lock lock(mStateMutex);
    mSettings.SetSampleRateCode(true, code);
    mSettings.SetSampleRateCode(false, code);
    return noErr;
}

OSStatus SimulatedUnit::SetWordSize(UInt32 inBits)
{
    if (inBits != 16 && inBits != 24) {
        return paramErr;
    }
    const UInt32 code = inBits == 16 ? Settings::kWordSize16 : Settings::kWordSize24;
    Lock lock(mStateMutex);
    mSettings.SetWordSizeCode(true, code);
    mSettings.SetWordSizeCode(false, code);
    return noErr;
}

OSStatus SimulatedUnit::SetPacing(Pacing inPacing)
{
    if (inPacing != Pacing::kRealTime && inPacing != Pacing::kFast && inPacing != Pacing::kStepped) {
        return paramErr;
    }
    if (inPacing == Pacing::kFast) {
        HostClockUseVirtual(true);
    }
    {
        Lock lock(mStateMutex);
        mPacing = inPacing;
        mStepTarget = mStepsDone;
    }
    mIOWake.notify_all();
    mIODone.notify_all();
    return noErr;
}

UnitControl::Pacing SimulatedUnit::GetPacing() const
{
    Lock lock(mStateMutex);
    return mPacing;
}

OSStatus SimulatedUnit::Step(UInt32 inCount)
{
    if (OnIOThread()) {
        return kAudioHardwareIllegalOperationError;
    }
    Lock lock(mStateMutex);
    if (mPacing != Pacing::kStepped || !mPresent) {
        return kAudioHardwareIllegalOperationError;
    }
    mStepTarget += inCount;
    const UInt64 target = mStepTarget;
    mIOWake.notify_all();
    mIODone.wait(lock, [this, target] { return mStepsDone >= target || mQuit || mPacing != Pacing::kStepped; });
    return mStepsDone >= target ? OSStatus(noErr) : OSStatus(kAudioHardwareIllegalOperationError);
}

OSStatus SimulatedUnit::SetClockDrift(double inPPM)
{
    if (!std::isfinite(inPPM) || std::fabs(inPPM) >= 1000.0) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    mClock.SetDrift(inPPM);
    return noErr;
}

OSStatus SimulatedUnit::SetTimeStampJitter(UInt32 inMicroseconds, UInt64 inSeed)
{
    if (inMicroseconds > 10000) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    mClock.SetJitter(UInt64(inMicroseconds) * 1000, inSeed);
    return noErr;
}

OSStatus SimulatedUnit::SetTimeStampInterval(UInt32 inEveryNth)
{
    if (inEveryNth == 0) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    mTimeStampInterval = inEveryNth;
    return noErr;
}

OSStatus SimulatedUnit::SetMarkInterval(UInt32 inEveryNth)
{
    Lock lock(mStateMutex);
    mMarkInterval = inEveryNth;
    return noErr;
}

void SimulatedUnit::MarkNextPacket()
{
    Lock lock(mStateMutex);
    mMarkNext[0] = true;
    mMarkNext[1] = true;
}

OSStatus SimulatedUnit::SetInputSilence(UInt32 inConnector)
{
    Lock lock(mStateMutex);
    InputSource* input = FindInput(inConnector);
    if (input == nullptr) {
        return paramErr;
    }
    input->SetSilence();
    return noErr;
}

OSStatus SimulatedUnit::SetInputTone(UInt32 inConnector, double inFrequency, double inAmplitude)
{
    if (!std::isfinite(inFrequency) || inFrequency <= 0 || !(inAmplitude >= 0 && inAmplitude <= 1)) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    InputSource* input = FindInput(inConnector);
    if (input == nullptr) {
        return paramErr;
    }
    input->SetTone(inFrequency, inAmplitude);
    return noErr;
}

OSStatus SimulatedUnit::SetInputSamples(UInt32 inConnector, const void* inSamples, UInt32 inFrames,
                                        SampleLayout inLayout, bool inLoop)
{
    if ((inSamples == nullptr && inFrames != 0) ||
        (inLayout != SampleLayout::kInt32 && inLayout != SampleLayout::kFloat32)) {
        return paramErr;
    }
    Lock lock(mStateMutex);
    InputSource* input = FindInput(inConnector);
    if (input == nullptr) {
        return paramErr;
    }
    input->SetSamples(inSamples, inFrames, inLayout, inLoop);
    return noErr;
}

OSStatus SimulatedUnit::SetInputLoopback(UInt32 inConnector)
{
    Lock lock(mStateMutex);
    InputSource* input = FindInput(inConnector);
    if (input == nullptr) {
        return paramErr;
    }
    input->SetLoopback();
    return noErr;
}

UInt64 SimulatedUnit::GetLoopbackUnderruns() const
{
    std::lock_guard<std::mutex> lock(mReturnMutex);
    return mLoopbackUnderruns;
}

UInt64 SimulatedUnit::GetLoopbackOverruns() const
{
    std::lock_guard<std::mutex> lock(mReturnMutex);
    return mLoopbackOverruns;
}

OSStatus SimulatedUnit::StartCapture(UInt32 inCapacityFrames)
{
    if (inCapacityFrames == 0 || inCapacityFrames > (UInt32(1) << 24)) {
        return paramErr;
    }
    std::lock_guard<std::mutex> lock(mReturnMutex);
    mCapture.Reset(inCapacityFrames);
    mCapturing = true;
    mCapturedFrames = 0;
    mCaptureOverruns = 0;
    return noErr;
}

void SimulatedUnit::StopCapture()
{
    std::lock_guard<std::mutex> lock(mReturnMutex);
    mCapturing = false;
}

UInt32 SimulatedUnit::ReadCapture(SInt32* outFrames, UInt32 inMaxFrames)
{
    if (outFrames == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(mReturnMutex);
    return mCapture.Read(outFrames, inMaxFrames);
}

UInt64 SimulatedUnit::GetCapturedFrameCount() const
{
    std::lock_guard<std::mutex> lock(mReturnMutex);
    return mCapturedFrames;
}

UInt64 SimulatedUnit::GetCaptureOverruns() const
{
    std::lock_guard<std::mutex> lock(mReturnMutex);
    return mCaptureOverruns;
}

void SimulatedUnit::SetOutputSkipCount(UInt32 inCount) { mOutputSkipCount.store(inCount, std::memory_order_relaxed); }

OSStatus SimulatedUnit::SetSyncPattern(const float* inFrames, UInt32 inFrameCount)
{
    constexpr UInt32 kMaxSyncFrames = UInt32(1) << 20;
    if ((inFrames == nullptr && inFrameCount != 0) || inFrameCount > kMaxSyncFrames) {
        return paramErr;
    }
    // 8 channels of 4 bytes per frame, big-endian as the unit sends them.
    std::vector<UInt8> bytes(size_t(inFrameCount) * PacketPool::kChannels * 4);
    for (size_t index = 0; index < size_t(inFrameCount) * PacketPool::kChannels; ++index) {
        PackedSamples::StoreBigEndianFloat(inFrames[index], &bytes[index * 4]);
    }
    std::lock_guard<std::mutex> lock(mSyncMutex);
    mPendingSync.swap(bytes);
    mPendingSyncFrames = inFrameCount;
    mSyncPending.store(true, std::memory_order_release);
    return noErr;
}

void SimulatedUnit::SetAcquireRefusal(bool inIsInput, bool inRefuse)
{
    mRefuseAcquire[DirectionIndex(inIsInput)].store(inRefuse, std::memory_order_relaxed);
}

void SimulatedUnit::SetDebugWord(DebugWord inWord, SInt32 inValue)
{
    std::atomic<SInt32>* word = nullptr;
    switch (inWord) {
    case DebugWord::kVerboseWarnings:
        word = &verboseWarnings;
        break;
    case DebugWord::kDumpFrameCount:
        word = &dumpFrameCount;
        break;
    case DebugWord::kPrintPacketInfo:
        word = &printPacketInfo;
        break;
    case DebugWord::kWriteTestRamp:
        word = &writeTestRamp;
        break;
    case DebugWord::kPrintSampleRate:
        word = &printSampleRate;
        break;
    }
    if (word != nullptr) {
        word->store(inValue, std::memory_order_relaxed);
    }
}

UnitControl::PacketAccounting SimulatedUnit::GetPacketAccounting() const { return mPool.GetAccounting(); }

UnitControl::ClientCounts SimulatedUnit::GetClientCounts() const
{
    Lock lock(mStateMutex);
    ClientCounts counts;
    counts.attached = UInt32(mClients.size());
    counts.running = UInt32(std::count_if(mClients.begin(), mClients.end(),
                                          [this](const Client& client) { return IsRunning(client); }));
    counts.acquireRefusals = mAcquireRefusals;
    counts.badClientCalls = mBadClientCalls;
    counts.applySettingsCalls = mApplySettingsCalls;
    counts.applySettingsRejected = mApplySettingsRejected;
    return counts;
}

UInt64 SimulatedUnit::GetDeliveredPacketCount(bool inIsInput) const
{
    Lock lock(mStateMutex);
    return mDelivered[DirectionIndex(inIsInput)];
}

// ---------------------------------------------------------------------------
// The I/O thread

void SimulatedUnit::RunIO()
{
    Lock lock(mStateMutex);
    while (!mQuit) {
        if (mPacing == Pacing::kStepped) {
            if (mStepsDone < mStepTarget) {
                DeliverTick(lock);
                ++mStepsDone;
                mIODone.notify_all();
            } else {
                mIOWake.wait(lock);
            }
            continue;
        }
        if (!AnyRunning()) {
            mWasActive = false;
            mIOWake.wait(lock);
            continue;
        }
        if (mPacing == Pacing::kRealTime && mWasActive) {
            const UInt64 now = HostClockNanos();
            if (now < mNextTickNanos) {
                const UInt64 sleep = std::min(mNextTickNanos - now, kLongestSleepNanos);
                mIOWake.wait_for(lock, std::chrono::nanoseconds(sleep));
                continue;
            }
        }
        DeliverTick(lock);
    }
}

void SimulatedUnit::DeliverTick(Lock& ioLock)
{
    if (!AnyRunning()) {
        mWasActive = false;
        std::lock_guard<std::mutex> returnLock(mReturnMutex);
        mLoopback.Clear();
        return;
    }
    if (!mWasActive) {
        mClock.Restart(HostClockNanos());
        mWasActive = true;
    }
    const UInt64 tick = mClock.GetPacketIndex();
    const bool hasTime = tick % mTimeStampInterval == 0;
    const bool periodicMark = mMarkInterval != 0 && tick % mMarkInterval == 0;
    mLoopbackConsumed = false;
    UInt64 tickStart = 0;
    UInt64 nextTickStart = 0;

    // Output first: its samples reach the loopback before the input packet
    // of the same video frame is filled.
    for (const bool isInput : {false, true}) {
        const UInt32 frames = mSettings.GetSampleCountForSequence(isInput, UInt32(tick));
        const UInt32 bytesPerSample = mSettings.GetWordSizeAsBytes(isInput);
        const UInt32 sampleRate = mSettings.GetSampleRate(isInput);
        const UInt64 exact = mClock.GetFrameTime(isInput, sampleRate);
        const UInt64 stamp = hasTime ? mClock.ApplyJitter(exact) : 0;
        mClock.AdvanceFrames(isInput, sampleRate, frames);
        if (isInput) {
            tickStart = exact;
            nextTickStart = mClock.GetFrameTime(isInput, sampleRate);
        }
        if (frames == 0 || frames > PacketPool::kMaxFrames || (bytesPerSample != 2 && bytesPerSample != 3)) {
            continue;
        }
        const bool marked = periodicMark || mMarkNext[DirectionIndex(isInput)];

        mTickHandles.clear();
        for (const Client& client : mClients) {
            if (IsRunning(client) && client.isInput == isInput) {
                mTickHandles.push_back(client.handle);
            }
        }
        for (const UInt32 handle : mTickHandles) {
            // The client may have stopped while the previous callback ran.
            const Client* client = FindClient(handle);
            if (client == nullptr || !IsRunning(*client) || client->isInput != isInput) {
                continue;
            }
            MuxPacket* packet = mPool.Acquire(PacketPool::Use{isInput, frames, bytesPerSample});
            if (packet == nullptr) {
                continue;
            }
            packet->GetHeader()->SetHasTime(hasTime);
            packet->GetHeader()->SetDebugTimeStamp(UInt32(tick));
            packet->SetMarked(marked);
            packet->SetTimeInNanos(stamp);
            if (isInput) {
                RenderInput(packet, frames, bytesPerSample, sampleRate);
            } else {
                std::memset(packet->GetSampleData(), 0, size_t(frames) * PacketPool::kChannels * bytesPerSample);
            }
            const Zent::Mux::Orvel::IOCallback callback = client->callback;
            void* const refCon = client->refCon;
            mInFlightClient = handle;
            ioLock.unlock();
            callback(refCon, isInput ? kInputPacketType : kOutputPacketType, packet);
            ioLock.lock();
            mInFlightClient = 0;
            ++mDelivered[DirectionIndex(isInput)];
            mMarkNext[DirectionIndex(isInput)] = false;
            mIODone.notify_all();
        }
    }

    if (!mLoopbackConsumed) {
        // Nobody listens: the output must not pile up for a later listener.
        std::lock_guard<std::mutex> returnLock(mReturnMutex);
        mLoopback.Clear();
    }
    mClock.NextPacket();
    mNextTickNanos = nextTickStart;
    if (mPacing != Pacing::kRealTime && HostClockIsVirtual() && nextTickStart > tickStart) {
        HostClockAdvance(nextTickStart - tickStart);
    }
}

void SimulatedUnit::RenderInput(MuxPacket* ioPacket, UInt32 inFrames, UInt32 inBytesPerSample, UInt32 inSampleRate)
{
    const UInt32 bits = inBytesPerSample * 8;
    const UInt32 connector = mSettings.audioinformat;
    InputSource* input = (mConnectors & connector) != 0 ? FindInput(connector) : nullptr;
    SInt32* samples = mRenderScratch.data();
    if (input == nullptr) {
        std::memset(samples, 0, size_t(inFrames) * PacketPool::kChannels * sizeof(SInt32));
    } else if (input->GetKind() == InputKind::kLoopback) {
        std::lock_guard<std::mutex> returnLock(mReturnMutex);
        const UInt32 got = mLoopback.Read(samples, inFrames);
        mLoopbackUnderruns += inFrames - got;
        std::memset(samples + size_t(got) * PacketPool::kChannels, 0,
                    size_t(inFrames - got) * PacketPool::kChannels * sizeof(SInt32));
        const UInt32 shift = 32 - bits;
        for (UInt32 index = 0; index < inFrames * PacketPool::kChannels; ++index) {
            samples[index] >>= shift;
        }
        mLoopbackConsumed = true;
    } else {
        input->Render(samples, inFrames, bits, inSampleRate);
    }
    PackedSamples::Pack(samples, inFrames * PacketPool::kChannels, inBytesPerSample, ioPacket->GetSampleData());
}

}  // namespace Unit
}  // namespace Kestro
