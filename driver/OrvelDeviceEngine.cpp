// OrvelDevice: buffers and converters, engine start and stop, the
// connection to the muxer's packet stream, the packet entry DoIO and the
// deferred stop on the host run loop.
#include <sched.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "driver/OrvelDevice.h"
#include "driver/PlugIn.h"
#include "driver/Stream.h"
#include "framework/HPStream.h"
#include "platform/Mach.h"
#include "support/CAAudioBufferList.h"
#include "support/CAAudioTimeStamp.h"
#include "support/CAException.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

namespace {

// Buffers hold the largest packet the unit sends.
constexpr UInt32 kMaximumPacketFrames = OrvelDevice::kMaximumIOBufferFrameSize;
constexpr UInt32 kUnitChannels = 8;
constexpr UInt32 kSyncPatternBytesPerFrame = 32;
// The initial sync buffer holds this many frames.
constexpr UInt32 kInitialSyncFrames = 4;

// The unit's packets always carry 8 interleaved channels, whatever the
// stream's channel count.
void ForceUnitChannels(AudioStreamBasicDescription& ioFormat)
{
    ioFormat.mChannelsPerFrame = kUnitChannels;
    ioFormat.mBytesPerFrame = ioFormat.mBitsPerChannel / 8 * kUnitChannels;
    ioFormat.mBytesPerPacket = ioFormat.mFramesPerPacket * ioFormat.mBytesPerFrame;
}

}  // namespace

// Buffers

AudioBufferList* OrvelDevice::CreateBufferList(UInt32 inNumberBuffers)
{
    AudioBufferList* theList = CAAudioBufferList::Create(inNumberBuffers);
    if (theList == nullptr) {
        CAThrowWithMessage("OrvelDevice::AllocateBuffers: out of memory", kAudioHardwareUnspecifiedError);
    }
    return theList;
}

void OrvelDevice::FreeBufferList(AudioBufferList*& ioList)
{
    if (ioList == nullptr) {
        return;
    }
    for (UInt32 theIndex = 0; theIndex < ioList->mNumberBuffers; ++theIndex) {
        std::free(ioList->mBuffers[theIndex].mData);
        ioList->mBuffers[theIndex].mData = nullptr;
    }
    CAAudioBufferList::Destroy(ioList);
    ioList = nullptr;
}

void OrvelDevice::AllocateBuffers()
{
    AudioBufferList*& theFirstList = mIsInput ? mInputBufferList : mOutputBufferList;
    if (theFirstList != nullptr) {
        return;
    }
    const UInt32 theNumberStreams = GetNumberStreams(mIsInput);
    if (theNumberStreams == 0) {
        // Nothing published: nothing to carry (the cycle skips the device).
        return;
    }

    const UInt32 theNumberLists = mIsInput ? 1 : 2;
    AudioBufferList** theLists[2] = {&theFirstList, &mOutputMixBufferList};
    HPStream* theLastStream = nullptr;
    for (UInt32 theListIndex = 0; theListIndex < theNumberLists; ++theListIndex) {
        AudioBufferList* theList = CreateBufferList(theNumberStreams);
        *theLists[theListIndex] = theList;
        for (UInt32 theIndex = 0; theIndex < theNumberStreams; ++theIndex) {
            HPStream* theStream = GetStreamByIndex(mIsInput, theIndex);
            AudioBuffer& theBuffer = theList->mBuffers[theIndex];
            theBuffer.mNumberChannels = theStream->GetCurrentNumberChannels();
            theBuffer.mDataByteSize = theStream->GetCurrentVirtualBytesPerFrame() * kMaximumPacketFrames;
            theBuffer.mData = std::calloc(1, theBuffer.mDataByteSize);
            if (theBuffer.mData == nullptr) {
                CAThrowWithMessage("OrvelDevice::AllocateBuffers: out of memory", kAudioHardwareUnspecifiedError);
            }
            theLastStream = theStream;
        }
    }

    theLastStream->GetCurrentVirtualFormat(mVirtualFormat);
    theLastStream->GetCurrentPhysicalFormat(mPhysicalFormat);
    ForceUnitChannels(mPhysicalFormat);

    if (mIsInput) {
        mDataConverter.Set(&mPhysicalFormat, &mVirtualFormat);
        AudioStreamBasicDescription theSyncFormat{};
        theSyncFormat.mSampleRate = mVirtualFormat.mSampleRate;
        theSyncFormat.mFormatID = kAudioFormatLinearPCM;
        theSyncFormat.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian;
        theSyncFormat.mBytesPerPacket = kSyncPatternBytesPerFrame;
        theSyncFormat.mFramesPerPacket = 1;
        theSyncFormat.mBytesPerFrame = kSyncPatternBytesPerFrame;
        theSyncFormat.mChannelsPerFrame = kUnitChannels;
        theSyncFormat.mBitsPerChannel = 32;
        mSyncConverter.Set(&theSyncFormat, &mVirtualFormat);

        mSyncBufferSize = mVirtualFormat.mBytesPerFrame * kInitialSyncFrames;
        mSyncBuffer = std::calloc(1, mSyncBufferSize);
        if (mSyncBuffer == nullptr) {
            mSyncBufferSize = 0;
        }
        mSyncActive = false;
        mSyncReadOffset = 0;
        mSyncRepeatCount = 0;
    } else {
        mDataConverter.Set(&mVirtualFormat, &mPhysicalFormat);
    }
}

