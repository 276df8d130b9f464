// The simulated unit: a muxer component that stands in for the IEEE 1394
// unit and its owner. It implements the muxer interface the driver calls
// (BaseMuxer) and the controls tests and tools use (UnitControl).
//
// Threads. The unit runs two threads of its own: the notification thread
// announces arrival (kind 0, data = the unit's FWDevice*) and departure
// (kind 1) to every registration; the I/O thread (GetIOThread) delivers one
// packet per video frame to every running audio client, output clients
// first, then input clients. A client runs once it has acquired the audio of
// a direction, has an I/O callback and was started. Input packets are
// delivered with type 2, output packets with type 3; each must come back
// through ReleasePacket.
//
// Locks. The unit's locks are private and never held while it calls the
// driver, so the driver may call any operation from inside its callbacks.
// StopAudio, ClearIOCallback, ReleaseAudio and DetachAudioClient return only
// when no I/O callback for that client runs or will run; they wait for a
// callback in flight, so the caller must not hold a lock that callback takes.
// Called on the I/O thread itself (from inside a callback) they do not wait,
// and no further call follows for that client.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"
#include "driver/muxer/Zent_Mux_Orvel_BaseMuxer.h"
#include "platform/Components.h"
#include "unit/InputSource.h"
#include "unit/PacketPool.h"
#include "unit/SampleFifo.h"
#include "unit/UnitClock.h"
#include "unit/UnitControl.h"
#include "unit/UnitNotifier.h"

namespace Kestro {
namespace Unit {

class SimulatedUnit final : public Zent::Mux::Orvel::BaseMuxer, public UnitControl {
public:
    static constexpr UInt32 kDefaultPoolSize = 16;
    static constexpr UInt32 kAllConnectors = Zent::Orvel::Settings::kAudioFormatSDI |
                                             Zent::Orvel::Settings::kAudioFormatAES |
                                             Zent::Orvel::Settings::kAudioFormatADAT |
                                             Zent::Orvel::Settings::kAudioFormatAnalog |
                                             Zent::Orvel::Settings::kAudioFormatSPDIF;
    // Packet types of the I/O callback.
    static constexpr unsigned kInputPacketType = Zent::Mux::Orvel::kIOPacketType2;
    static constexpr unsigned kOutputPacketType = Zent::Mux::Orvel::kIOPacketType3;

    // A unit that is present, has all five input connectors, default
    // settings, silent inputs, real-time pacing and a pool of inPoolSize
    // packets (at least 1). Starts both threads; registers nothing.
    explicit SimulatedUnit(UInt32 inPoolSize = kDefaultPoolSize);
    // Unregisters the component, stops both threads and writes one line to
    // standard error if packets were never given back. The driver must have
    // let go of the unit first.
    ~SimulatedUnit() override;

    SimulatedUnit(const SimulatedUnit&) = delete;
    SimulatedUnit& operator=(const SimulatedUnit&) = delete;

    // The muxer, as the driver sees it (also the component's refcon).
    Zent::Mux::Orvel::BaseMuxer* GetMuxer() { return this; }
    // The unit handle that arrival notifications carry.
    Zent::Mux::Orvel::FWDevice* GetUnitHandle() const;

