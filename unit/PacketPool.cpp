#include "unit/PacketPool.h"

namespace Kestro {
namespace Unit {

using Zent::Mux::Orvel::MuxPacket;

PacketPool::PacketPool(UInt32 inPacketCount)
    : mPacketCount(inPacketCount == 0 ? 1 : inPacketCount),
      mSlots(new Slot[mPacketCount]),
      mSampleData(size_t(mPacketCount) * kPacketBytes, 0)
{
}

MuxPacket* PacketPool::Acquire(const Use& inUse)
{
    for (UInt32 index = 0; index < mPacketCount; ++index) {
        Slot& slot = mSlots[index];
        UInt32 expected = kFree;
        if (!slot.state.compare_exchange_strong(expected, kBusy, std::memory_order_acquire)) {
            continue;
        }
        slot.use = inUse;
        MuxPacket& packet = slot.packet;
        packet.GetHeader()->SetFrameCount(inUse.frames);
        packet.GetHeader()->SetHasTime(false);
        packet.GetHeader()->SetDebugTimeStamp(0);
        packet.SetMarked(false);
        packet.SetTimeInNanos(0);
        packet.SetSampleData(&mSampleData[size_t(index) * kPacketBytes]);
        // Counted before it can come back, so released never exceeds handed out.
        mHandedOut.fetch_add(1);
        // Publishes the use to whichever thread gives the packet back.
        slot.state.store(kOut, std::memory_order_release);
        return &packet;
    }
    mExhausted.fetch_add(1, std::memory_order_relaxed);
    return nullptr;
}

SInt32 PacketPool::FindSlot(const MuxPacket* inPacket) const
{
    // Compares addresses only: a foreign pointer is never dereferenced.
    for (UInt32 index = 0; index < mPacketCount; ++index) {
        if (&mSlots[index].packet == inPacket) {
            return SInt32(index);
        }
    }
    return -1;
}

PacketPool::ReleaseResult PacketPool::BeginRelease(MuxPacket* inPacket, Use& outUse)
{
    const SInt32 index = inPacket == nullptr ? -1 : FindSlot(inPacket);
    if (index < 0) {
        mForeignReleases.fetch_add(1, std::memory_order_relaxed);
        return ReleaseResult::kForeign;
    }
    Slot& slot = mSlots[index];
    UInt32 expected = kOut;
    if (!slot.state.compare_exchange_strong(expected, kBusy, std::memory_order_acq_rel)) {
        mDoubleReleases.fetch_add(1, std::memory_order_relaxed);
        return ReleaseResult::kDoubleRelease;
    }
    outUse = slot.use;
    return ReleaseResult::kReleased;
}

void PacketPool::FinishRelease(MuxPacket* inPacket)
{
    const SInt32 index = FindSlot(inPacket);
    if (index < 0) {
        return;
    }
    mReleased.fetch_add(1);
    mSlots[index].state.store(kFree, std::memory_order_release);
}

UnitControl::PacketAccounting PacketPool::GetAccounting() const
{
    UnitControl::PacketAccounting accounting;
    accounting.poolSize = mPacketCount;
    // Released before handed out: a snapshot never shows more released than
    // handed out.
    accounting.released = mReleased.load();
    accounting.handedOut = mHandedOut.load();
    accounting.outstanding = accounting.handedOut >= accounting.released ? accounting.handedOut - accounting.released : 0;
    accounting.doubleReleases = mDoubleReleases.load(std::memory_order_relaxed);
    accounting.foreignReleases = mForeignReleases.load(std::memory_order_relaxed);
    accounting.poolExhausted = mExhausted.load(std::memory_order_relaxed);
    return accounting;
}

}  // namespace Unit
}  // namespace Kestro
