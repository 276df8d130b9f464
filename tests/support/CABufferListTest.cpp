#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/CABufferList.h"

TEST(CABufferList, SlicesOfSeveralBuffersStartAnOddMultipleOf16BytesApart)
{
    struct Case {
        UInt32 buffers, requested, expected;
    };
    for (const Case& c : {Case{1, 100, 100}, Case{2, 100, 112}, Case{2, 64, 80}, Case{2, 80, 112},
                          Case{3, 0, 16}, Case{4, 1000, 1008}}) {
        CABufferList list("test", c.buffers, 2);
        list.AllocateBuffers(c.requested);
        EXPECT_EQ(c.expected, list.GetBufferCapacity()) << c.buffers << " x " << c.requested;
        const AudioBufferList& abl = list.GetBufferList();
        for (UInt32 i = 0; i < c.buffers; ++i) {
            EXPECT_EQ(c.expected, abl.mBuffers[i].mDataByteSize);
            EXPECT_EQ(2u, abl.mBuffers[i].mNumberChannels);
            const auto* bytes = static_cast<const UInt8*>(abl.mBuffers[i].mData);
            for (UInt32 k = 0; k < c.expected; ++k) {
                ASSERT_EQ(0, bytes[k]);
            }
            if (i > 0) {
                const auto distance = static_cast<const UInt8*>(abl.mBuffers[i].mData) -
                                      static_cast<const UInt8*>(abl.mBuffers[i - 1].mData);
                EXPECT_EQ(std::ptrdiff_t(c.expected), distance);
                EXPECT_NE(0, distance % 32);
            }
        }
    }
}

TEST(CABufferList, GrowingKeepsContentsAndShrinkingKeepsTheBlock)
{
    CABufferList list("grow", 2, 1);
    list.AllocateBuffers(32);
    AudioBufferList& abl = list.GetBufferList();
    std::memset(abl.mBuffers[0].mData, 0x11, abl.mBuffers[0].mDataByteSize);
    std::memset(abl.mBuffers[1].mData, 0x22, abl.mBuffers[1].mDataByteSize);
    const UInt32 oldSize = abl.mBuffers[0].mDataByteSize;
    void* const before = abl.mBuffers[0].mData;

    list.AllocateBuffers(oldSize);  // already large enough: nothing happens
    EXPECT_EQ(before, abl.mBuffers[0].mData);

    list.AllocateBuffers(500);
    EXPECT_EQ(528u, abl.mBuffers[0].mDataByteSize);
    for (UInt32 i = 0; i < 2; ++i) {
        const auto* bytes = static_cast<const UInt8*>(abl.mBuffers[i].mData);
        for (UInt32 k = 0; k < 528; ++k) {
            ASSERT_EQ(k < oldSize ? (i == 0 ? 0x11 : 0x22) : 0, bytes[k]) << i << " " << k;
        }
    }
}

TEST(CABufferList, DeallocateClearsTheRecords)
{
    CABufferList list("free", 2, 2);
    list.AllocateBuffers(64);
    list.DeallocateBuffers();
    for (UInt32 i = 0; i < 2; ++i) {
        EXPECT_EQ(nullptr, list.GetBufferList().mBuffers[i].mData);
        EXPECT_EQ(0u, list.GetBufferList().mBuffers[i].mDataByteSize);
    }
    list.DeallocateBuffers();  // twice is harmless
}

TEST(CABufferList, ExternalMemoryIsSharedOutAndNeverFreed)
{
    alignas(16) UInt8 external[96];
    std::memset(external, 0x5A, sizeof external);
    {
        CABufferList list("borrow", 2, 1);
        list.AllocateBuffers(64);
        list.UseExternalBuffer(external, sizeof external);
        EXPECT_TRUE(list.IsBorrowing());
        const AudioBufferList& abl = list.GetBufferList();
        EXPECT_EQ(external, abl.mBuffers[0].mData);
        EXPECT_EQ(external + 48, abl.mBuffers[1].mData);
        EXPECT_EQ(48u, abl.mBuffers[1].mDataByteSize);

        // Growing beyond the borrowed memory moves to a block of the list's own.
        list.AllocateBuffers(200);
        EXPECT_FALSE(list.IsBorrowing());
        EXPECT_NE(external, abl.mBuffers[0].mData);
        EXPECT_EQ(0x5A, static_cast<const UInt8*>(abl.mBuffers[1].mData)[47]);
        list.UseExternalBuffer(external, sizeof external);
    }  // destroying a borrowing list leaves the memory alone (ASan checks the free)
    EXPECT_EQ(0x5A, external[95]);
}
