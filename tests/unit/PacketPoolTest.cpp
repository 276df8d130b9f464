// The fixed packet pool: every packet handed out is accounted for; a packet
// given back twice, null, or not from the pool is counted and never touched.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "unit/PacketPool.h"

namespace {

using Kestro::Unit::PacketPool;
using Zent::Mux::Orvel::MuxPacket;

TEST(PacketPool, HandsOutEveryPacketOnceThenReportsExhaustion)
{
    PacketPool pool(3);
    std::vector<MuxPacket*> out;
    for (int i = 0; i < 3; ++i) {
        MuxPacket* packet = pool.Acquire({true, 1602, 3});
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ(packet->GetHeader()->GetFrameCount(), 1602u);
        EXPECT_NE(packet->GetSampleData(), nullptr);
        out.push_back(packet);
    }
    EXPECT_NE(out[0], out[1]);
    EXPECT_NE(out[0]->GetSampleData(), out[1]->GetSampleData());
    EXPECT_EQ(pool.Acquire({true, 1602, 3}), nullptr);

    const auto accounting = pool.GetAccounting();
    EXPECT_EQ(accounting.poolSize, 3u);
    EXPECT_EQ(accounting.handedOut, 3u);
    EXPECT_EQ(accounting.outstanding, 3u);
    EXPECT_EQ(accounting.poolExhausted, 1u);
}

TEST(PacketPool, ReleaseReturnsTheUseAndFreesThePacket)
{
    PacketPool pool(1);
    MuxPacket* packet = pool.Acquire({false, 1920, 2});
    ASSERT_NE(packet, nullptr);
    packet->SetMarked(true);
    packet->SetTimeInNanos(99);
    PacketPool::Use use;
    ASSERT_EQ(pool.BeginRelease(packet, use), PacketPool::ReleaseResult::kReleased);
    EXPECT_FALSE(use.isInput);
    EXPECT_EQ(use.frames, 1920u);
    EXPECT_EQ(use.bytesPerSample, 2u);
    // Not free until the release is finished.
    EXPECT_EQ(pool.Acquire({true, 1, 3}), nullptr);
    pool.FinishRelease(packet);

    MuxPacket* again = pool.Acquire({true, 1601, 3});
    ASSERT_EQ(again, packet);
    // A packet comes out clean.
    EXPECT_FALSE(again->IsMarked());
    EXPECT_EQ(again->GetTimeInNanos(), 0u);
    EXPECT_EQ(again->GetHeader()->GetFrameCount(), 1601u);
}

TEST(PacketPool, DoubleNullAndForeignReleasesAreCountedNotHonoured)
{
    PacketPool pool(2);
    MuxPacket* packet = pool.Acquire({true, 1602, 3});
    PacketPool::Use use;
    ASSERT_EQ(pool.BeginRelease(packet, use), PacketPool::ReleaseResult::kReleased);
    pool.FinishRelease(packet);
    EXPECT_EQ(pool.BeginRelease(packet, use), PacketPool::ReleaseResult::kDoubleRelease);
    EXPECT_EQ(pool.BeginRelease(nullptr, use), PacketPool::ReleaseResult::kForeign);
    MuxPacket stranger;
    EXPECT_EQ(pool.BeginRelease(&stranger, use), PacketPool::ReleaseResult::kForeign);

    const auto accounting = pool.GetAccounting();
    EXPECT_EQ(accounting.handedOut, 1u);
    EXPECT_EQ(accounting.released, 1u);
    EXPECT_EQ(accounting.outstanding, 0u);
    EXPECT_EQ(accounting.doubleReleases, 1u);
    EXPECT_EQ(accounting.foreignReleases, 2u);
    // The double release did not free a second slot or lose one.
    EXPECT_NE(pool.Acquire({true, 1, 3}), nullptr);
    EXPECT_NE(pool.Acquire({true, 1, 3}), nullptr);
    EXPECT_EQ(pool.Acquire({true, 1, 3}), nullptr);
}

TEST(PacketPool, ConcurrentTakersAndGiversLoseNothing)
{
    PacketPool pool(4);
    constexpr int kRounds = 20000;
    auto worker = [&pool] {
        for (int round = 0; round < kRounds; ++round) {
            MuxPacket* packet = pool.Acquire({true, 8, 3});
            if (packet == nullptr) {
                continue;
            }
            PacketPool::Use use;
            if (pool.BeginRelease(packet, use) == PacketPool::ReleaseResult::kReleased) {
                pool.FinishRelease(packet);
            }
        }
    };
    std::thread first(worker);
    std::thread second(worker);
    worker();
    first.join();
    second.join();
    const auto accounting = pool.GetAccounting();
    EXPECT_EQ(accounting.handedOut, accounting.released);
    EXPECT_EQ(accounting.outstanding, 0u);
    EXPECT_EQ(accounting.doubleReleases, 0u);
    EXPECT_EQ(accounting.handedOut + accounting.poolExhausted, 3u * kRounds);
}

}  // namespace
