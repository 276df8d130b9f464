// The options every subcommand shares: how the simulated unit is set up and
// paced. Filled by CLI11 in KestroApp, read by KestroSession.
#pragma once

#include <string>

#include "platform/MacTypes.h"

struct SessionOptions {
    bool realtime = false;           // pace by the host clock (default: as fast as the machine goes)
    std::string frameRate = "29.97"; // video frame rate: 29.97 or 25
    UInt32 sampleRate = 48000;       // the unit's sample rate
    UInt32 wordSize = 24;            // the unit's word size: 16 or 24
    std::string connectors = "sdi,aes,adat,spdif,analog"; // input connectors present
    double driftPPM = 0;             // the unit's clock drift
    bool driftGiven = false;         // --drift-ppm was on the command line
    UInt32 jitterMicroseconds = 0;   // time-stamp jitter
    int verbose = 0;                 // --verbose (twice: packet details too)
    std::string bundlePath;          // the plug-in bundle (default: the one built with the tool)
};