    // BaseMuxer. Any thread unless noted.
    UInt32 RegisterNotification(Zent::Mux::Orvel::NotificationCallback inCallback, void* inRefCon) override;
    // Waits for a notification in flight for that handle (see UnitNotifier).
    void UnregisterNotification(UInt32 inHandle) override;
    void GetSettings(Zent::Orvel::Settings& outSettings) override;
    // Copies that direction's audio format, word-size and rate codes; codes
    // the unit can't serve are refused whole (counted, one line on standard
    // error) and change nothing.
    void ApplySettings(bool inIsInput, const Zent::Orvel::Settings& inSettings) override;
    UInt32 GetOutputSkipCount() override;
    // A client handle (never 0) for the unit's FWDevice*; 0 for any other
    // pointer. A client attached while the unit is absent never runs.
    UInt32 AttachAudioClient(Zent::Mux::Orvel::FWDevice* inUnit, UInt32 inOptions) override;
    void DetachAudioClient(UInt32 inClient) override;
    void StartAudio(UInt32 inClient) override;
    void StopAudio(UInt32 inClient) override;
    void ArmAudio(UInt32 inClient, UInt32 inArm) override;
    // False when refused on demand, when the unit is absent or when another
    // client holds that direction.
    bool AcquireAudio(UInt32 inClient, bool inIsInput) override;
    void ReleaseAudio(UInt32 inClient) override;
    // Output packets' samples go to the capture buffer and the loopback FIFO.
    // A packet not handed out is counted, reported on standard error and
    // otherwise ignored.
    void ReleasePacket(Zent::Mux::Orvel::MuxPacket* inPacket) override;
    void SetIOCallback(UInt32 inClient, Zent::Mux::Orvel::IOCallback inCallback, void* inRefCon) override;
    void ClearIOCallback(UInt32 inClient) override;
    pthread_t GetIOThread() override;
    // The pattern taken by the last HasInputSyncPattern that answered true;
    // valid until the next one does. Meant for the I/O thread.
    void GetInputSyncPattern(UInt32& outFrameCount, const void*& outFrames) override;
    bool HasInputSyncPattern() override;
    bool HasSDIInput() override;
    bool HasAnalogInput() override;
    bool HasAESInput() override;
    bool HasADATInput() override;
    bool HasSPDIFInput() override;

    // UnitControl.
    OSStatus RegisterUnitComponent() override;
    OSStatus UnregisterUnitComponent() override;
    bool IsUnitComponentRegistered() const override;
    OSStatus PresentUnit() override;
    OSStatus RemoveUnit() override;
    bool IsUnitPresent() const override;
    OSStatus WaitForNotifications() override;
    OSStatus SetConnectors(UInt32 inConnectorMask) override;
    UInt32 GetConnectors() const override;
    OSStatus SetUnitSettings(const Zent::Orvel::Settings& inSettings) override;
    Zent::Orvel::Settings GetUnitSettings() const override;
    OSStatus SetFrameRate(UInt32 inFrameRateCode) override;
    OSStatus SetSampleRate(UInt32 inHz) override;
    OSStatus SetWordSize(UInt32 inBits) override;
    OSStatus SetPacing(Pacing inPacing) override;
    Pacing GetPacing() const override;
    OSStatus Step(UInt32 inCount) override;
    OSStatus SetClockDrift(double inPPM) override;
    OSStatus SetTimeStampJitter(UInt32 inMicroseconds, UInt64 inSeed) override;
    OSStatus SetTimeStampInterval(UInt32 inEveryNth) override;
    OSStatus SetMarkInterval(UInt32 inEveryNth) override;
    void MarkNextPacket() override;
    OSStatus SetInputSilence(UInt32 inConnector) override;
    OSStatus SetInputTone(UInt32 inConnector, double inFrequency, double inAmplitude) override;
    OSStatus SetInputSamples(UInt32 inConnector, const void* inSamples, UInt32 inFrames, SampleLayout inLayout,
                             bool inLoop) override;
    OSStatus SetInputLoopback(UInt32 inConnector) override;
    UInt64 GetLoopbackUnderruns() const override;
    UInt64 GetLoopbackOverruns() const override;
    OSStatus StartCapture(UInt32 inCapacityFrames) override;
    void StopCapture() override;
    UInt32 ReadCapture(SInt32* outFrames, UInt32 inMaxFrames) override;
    UInt64 GetCapturedFrameCount() const override;
    UInt64 GetCaptureOverruns() const override;
    void SetOutputSkipCount(UInt32 inCount) override;
    OSStatus SetSyncPattern(const float* inFrames, UInt32 inFrameCount) override;
    void SetAcquireRefusal(bool inIsInput, bool inRefuse) override;
    void SetDebugWord(DebugWord inWord, SInt32 inValue) override;
    PacketAccounting GetPacketAccounting() const override;
    ClientCounts GetClientCounts() const override;
    UInt64 GetDeliveredPacketCount(bool inIsInput) const override;

private:
    struct Client {
        UInt32 handle = 0;
        bool unplugged = false;  // attached while absent, or the unit left since
        bool acquired = false;
        bool isInput = false;
        UInt32 armed = 0;
        Zent::Mux::Orvel::IOCallback callback = nullptr;
        void* refCon = nullptr;
        bool started = false;
    };

