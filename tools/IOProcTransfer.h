// Moves audio between the tool and one device through an IOProc: on the
// output device it plays interleaved floats from a buffer (silence after the
// end), on the input device it records into a buffer until it is full. The
// buffers are sized before the start, so the IOProc never allocates or locks;
// progress and peaks are atomics the main thread reads.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "platform/AudioHardware.h"

class Meter;

class IOProcTransfer {
public:
    static constexpr unsigned kMaxChannels = 8;

    // Plays inSamples (inChannels interleaved) on inDevice.
    static IOProcTransfer ForOutput(AudioDeviceID inDevice, const std::vector<float>* inSamples, UInt32 inChannels);
    // Records inFrames frames of inChannels channels from inDevice. With
    // inStartAtSound the recording starts at the first frame that isn't
    // silent (the frames skipped are counted, not kept).
    static IOProcTransfer ForInput(AudioDeviceID inDevice, UInt64 inFrames, UInt32 inChannels,
                                   bool inStartAtSound = false);

    IOProcTransfer(IOProcTransfer&& inOther) noexcept;
    IOProcTransfer(const IOProcTransfer&) = delete;
    IOProcTransfer& operator=(const IOProcTransfer&) = delete;
    // Stops and removes the IOProc if it still runs.
    ~IOProcTransfer();

    // Adds the IOProc and starts it; throws ToolError when refused.
    void Start();
    // Stops and removes it; throws ToolError when refused.
    void Stop();

    // Frames played or recorded so far (played: read by the device, including
    // the silence after the end).
    UInt64 GetFramesDone() const { return mFramesDone.load(std::memory_order_acquire); }
    UInt64 GetFramesWanted() const { return mFramesWanted; }
    bool IsDone() const { return GetFramesDone() >= mFramesWanted; }
    // I/O cycles seen.
    UInt64 GetCycles() const { return mCycles.load(std::memory_order_relaxed); }
    // Peaks since the last call, per channel, and resets them.
    std::vector<float> TakePeaks();
    // The recording (input only): GetFramesDone() frames.
    const std::vector<float>& GetRecording() const { return mRecording; }
    UInt32 GetChannels() const { return mChannels; }
    // Silent frames skipped before the recording started (inStartAtSound).
    UInt64 GetSkippedFrames() const { return mSkipped.load(std::memory_order_acquire); }

    // Waits until every transfer is done and inAlsoDone (if given) answers
    // true, redrawing inMeter (if given) with inMetered's progress at
    // inSampleRate. A system error ('stop') when no frame moved for 5 seconds.
    static void WaitUntilDone(const std::vector<IOProcTransfer*>& inTransfers, Meter* inMeter,
                              IOProcTransfer* inMetered, double inSampleRate,
                              const std::function<bool()>& inAlsoDone = {});

private:
    IOProcTransfer(AudioDeviceID inDevice, bool inIsInput, UInt32 inChannels, UInt64 inFrames);

    static OSStatus IOProc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                           const AudioTimeStamp* inInputTime, AudioBufferList* outOutputData,
                           const AudioTimeStamp* inOutputTime, void* inClientData);
    void Play(AudioBufferList* ioData);
    void Record(const AudioBufferList* inData);
    void NotePeak(unsigned inChannel, float inSample);

    AudioDeviceID mDevice;
    bool mIsInput;
    UInt32 mChannels;
    UInt64 mFramesWanted;
    const std::vector<float>* mSource = nullptr;
    std::vector<float> mRecording;
    std::atomic<UInt64> mFramesDone{0};
    std::atomic<UInt64> mCycles{0};
    std::atomic<UInt64> mSkipped{0};
    bool mStartAtSound = false;
    bool mHeardSound = false;  // I/O thread only
    std::atomic<float> mPeaks[kMaxChannels];
    bool mAdded = false;
    bool mStarted = false;
};
