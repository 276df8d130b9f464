#include "Digitizers/Orvel/Zent_Orvel_Prefs.h"

#include <cstdint>
#include <cstdio>

namespace Zent {
namespace Orvel {

std::string itostring(int inValue)
{
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d", inValue);
    return std::string(text, std::size_t(length));
}

// Reads the number the way "%d" does, but without its undefined behaviour for
// numbers that do not fit: those give 0 (or wrap, for 2^31 .. 2^32-1).
int stringtoi(const std::string& inText)
{
    const char* p = inText.c_str();
    // The white space "%d" skips in the C locale.
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return 0;
    }
    constexpr std::int64_t kLargest = std::int64_t(UINT32_MAX);
    std::int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > kLargest) {
            return 0;
        }
    }
    if (negative) {
        return magnitude > std::int64_t(INT32_MAX) + 1 ? 0 : int(-magnitude);
    }
    // Two's complement: the ints with the same 32 bits as the unsigned value.
    return int(std::int32_t(std::uint32_t(magnitude)));
}

}  // namespace Orvel
}  // namespace Zent
