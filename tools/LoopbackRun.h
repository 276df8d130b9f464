// One loopback through the unit: the unit feeds what Kestro Out sends back
// into an input connector, Kestro In records it, and the recording is
// compared with what was sent, sample by sample. Used by `kestro loopback`
// and `kestro demo`. Main thread.
#pragma once

#include <string>
#include <vector>

#include "platform/MacTypes.h"
#include "tools/KestroSession.h"

class LoopbackRun {
public:
    struct Result {
        UInt64 framesSent = 0;
        UInt64 framesCompared = 0;  // frames of the recording matched against the signal
        UInt32 channelsCompared = 0;
        UInt64 silentFramesSkipped = 0;  // Kestro In's silence before the signal arrived
        UInt64 bitErrors = 0;       // samples that differ (and samples missing)
        bool hasDifference = false;
        UInt64 firstDifferentFrame = 0;
        UInt32 firstDifferentChannel = 0;
        float sentSample = 0;
        float receivedSample = 0;
        double measuredRate = 0;    // Kestro In's actual sample rate near the end
        double wallSeconds = 0;
        UInt32 inputChannels = 0;
        std::vector<float> recording;  // from the signal's first sound on, inputChannels interleaved

        bool IsBitExact() const { return !hasDifference && framesCompared == framesSent; }
        // "bit-exact: 480000 frames x 8 channels identical" or where it first differs.
        std::string Describe() const;
    };

    // inSignal: inChannels interleaved (mapped onto Kestro Out's channels).
    LoopbackRun(KestroSession& ioSession, std::vector<float> inSignal, UInt32 inChannels, std::string inConnector);

    // Runs it, with a meter labelled inLabel on a terminal. Throws ToolError.
    Result Run(const std::string& inLabel);

private:
    KestroSession& mSession;
    std::vector<float> mSignal;
    UInt32 mChannels;
    std::string mConnector;
};
