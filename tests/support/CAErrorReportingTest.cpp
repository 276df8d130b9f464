// The reporting conventions: host-call failure lines, the maker's exception
// types, and the thread library's assertion reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Assert.h"
#include "support/CADebugMacros.h"
#include "support/Zent_LWE_BadAllocation.h"
#include "support/Zent_LWE_OSStatus.h"

namespace {

using testing::HasSubstr;

TEST(CAPrintHostCallError, AppendsTheStatusAndItsFourCharacters)
{
    struct Case {
        OSStatus status;
        const char* expected;
    };
    const Case cases[] = {
        {OSStatus(0x21686F67), "PlugIn::Teardown: couldn't tell the HAL about a dead device, Error: 560492391 (!hog)\n"},
        {OSStatus(FourCC("who?")), "PlugIn::Teardown: couldn't tell the HAL about a dead device, Error: 2003332927 (who?)\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        CAPrintHostCallError("PlugIn::Teardown: couldn't tell the HAL about a dead device, ", c.status);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected);
    }
}

TEST(CAPrintHostCallError, NegativeStatusPrintsSigned)
{
    testing::internal::CaptureStderr();
    CAPrintHostCallError("X::Y: failed, ", paramErr);
    const std::string line = testing::internal::GetCapturedStderr();
    EXPECT_THAT(line, testing::StartsWith("X::Y: failed, Error: -50 ("));
    EXPECT_EQ(line.back(), '\n');
}

TEST(CAThrowHostCallError, PrintsThenThrowsTheStatus)
{
    testing::internal::CaptureStderr();
    try {
        CAThrowHostCallError("OrvelDevice::Initialize: couldn't tell the HAL about the streams, ",
                             OSStatus(FourCC("nope")));
        FAIL() << "no throw";
    } catch (const CAException& e) {
        EXPECT_EQ(e.GetError(), OSStatus(FourCC("nope")));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "OrvelDevice::Initialize: couldn't tell the HAL about the streams, Error: 1852797029 (nope)\n");
}

TEST(ZentLWE, ExceptionsCarryTheirStatusOrNothing)
{
    try {
        throw Zent::LWE::OSStatus(-50);
    } catch (const Zent::LWE::OSStatus& e) {
        EXPECT_EQ(e.GetStatus(), -50);
    }
    EXPECT_THROW(throw Zent::LWE::BadAllocation(), Zent::LWE::BadAllocation);
}

TEST(ZentPTAAssert, ReportsTheExpressionWithTheThirdPartyPrefix)
{
    testing::internal::CaptureStderr();
    Zent::PTA::ReportFailedAssertion("result == 0", "Condition variable wait returned in error.",
                                     "Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable", 109);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DebugAssert: Third Party Client: result == 0, message: Condition variable wait returned in error., "
              "file Aggregates/POSIXThreadAssistant/Zent_PTA_Synchronizable, line 109, component '?*?*'\n");
}

TEST(ZentPTAAssert, MacroReportsOnlyFailedChecksWithTheirOwnText)
{
    int result = 0;
    testing::internal::CaptureStderr();
    ZENT_PTA_ASSERT(result == 0, "not shown", "path", 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    result = 22;
    testing::internal::CaptureStderr();
    ZENT_PTA_ASSERT(result == 0, "shown", "path", 2);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Third Party Client: result == 0"));
}

}  // namespace
