// The logging helpers: formatted text on standard output (and, for
// LogError, the system log), and the debugger stop's signal.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include "support/CALogging.h"

namespace {

TEST(CALoggingTest, DebugPrintAndLogErrorWriteTheFormattedText)
{
    testing::internal::CaptureStdout();
    DebugPrint("%s %d|", "debug", 1);
    LogError("%s %04x|", "error", 0xBEEF);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "debug 1|error beef|");
}

TEST(CALoggingDeathTest, CADebuggerStopRaisesSIGINT)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(CADebuggerStop(), testing::KilledBySignal(SIGINT), "");
}

} // namespace
