// OrvelDevice: the work done for every packet (PerformIO) on the muxer's
// I/O thread with the IO guard held: the rate window, the input and sync
// pattern path, the output path with its skip counter, the IOProc calls.
//
// Real-time: nothing here allocates in steady state (the rate window is a
// fixed ring; only a sync pattern of a new size reallocates the sync
// buffer), no lock is taken, and nothing is printed unless one of the
// muxer's debug words asks.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/OrvelDevice.h"
#include "driver/WriteRamp.h"
#include "support/CAAudioBufferList.h"
#include "support/CAAudioTimeStamp.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

namespace {

constexpr UInt32 kUnitChannels = 8;
constexpr UInt32 kSyncPatternBytesPerFrame = 32;
constexpr UInt64 kNanosPerSecond = 1000000000ULL;
constexpr UInt32 kAllTimesValid = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid |
                                  kAudioTimeStampRateScalarValid;

}  // namespace

void OrvelDevice::PerformIO(void* inPacket, const AudioTimeStamp& inNow)
{
    using Zent::Mux::Orvel::MuxPacket;
    if (inPacket == nullptr) {
        if (mIsInput) {
            std::printf("shouldn't be waiting on queue, what's going on?");
        } else if (mMuxer->verboseWarnings != 0) {
            std::printf("no free audio frames!\n");
        }
        return;
    }
    MuxPacket& thePacket = *static_cast<MuxPacket*>(inPacket);
    const UInt32 theFrames = thePacket.GetHeader()->GetFrameCount();

    UpdateRateWindow(thePacket);

    // Without a published stream there are no buffers: the device only
    // keeps its time line going.
    const bool haveBuffers = mIsInput ? (mInputBufferList != nullptr && !mDataConverter.IsEmpty())
                                      : (mOutputBufferList != nullptr && !mDataConverter.IsEmpty());
    if (!haveBuffers || (theFrames > kMaximumIOBufferFrameSize)) {
        mFramesProcessed += theFrames;
        return;
    }

    AudioTimeStamp theInputTime = CAAudioTimeStamp::kZero;
    AudioTimeStamp theOutputTime = CAAudioTimeStamp::kZero;
    if (mIsInput) {
        ReadInput(thePacket, theInputTime);
    } else if (!PrepareOutput(thePacket, theOutputTime)) {
        return;
    }

    for (const auto& theEntry : GetIOProcMap()) {
        const HPIOProcInfo& theInfo = theEntry.second;
        if (!theInfo.mIsStarted) {
            continue;
        }
        if (!mIsInput) {
            CAAudioBufferList::Clear(*mOutputBufferList);
        }
        theInfo.mIOProc(GetObjectID(), &inNow, mIsInput ? mInputBufferList : nullptr, &theInputTime,
                        mIsInput ? nullptr : mOutputBufferList, &theOutputTime, theInfo.mClientData);
        if (!mIsInput) {
            CAAudioBufferList::Sum(*mOutputBufferList, *mOutputMixBufferList);
        }
    }

    if (!mIsInput) {
        WriteOutput(thePacket);
    }
    mFramesProcessed += theFrames;
}

void OrvelDevice::UpdateRateWindow(Zent::Mux::Orvel::MuxPacket& inPacket)
{
    RateRecord theRecord;
    theRecord.mTime = inPacket.GetTimeInNanos();
    theRecord.mCount = inPacket.GetHeader()->GetFrameCount();
    theRecord.mStamped = inPacket.GetHeader()->HasTime() ? 1 : 0;
    const bool wasFull = mRateWindow.IsFull();
    mWindowSampleTotal -= mRateWindow.PushBack(theRecord);
    mWindowSampleTotal += theRecord.mCount;
    if (wasFull) {
        // The ring dropped its oldest record to make room: the window must
        // still begin at a stamped packet.
        while ((mRateWindow.GetSize() > 1) && (mRateWindow.Front().mStamped == 0)) {
            mWindowSampleTotal -= mRateWindow.Front().mCount;
            mRateWindow.PopFront();
        }
    }

    if ((theRecord.mStamped == 0) || (mRateWindow.GetSize() < mRateWindowMinimum)) {
        return;
    }
    const RateRecord& theOldest = mRateWindow.Front();
    if (theOldest.mStamped != 0) {
        const UInt64 theSamples = mWindowSampleTotal - theRecord.mCount;
        // A time that does not advance would give an absurd rate (or a
        // division by zero): the last measurement stands.
        if (theOldest.mTime < theRecord.mTime) {
            const UInt64 theElapsed = theRecord.mTime - theOldest.mTime;
            const Float64 theRate = Float64(theSamples * kNanosPerSecond) / Float64(theElapsed);
            mMeasuredRate.store(theRate, std::memory_order_relaxed);
            if (mMuxer->printSampleRate != 0) {
                std::printf("sample rate is %f on %lli samples, duration = %lli, start %lli, end %lli\n", theRate,
                            static_cast<long long>(theSamples), static_cast<long long>(theElapsed / 1000000),
                            static_cast<long long>(theOldest.mTime / 1000000),
                            static_cast<long long>(theRecord.mTime / 1000000));
            }
        }
    }
    mWindowSampleTotal -= mRateWindow.Front().mCount;
    mRateWindow.PopFront();
    while (!mRateWindow.IsEmpty() && (mRateWindow.Front().mStamped == 0)) {
        mWindowSampleTotal -= mRateWindow.Front().mCount;
        mRateWindow.PopFront();
    }
}

