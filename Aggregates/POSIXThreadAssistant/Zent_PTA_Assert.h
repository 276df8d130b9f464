// How the maker's thread library reports a failed check: one call to the
// host's DebugAssert with signature '?*?*', options 0, the checked expression
// prefixed with "Third Party Client: ", no exception label, the message, the
// module's source path, the line and no value. Execution carries on.
#pragma once

#include "platform/MacTypes.h"

namespace Zent {
namespace PTA {

// inExpression is the checked expression as written, without the prefix.
// Takes no lock and allocates nothing.
void ReportFailedAssertion(const char* inExpression, const char* inMessage, const char* inSourcePath,
                           long inLine);

}  // namespace PTA
}  // namespace Zent

// Checks expr; on failure reports it with its own text.
#define ZENT_PTA_ASSERT(expr, message, sourcePath, line)                               \
    do {                                                                               \
        if (!(expr)) {                                                                 \
            ::Zent::PTA::ReportFailedAssertion(#expr, (message), (sourcePath), (line)); \
        }                                                                              \
    } while (0)
