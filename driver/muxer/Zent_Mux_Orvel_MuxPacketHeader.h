// The header of a muxer packet: its frame count, whether the packet carries a
// time, and a debug time stamp. Filled by the muxer before the packet is
// handed to the I/O callback; read by the driver on the I/O thread.
#pragma once

#include "platform/MacTypes.h"

namespace Zent {
namespace Mux {
namespace Orvel {

class MuxPacketHeader {
public:
    UInt32 GetDebugTimeStamp() const { return mDebugTimeStamp; }
    void SetDebugTimeStamp(UInt32 inTimeStamp) { mDebugTimeStamp = inTimeStamp; }

    UInt32 GetFrameCount() const { return mFrameCount; }
    void SetFrameCount(UInt32 inFrameCount) { mFrameCount = inFrameCount; }

    // True when the packet carries a time (MuxPacket::GetTimeInNanos).
    bool HasTime() const { return mHasTime != 0; }
    void SetHasTime(bool inHasTime) { mHasTime = inHasTime ? 1 : 0; }

private:
    UInt32 mDebugTimeStamp = 0;
    UInt32 mFrameCount = 0;
    UInt32 mHasTime = 0;
};

}  // namespace Orvel
}  // namespace Mux
}  // namespace Zent
