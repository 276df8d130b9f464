// Shared pieces of the driver's unit tests: a plug-in object that is never
// initialized (devices are built directly against a FakeMuxer), helpers to
// build and destroy devices, hand-made packets, and packed-sample helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "driver/OrvelDevice.h"
#include "driver/PlugIn.h"
#include "driver/Stream.h"
#include "driver/muxer/Zent_Mux_Orvel_MuxPacket.h"
#include "platform/AudioHardware.h"
#include "platform/AudioHardwareServer.h"
#include "platform/HostRunLoop.h"
#include "tests/driver/FakeMuxer.h"

namespace DriverTest {

using Zent::CA::HALPlugIn::Orvel::OrvelDevice;
using Zent::CA::HALPlugIn::Orvel::PlugIn;
using Zent::CA::HALPlugIn::Orvel::Stream;
using Zent::Mux::Orvel::MuxPacket;

constexpr unsigned kInputPacket = 2;
constexpr unsigned kOutputPacket = 3;

// A packet with its own sample memory: 8 interleaved channels.
struct TestPacket {
    TestPacket(UInt32 inFrames, UInt32 inBytesPerSample, UInt64 inTime = 0, bool inStamped = false,
               bool inMarked = false)
        : mData(size_t(inFrames) * 8 * inBytesPerSample, 0)
    {
        mPacket.GetHeader()->SetFrameCount(inFrames);
        mPacket.GetHeader()->SetHasTime(inStamped);
        mPacket.SetTimeInNanos(inTime);
        mPacket.SetMarked(inMarked);
        mPacket.SetSampleData(mData.data());
    }
    // Writes a little-endian signed sample.
    void SetSample(UInt32 inFrame, UInt32 inChannel, SInt32 inValue, UInt32 inBytesPerSample)
    {
        UInt8* theSample = mData.data() + (size_t(inFrame) * 8 + inChannel) * inBytesPerSample;
        for (UInt32 b = 0; b < inBytesPerSample; ++b) {
            theSample[b] = UInt8(UInt32(inValue) >> (8 * b));
        }
    }
    SInt32 GetSample(UInt32 inFrame, UInt32 inChannel, UInt32 inBytesPerSample) const
    {
        const UInt8* theSample = mData.data() + (size_t(inFrame) * 8 + inChannel) * inBytesPerSample;
        UInt32 theValue = 0;
        for (UInt32 b = 0; b < inBytesPerSample; ++b) {
            theValue |= UInt32(theSample[b]) << (8 * b);
        }
        const UInt32 theShift = 32 - 8 * inBytesPerSample;
        return SInt32(theValue << theShift) >> theShift;
    }

    MuxPacket mPacket;
    std::vector<UInt8> mData;
};

class DriverFixture : public testing::Test {
protected:
    void SetUp() override
    {
        mPlugIn = new PlugIn(kAudioHardwarePlugInTypeID);
        mPlugIn->Retain();
        AudioHardwareServerClearEvents();
    }
    void TearDown() override
    {
        for (OrvelDevice* theDevice : mDevices) {
            theDevice->Teardown();
            delete theDevice;
        }
        mDevices.clear();
        HostRunLoopFlush();
        mPlugIn->Release();
    }

    // Builds and initializes a device; the fixture destroys it.
    OrvelDevice* MakeDevice(bool inIsInput)
    {
        AudioDeviceID theID = 0;
        EXPECT_EQ(AudioHardwareClaimAudioDeviceID(mPlugIn->GetInterface(), &theID), 0);
        OrvelDevice* theDevice = new OrvelDevice(mPlugIn, &mMuxer, nullptr, theID, inIsInput);
        theDevice->Initialize();
        mDevices.push_back(theDevice);
        return theDevice;
    }
    void DestroyDevice(OrvelDevice* inDevice)
    {
        for (auto it = mDevices.begin(); it != mDevices.end(); ++it) {
            if (*it == inDevice) {
                mDevices.erase(it);
                break;
            }
        }
        inDevice->Teardown();
        delete inDevice;
    }

    FakeMuxer mMuxer;
    PlugIn* mPlugIn = nullptr;
    std::vector<OrvelDevice*> mDevices;
};

}  // namespace DriverTest
