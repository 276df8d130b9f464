// One published audio device of the Orvel unit: "Kestro Out" (the output
// device) or "Kestro In" (the input device); the two differ only by the
// direction given to the constructor. The device attaches itself to the
// muxer as an audio client, owns one Stream per connector of its direction
// and publishes exactly one of them, converts between the unit's packed
// integer packets and the clients' float buffers, runs every started IOProc
// once per packet and keeps a clock measured from the packets' own times.
//
// The implementation is split by concern: OrvelDevice.cpp (construction,
// Initialize, Teardown, properties, streams, settings, buffer sizes, the
// command bracket), OrvelDeviceEngine.cpp (buffers, converters, engine start
// and stop, data transfer, DoIO, the stop callback), OrvelDeviceIO.cpp (the
// per-packet cycle and the rate window) and OrvelDeviceClock.cpp (time).
//
// Threads and locks. Host client threads make property requests and run
// commands; the host run loop runs the stop callback; the muxer's I/O thread
// calls DoIO once per packet. The IO guard serialises packet processing,
// command execution and engine start and stop; the settings lock serialises
// settings changes and engine start and stop. The IO guard is always taken
// before the settings lock. The I/O thread takes only the IO guard, and
// never waits for it while the transfer is being shut down (see DoIO), so
// stopping the transfer with the guard held cannot deadlock against a packet
// in flight.
#pragma once

#include <atomic>
#include <map>

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable.h"
#include "driver/AudioConverterHolder.h"
#include "driver/IOGuard.h"
#include "driver/RateWindow.h"
#include "driver/muxer/Zent_Mux_Orvel_BaseMuxer.h"
#include "driver/muxer/Zent_Mux_Orvel_FWDevice.h"
#include "driver/muxer/Zent_Mux_Orvel_MuxPacket.h"
#include "framework/HPDevice.h"
#include "framework/HPPropertyAddress.h"
#include "platform/AudioHardware.h"
#include "platform/CoreAudioTypes.h"
#include "platform/CoreFoundation.h"
#include "support/CACFMachPort.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class Stream;
class DataSourceControl;

// The driver's own device property: the unit needs a video reference.
enum : AudioDevicePropertyID { kDovekinRequiresVideo = FourCC("Dvrv") };

class OrvelDevice : public HPDevice {
public:
    // Stream codes.
    static constexpr UInt32 kStreamCodeSDI = FourCC("isdi");
    static constexpr UInt32 kStreamCodeAES = FourCC("iaes");
    static constexpr UInt32 kStreamCodeADAT = FourCC("iadt");
    static constexpr UInt32 kStreamCodeSPDIF = FourCC("ispd");
    static constexpr UInt32 kStreamCodeAnalog = FourCC("ialg");
    static constexpr UInt32 kStreamCodeOutput = FourCC("out ");

    // Buffer-size limits in frames: a packet carries at most 3840 frames.
    static constexpr UInt32 kMinimumIOBufferFrameSize = 1471;
    static constexpr UInt32 kMaximumIOBufferFrameSize = 3840;
    static constexpr UInt32 kLatencyFrames = 1600;
    static constexpr UInt32 kRateWindowMinimum = 150;

    // Notification thread of the muxer (unit arrival). Attaches to the muxer
    // as an audio client and adds the stop port's source to the host's run
    // loop. Neither pointer is owned.
    OrvelDevice(HPPlugIn* inPlugIn, Zent::Mux::Orvel::BaseMuxer* inMuxer, Zent::Mux::Orvel::FWDevice* inUnit,
                AudioDeviceID inDeviceID, bool inIsInput);
    // Completes a transfer still running (so that no packet reaches a
    // destroyed device), removes the run-loop source, detaches from the
    // muxer.
    ~OrvelDevice() override;

    // Builds the mute control, the streams, the data-source control (input)
    // and publishes one stream. May throw; the caller then tears down and
    // deletes the device.
    void Initialize() override;
    // Stops the transfer at once if it runs, unpublishes and deletes the
    // streams. Host thread or the muxer's notification thread; may block on
    // the IO guard.
    void Teardown() override;