void OrvelDevice::ReadInput(Zent::Mux::Orvel::MuxPacket& inPacket, AudioTimeStamp& outInputTime)
{
    CAAudioBufferList::Clear(*mInputBufferList);
    const UInt32 theFrames = inPacket.GetHeader()->GetFrameCount();
    const UInt32 theVirtualBytes =
        theFrames * mVirtualFormat.mChannelsPerFrame * mVirtualFormat.mBitsPerChannel / 8;
    AudioBuffer& theBuffer = mInputBufferList->mBuffers[0];
    theBuffer.mDataByteSize = theVirtualBytes;
    const UInt32 theSourceBytes = theFrames * kUnitChannels * mPhysicalFormat.mBitsPerChannel / 8;

    bool printedCount = false;
    if (mMuxer->printPacketInfo != 0) {
        std::printf("channels per frame %d, bitsperchannel %d\n", int(mPhysicalFormat.mChannelsPerFrame),
                    int(mPhysicalFormat.mBitsPerChannel));
        std::printf("timestamp %d\n", int(inPacket.GetHeader()->GetDebugTimeStamp()));
        std::printf("samplecount %d, srcsize %d\n", int(theFrames), int(theSourceBytes));
        printedCount = true;
    }
    if (mMuxer->dumpFrameCount != -1) {
        DumpPacket(inPacket, theFrames, theSourceBytes, printedCount);
    }

    TakeSyncPattern();

    if (mSyncActive && (!inPacket.IsMarked() || (mSyncRepeatCount == 0))) {
        if (inPacket.IsMarked()) {
            ++mSyncRepeatCount;
        }
        UInt32 theCopied = 0;
        char* theDestination = static_cast<char*>(theBuffer.mData);
        const char* theSource = static_cast<const char*>(mSyncBuffer);
        while ((theCopied < theVirtualBytes) && (mSyncBufferSize != 0)) {
            UInt32 thePiece = mSyncBufferSize - mSyncReadOffset;
            if (thePiece > theVirtualBytes - theCopied) {
                thePiece = theVirtualBytes - theCopied;
            }
            std::memcpy(theDestination + theCopied, theSource + mSyncReadOffset, thePiece);
            theCopied += thePiece;
            mSyncReadOffset += thePiece;
            if (mSyncReadOffset >= mSyncBufferSize) {
                mSyncReadOffset = 0;
            }
        }
    } else {
        mSyncActive = false;
        UInt32 theOutputSize = theVirtualBytes;
        mDataConverter.Convert(theSourceBytes, inPacket.GetSampleData(), theOutputSize, theBuffer.mData);
    }

    // The packet's first frame sits at the frames handed through before it,
    // so successive input times advance by exactly each packet's frame
    // count (the unit's cadence varies the count from packet to packet).
    AudioTimeStamp theTime = mAnchorTime;
    theTime.mFlags = kAudioTimeStampSampleTimeValid;
    theTime.mSampleTime = mAnchorTime.mSampleTime + mFramesProcessed - GetSafetyOffset(true);
    outInputTime = CAAudioTimeStamp::kZero;
    outInputTime.mFlags = kAllTimesValid;
    TranslateTime(theTime, outInputTime);
}