void OrvelDevice::DeallocateBuffers()
{
    if (mIsInput) {
        std::free(mSyncBuffer);
        mSyncBuffer = nullptr;
        mSyncBufferSize = 0;
        mSyncActive = false;
    }
    FreeBufferList(mInputBufferList);
    FreeBufferList(mOutputBufferList);
    FreeBufferList(mOutputMixBufferList);
}

// Engine

void OrvelDevice::StartEngine()
{
    Zent::PTA::Synchronizable::Locker theSettingsLocker(mSettingsLock);
    if (IsEngineRunning()) {
        return;
    }
    if (mCurrentStream == nullptr) {
        CAThrowWithMessage("OrvelDevice::StartEngine: the device publishes no stream",
                           kAudioHardwareIllegalOperationError);
    }
    AllocateBuffers();
    StartDataTransfer();

    IOGuardHolder theGuard(mIOGuard);
    HPDevice::StartEngine();
    mIOGuard.NotifyAll();
    delete mIsRunningAddress;
    mIsRunningAddress = new HPPropertyAddress(kAudioDevicePropertyDeviceIsRunning, 0, mIsInput ? 1 : 0);
    PropertyChanged(*mIsRunningAddress);
    ClearAllCommands();
    mAnchorTime = CAAudioTimeStamp::kZero;
    mAnchorTime.mHostTime = AudioGetCurrentHostTime();
    mFramesProcessed = 0.0;
}

void OrvelDevice::StopEngine()
{
    Zent::PTA::Synchronizable::Locker theSettingsLocker(mSettingsLock);
    if (!IsEngineRunning()) {
        return;
    }
    // The stop itself runs on the host run loop (ExecuteStopCallback): it
    // removes the I/O callback, which must not happen from inside it.
    mach_msg_header_t theMessage;
    theMessage.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
    theMessage.msgh_size = sizeof(mach_msg_header_t);
    theMessage.msgh_remote_port = mStopPort.GetMachPort();
    theMessage.msgh_local_port = MACH_PORT_NULL;
    theMessage.msgh_voucher_port = 0;
    theMessage.msgh_id = 0;
    mach_msg(&theMessage, MACH_SEND_MSG, sizeof(mach_msg_header_t), 0, MACH_PORT_NULL, MACH_MSG_TIMEOUT_NONE,
             MACH_PORT_NULL);
}

void OrvelDevice::ExecuteStopCallbackEntry(CFMachPortRef, void*, CFIndex, void* inInfo)
{
    try {
        static_cast<OrvelDevice*>(inInfo)->ExecuteStopCallback();
    } catch (...) {
        std::fprintf(stderr, "OrvelDevice::ExecuteStopCallback: stopping the engine failed\n");
    }
}

void OrvelDevice::ExecuteStopCallback()
{
    IOGuardHolder theGuard(mIOGuard);
    Zent::PTA::Synchronizable::Locker theSettingsLocker(mSettingsLock);
    if (!IsEngineRunning()) {
        return;
    }
    // Started again while the message travelled: the engine stays on.
    if ((GetNumberStartedIOProcs() != 0) || (GetHostStartCount() != 0)) {
        return;
    }
    StopDataTransfer();
    HPDevice::StopEngine();
    mIOGuard.NotifyAll();
    if (mIsRunningAddress != nullptr) {
        PropertyChanged(*mIsRunningAddress);
    }
    DeallocateBuffers();
    delete mIsRunningAddress;
    mIsRunningAddress = nullptr;
}

