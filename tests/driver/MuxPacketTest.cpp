// The muxer's packet object: the header behind the packet's virtual
// accessor, and the 64-bit time kept big-endian as the unit sends it.
#include <gtest/gtest.h>

#include "driver/muxer/Zent_Mux_Orvel_BaseMuxer.h"
#include "driver/muxer/Zent_Mux_Orvel_MuxPacket.h"

namespace {

using Zent::Mux::Orvel::MuxPacket;

TEST(MuxPacket, TimeIsStoredBigEndianAndReadBackWhole)
{
    MuxPacket packet;
    packet.SetTimeInNanos(0x0102030405060708ULL);
    const UInt8* bytes = packet.GetBigEndianTime();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(bytes[i], i + 1) << "byte " << i;
    }
    EXPECT_EQ(packet.GetTimeInNanos(), 0x0102030405060708ULL);
    packet.SetTimeInNanos(~0ULL);
    EXPECT_EQ(packet.GetTimeInNanos(), ~0ULL);
}

TEST(MuxPacket, HeaderAndFlagsStartClearAndHoldWhatIsSet)
{
    MuxPacket packet;
    Zent::Mux::Orvel::MuxPacketHeader* header = packet.GetHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->GetFrameCount(), 0u);
    EXPECT_FALSE(header->HasTime());
    EXPECT_FALSE(packet.IsMarked());
    EXPECT_EQ(packet.GetSampleData(), nullptr);
    EXPECT_EQ(packet.GetTimeInNanos(), 0u);

    header->SetFrameCount(1602);
    header->SetHasTime(true);
    header->SetDebugTimeStamp(77);
    packet.SetMarked(true);
    EXPECT_EQ(packet.GetHeader()->GetFrameCount(), 1602u);
    EXPECT_TRUE(packet.GetHeader()->HasTime());
    EXPECT_EQ(packet.GetHeader()->GetDebugTimeStamp(), 77u);
    EXPECT_TRUE(packet.IsMarked());
}

TEST(MuxIOCallback, OnlyTypesTwoAndThreeCarryPackets)
{
    for (unsigned type = 0; type < 6; ++type) {
        EXPECT_EQ(Zent::Mux::Orvel::IsPacketIOType(type), type == 2 || type == 3) << type;
    }
}

}  // namespace
