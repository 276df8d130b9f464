// The driver against the simulated unit, with the unit's own threads:
// changes made on host threads while packets flow must neither deadlock
// against a packet in flight nor lose or double-release a packet.
#include <gtest/gtest.h>

#include <atomic>

#include "driver/DataSourceControl.h"
#include "platform/HostClock.h"
#include "tests/driver/DriverFixture.h"
#include "unit/SimulatedUnit.h"

namespace DriverTest {
namespace {

using Kestro::Unit::SimulatedUnit;
using Kestro::Unit::UnitControl;

std::atomic<int> gCycles{0};

OSStatus CountingProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                      AudioBufferList*, const AudioTimeStamp*, void*)
{
    ++gCycles;
    return 0;
}

class DriverWithUnitTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mUnit.RegisterUnitComponent(), 0);
        ASSERT_EQ(mUnit.SetPacing(UnitControl::Pacing::kFast), 0);
        mPlugIn = new PlugIn(kAudioHardwarePlugInTypeID);
        mPlugIn->Retain();
        mPlugIn->Initialize();
        ASSERT_EQ(mUnit.WaitForNotifications(), 0);
        ASSERT_EQ(mPlugIn->GetNumberDevices(), 2u);
    }
    void TearDown() override
    {
        mPlugIn->Teardown();
        HostRunLoopFlush();
        mPlugIn->Release();
        mUnit.UnregisterUnitComponent();
    }

    OrvelDevice* Device(bool inIsInput)
    {
        for (UInt32 i = 0; i < mPlugIn->GetNumberDevices(); ++i) {
            auto* theDevice = static_cast<OrvelDevice*>(mPlugIn->GetDeviceByIndex(i));
            if (theDevice->IsInput() == inIsInput) {
                return theDevice;
            }
        }
        return nullptr;
    }

    void ExpectExactAccounting()
    {
        const UnitControl::PacketAccounting theAccounting = mUnit.GetPacketAccounting();
        EXPECT_EQ(theAccounting.outstanding, 0u);
        EXPECT_EQ(theAccounting.doubleReleases, 0u);
        EXPECT_EQ(theAccounting.foreignReleases, 0u);
        EXPECT_EQ(theAccounting.handedOut, theAccounting.released);
    }

    SimulatedUnit mUnit;
    PlugIn* mPlugIn = nullptr;
};

TEST_F(DriverWithUnitTest, DataSourceSwitchesWhilePacketsFlow)
{
    OrvelDevice* theInput = Device(true);
    ASSERT_NE(theInput, nullptr);
    theInput->DoAddIOProc(&CountingProc, nullptr);
    theInput->DoStartIOProc(&CountingProc);
    ASSERT_TRUE(theInput->IsEngineRunning());
    const UInt32 theItems[] = {FourCC("iaes"), FourCC("ispd"), FourCC("isdi"), FourCC("ialg")};
    for (int i = 0; i < 40; ++i) {
        const int theBefore = gCycles.load();
        while (gCycles.load() < theBefore + 2) {
            std::this_thread::yield();
        }
        theInput->GetDataSourceControl()->SetCurrentItemByID(theItems[i % 4]);
        EXPECT_EQ(theInput->GetCurrentStreamCode(), theItems[i % 4]);
    }
    theInput->DoStopIOProc(&CountingProc);
    HostRunLoopFlush();
    EXPECT_FALSE(theInput->IsEngineRunning());
    ExpectExactAccounting();
}

TEST_F(DriverWithUnitTest, StartStopChurnAndUnplugWhileRunning)
{
    OrvelDevice* theOutput = Device(false);
    OrvelDevice* theInput = Device(true);
    theOutput->DoAddIOProc(&CountingProc, nullptr);
    theInput->DoAddIOProc(&CountingProc, nullptr);
    for (int i = 0; i < 30; ++i) {
        theOutput->DoStartIOProc(&CountingProc);
        theInput->DoStartIOProc(&CountingProc);
        const int theBefore = gCycles.load();
        while (gCycles.load() < theBefore + 2) {
            std::this_thread::yield();
        }
        theOutput->DoStopIOProc(&CountingProc);
        theInput->DoStopIOProc(&CountingProc);
    }
    theOutput->DoStartIOProc(&CountingProc);
    theInput->DoStartIOProc(&CountingProc);
    const int theBefore = gCycles.load();
    while (gCycles.load() < theBefore + 4) {
        std::this_thread::yield();
    }
    // Departure while both run: the devices are torn down on the unit's
    // notification thread.
    ASSERT_EQ(mUnit.RemoveUnit(), 0);
    ASSERT_EQ(mUnit.WaitForNotifications(), 0);
    HostRunLoopFlush();
    EXPECT_EQ(mPlugIn->GetNumberDevices(), 0u);
    ExpectExactAccounting();
}

}  // namespace
}  // namespace DriverTest
