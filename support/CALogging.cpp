#include "support/CALogging.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <syslog.h>

#include "platform/SystemLog.h"

void DebugPrint(const char* inFormat, ...)
{
    if (inFormat == nullptr) {
        return;
    }
    va_list theArguments;
    va_start(theArguments, inFormat);
    std::vprintf(inFormat, theArguments);
    va_end(theArguments);
}

void LogError(const char* inFormat, ...)
{
    if (inFormat == nullptr) {
        return;
    }
    va_list theArguments;
    va_start(theArguments, inFormat);
    std::vprintf(inFormat, theArguments);
    va_end(theArguments);
    va_start(theArguments, inFormat);
    SystemLog(LOG_ERR, inFormat, theArguments);
    va_end(theArguments);
}

void CADebuggerStop() { std::raise(SIGINT); }
