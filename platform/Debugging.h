// Debug services of the host: assertion reports and the system log.
#pragma once

#include "platform/MacTypes.h"

// Writes one line describing a failed check to standard error; never stops.
PLATFORM_EXPORT void DebugAssert(OSType componentSignature, UInt32 options, const char* assertionString,
                                 const char* exceptionLabelString, const char* errorString, const char* fileName,
                                 long lineNumber, void* value);
