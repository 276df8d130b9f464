#include "tools/IOProcTransfer.h"

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/AudioHardwareHost.h"
#include "tools/KestroSession.h"
#include "tools/Meter.h"
#include "tools/ToolError.h"

IOProcTransfer::IOProcTransfer(AudioDeviceID inDevice, bool inIsInput, UInt32 inChannels, UInt64 inFrames)
    : mDevice(inDevice), mIsInput(inIsInput), mChannels(inChannels), mFramesWanted(inFrames)
{
    for (auto& peak : mPeaks) {
        peak.store(0.0f, std::memory_order_relaxed);
    }
}

IOProcTransfer IOProcTransfer::ForOutput(AudioDeviceID inDevice, const std::vector<float>* inSamples,
                                         UInt32 inChannels)
{
    IOProcTransfer transfer(inDevice, false, inChannels, inSamples->size() / inChannels);
    transfer.mSource = inSamples;
    return transfer;
}

IOProcTransfer IOProcTransfer::ForInput(AudioDeviceID inDevice, UInt64 inFrames, UInt32 inChannels,
                                        bool inStartAtSound)
{
    IOProcTransfer transfer(inDevice, true, inChannels, inFrames);
    transfer.mStartAtSound = inStartAtSound;
    transfer.mRecording.assign(inFrames * inChannels, 0.0f);
    return transfer;
}

IOProcTransfer::IOProcTransfer(IOProcTransfer&& inOther) noexcept
    : mDevice(inOther.mDevice), mIsInput(inOther.mIsInput), mChannels(inOther.mChannels),
      mFramesWanted(inOther.mFramesWanted), mSource(inOther.mSource), mRecording(std::move(inOther.mRecording)),
      mStartAtSound(inOther.mStartAtSound)
{
    // Only a transfer that hasn't started is moved: the IOProc holds its address.
    for (auto& peak : mPeaks) {
        peak.store(0.0f, std::memory_order_relaxed);
    }
}

IOProcTransfer::~IOProcTransfer()
{
    if (mStarted) {
        AudioDeviceStop(mDevice, &IOProcTransfer::IOProc);
    }
    if (mAdded) {
        AudioDeviceRemoveIOProc(mDevice, &IOProcTransfer::IOProc);
    }
}

void IOProcTransfer::Start()
{
    std::string device = KestroSession::GetDeviceName(mDevice);
    ToolError::Check(AudioDeviceAddIOProc(mDevice, &IOProcTransfer::IOProc, this),
                     "couldn't add an IOProc to " + device);
    mAdded = true;
    ToolError::Check(AudioDeviceStart(mDevice, &IOProcTransfer::IOProc), "couldn't start " + device);
    mStarted = true;
}

void IOProcTransfer::Stop()
{
    std::string device = KestroSession::GetDeviceName(mDevice);
    if (mStarted) {
        mStarted = false;
        ToolError::Check(AudioDeviceStop(mDevice, &IOProcTransfer::IOProc), "couldn't stop " + device);
    }
    if (mAdded) {
        mAdded = false;
        ToolError::Check(AudioDeviceRemoveIOProc(mDevice, &IOProcTransfer::IOProc),
                         "couldn't remove the IOProc of " + device);
    }
}

std::vector<float> IOProcTransfer::TakePeaks()
{
    std::vector<float> peaks(mChannels);
    for (UInt32 c = 0; c < mChannels && c < kMaxChannels; ++c) {
        peaks[c] = mPeaks[c].exchange(0.0f, std::memory_order_relaxed);
    }
    return peaks;
}

// The device's I/O thread: no allocation, no locks.
OSStatus IOProcTransfer::IOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList* inInputData,
                                const AudioTimeStamp*, AudioBufferList* outOutputData, const AudioTimeStamp*,
                                void* inClientData)
{
    auto* self = static_cast<IOProcTransfer*>(inClientData);
    self->mCycles.fetch_add(1, std::memory_order_relaxed);
    if (self->mIsInput) {
        if (inInputData != nullptr) {
            self->Record(inInputData);
        }
    } else if (outOutputData != nullptr) {
        self->Play(outOutputData);
    }
    return 0;
}

void IOProcTransfer::NotePeak(unsigned inChannel, float inSample)
{
    if (inChannel >= kMaxChannels) {
        return;
    }
    float magnitude = std::fabs(inSample);
    float current = mPeaks[inChannel].load(std::memory_order_relaxed);
    if (magnitude > current) {
        mPeaks[inChannel].store(magnitude, std::memory_order_relaxed);
    }
}

