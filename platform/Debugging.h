// Debug services of the host: assertion reports and the system log.
#pragma once

#include "platform/MacTypes.h"

// Writes one line describing a failed check to standard error and returns:
// it never stops the process. Any thread; takes no lock of its own; one write.
//
// The line reads
//   DebugAssert: <assertion>[, label: <label>][, message: <message>], file <file>, line <line>, component '<sig>'
// for example
//   DebugAssert: Third Party Client: result == 0, message: couldn't lock, file Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable, line 42, component '?*?*'
// A null or empty label or message is left out with its comma; a null
// assertion or file prints as "(null)". Line breaks inside the texts become
// spaces, so the report is always exactly one line. options and value are
// not printed; a byte of the signature that is not printable ASCII prints
// as '.'.
PLATFORM_EXPORT void DebugAssert(OSType componentSignature, UInt32 options, const char* assertionString,
                                 const char* exceptionLabelString, const char* errorString, const char* fileName,
                                 long lineNumber, void* value);
