// Reporting the failure of a host call: the caller's line, then
// "Error: %ld (%s)\n" with the status and its four characters big-endian.
// One write to standard error; no lock, no allocation.
#pragma once

#include <cstdio>

#include "platform/MacTypes.h"
#include "support/CAException.h"

// Writes inPrefix as it stands, then "Error: %ld (%s)\n". The prefix carries
// its own separator, e.g. "PlugIn::Teardown: couldn't tell the HAL about a
// dead device, ".
inline void CAPrintHostCallError(const char* inPrefix, OSStatus inError)
{
    std::fprintf(stderr, "%sError: %ld (%s)\n", inPrefix, long(inError), FourCCText(UInt32(inError)).c_str());
}

// CAPrintHostCallError, then a CAException carrying the status.
[[noreturn]] inline void CAThrowHostCallError(const char* inPrefix, OSStatus inError)
{
    CAPrintHostCallError(inPrefix, inError);
    throw CAException(inError);
}
