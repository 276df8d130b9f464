// Foundation strings: creation, UTF-16 access, conversion and comparison.
#include "platform/CoreFoundation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Owns one reference for the test's scope.
struct StringHolder {
    CFStringRef string;
    explicit StringHolder(CFStringRef s) : string(s) {}
    ~StringHolder() { CFRelease(string); }
    operator CFStringRef() const { return string; }
};

std::string UTF8(CFStringRef string)
{
    char buffer[256];
    return CFStringGetCString(string, buffer, sizeof(buffer), kCFStringEncodingUTF8) ? buffer : "<failed>";
}

// "ab", e with acute accent, "d", then U+1D11E (two UTF-16 units).
const char* const kMixed = "ab\xC3\xA9" "d\xF0\x9D\x84\x9E";

TEST(CFStringTest, ConstantStringsAreInternedAndNeverFreed)
{
    CFStringRef a = CFSTR("Kestro Out");
    CFStringRef b = CFSTR("Kestro Out");
    EXPECT_EQ(a, b);
    const CFIndex count = CFGetRetainCount(a);
    CFRelease(a);
    CFRelease(a);
    EXPECT_EQ(CFGetRetainCount(a), count);
    EXPECT_EQ(UTF8(a), "Kestro Out");
    EXPECT_NE(CFSTR("Kestro In"), a);
}

TEST(CFStringTest, UTF16AccessSeesSurrogatePairs)
{
    StringHolder s(CFStringCreateWithCString(nullptr, kMixed, kCFStringEncodingUTF8));
    ASSERT_NE(s.string, nullptr);
    ASSERT_EQ(CFStringGetLength(s), 6);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 2), 0x00E9);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 4), 0xD834);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 5), 0xDD1E);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 6), 0);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, -1), 0);

    UInt16 units[4] = {7, 7, 7, 7};
    CFStringGetCharacters(s, CFRangeMake(1, 3), units);
    EXPECT_EQ(units[0], 'b');
    EXPECT_EQ(units[1], 0x00E9);
    EXPECT_EQ(units[2], 'd');
    EXPECT_EQ(units[3], 7);
    // A range past the end copies nothing.
    UInt16 untouched[2] = {7, 7};
    CFStringGetCharacters(s, CFRangeMake(5, 2), untouched);
    EXPECT_EQ(untouched[0], 7);

    StringHolder fromUnits(CFStringCreateWithCharacters(nullptr, units, 3));
    EXPECT_EQ(UTF8(fromUnits), "b\xC3\xA9" "d");
}

TEST(CFStringTest, CreateRejectsBytesInvalidInTheEncoding)
{
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingASCII), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "bad\xC3", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC0\xAF", kCFStringEncodingUTF8), nullptr); // overlong
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xED\xA0\x80", kCFStringEncodingUTF8), nullptr); // surrogate
    EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);
}

TEST(CFStringTest, GetBytesInASCIIStopsAtTheFirstCharacterWithoutAnASCIIForm)
{
    StringHolder s(CFStringCreateWithCString(nullptr, kMixed, kCFStringEncodingUTF8));
    UInt8 buffer[16];
    std::memset(buffer, 0xEE, sizeof(buffer));
    CFIndex used = -1;
    CFIndex converted = CFStringGetBytes(s, CFRangeMake(0, CFStringGetLength(s)), kCFStringEncodingASCII, 0, false,
                                         buffer, sizeof(buffer), &used);
    EXPECT_EQ(converted, 2);
    EXPECT_EQ(used, 2);
    EXPECT_EQ(buffer[0], 'a');
    EXPECT_EQ(buffer[1], 'b');
    EXPECT_EQ(buffer[2], 0xEE);

    // With a loss byte every character is converted: the pair becomes two.
    converted = CFStringGetBytes(s, CFRangeMake(0, CFStringGetLength(s)), kCFStringEncodingASCII, '?', false, buffer,
                                 sizeof(buffer), &used);
    EXPECT_EQ(converted, 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size_t(used)), "ab?d??");
}

TEST(CFStringTest, GetBytesInUTF8EncodesPairsAndRespectsTheBufferSize)
{
    StringHolder s(CFStringCreateWithCString(nullptr, kMixed, kCFStringEncodingUTF8));
    const CFRange all = CFRangeMake(0, CFStringGetLength(s));
    struct Case {
        CFIndex maxBufLen;
        CFIndex converted;
        CFIndex used;
    } cases[] = {
        {0, 0, 0}, {2, 2, 2}, {3, 2, 2}, {4, 3, 4}, {5, 4, 5}, {8, 4, 5}, {9, 6, 9}, {16, 6, 9},
    };
    for (const Case& test : cases) {
        UInt8 buffer[16];
        CFIndex used = -1;
        EXPECT_EQ(CFStringGetBytes(s, all, kCFStringEncodingUTF8, 0, false, buffer, test.maxBufLen, &used),
                  test.converted)
            << "maxBufLen " << test.maxBufLen;
        EXPECT_EQ(used, test.used) << "maxBufLen " << test.maxBufLen;
    }
    // A null buffer counts the whole conversion.
    CFIndex used = -1;
    EXPECT_EQ(CFStringGetBytes(s, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &used), 6);
    EXPECT_EQ(used, 9);
    // A range outside the string converts nothing.
    EXPECT_EQ(CFStringGetBytes(s, CFRangeMake(4, 5), kCFStringEncodingUTF8, 0, false, nullptr, 0, &used), 0);
    EXPECT_EQ(used, 0);
}