void OrvelDevice::StopEverythingNow()
{
    if (mDataTransferActive.load(std::memory_order_acquire)) {
        StopDataTransfer();
    }
    if (IsEngineRunning()) {
        HPDevice::StopEngine();
        mIOGuard.NotifyAll();
    }
    DeallocateBuffers();
    delete mIsRunningAddress;
    mIsRunningAddress = nullptr;
}

// Data transfer

void OrvelDevice::StartDataTransfer()
{
    if (!mMuxer->AcquireAudio(mAudioClient, mIsInput)) {
        throw OSStatus(kAudioDevicePermissionsError);
    }
    mOutputSkipCounter = 0;
    mWindowSampleTotal = 0;
    mMeasuredRate.store(GetNominalSampleRate(), std::memory_order_relaxed);
    mRateWindow.Clear();
    mMuxer->ArmAudio(mAudioClient, 1);
    mDataTransferActive.store(true, std::memory_order_release);
    mMuxer->SetIOCallback(mAudioClient, &OrvelDevice::DoIOEntry, this);
    mMuxer->StartAudio(mAudioClient);
}

void OrvelDevice::StopDataTransfer()
{
    // The muxer waits for a packet in flight; that packet must not wait for
    // the IO guard this thread may hold.
    mDataTransferClosing.store(true, std::memory_order_release);
    mMuxer->StopAudio(mAudioClient);
    mMuxer->ClearIOCallback(mAudioClient);
    mMuxer->ReleaseAudio(mAudioClient);
    mDataTransferActive.store(false, std::memory_order_release);
    mDataTransferClosing.store(false, std::memory_order_release);
}

// Packets

void OrvelDevice::DoIOEntry(void* inRefCon, unsigned int inType, void* inPacket)
{
    static_cast<OrvelDevice*>(inRefCon)->DoIO(inType, inPacket);
}

bool OrvelDevice::LockIOGuardForPacket(bool& outTookLock)
{
    constexpr UInt32 kYieldingTries = 64;
    for (UInt32 theTry = 0;; ++theTry) {
        if (mIOGuard.TryLockNow(outTookLock)) {
            return true;
        }
        if (mDataTransferClosing.load(std::memory_order_acquire)) {
            return false;
        }
        // The holder is running a command or an engine change, which is
        // short; yield first, then back off.
        if (theTry < kYieldingTries) {
            sched_yield();
        } else {
            const timespec theDelay = {0, 20000};
            nanosleep(&theDelay, nullptr);
        }
    }
}

void OrvelDevice::RunQueuedCommands()
{
    if (GetNumberQueuedCommands() == 0) {
        return;
    }
    // Queued commands change what host calls read, so they run only while
    // no host call is inside the plug-in; if one is, they wait for the next
    // cycle rather than have this thread wait.
    PlugIn* thePlugIn = dynamic_cast<PlugIn*>(GetPlugIn());
    if (thePlugIn == nullptr) {
        ExecuteAllCommands();
        return;
    }
    if (thePlugIn->TryLockForQueuedCommands()) {
        ExecuteAllCommands();
        thePlugIn->UnlockAfterQueuedCommands();
    }
}

void OrvelDevice::DoIO(unsigned int inType, void* inPacket)
{
    if (!Zent::Mux::Orvel::IsPacketIOType(inType)) {
        return;
    }
    bool theTookLock = false;
    if (LockIOGuardForPacket(theTookLock)) {
        try {
            if (IsEngineRunning()) {
                AudioTimeStamp theNow;
                GetCurrentTime(theNow);
                PerformIO(inPacket, theNow);
            }
            RunQueuedCommands();
        } catch (...) {
            std::printf("DoIO threw!\n");
        }
        if (theTookLock) {
            mIOGuard.Unlock();
        }
    }
    if (inPacket != nullptr) {
        mMuxer->ReleasePacket(static_cast<Zent::Mux::Orvel::MuxPacket*>(inPacket));
    }
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
