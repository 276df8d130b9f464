// The device's rate window: the most recent packets' times and frame counts,
// oldest first, from which the I/O cycle measures the unit's true sample
// rate (see driver/README.md). A fixed ring, so that appending and dropping
// records on the I/O thread never allocates.
//
// Used only on the muxer's I/O thread and by engine start (IO guard held);
// no lock of its own.
#pragma once

#include <array>

#include "platform/MacTypes.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

// One packet as the window records it.
struct RateRecord {
    UInt64 mTime = 0;     // the packet's time, nanoseconds
    UInt32 mCount = 0;    // the packet's frame count
    UInt32 mStamped = 0;  // 1 when the packet carried a time
};

class RateWindow {
public:
    // Far above the 150 records a measurement needs: the ring only fills
    // when the unit stops stamping its packets for this many packets.
    static constexpr UInt32 kCapacity = 1024;

    RateWindow() = default;

    void Clear();
    UInt32 GetSize() const { return mSize; }
    bool IsEmpty() const { return mSize == 0; }
    bool IsFull() const { return mSize == kCapacity; }

    // Appends at the newest end. A full ring first drops its oldest record,
    // whose count is returned so the caller can keep its running total;
    // otherwise 0 is returned.
    UInt32 PushBack(const RateRecord& inRecord);
    // The oldest and the newest record; the window must not be empty.
    const RateRecord& Front() const { return mRecords[mHead]; }
    const RateRecord& Back() const { return mRecords[(mHead + mSize - 1) % kCapacity]; }
    // Drops the oldest record; nothing when empty.
    void PopFront();

private:
    std::array<RateRecord, kCapacity> mRecords{};
    UInt32 mHead = 0;
    UInt32 mSize = 0;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