void IOProcTransfer::Play(AudioBufferList* ioData)
{
    UInt64 position = mFramesDone.load(std::memory_order_relaxed);
    UInt64 frames = 0;
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
        AudioBuffer& buffer = ioData->mBuffers[b];
        if (buffer.mData == nullptr || buffer.mNumberChannels == 0) {
            continue;
        }
        auto* out = static_cast<float*>(buffer.mData);
        UInt32 deviceChannels = buffer.mNumberChannels;
        UInt64 bufferFrames = buffer.mDataByteSize / (sizeof(float) * deviceChannels);
        frames = std::max(frames, bufferFrames);
        // Only the first buffer carries the file; any other stays silent.
        if (b != 0) {
            std::memset(out, 0, buffer.mDataByteSize);
            continue;
        }
        for (UInt64 f = 0; f < bufferFrames; ++f) {
            UInt64 source = position + f;
            for (UInt32 c = 0; c < deviceChannels; ++c) {
                float sample = 0.0f;
                if (source < mFramesWanted && c < mChannels) {
                    sample = (*mSource)[source * mChannels + c];
                    NotePeak(c, sample);
                }
                out[f * deviceChannels + c] = sample;
            }
        }
    }
    mFramesDone.store(position + frames, std::memory_order_release);
}

void IOProcTransfer::Record(const AudioBufferList* inData)
{
    UInt64 position = mFramesDone.load(std::memory_order_relaxed);
    if (inData->mNumberBuffers == 0 || position >= mFramesWanted) {
        return;
    }
    const AudioBuffer& buffer = inData->mBuffers[0];
    if (buffer.mData == nullptr || buffer.mNumberChannels == 0) {
        return;
    }
    const auto* in = static_cast<const float*>(buffer.mData);
    UInt32 deviceChannels = buffer.mNumberChannels;
    UInt64 bufferFrames = buffer.mDataByteSize / (sizeof(float) * deviceChannels);
    UInt64 first = 0;
    if (mStartAtSound && !mHeardSound) {
        UInt32 kept = std::min(mChannels, deviceChannels);
        while (first < bufferFrames && !mHeardSound) {
            for (UInt32 c = 0; c < kept; ++c) {
                mHeardSound = mHeardSound || in[first * deviceChannels + c] != 0.0f;
            }
            if (!mHeardSound) {
                ++first;
            }
        }
        mSkipped.fetch_add(first, std::memory_order_release);
    }
    UInt64 frames = std::min(bufferFrames - first, mFramesWanted - position);
    in += first * deviceChannels;
    for (UInt64 f = 0; f < frames; ++f) {
        for (UInt32 c = 0; c < mChannels; ++c) {
            float sample = c < deviceChannels ? in[f * deviceChannels + c] : 0.0f;
            mRecording[(position + f) * mChannels + c] = sample;
            NotePeak(c, sample);
        }
    }
    mFramesDone.store(position + frames, std::memory_order_release);
}

void IOProcTransfer::WaitUntilDone(const std::vector<IOProcTransfer*>& inTransfers, Meter* inMeter,
                                   IOProcTransfer* inMetered, double inSampleRate,
                                   const std::function<bool()>& inAlsoDone)
{
    using Clock = std::chrono::steady_clock;
    // Progress of the transfers still going (a player keeps counting the
    // silence it plays after its end).
    auto progress = [&] {
        UInt64 total = 0;
        for (IOProcTransfer* transfer : inTransfers) {
            total += transfer->IsDone() ? 0 : transfer->GetFramesDone() + transfer->GetSkippedFrames();
        }
        return total;
    };
    UInt64 lastProgress = progress();
    Clock::time_point lastMove = Clock::now();
    while (true) {
        bool done = true;
        for (IOProcTransfer* transfer : inTransfers) {
            done = done && transfer->IsDone();
        }
        if (done && inAlsoDone) {
            done = inAlsoDone();
        }
        if (inMeter != nullptr && inMetered != nullptr) {
            double seconds = double(std::min(inMetered->GetFramesDone(), inMetered->GetFramesWanted())) / inSampleRate;
            inMeter->Update(seconds, inMetered->TakePeaks());
        }
        if (done) {
            return;
        }
        UInt64 now = progress();
        if (now != lastProgress) {
            lastProgress = now;
            lastMove = Clock::now();
        } else if (Clock::now() - lastMove > std::chrono::seconds(5)) {
            throw ToolError::System("no audio moved for 5 seconds", kAudioHardwareNotRunningError);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(inMeter != nullptr && inMeter->IsActive() ? 50 : 5));
    }
}
