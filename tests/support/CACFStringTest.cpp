// Conversions of foundation strings into callers' buffers, reference
// ownership of the holders, and the 16.16 reading of numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/CACFMutableString.h"
#include "support/CACFNumber.h"
#include "support/CACFString.h"

namespace {

constexpr char kUntouched = 0x7F;

CFStringRef MakeString(const char* inText)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, inText, kCFStringEncodingASCII);
}

// "ab", then e-acute (no ASCII form), then "cd".
CFStringRef MakeStringWithNonASCIIThird()
{
    const UInt16 units[] = {'a', 'b', 0x00E9, 'c', 'd'};
    return CFStringCreateWithCharacters(kCFAllocatorDefault, units, 5);
}

struct CStringCase {
    const char* name;
    CFStringRef string;  // may be null
    UInt32 bufferSize;
    const char* expected;  // null: nothing written at all
    UInt32 expectedSize;
};

TEST(CACFString, GetCStringTable)
{
    CFStringRef sevenChars = MakeString("Kestro1");
    CFStringRef nonASCII = MakeStringWithNonASCIIThird();
    CFStringRef empty = MakeString("");
    const CStringCase cases[] = {
        {"fits exactly", sevenChars, 8, "Kestro1", 8},
        {"room to spare", sevenChars, 16, "Kestro1", 8},
        {"cut to the buffer", sevenChars, 4, "Kes", 4},
        {"only the terminator fits", sevenChars, 1, "", 1},
        {"null string", nullptr, 8, "", 1},
        {"stops at the first non-ASCII character", nonASCII, 16, "ab", 3},
        {"empty string", empty, 8, "", 1},
        {"size 0 writes nothing", sevenChars, 0, nullptr, 0},
        {"size 0 with a null string writes nothing", nullptr, 0, nullptr, 0},
    };
    for (const CStringCase& c : cases) {
        SCOPED_TRACE(c.name);
        char buffer[32];
        std::memset(buffer, kUntouched, sizeof(buffer));
        UInt32 size = c.bufferSize;
        CACFString string(c.string, false);
        string.GetCString(buffer, size);
        EXPECT_EQ(size, c.expectedSize);
        if (c.expected != nullptr) {
            EXPECT_STREQ(buffer, c.expected);
        }
        // Nothing past the reported size is touched.
        for (size_t i = c.expectedSize; i < sizeof(buffer); ++i) {
            ASSERT_EQ(buffer[i], kUntouched) << "byte " << i;
        }
    }
    CFRelease(sevenChars);
    CFRelease(nonASCII);
    CFRelease(empty);
}

TEST(CACFString, GetUnicodeStringCopiesAtMostTheRequestedUnits)
{
    CFStringRef five = MakeString("Hello");
    CACFString string(five, true);

    std::vector<UInt16> buffer(8, 0xFFFF);
    UInt32 length = 3;
    string.GetUnicodeString(buffer.data(), length);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(buffer[0], 'H');
    EXPECT_EQ(buffer[2], 'l');
    EXPECT_EQ(buffer[3], 0xFFFF) << "no terminator is added";

    length = 8;
    string.GetUnicodeString(buffer.data(), length);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(buffer[4], 'o');
    EXPECT_EQ(buffer[5], 0xFFFF);
}

TEST(CACFString, GetUnicodeStringOfANullString)
{
    CACFString string(nullptr, true);
    UInt16 buffer[2] = {0xFFFF, 0xFFFF};
    UInt32 length = 2;
    string.GetUnicodeString(buffer, length);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0xFFFF);

    // No room at all: nothing is written.
    buffer[0] = 0xFFFF;
    length = 0;
    string.GetUnicodeString(buffer, length);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], 0xFFFF);
}

TEST(CACFString, ReleasesOnlyWhatItWasGiven)
{
    CFStringRef text = MakeString("name");
    const CFIndex initial = CFGetRetainCount(text);
    CFRetain(text);
    { CACFString owner(text, true); }
    EXPECT_EQ(CFGetRetainCount(text), initial) << "will-release gives up one reference";
    { CACFString borrower(text, false); }
    EXPECT_EQ(CFGetRetainCount(text), initial) << "without will-release nothing is released";
    CFRelease(text);
}

TEST(CACFMutableString, ConvertsLikeAString)
{
    CFMutableStringRef text = CFStringCreateMutable(kCFAllocatorDefault, 0);
    CFStringAppendCString(text, "Kestro In", kCFStringEncodingASCII);
    CACFMutableString string(text, true);

    char buffer[6];
    UInt32 size = sizeof(buffer);
    string.GetCString(buffer, size);
    EXPECT_STREQ(buffer, "Kestr");
    EXPECT_EQ(size, 6u);

    UInt16 units[4];
    UInt32 length = 4;
    string.GetUnicodeString(units, length);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(units[3], 't');
}

struct FixedCase {
    SInt32 raw;
    Float32 expected;
};

TEST(CACFNumber, GetFixed32ReadsSixteenDotSixteen)
{
    const FixedCase cases[] = {
        {98304, 1.5f},       {-98304, -1.5f}, {0, 0.0f},      {65536, 1.0f},
        {1, 1.0f / 65536.0f}, {-1, -1.0f / 65536.0f}, {0x7FFFFFFF, 32767.0f + 65535.0f / 65536.0f},
    };
    for (const FixedCase& c : cases) {
        CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &c.raw);
        CACFNumber holder(number, true);
        EXPECT_EQ(holder.GetSInt32(), c.raw);
        EXPECT_FLOAT_EQ(holder.GetFixed32(), c.expected) << c.raw;
    }
    CACFNumber none(nullptr, true);
    EXPECT_EQ(none.GetFixed32(), 0.0f);
}

}  // namespace
