// Small diagnostic helpers: printf-style output, the same to the system log,
// and a stop for an attached debugger. They print and may block on the
// output: not for the real-time thread.
#pragma once

// The formatted text on standard output.
void DebugPrint(const char* inFormat, ...) __attribute__((format(printf, 1, 2)));

// The formatted text on standard output and, as one message at error
// priority (LOG_ERR), in the system log.
void LogError(const char* inFormat, ...) __attribute__((format(printf, 1, 2)));

// Raises SIGINT in the process: an attached debugger stops there. Without a
// debugger (and without a handler) the signal ends the process.
void CADebuggerStop();
