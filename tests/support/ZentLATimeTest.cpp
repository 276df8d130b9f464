// The maker's stopwatch and log-line prefix.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "platform/HostClock.h"
#include "support/Zent_LA_Time.h"

namespace {

// The stopwatch runs on the virtual host clock so its readings are exact.
class ZentLATimeTest : public testing::Test {
protected:
    void SetUp() override
    {
        HostClockUseVirtual(true);
        HostClockSetVirtualNanos(1000000000ULL);
    }
    void TearDown() override { HostClockUseVirtual(false); }
};

TEST_F(ZentLATimeTest, DeltaGivesWholeMillisecondsAndRestarts)
{
    Zent::LA::Time stopwatch;
    EXPECT_EQ(stopwatch.GetStart(), 1000000000ULL);
    HostClockAdvance(5999999);  // 5.999999 ms
    EXPECT_EQ(stopwatch.Delta(), 5.0f);
    EXPECT_EQ(stopwatch.Delta(), 0.0f) << "the first Delta moved the start to now";
    HostClockAdvance(1000000);
    EXPECT_EQ(stopwatch.Delta(), 1.0f);
}

TEST_F(ZentLATimeTest, DeltaSinceLeavesTheStopwatchAlone)
{
    Zent::LA::Time stopwatch;
    const UInt64 start = stopwatch.GetStart();
    HostClockAdvance(3000000);
    EXPECT_EQ(stopwatch.Delta(start - 2000000), 5.0f);
    EXPECT_EQ(stopwatch.GetStart(), start);
    stopwatch.Reset();
    EXPECT_EQ(stopwatch.GetStart(), start + 3000000);
}

struct TimeCase {
    int year, month, day, hour, minute, second;  // calendar values, month 1-12
    UInt32 microseconds;
    int pid;
    const char* expected;
};

TEST(ZentLAGetTime, FormatTable)
{
    const TimeCase cases[] = {
        {2026, 12, 9, 19, 5, 3, 42000, 312, "2026-12-09 19:05:03.042 Kestro[312]: "},
        {2027, 1, 1, 0, 0, 0, 0, 1, "2027-01-01 00:00:00.000 Kestro[1]: "},       // January is "01"
        {999, 7, 4, 23, 59, 59, 999999, 65535, "0999-07-04 23:59:59.999 Kestro[65535]: "},  // four-digit year
        {2026, 3, 15, 8, 30, 1, 1999, 7, "2026-03-15 08:30:01.001 Kestro[7]: "},  // milliseconds truncated
    };
    for (const TimeCase& c : cases) {
        struct tm local = {};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = c.second;
        EXPECT_EQ(Zent::LA::FormatTime(local, c.microseconds, c.pid), c.expected);
    }
}

// True when inText has inPattern's shape: '#' stands for one digit, any
// other character for itself.
bool HasShape(const std::string& inText, const std::string& inPattern)
{
    if (inText.size() != inPattern.size()) {
        return false;
    }
    for (size_t i = 0; i < inText.size(); ++i) {
        const bool digit = inText[i] >= '0' && inText[i] <= '9';
        if (inPattern[i] == '#' ? !digit : inText[i] != inPattern[i]) {
            return false;
        }
    }
    return true;
}

TEST(ZentLAGetTime, NowCarriesThisProcess)
{
    const std::string prefix = Zent::LA::GetTime();
    EXPECT_TRUE(HasShape(prefix, "####-##-## ##:##:##.### Kestro[" + std::to_string(getpid()) + "]: ")) << prefix;
}

}  // namespace
