#include "Aggregates/POSIXThreadAssistant/Zent_PTA_Assert.h"

#include <cstdio>

#include "platform/Debugging.h"

namespace Zent {
namespace PTA {

namespace {
constexpr OSType kThirdPartySignature = FourCC("?*?*");
}

void ReportFailedAssertion(const char* inExpression, const char* inMessage, const char* inSourcePath, long inLine)
{
    // A fixed buffer: reports may come from any thread, including ones that
    // must not allocate. Longer expressions are cut, never overrun.
    char assertion[256];
    std::snprintf(assertion, sizeof(assertion), "Third Party Client: %s", inExpression);
    DebugAssert(kThirdPartySignature, 0, assertion, nullptr, inMessage, inSourcePath, inLine, nullptr);
}

}  // namespace PTA
}  // namespace Zent