    bool HasProperty(const HPPropertyAddress& inAddress) const override;
    bool PropertyIsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetPropertyDataSize(const HPPropertyAddress& inAddress) const override;
    void GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    void SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                         const AudioTimeStamp* inWhen) override;

    CFStringRef CopyDeviceName() const override;
    CFStringRef CopyDeviceManufacturerName() const override;
    CFStringRef CopyDeviceUID() const override;
    UInt32 GetTransportType() const override;

    // True unless the caller is the muxer's I/O thread.
    bool IsSafeToExecuteCommand(HPCommand* inCommand) override;
    // Takes the IO guard (may block); FinishCommandExecution frees it if
    // this bracket took it.
    bool StartCommandExecution() override;
    void FinishCommandExecution() override;

    // Runs inside command execution. 1471..3840 frames, else 'nope'.
    void SetIOBufferFrameSize(UInt32 inFrameSize) override;
    UInt32 GetMinimumIOBufferFrameSize() const override;
    UInt32 GetMaximumIOBufferFrameSize() const override;
    // 1600 frames both ways.
    UInt32 GetLatency(bool inIsInput) const override;
    // Always 'nope'.
    void Read(const AudioTimeStamp& inStartTime, AudioBufferList* outData) override;
    // Inside command execution (IO guard held); takes the settings lock.
    // 'nope' with no published stream, '!hog' when the muxer refuses the
    // audio; the engine then stays stopped.
    void StartEngine() override;
    // Inside command execution, possibly on the I/O thread: only posts the
    // stop message; the stop itself runs on the host run loop.
    void StopEngine() override;
    // Host threads and the I/O thread; no lock. 'stop' when not running.
    void GetCurrentTime(AudioTimeStamp& outTime) override;
    // 'nope' when inTime has neither sample nor host time.
    void TranslateTime(const AudioTimeStamp& inTime, AudioTimeStamp& outTime) override;
    Float64 GetActualSampleRate() const override;
    // Inside command execution: buffers and converters follow the change.
    void PhysicalFormatChanged(HPStream* inStream, const AudioStreamBasicDescription& inOldFormat,
                               const AudioStreamBasicDescription& inNewFormat) override;
    bool HogModeOwnedBySelfOrIsFree() override;

    // Publishes the stream of inCode (0: none) in place of the current one.
    // Runs while the device is built, in Teardown, or inside command
    // execution; while the engine runs the buffers follow the new stream.
    virtual void ResetStream(UInt32 inCode);
    // Sends this direction's source, word size and rate to the muxer and
    // restarts the transfer if the engine runs. Takes the settings lock.
    // Only 16/24 bits and 44100/48000/96000 Hz, else 'what' with nothing
    // sent.
    virtual void SetSettings(const AudioStreamBasicDescription& inFormat);
    // The muxer's I/O thread, once per packet (types 2 and 3 only).
    // Real-time: no allocation, no lock but the IO guard (and, only when
    // IOProcs queued commands, a try of the plug-in's registry lock that never
    // waits), no printing unless a debug word of the muxer asks. Every packet
    // of those types goes back to the muxer.
    virtual void DoIO(unsigned int inType, void* inPacket);
    // Host run loop, after StopEngine: stops the transfer, clears the
    // running state, frees the buffers. Takes the IO guard, then the
    // settings lock.
    virtual void ExecuteStopCallback();
    // Connect to and disconnect from the muxer's packet stream.
    virtual void StartDataTransfer();
    virtual void StopDataTransfer();

    // Trampolines registered with the muxer and the stop port.
    static void DoIOEntry(void* inRefCon, unsigned int inType, void* inPacket);
    static void ExecuteStopCallbackEntry(CFMachPortRef inPort, void* inMessage, CFIndex inSize, void* inInfo);

    bool IsInput() const { return mIsInput; }
    Zent::Mux::Orvel::BaseMuxer* GetMuxer() const { return mMuxer; }
    UInt32 GetInputSource() const { return mInputSource; }
    void SetInputSource(UInt32 inSourceCode) { mInputSource = inSourceCode; }
    UInt32 GetCurrentStreamCode() const { return mCurrentStreamCode; }
    Stream* GetCurrentStream() const { return mCurrentStream; }
    // The stream built for inCode, published or not; null if none.
    Stream* GetStreamForCode(UInt32 inCode) const;
    UInt32 GetNumberCreatedStreams() const { return UInt32(mStreams.size()); }
    const AudioStreamBasicDescription& GetSettingsFormat() const { return mSettingsFormat; }
    DataSourceControl* GetDataSourceControl() const;
    // Read by tests and diagnostics; written only by the I/O cycle and
    // engine start.
    Float64 GetMeasuredRate() const { return mMeasuredRate.load(std::memory_order_relaxed); }
    Float64 GetFramesProcessed() const { return mFramesProcessed; }
    SInt32 GetOutputSkipCounter() const { return mOutputSkipCounter; }
    UInt32 GetRateWindowSize() const { return mRateWindow.GetSize(); }
    bool IsDataTransferActive() const { return mDataTransferActive.load(std::memory_order_acquire); }
    bool IsSyncActive() const { return mSyncActive; }

    // Stream code, channel count and name for a muxer source code; unknown
    // codes give SDI.
    static UInt32 GetStreamCodeForSource(UInt32 inSourceCode);
    static CFStringRef GetStreamNameForCode(UInt32 inCode);

