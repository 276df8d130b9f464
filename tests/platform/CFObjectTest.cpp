// Reference counting, equality and numbers of the foundation objects.
#include "platform/CoreFoundation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

namespace {

CFNumberRef MakeSInt32(SInt32 value) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value); }
CFNumberRef MakeSInt64(SInt64 value) { return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value); }
CFNumberRef MakeFloat64(Float64 value) { return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value); }

TEST(CFObjectTest, RetainAndReleaseFromManyThreadsKeepTheCountExact)
{
    CFStringRef string = CFStringCreateWithCString(nullptr, "shared", kCFStringEncodingASCII);
    ASSERT_NE(string, nullptr);
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([string] {
            for (int i = 0; i < kRounds; ++i) {
                CFRetain(string);
                CFRetain(string);
                CFRelease(string);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(CFGetRetainCount(string), 1 + kThreads * kRounds);
    std::vector<std::thread> releasers;
    for (int t = 0; t < kThreads; ++t) {
        releasers.emplace_back([string] {
            for (int i = 0; i < kRounds; ++i) {
                CFRelease(string);
            }
        });
    }
    for (auto& thread : releasers) {
        thread.join();
    }
    EXPECT_EQ(CFGetRetainCount(string), 1);
    CFRelease(string);
}

TEST(CFObjectTest, NullIsIgnoredByRetainAndRelease)
{
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
    EXPECT_EQ(CFGetRetainCount(nullptr), 0);
    EXPECT_FALSE(CFEqual(nullptr, nullptr));
}

TEST(CFObjectTest, EqualComparesStringsUUIDsAndNumbersByValue)
{
    CFStringRef a = CFStringCreateWithCString(nullptr, "Kestro In", kCFStringEncodingASCII);
    CFStringRef b = CFStringCreateWithCString(nullptr, "Kestro In", kCFStringEncodingUTF8);
    CFStringRef c = CFStringCreateWithCString(nullptr, "Kestro Out", kCFStringEncodingASCII);
    CFUUIDRef u1 = CFUUIDCreateWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    CFUUIDRef u2 = CFUUIDCreateFromUUIDBytes(nullptr, CFUUIDGetUUIDBytes(u1));
    CFNumberRef n32 = MakeSInt32(7);
    CFNumberRef n64 = MakeSInt64(7);
    CFNumberRef f = MakeFloat64(7.0);
    CFNumberRef f2 = MakeFloat64(7.5);

    struct Case {
        CFTypeRef x;
        CFTypeRef y;
        bool equal;
    } cases[] = {
        {a, b, true},    {a, c, false},  {a, a, true},     {u1, u2, true}, {u1, a, false},
        {n32, n64, true}, {n32, f, true}, {n32, f2, false}, {n32, a, false}, {a, nullptr, false},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(bool(CFEqual(test.x, test.y)), test.equal);
        EXPECT_EQ(bool(CFEqual(test.y, test.x)), test.equal);
    }
    for (CFTypeRef object : {CFTypeRef(a), CFTypeRef(b), CFTypeRef(c), CFTypeRef(u1), CFTypeRef(u2),
                             CFTypeRef(n32), CFTypeRef(n64), CFTypeRef(f), CFTypeRef(f2)}) {
        CFRelease(object);
    }
}

TEST(CFObjectTest, NumberGetValueConvertsAndReportsLoss)
{
    CFNumberRef big = MakeSInt64(SInt64(1) << 40);
    SInt32 narrow = 0;
    EXPECT_FALSE(CFNumberGetValue(big, kCFNumberSInt32Type, &narrow));
    EXPECT_EQ(narrow, std::numeric_limits<SInt32>::max());
    SInt64 wide = 0;
    EXPECT_TRUE(CFNumberGetValue(big, kCFNumberSInt64Type, &wide));
    EXPECT_EQ(wide, SInt64(1) << 40);

    CFNumberRef half = MakeFloat64(-2.5);
    EXPECT_FALSE(CFNumberGetValue(half, kCFNumberSInt32Type, &narrow));
    EXPECT_EQ(narrow, -2);
    Float64 real = 0;
    EXPECT_TRUE(CFNumberGetValue(half, kCFNumberFloat64Type, &real));
    EXPECT_EQ(real, -2.5);

    CFNumberRef nan = MakeFloat64(std::nan(""));
    EXPECT_FALSE(CFNumberGetValue(nan, kCFNumberSInt32Type, &narrow));
    EXPECT_EQ(narrow, 0);

    CFNumberRef small = MakeSInt32(-98304);
    EXPECT_TRUE(CFNumberGetValue(small, kCFNumberSInt32Type, &narrow));
    EXPECT_EQ(narrow, -98304);
    EXPECT_TRUE(CFNumberGetValue(small, kCFNumberFloat64Type, &real));
    EXPECT_EQ(real, -98304.0);

    EXPECT_FALSE(CFNumberGetValue(nullptr, kCFNumberSInt32Type, &narrow));
    EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberSInt32Type, nullptr), nullptr);
    for (CFNumberRef number : {big, half, nan, small}) {
        CFRelease(number);
    }
}

TEST(CFObjectTest, DataKeepsACopyOfItsBytes)
{
    UInt8 bytes[] = {1, 2, 3};
    CFDataRef data = CFDataCreate(nullptr, bytes, 3);
    bytes[0] = 9;
    ASSERT_EQ(CFDataGetLength(data), 3);
    EXPECT_EQ(CFDataGetBytePtr(data)[0], 1);
    EXPECT_EQ(CFDataCreate(nullptr, nullptr, 4), nullptr);
    CFRelease(data);
}

} // namespace
