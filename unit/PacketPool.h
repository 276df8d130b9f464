// The unit's fixed pool of packets. Each packet owns room for the largest
// packet (3840 frames of 8 channels of 3 bytes). A packet is taken for one I/O
// callback (Acquire) and must come back exactly once (BeginRelease, then
// FinishRelease once its samples have been read). Giving back a packet twice,
// null, or a pointer that is not one of the pool's packets never touches the
// pointer: it is only counted.
//
// Every operation is lock-free (one atomic state per packet) and may be
// called from any thread, including the I/O thread; none allocates.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "driver/muxer/Zent_Mux_Orvel_MuxPacket.h"
#include "unit/UnitControl.h"

namespace Kestro {
namespace Unit {

class PacketPool {
public:
    static constexpr UInt32 kMaxFrames = 3840;
    static constexpr UInt32 kChannels = 8;
    static constexpr UInt32 kMaxBytesPerSample = 3;
    static constexpr UInt32 kPacketBytes = kMaxFrames * kChannels * kMaxBytesPerSample;

    // What a packet was handed out for.
    struct Use {
        bool isInput = false;
        UInt32 frames = 0;
        UInt32 bytesPerSample = 0;
    };

    enum class ReleaseResult {
        kReleased,       // the packet was out; finish with FinishRelease
        kDoubleRelease,  // the packet was not out
        kForeign,        // null or not a packet of this pool
    };

    explicit PacketPool(UInt32 inPacketCount);

    PacketPool(const PacketPool&) = delete;
    PacketPool& operator=(const PacketPool&) = delete;

    // A free packet with its header reset, its sample data pointing at its
    // own buffer and its use recorded; null when every packet is out (counted
    // as exhausted).
    Zent::Mux::Orvel::MuxPacket* Acquire(const Use& inUse);
    // Starts giving a packet back: on kReleased outUse tells what it was
    // handed out for, and the packet stays reserved until FinishRelease.
    ReleaseResult BeginRelease(Zent::Mux::Orvel::MuxPacket* inPacket, Use& outUse);
    void FinishRelease(Zent::Mux::Orvel::MuxPacket* inPacket);

    UInt32 GetPacketCount() const { return mPacketCount; }
    UnitControl::PacketAccounting GetAccounting() const;

private:
    // kBusy: being prepared for handing out, or being given back.
    enum : UInt32 { kFree = 0, kOut = 1, kBusy = 2 };

    struct Slot {
        Zent::Mux::Orvel::MuxPacket packet;
        std::atomic<UInt32> state{kFree};
        Use use;
    };

    // The slot of inPacket, or -1.
    SInt32 FindSlot(const Zent::Mux::Orvel::MuxPacket* inPacket) const;

    const UInt32 mPacketCount;
    std::unique_ptr<Slot[]> mSlots;
    std::vector<UInt8> mSampleData;
    std::atomic<UInt64> mHandedOut{0};
    std::atomic<UInt64> mReleased{0};
    std::atomic<UInt64> mDoubleReleases{0};
    std::atomic<UInt64> mForeignReleases{0};
    std::atomic<UInt64> mExhausted{0};
};

}  // namespace Unit
}  // namespace Kestro