void OrvelDevice::TakeSyncPattern()
{
    if (!mMuxer->HasInputSyncPattern()) {
        return;
    }
    UInt32 theCount = 0;
    const void* theFrames = nullptr;
    mMuxer->GetInputSyncPattern(theCount, theFrames);
    if ((theCount == 0) || (theFrames == nullptr)) {
        return;
    }
    const UInt32 theBytesPerFrame = mVirtualFormat.mBytesPerFrame;
    if ((theBytesPerFrame == 0) || (mSyncBufferSize / theBytesPerFrame != theCount)) {
        if (mMuxer->verboseWarnings != 0) {
            std::printf("#warning, count > inputsyncpatternsize_/32. forced to re-allocate memory at real-time "
                        "priority\n");
        }
        void* theNewBuffer = std::malloc(size_t(theCount) * theBytesPerFrame);
        if (theNewBuffer == nullptr) {
            // Keep the old buffer; the pattern is dropped.
            mSyncActive = false;
            return;
        }
        std::free(mSyncBuffer);
        mSyncBuffer = theNewBuffer;
        mSyncBufferSize = theCount * theBytesPerFrame;
    }
    mSyncActive = true;
    mSyncReadOffset = 0;
    mSyncRepeatCount = 0;
    UInt32 theOutputSize = mSyncBufferSize;
    OSStatus theError =
        mSyncConverter.Convert(theCount * kSyncPatternBytesPerFrame, theFrames, theOutputSize, mSyncBuffer);
    if ((theError != 0) && (mMuxer->verboseWarnings != 0)) {
        std::printf("#error attempting to convert sync pattern got OSStatus %x\n", unsigned(theError));
    }
}

void OrvelDevice::DumpPacket(const Zent::Mux::Orvel::MuxPacket& inPacket, UInt32 inFrames, UInt32 inSourceBytes,
                             bool inPrintedCount) const
{
    if (!inPrintedCount) {
        std::printf("samplecount %d, srcsize %d\n", int(inFrames), int(inSourceBytes));
    }
    const UInt32 theSampleBytes = mPhysicalFormat.mBitsPerChannel / 8;
    const SInt32 theDumpFrames = mMuxer->dumpFrameCount.load(std::memory_order_relaxed);
    UInt32 theBytes = UInt32(theDumpFrames) * kUnitChannels * theSampleBytes;
    if ((theDumpFrames < 0) || (theBytes > inSourceBytes)) {
        theBytes = inSourceBytes;
    }
    const unsigned char* theData = static_cast<const unsigned char*>(inPacket.GetSampleData());
    for (UInt32 theIndex = 0; (theData != nullptr) && (theIndex < theBytes); ++theIndex) {
        std::printf("%02x", theData[theIndex]);
        if ((theSampleBytes != 0) && ((theIndex + 1) % theSampleBytes == 0)) {
            std::printf(" ");
            if (((theIndex + 1) / theSampleBytes) % 16 == 0) {
                std::printf("\n");
            }
        }
    }
    std::printf("\n");
}

bool OrvelDevice::PrepareOutput(Zent::Mux::Orvel::MuxPacket& inPacket, AudioTimeStamp& outOutputTime)
{
    CAAudioBufferList::Clear(*mOutputMixBufferList);
    const UInt32 theFrames = inPacket.GetHeader()->GetFrameCount();
    const UInt32 theSampleBytes = mPhysicalFormat.mBitsPerChannel / 8;

    const SInt32 theSkipCount = SInt32(mMuxer->GetOutputSkipCount());
    if ((mOutputSkipCounter < theSkipCount) && !inPacket.IsMarked()) {
        ++mOutputSkipCounter;
        if (mMuxer->writeTestRamp != 0) {
            WriteRamp(static_cast<char*>(inPacket.GetSampleData()), theFrames, theSampleBytes, kUnitChannels);
        }
        return false;
    }
    mOutputSkipCounter = SInt32(mMuxer->GetOutputSkipCount()) + 1;

    const UInt32 theVirtualBytes =
        theFrames * mVirtualFormat.mChannelsPerFrame * mVirtualFormat.mBitsPerChannel / 8;
    mOutputBufferList->mBuffers[0].mDataByteSize = theVirtualBytes;
    mOutputMixBufferList->mBuffers[0].mDataByteSize = theVirtualBytes;

    AudioTimeStamp theTime = mAnchorTime;
    theTime.mFlags = kAudioTimeStampSampleTimeValid;
    theTime.mSampleTime = mAnchorTime.mSampleTime + mFramesProcessed + GetSafetyOffset(false);
    outOutputTime = CAAudioTimeStamp::kZero;
    outOutputTime.mFlags = kAllTimesValid;
    TranslateTime(theTime, outOutputTime);
    return true;
}

void OrvelDevice::WriteOutput(Zent::Mux::Orvel::MuxPacket& inPacket)
{
    const UInt32 theFrames = inPacket.GetHeader()->GetFrameCount();
    const UInt32 theSampleBytes = mPhysicalFormat.mBitsPerChannel / 8;
    const AudioBuffer& theMix = mOutputMixBufferList->mBuffers[0];
    UInt32 theOutputSize = theFrames * kUnitChannels * theSampleBytes;
    mDataConverter.Convert(theMix.mDataByteSize, theMix.mData, theOutputSize, inPacket.GetSampleData());
    if (mMuxer->writeTestRamp != 0) {
        WriteRamp(static_cast<char*>(inPacket.GetSampleData()), theFrames, theSampleBytes, kUnitChannels);
    }
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
