#include "platform/SystemLog.h"

#include <syslog.h>

void SystemLog(int priority, const char* format, va_list arguments)
{
    if (format == nullptr) {
        return;
    }
    va_list copy;
    va_copy(copy, arguments);
    vsyslog(LOG_MAKEPRI(LOG_USER, LOG_PRI(priority)), format, copy);
    va_end(copy);
}
