// UUIDs and the plug-in instance registry.
#include "platform/CoreFoundation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

CFUUIDRef ConstantType()
{
    return CFUUIDGetConstantUUIDWithBytes(nullptr, 0xF8, 0xBB, 0x1C, 0x28, 0xBA, 0xE8, 0x11, 0xD6, 0x9C, 0x31, 0x00,
                                          0x03, 0x93, 0x15, 0xCD, 0x46);
}

TEST(CFUUIDTest, ConstantUUIDsWithTheSameBytesAreOneObjectThatIsNeverFreed)
{
    CFUUIDRef a = ConstantType();
    CFUUIDRef b = ConstantType();
    EXPECT_EQ(a, b);
    const CFIndex count = CFGetRetainCount(a);
    CFRelease(a);
    EXPECT_EQ(CFGetRetainCount(a), count);
    CFUUIDBytes bytes = CFUUIDGetUUIDBytes(a);
    EXPECT_EQ(bytes.byte0, 0xF8);
    EXPECT_EQ(bytes.byte15, 0x46);

    CFUUIDRef other = CFUUIDGetConstantUUIDWithBytes(nullptr, 0xFA, 0xFC, 0xAF, 0xC3, 0xBA, 0xE8, 0x11, 0xD6, 0xB4,
                                                     0xA8, 0x00, 0x03, 0x93, 0x15, 0xCD, 0x46);
    EXPECT_NE(other, a);
    EXPECT_FALSE(CFEqual(other, a));
}

TEST(CFUUIDTest, CreatedUUIDsAreNewObjectsEqualByBytes)
{
    CFUUIDRef created = CFUUIDCreateWithBytes(nullptr, 0xF8, 0xBB, 0x1C, 0x28, 0xBA, 0xE8, 0x11, 0xD6, 0x9C, 0x31,
                                              0x00, 0x03, 0x93, 0x15, 0xCD, 0x46);
    EXPECT_NE(created, ConstantType());
    EXPECT_TRUE(CFEqual(created, ConstantType()));
    EXPECT_EQ(CFGetRetainCount(created), 1);
    CFUUIDBytes bytes = CFUUIDGetUUIDBytes(created);
    CFUUIDRef copy = CFUUIDCreateFromUUIDBytes(nullptr, bytes);
    EXPECT_TRUE(CFEqual(copy, created));
    CFRelease(copy);
    CFRelease(created);

    CFUUIDBytes none = CFUUIDGetUUIDBytes(nullptr);
    const CFUUIDBytes zero{};
    EXPECT_EQ(std::memcmp(&none, &zero, sizeof(zero)), 0);
}

TEST(CFPlugInTest, InstancesAreCountedPerFactoryAcrossThreads)
{
    CFUUIDRef factory = CFUUIDGetConstantUUIDWithBytes(nullptr, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0x77);
    CFUUIDRef sameBytes = CFUUIDCreateWithBytes(nullptr, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0x77);
    CFUUIDRef otherFactory = CFUUIDGetConstantUUIDWithBytes(nullptr, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0x77);
    ASSERT_EQ(CFPlugInGetInstanceCountForFactory(factory), 0);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                CFPlugInAddInstanceForFactory(factory);
                CFPlugInAddInstanceForFactory(sameBytes);
                CFPlugInRemoveInstanceForFactory(factory);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(factory), 4000);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(otherFactory), 0);
    for (int i = 0; i < 4000; ++i) {
        CFPlugInRemoveInstanceForFactory(sameBytes);
    }
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(factory), 0);
    // One remove too many leaves the count at zero.
    CFPlugInRemoveInstanceForFactory(factory);
    CFPlugInAddInstanceForFactory(factory);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(factory), 1);
    CFPlugInRemoveInstanceForFactory(factory);
    CFRelease(sameBytes);
}

} // namespace