    using Lock = std::unique_lock<std::mutex>;

    bool OnIOThread() const;
    Client* FindClient(UInt32 inHandle);
    bool IsRunning(const Client& inClient) const;
    bool AnyRunning() const;
    // Returns when no callback for inHandle runs (at once on the I/O thread).
    void WaitForClientIdle(Lock& ioLock, UInt32 inHandle);
    void CountBadClient(const char* inOperation, UInt32 inHandle);
    InputSource* FindInput(UInt32 inConnector);
    static bool IsConnectorCode(UInt32 inCode);
    static bool CanServe(const Zent::Orvel::Settings& inSettings, bool inIsInput);

    // The I/O thread.
    void RunIO();
    // One video frame: a packet to every running client. Entered and left
    // with the state lock held; released around each callback.
    void DeliverTick(Lock& ioLock);
    // Fills an input packet's samples from the selected connector.
    void RenderInput(Zent::Mux::Orvel::MuxPacket* ioPacket, UInt32 inFrames, UInt32 inBytesPerSample,
                     UInt32 inSampleRate);

    // Locks, in the order they may be taken: state, then return; sync and
    // the notifier's lock are taken alone or last.
    mutable std::mutex mStateMutex;
    std::condition_variable mIOWake;  // the I/O thread waits for work here
    std::condition_variable mIODone;  // callbacks and steps finished

    // Guarded by mStateMutex.
    Zent::Orvel::Settings mSettings;
    UInt32 mConnectors = kAllConnectors;
    bool mPresent = true;
    std::vector<Client> mClients;
    UInt32 mNextClient = 1;
    UInt32 mInFlightClient = 0;
    Pacing mPacing = Pacing::kRealTime;
    UInt64 mStepTarget = 0;
    UInt64 mStepsDone = 0;
    bool mWasActive = false;
    bool mQuit = false;
    UnitClock mClock;
    UInt32 mTimeStampInterval = 1;
    UInt32 mMarkInterval = 0;
    bool mMarkNext[2] = {false, false};
    InputSource mInputs[5];
    std::vector<SInt32> mRenderScratch;
    UInt64 mDelivered[2] = {0, 0};
    UInt64 mAcquireRefusals = 0;
    UInt64 mBadClientCalls = 0;
    UInt64 mApplySettingsCalls = 0;
    UInt64 mApplySettingsRejected = 0;
    bool mLoopbackConsumed = false;  // an input packet read the loopback this tick
    UInt64 mNextTickNanos = 0;       // host time of the next tick (real-time pacing)
    std::vector<UInt32> mTickHandles;  // the clients a tick delivers to
    Component mComponent = nullptr;

    // Guarded by mReturnMutex: what output packets carried back.
    mutable std::mutex mReturnMutex;
    SampleFifo mLoopback;
    SampleFifo mCapture;
    bool mCapturing = false;
    std::vector<SInt32> mReturnScratch;
    UInt64 mLoopbackUnderruns = 0;
    UInt64 mLoopbackOverruns = 0;
    UInt64 mCapturedFrames = 0;
    UInt64 mCaptureOverruns = 0;

    // The sync pattern: written under mSyncMutex into the pending buffer,
    // taken on the I/O thread into the current one.
    std::mutex mSyncMutex;
    std::vector<UInt8> mPendingSync;
    UInt32 mPendingSyncFrames = 0;
    std::atomic<bool> mSyncPending{false};
    std::vector<UInt8> mCurrentSync;
    UInt32 mCurrentSyncFrames = 0;

    std::atomic<UInt32> mOutputSkipCount{0};
    std::atomic<bool> mRefuseAcquire[2] = {false, false};
    char mUnitIdentity = 0;  // its address is the FWDevice* handle

    PacketPool mPool;
    UnitNotifier mNotifier;
    std::thread mIOThread;
    pthread_t mIOThreadHandle{};
};

}  // namespace Unit
}  // namespace Kestro
