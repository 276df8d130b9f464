// The textual form of the settings record: a map from field names to decimal
// integers, and the two conversions between int and text it uses.
// No locks; any thread, the caller owns its strings and maps.
#pragma once

#include <map>
#include <string>

namespace Zent {
namespace Orvel {

// Keys are compared as byte strings; every value is the decimal text of a
// signed integer (see itostring).
typedef std::map<std::string, std::string> PrefsMap;

// The value as "%d" writes it: an optional minus sign and decimal digits.
std::string itostring(int inValue);

// The integer at the start of the text (up to its first zero byte), read as
// "%d" reads one: leading white space, an optional sign, then decimal digits;
// whatever follows the digits is ignored ("12abc" gives 12, " 5x" gives 5).
// Text that does not start with a number gives 0. A number outside the
// 32-bit range also gives 0, except that 2^31 .. 2^32-1 wrap to the negative
// ints with the same 32 bits, so a code written unsigned reads back unchanged.
int stringtoi(const std::string& inText);

}  // namespace Orvel
}  // namespace Zent
