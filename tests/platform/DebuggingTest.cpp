// Debug services: the assertion report and the system log.
#include "platform/Debugging.h"
#include "platform/SystemLog.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <syslog.h>

namespace {

TEST(DebuggingTest, DebugAssertWritesOneLineAndReturns)
{
    testing::internal::CaptureStderr();
    DebugAssert(FourCC("?*?*"), 0, "Third Party Client: result == 0", nullptr, "couldn't lock",
                "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable", 42, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DebugAssert: Third Party Client: result == 0, message: couldn't lock, file "
              "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable, line 42, component '?*?*'\n");
}

TEST(DebuggingTest, DebugAssertKeepsToOneLineWhateverItIsGiven)
{
    testing::internal::CaptureStderr();
    DebugAssert(0x01020304, 0, nullptr, "label", "two\nlines", nullptr, -1, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DebugAssert: (null), label: label, message: two lines, file (null), line -1, component '....'\n");
}

void Log(int priority, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    SystemLog(priority, format, arguments);
    va_end(arguments);
}

// syslog(3) gives no way to read back; this checks the call is safe with
// arguments and without a format.
TEST(DebuggingTest, SystemLogAcceptsAFormatAndArguments)
{
    Log(LOG_ERR, "kestro platform test: %s %d", "status", 42);
    Log(LOG_ERR, nullptr);
}

} // namespace