TEST(CFStringTest, GetCStringNeedsRoomForEverythingAndTheTerminator)
{
    StringHolder s(CFStringCreateWithCString(nullptr, "Kestro", kCFStringEncodingASCII));
    char buffer[8];
    EXPECT_TRUE(CFStringGetCString(s, buffer, 7, kCFStringEncodingASCII));
    EXPECT_STREQ(buffer, "Kestro");
    EXPECT_FALSE(CFStringGetCString(s, buffer, 6, kCFStringEncodingASCII));
    EXPECT_STREQ(buffer, "");
    StringHolder accented(CFStringCreateWithCString(nullptr, "\xC3\xA9", kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(accented, buffer, sizeof(buffer), kCFStringEncodingASCII));
    EXPECT_FALSE(CFStringGetCString(s, buffer, 0, kCFStringEncodingASCII));
}

TEST(CFStringTest, FormatPrintsObjectsWithAtAndEverythingElseLikePrintf)
{
    StringHolder name(CFStringCreateWithCString(nullptr, "In", kCFStringEncodingASCII));
    SInt32 value = 42;
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
    StringHolder uid(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("com_haldrix_Kestro_%@:0"), name.string));
    EXPECT_EQ(UTF8(uid), "com_haldrix_Kestro_In:0");

    StringHolder mixed(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d|%5.2f|%-4s|%x|%lld|%*d|%%|%@|%@|%c|%zu"),
                                                -7, 3.14159, "ab", 255u, 1234567890123ll, 4, 9, number,
                                                static_cast<CFStringRef>(nullptr), 'Z', size_t(17)));
    EXPECT_EQ(UTF8(mixed), "-7| 3.14|ab  |ff|1234567890123|   9|%|42|(null)|Z|17");
    CFRelease(number);

    // UTF-8 text survives in both the format and %@.
    StringHolder accented(CFStringCreateWithCString(nullptr, "\xC3\xA9t\xC3\xA9", kCFStringEncodingUTF8));
    StringHolder text(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("\xC3\xA0 %@"), accented.string));
    EXPECT_EQ(CFStringGetLength(text), 5);
    EXPECT_EQ(UTF8(text), "\xC3\xA0 \xC3\xA9t\xC3\xA9");
}

TEST(CFStringTest, MutableStringsAppendStringsCStringsAndFormats)
{
    CFMutableStringRef s = CFStringCreateMutable(nullptr, 0);
    CFStringAppendCString(s, "Kestro", kCFStringEncodingASCII);
    CFStringAppend(s, CFSTR(" "));
    CFStringAppendFormat(s, nullptr, CFSTR("%s #%d"), "Out", 0);
    EXPECT_EQ(UTF8(s), "Kestro Out #0");
    CFStringAppend(s, s); // appending to itself doubles it
    EXPECT_EQ(CFStringGetLength(s), 26);
    CFStringAppendCString(s, "\xFF", kCFStringEncodingUTF8); // invalid: nothing appended
    EXPECT_EQ(CFStringGetLength(s), 26);

    CFMutableStringRef copy = CFStringCreateMutableCopy(nullptr, 0, CFSTR("abc"));
    CFStringAppend(copy, CFSTR("d"));
    EXPECT_EQ(UTF8(copy), "abcd");
    EXPECT_EQ(UTF8(CFSTR("abc")), "abc");
    // An immutable string is not changed through the mutable API.
    CFStringAppend(const_cast<CFMutableStringRef>(CFSTR("abc")), CFSTR("x"));
    EXPECT_EQ(UTF8(CFSTR("abc")), "abc");
    CFRelease(copy);
    CFRelease(s);
}

TEST(CFStringTest, CompareOrdersByUnitsAndLength)
{
    struct Case {
        const char* a;
        const char* b;
        CFOptionFlags options;
        CFComparisonResult result;
    } cases[] = {
        {"abc", "abc", 0, kCFCompareEqualTo},          {"abc", "abd", 0, kCFCompareLessThan},
        {"abd", "abc", 0, kCFCompareGreaterThan},      {"ab", "abc", 0, kCFCompareLessThan},
        {"ABC", "abc", 0, kCFCompareLessThan},         {"ABC", "abc", kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"", "", 0, kCFCompareEqualTo},                {"\xC3\xA9", "z", 0, kCFCompareGreaterThan},
    };
    for (const Case& test : cases) {
        StringHolder a(CFStringCreateWithCString(nullptr, test.a, kCFStringEncodingUTF8));
        StringHolder b(CFStringCreateWithCString(nullptr, test.b, kCFStringEncodingUTF8));
        EXPECT_EQ(CFStringCompare(a, b, test.options), test.result) << test.a << " vs " << test.b;
    }
    EXPECT_EQ(CFStringCompare(nullptr, CFSTR("a"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("a"), nullptr, 0), kCFCompareGreaterThan);
}

} // namespace
