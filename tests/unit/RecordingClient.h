// A test's audio client of the simulated unit: attaches, starts like the
// driver does (acquire, arm, callback, start) and records every packet its
// callback receives. The records are written on the unit's I/O thread and
// read by the test after Step returns (Step waits for the callbacks).
#pragma once

#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

#include <pthread.h>

#include "unit/PackedSamples.h"
#include "unit/SimulatedUnit.h"

namespace Kestro {
namespace Unit {

struct PacketRecord {
    unsigned type = 0;
    UInt32 frames = 0;
    bool hasTime = false;
    bool marked = false;
    UInt64 time = 0;
    UInt32 debugStamp = 0;
    bool onIOThread = false;
    std::vector<SInt32> samples;  // unpacked at the client's word size
};

class RecordingClient {
public:
    RecordingClient(SimulatedUnit& inUnit, bool inIsInput, UInt32 inBytesPerSample = 3)
        : mUnit(inUnit), mIsInput(inIsInput), mBytesPerSample(inBytesPerSample)
    {
        mHandle = mUnit.AttachAudioClient(mUnit.GetUnitHandle(), 1);
    }
    ~RecordingClient()
    {
        Stop();
        mUnit.DetachAudioClient(mHandle);
    }

    bool Start()
    {
        if (!mUnit.AcquireAudio(mHandle, mIsInput)) {
            return false;
        }
        mUnit.ArmAudio(mHandle, 1);
        mUnit.SetIOCallback(mHandle, &RecordingClient::Entry, this);
        mUnit.StartAudio(mHandle);
        return true;
    }
    void Stop()
    {
        mUnit.StopAudio(mHandle);
        mUnit.ClearIOCallback(mHandle);
        mUnit.ReleaseAudio(mHandle);
    }

    UInt32 GetHandle() const { return mHandle; }

    std::vector<PacketRecord> records;
    std::atomic<UInt64> calls{0};
    // Runs before the packet is recorded and released (an output client
    // writes its samples here).
    std::function<void(Zent::Mux::Orvel::MuxPacket*)> onPacket;
    bool record = true;
    bool releaseTwice = false;
    bool neverRelease = false;

private:
    static void Entry(void* inRefCon, unsigned inType, void* inPacket)
    {
        static_cast<RecordingClient*>(inRefCon)->Handle(inType, static_cast<Zent::Mux::Orvel::MuxPacket*>(inPacket));
    }
    void Handle(unsigned inType, Zent::Mux::Orvel::MuxPacket* inPacket)
    {
        if (onPacket) {
            onPacket(inPacket);
        }
        if (record) {
            PacketRecord packetRecord;
            packetRecord.type = inType;
            packetRecord.frames = inPacket->GetHeader()->GetFrameCount();
            packetRecord.hasTime = inPacket->GetHeader()->HasTime();
            packetRecord.marked = inPacket->IsMarked();
            packetRecord.time = inPacket->GetTimeInNanos();
            packetRecord.debugStamp = inPacket->GetHeader()->GetDebugTimeStamp();
            packetRecord.onIOThread = pthread_equal(pthread_self(), mUnit.GetIOThread()) != 0;
            packetRecord.samples.resize(size_t(packetRecord.frames) * 8);
            PackedSamples::Unpack(inPacket->GetSampleData(), packetRecord.frames * 8, mBytesPerSample,
                                  packetRecord.samples.data());
            records.push_back(std::move(packetRecord));
        }
        calls.fetch_add(1);
        if (!neverRelease) {
            mUnit.ReleasePacket(inPacket);
            if (releaseTwice) {
                mUnit.ReleasePacket(inPacket);
            }
        }
    }

    SimulatedUnit& mUnit;
    bool mIsInput;
    UInt32 mBytesPerSample;
    UInt32 mHandle = 0;
};

}  // namespace Unit
}  // namespace Kestro
