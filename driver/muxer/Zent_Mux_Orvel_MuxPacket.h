// A muxer packet as the I/O callback hands it to the driver: a header (frame
// count, time flag, debug time stamp), the sample data (always 8 interleaved
// channels of packed little-endian signed integers in the unit's word size),
// a mark flag and a 64-bit time in nanoseconds stored big-endian as the unit
// sends it. Read and written on the muxer's I/O thread only; the accessors do
// not allocate, lock or block.
#pragma once

#include "driver/muxer/Zent_Mux_Orvel_MuxPacketHeader.h"
#include "platform/MacTypes.h"

namespace Zent {
namespace Mux {
namespace Orvel {

class MuxPacket {
public:
    MuxPacket() = default;
    virtual ~MuxPacket() = default;

    MuxPacket(const MuxPacket&) = delete;
    MuxPacket& operator=(const MuxPacket&) = delete;

    // The packet's header.
    virtual MuxPacketHeader* GetHeader() { return &mHeader; }

    void* GetSampleData() const { return mSampleData; }
    void SetSampleData(void* inData) { mSampleData = inData; }

    bool IsMarked() const { return mMarkFlag != 0; }
    void SetMarked(bool inMarked) { mMarkFlag = inMarked ? 1 : 0; }

    // The time as stored: eight bytes, most significant first.
    const UInt8* GetBigEndianTime() const { return mBigEndianTime; }
    UInt64 GetTimeInNanos() const
    {
        UInt64 nanos = 0;
        for (UInt8 byte : mBigEndianTime) {
            nanos = (nanos << 8) | byte;
        }
        return nanos;
    }
    void SetTimeInNanos(UInt64 inNanos)
    {
        for (int index = 7; index >= 0; --index) {
            mBigEndianTime[index] = UInt8(inNanos);
            inNanos >>= 8;
        }
    }

private:
    MuxPacketHeader mHeader;
    void* mSampleData = nullptr;
    UInt32 mMarkFlag = 0;
    UInt8 mBigEndianTime[8] = {};
};

}  // namespace Orvel
}  // namespace Mux
}  // namespace Zent
