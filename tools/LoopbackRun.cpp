#include "tools/LoopbackRun.h"

#include <chrono>
#include <cstdio>

#include "platform/AudioHardwareHost.h"
#include "tools/IOProcTransfer.h"
#include "tools/Meter.h"
#include "tools/PropertyCodec.h"
#include "tools/ToolError.h"

namespace {

UInt64 FirstSound(const std::vector<float>& inSamples, UInt32 inChannels, UInt32 inCompared)
{
    UInt64 frames = inSamples.size() / inChannels;
    for (UInt64 f = 0; f < frames; ++f) {
        for (UInt32 c = 0; c < inCompared; ++c) {
            if (inSamples[f * inChannels + c] != 0.0f) {
                return f;
            }
        }
    }
    return frames;
}

}  // namespace

std::string LoopbackRun::Result::Describe() const
{
    char text[256];
    if (IsBitExact()) {
        std::snprintf(text, sizeof(text), "bit-exact: %llu frames x %u channels identical",
                      (unsigned long long)framesCompared, unsigned(channelsCompared));
    } else if (hasDifference) {
        std::snprintf(text, sizeof(text),
                      "NOT bit-exact: %llu samples differ; first at frame %llu, channel %u: sent %.9g, received %.9g",
                      (unsigned long long)bitErrors, (unsigned long long)firstDifferentFrame,
                      unsigned(firstDifferentChannel + 1), double(sentSample), double(receivedSample));
    } else {
        std::snprintf(text, sizeof(text), "NOT bit-exact: only %llu of %llu frames came back",
                      (unsigned long long)framesCompared, (unsigned long long)framesSent);
    }
    return text;
}

LoopbackRun::LoopbackRun(KestroSession& ioSession, std::vector<float> inSignal, UInt32 inChannels,
                         std::string inConnector)
    : mSession(ioSession), mSignal(std::move(inSignal)), mChannels(inChannels), mConnector(std::move(inConnector))
{
}

LoopbackRun::Result LoopbackRun::Run(const std::string& inLabel)
{
    AudioDeviceID output = mSession.GetDevice(false);
    AudioDeviceID input = mSession.GetDevice(true);
    mSession.SelectSource(mConnector);
    ToolError::Check(mSession.GetUnit().SetInputLoopback(KestroSession::ConnectorCode(mConnector)),
                     "the unit refused to loop its output back to " + mConnector);

    AudioStreamID outStream = KestroSession::GetPublishedStream(output);
    AudioStreamID inStream = KestroSession::GetPublishedStream(input);
    if (outStream == 0 || inStream == 0) {
        throw ToolError::System("a device publishes no stream", kAudioHardwareBadStreamError);
    }
    AudioStreamBasicDescription outFormat = KestroSession::GetStreamFormat(outStream, false);
    AudioStreamBasicDescription inFormat = KestroSession::GetStreamFormat(inStream, false);
    UInt32 outChannels = outFormat.mChannelsPerFrame;
    Result result;
    result.inputChannels = inFormat.mChannelsPerFrame;
    result.framesSent = mSignal.size() / mChannels;

    // The signal on Kestro Out's channels: the first kept, the others silent.
    std::vector<float> sent(result.framesSent * outChannels, 0.0f);
    for (UInt64 f = 0; f < result.framesSent; ++f) {
        for (UInt32 c = 0; c < std::min(mChannels, outChannels); ++c) {
            sent[f * outChannels + c] = mSignal[f * mChannels + c];
        }
    }

    // The recording starts with the signal's first sound, however late the
    // output starts after the input: the path's latency and the start-up
    // don't matter, every sample after it must come back.
    UInt32 compared = std::min({mChannels, outChannels, result.inputChannels});
    result.channelsCompared = compared;
    UInt64 signalStart = FirstSound(sent, outChannels, compared);
    if (signalStart == result.framesSent) {
        throw ToolError::Usage("the signal is silent on the channels compared: nothing to check");
    }
    IOProcTransfer recorder =
        IOProcTransfer::ForInput(input, result.framesSent - signalStart, result.inputChannels, true);
    IOProcTransfer player = IOProcTransfer::ForOutput(output, &sent, outChannels);
    double rate = inFormat.mSampleRate > 0 ? inFormat.mSampleRate : 48000;
    auto start = std::chrono::steady_clock::now();
    {
        Meter meter(inLabel, double(result.framesSent) / rate, std::min(outChannels, result.inputChannels));
        // The input first, so that nothing the output sends is missed.
        recorder.Start();
        player.Start();
        IOProcTransfer::WaitUntilDone({&player, &recorder}, &meter, &recorder, rate);
        Float64 measured = 0;
        UInt32 size = sizeof(measured);
        if (AudioDeviceGetProperty(input, 0, true, kAudioDevicePropertyActualSampleRate, &size, &measured) == 0) {
            result.measuredRate = measured;
        }
        player.Stop();
        recorder.Stop();
    }
    result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    result.recording = recorder.GetRecording();
    result.recording.resize(recorder.GetFramesDone() * result.inputChannels);
    UInt64 recordedFrames = recorder.GetFramesDone();
    result.silentFramesSkipped = recorder.GetSkippedFrames();
    result.framesCompared = signalStart;  // silence before the first sound, as sent
    for (UInt64 f = signalStart; f < result.framesSent; ++f) {
        UInt64 r = f - signalStart;
        if (r >= recordedFrames) {
            result.bitErrors += (result.framesSent - f) * compared;
            break;
        }
        ++result.framesCompared;
        for (UInt32 c = 0; c < compared; ++c) {
            float want = sent[f * outChannels + c];
            float got = result.recording[r * result.inputChannels + c];
            if (want != got) {
                if (!result.hasDifference) {
                    result.hasDifference = true;
                    result.firstDifferentFrame = f;
                    result.firstDifferentChannel = c;
                    result.sentSample = want;
                    result.receivedSample = got;
                }
                ++result.bitErrors;
            }
        }
    }
    return result;
}
