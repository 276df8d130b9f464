// The system log of the host: one message per call to syslog(3), facility
// LOG_USER. May block briefly; not for the I/O thread.
#pragma once

#include "platform/MacTypes.h"

#include <cstdarg>

// priority is a syslog(3) level such as LOG_ERR; format is printf-style.
PLATFORM_EXPORT void SystemLog(int priority, const char* format, va_list arguments);