protected:
    // Holds the IO guard for a scope; frees it only if it took it.
    class IOGuardHolder {
    public:
        explicit IOGuardHolder(CAGuard& inGuard) : mGuard(inGuard), mTookLock(inGuard.Lock()) {}
        ~IOGuardHolder()
        {
            if (mTookLock) {
                mGuard.Unlock();
            }
        }
        IOGuardHolder(const IOGuardHolder&) = delete;
        IOGuardHolder& operator=(const IOGuardHolder&) = delete;

    private:
        CAGuard& mGuard;
        bool mTookLock;
    };

    // Engine pieces, with the IO guard held.
    void AllocateBuffers();
    void DeallocateBuffers();
    // The per-packet work, I/O thread, IO guard held, engine running.
    void PerformIO(void* inPacket, const AudioTimeStamp& inNow);

private:
    // ResetStream's two halves. PublishStream adds inStream (may be null)
    // to the device and the plug-in, tells the host and sends its format to
    // the unit; FollowStreamWhileRunning lays the buffers out anew for the
    // current stream while the engine runs.
    void PublishStream(Stream* inStream);
    void FollowStreamWhileRunning();
    // I/O thread, after the cycle, IO guard held: runs the commands IOProcs
    // queued if the plug-in's registry lock is free at once (a try, never a
    // wait), else leaves them for the next cycle.
    void RunQueuedCommands();
    void UpdateRateWindow(Zent::Mux::Orvel::MuxPacket& inPacket);
    void ReadInput(Zent::Mux::Orvel::MuxPacket& inPacket, AudioTimeStamp& outInputTime);
    void TakeSyncPattern();
    // False when the packet is skipped: the cycle then ends at once.
    bool PrepareOutput(Zent::Mux::Orvel::MuxPacket& inPacket, AudioTimeStamp& outOutputTime);
    void WriteOutput(Zent::Mux::Orvel::MuxPacket& inPacket);
    void DumpPacket(const Zent::Mux::Orvel::MuxPacket& inPacket, UInt32 inFrames, UInt32 inSourceBytes,
                    bool inPrintedCount) const;
    // Takes the IO guard for a packet unless the transfer is being shut
    // down; never blocks on a holder that is stopping the transfer. False
    // when the packet must go back unprocessed.
    bool LockIOGuardForPacket(bool& outTookLock);
    // Stops a transfer still connected and the running state, at once, with
    // the IO guard held (Teardown, destruction).
    void StopEverythingNow();
    // Host time delta (inHostTime - anchor) as a signed double.
    Float64 HostTimeSinceAnchor(UInt64 inHostTime) const;
    static void FreeBufferList(AudioBufferList*& ioList);
    static AudioBufferList* CreateBufferList(UInt32 inNumberBuffers);

    CFStringRef mDeviceName;
    CFStringRef mManufacturerName;
    CFStringRef mDeviceUID;  // owned
    AudioConverterHolder mDataConverter;
    AudioStreamBasicDescription mSettingsFormat;
    bool mIsInput;
    bool mCommandLockHeld;
    IOGuard mIOGuard;
    AudioTimeStamp mAnchorTime;
    Float64 mFramesProcessed;
    AudioBufferList* mInputBufferList;
    AudioBufferList* mOutputBufferList;
    AudioBufferList* mOutputMixBufferList;
    HPPropertyAddress* mIsRunningAddress;
    std::atomic<Float64> mMeasuredRate;
    UInt64 mWindowSampleTotal;
    RateWindow mRateWindow;
    UInt32 mRateWindowMinimum;
    std::map<UInt32, Stream*> mStreams;  // owned
    UInt32 mCurrentStreamCode;
    Stream* mCurrentStream;
    SInt32 mOutputSkipCounter;
    Zent::Mux::Orvel::BaseMuxer* mMuxer;  // not owned
    UInt32 mAudioClient;
    Zent::Mux::Orvel::FWDevice* mUnit;  // not owned
    UInt32 mInputSource;
    CACFMachPort mStopPort;
    AudioStreamBasicDescription mPhysicalFormat;
    AudioStreamBasicDescription mVirtualFormat;
    bool mSyncActive;
    void* mSyncBuffer;
    UInt32 mSyncBufferSize;
    UInt32 mSyncReadOffset;
    UInt32 mSyncRepeatCount;
    AudioConverterHolder mSyncConverter;
    Zent::PTA::Synchronizable mSettingsLock;
    // Whether the muxer may call DoIO: set by StartDataTransfer, cleared by
    // StopDataTransfer.
    std::atomic<bool> mDataTransferActive;
    // Set while StopDataTransfer runs: a packet then waiting for the IO
    // guard goes straight back to the muxer instead.
    std::atomic<bool> mDataTransferClosing;
    bool mRunLoopSourceAdded;
    // Command brackets opened by the guard's holder inside its own bracket.
    UInt32 mCommandNestingDepth;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
