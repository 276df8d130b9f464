// The driver's plug-in: attaching to the muxer component, publishing the
// unit's two devices on arrival and withdrawing them on departure.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/Components.h"
#include "support/CACFString.h"
#include "support/CAException.h"
#include "support/Zent_LWE_BadAllocation.h"
#include "tests/driver/DriverFixture.h"

namespace DriverTest {
namespace {

std::string ToString(CFStringRef inString)
{
    char theBuffer[256] = {};
    if (inString != nullptr) {
        CFStringGetCString(inString, theBuffer, sizeof(theBuffer), kCFStringEncodingUTF8);
        CFRelease(inString);
    }
    return theBuffer;
}

class PlugInArrivalTest : public testing::Test {
protected:
    void SetUp() override
    {
        ComponentDescription theDescription = {FourCC("muxr"), FourCC("orvl"), FourCC("Dove"), 0, 0};
        mComponent = RegisterComponent(&theDescription, reinterpret_cast<long>(&mMuxer));
        ASSERT_NE(mComponent, nullptr);
        mPlugIn = new PlugIn(kAudioHardwarePlugInTypeID);
        mPlugIn->Retain();
        AudioHardwareServerClearEvents();
    }
    void TearDown() override
    {
        mPlugIn->Teardown();
        HostRunLoopFlush();
        mPlugIn->Release();
        UnregisterComponent(mComponent);
    }

    std::vector<AudioHardwareServerEvent> Events(AudioHardwareServerEvent::Kind inKind)
    {
        std::vector<AudioHardwareServerEvent> theEvents;
        for (const auto& theEvent : AudioHardwareServerCopyEvents()) {
            if (theEvent.mKind == inKind && theEvent.mPlugIn == mPlugIn->GetInterface()) {
                theEvents.push_back(theEvent);
            }
        }
        return theEvents;
    }

    FakeMuxer mMuxer;
    Component mComponent = nullptr;
    PlugIn* mPlugIn = nullptr;
};

TEST_F(PlugInArrivalTest, InitializeOpensTheMuxerAndRegistersButPublishesNothing)
{
    mPlugIn->Initialize();
    EXPECT_EQ(mPlugIn->GetMuxer(), &mMuxer);
    EXPECT_EQ(mMuxer.TakeCalls(), std::vector<std::string>{"RegisterNotification"});
    EXPECT_EQ(mPlugIn->GetNumberDevices(), 0u);
    EXPECT_EQ(CountComponentInstances(mComponent), 1);
}

TEST_F(PlugInArrivalTest, ArrivalPublishesOutThenInEachAnnouncedSingly)
{
    mPlugIn->Initialize();
    mMuxer.Notify(0, nullptr);

    ASSERT_EQ(mPlugIn->GetNumberDevices(), 2u);
    auto theCreated = Events(AudioHardwareServerEvent::kDevicesCreated);
    ASSERT_EQ(theCreated.size(), 2u);
    auto* theOut = static_cast<OrvelDevice*>(mPlugIn->GetDeviceByAudioDeviceID(theCreated[0].mDevice));
    auto* theIn = static_cast<OrvelDevice*>(mPlugIn->GetDeviceByAudioDeviceID(theCreated[1].mDevice));
    ASSERT_NE(theOut, nullptr);
    ASSERT_NE(theIn, nullptr);
    EXPECT_FALSE(theOut->IsInput());
    EXPECT_TRUE(theIn->IsInput());

    EXPECT_EQ(ToString(theOut->CopyDeviceName()), "Kestro Out");
    EXPECT_EQ(ToString(theIn->CopyDeviceName()), "Kestro In");
    EXPECT_EQ(ToString(theOut->CopyDeviceManufacturerName()), "Haldrix Computer, Inc.");
    EXPECT_EQ(ToString(theIn->CopyDeviceManufacturerName()), "Haldrix Computer, Inc.");
    EXPECT_EQ(ToString(theOut->CopyDeviceUID()), "com_haldrix_Kestro_Out:0");
    EXPECT_EQ(ToString(theIn->CopyDeviceUID()), "com_haldrix_Kestro_In:0");
    EXPECT_EQ(theOut->GetTransportType(), FourCC("1394"));
    EXPECT_EQ(theIn->GetTransportType(), FourCC("1394"));

    // One stream published each; the input device built one per connector.
    EXPECT_EQ(theOut->GetNumberStreams(false), 1u);
    EXPECT_EQ(theOut->GetNumberStreams(true), 0u);
    EXPECT_EQ(theIn->GetNumberStreams(true), 1u);
    EXPECT_EQ(theIn->GetNumberCreatedStreams(), 5u);
    EXPECT_EQ(AudioHardwareServerCopyStreams(theOut->GetObjectID()).size(), 1u);
    EXPECT_EQ(AudioHardwareServerCopyStreams(theIn->GetObjectID()).size(), 1u);
}

TEST_F(PlugInArrivalTest, DepartureWithdrawsBothAndAnnouncesEachBeforeTeardown)
{
    mPlugIn->Initialize();
    mMuxer.Notify(0, nullptr);
    ASSERT_EQ(mPlugIn->GetNumberDevices(), 2u);
    auto theCreated = Events(AudioHardwareServerEvent::kDevicesCreated);
    mMuxer.TakeCalls();

    mMuxer.Notify(1, nullptr);
    EXPECT_EQ(mPlugIn->GetNumberDevices(), 0u);
    auto theDied = Events(AudioHardwareServerEvent::kDevicesDied);
    ASSERT_EQ(theDied.size(), 2u);
    // Always index 0 of the registry: the lower ID first.
    EXPECT_EQ(theDied[0].mDevice, std::min(theCreated[0].mDevice, theCreated[1].mDevice));
    EXPECT_EQ(theDied[1].mDevice, std::max(theCreated[0].mDevice, theCreated[1].mDevice));
    EXPECT_EQ(mMuxer.CountCalls("DetachAudioClient 1") + mMuxer.CountCalls("DetachAudioClient 2"), 2u);

    // Departure again: nothing.
    AudioHardwareServerClearEvents();
    mMuxer.Notify(1, nullptr);
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
}

TEST_F(PlugInArrivalTest, UnknownNotificationKindsChangeNothing)
{
    mPlugIn->Initialize();
    mMuxer.Notify(0, nullptr);
    AudioHardwareServerClearEvents();
    for (unsigned theKind : {2u, 3u, 0xFFFFFFFFu}) {
        mMuxer.Notify(theKind, nullptr);
    }
    EXPECT_EQ(mPlugIn->GetNumberDevices(), 2u);
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
}

TEST_F(PlugInArrivalTest, TeardownAfterDepartureOnlyDetaches)
{
    mPlugIn->Initialize();
    mMuxer.Notify(0, nullptr);
    mMuxer.Notify(1, nullptr);
    mMuxer.TakeCalls();
    AudioHardwareServerClearEvents();

    mPlugIn->Teardown();
    EXPECT_EQ(mMuxer.TakeCalls(), std::vector<std::string>{"UnregisterNotification 77"});
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
    EXPECT_EQ(CountComponentInstances(mComponent), 0);
}

TEST_F(PlugInArrivalTest, TeardownWithDevicesWithdrawsThemThenDetaches)
{
    mPlugIn->Initialize();
    mMuxer.Notify(0, nullptr);
    mPlugIn->Teardown();
    EXPECT_EQ(mPlugIn->GetNumberDevices(), 0u);
    EXPECT_EQ(Events(AudioHardwareServerEvent::kDevicesDied).size(), 2u);
    auto theCalls = mMuxer.TakeCalls();
    ASSERT_FALSE(theCalls.empty());
    EXPECT_EQ(theCalls.back(), "UnregisterNotification 77");
}

// A unit whose input settings the streams cannot serve (16-bit samples)
// makes the input device fail to initialize. The failure stays on the
// notification thread: it is reported, the device torn down and deleted,
// and the output device is still published.
TEST_F(PlugInArrivalTest, DeviceThatCannotInitializeIsReportedAndDropped)
{
    mMuxer.mSettings.audioinwordsize = Zent::Orvel::Settings::kWordSize16;
    mPlugIn->Initialize();
    testing::internal::CaptureStderr();
    mMuxer.Notify(0, nullptr);
    std::string theErrors = testing::internal::GetCapturedStderr();

    // The output device is fine; the input device is dropped.
    ASSERT_EQ(mPlugIn->GetNumberDevices(), 1u);
    EXPECT_FALSE(static_cast<OrvelDevice*>(mPlugIn->GetDeviceByIndex(0))->IsInput());
    EXPECT_NE(theErrors.find("PlugIn::Notification: couldn't initialize a device, Error: 560226676 (!dat)\n"),
              std::string::npos)
        << theErrors;
    EXPECT_EQ(Events(AudioHardwareServerEvent::kDevicesCreated).size(), 1u);
    // The dropped device's stream was unpublished again and its client
    // detached.
    EXPECT_EQ(Events(AudioHardwareServerEvent::kStreamsCreated).size(),
              Events(AudioHardwareServerEvent::kStreamsDied).size() + 1);
    EXPECT_EQ(mMuxer.CountCalls("DetachAudioClient 2"), 1u);
}

// Host threads keep calling into whatever devices exist while the unit
// arrives and leaves: a call either finds a live device or gets '!dev',
// never a device being destroyed.
TEST_F(PlugInArrivalTest, HostCallsRacingArrivalAndDepartureAreSafe)
{
    mPlugIn->Initialize();
    std::atomic<bool> theStop{false};
    std::atomic<UInt64> theAnswered{0};
    std::vector<std::thread> theThreads;
    for (int t = 0; t < 3; ++t) {
        theThreads.emplace_back([&, t] {
            while (!theStop.load()) {
                for (AudioDeviceID theID = 1; theID < 400; theID += 1 + t) {
                    char theName[64];
                    UInt32 theSize = sizeof(theName);
                    try {
                        mPlugIn->DeviceGetProperty(theID, 0, false, FourCC("name"), &theSize, theName);
                        ++theAnswered;
                    } catch (const CAException& theException) {
                        EXPECT_EQ(theException.GetError(), OSStatus(FourCC("!dev")));
                    }
                }
            }
        });
    }
    testing::internal::CaptureStderr();
    for (int i = 0; i < 100; ++i) {
        mMuxer.Notify(0, nullptr);
        mMuxer.Notify(1, nullptr);
    }
    theStop = true;
    for (auto& theThread : theThreads) {
        theThread.join();
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(mPlugIn->GetNumberDevices(), 0u);
}

TEST(PlugInWithoutMuxer, InitializeThrowsBadAllocationAndRegistersNothing)
{
    PlugIn* thePlugIn = new PlugIn(kAudioHardwarePlugInTypeID);
    thePlugIn->Retain();
    EXPECT_THROW(thePlugIn->Initialize(), Zent::LWE::BadAllocation);
    EXPECT_EQ(thePlugIn->GetMuxer(), nullptr);
    EXPECT_EQ(thePlugIn->GetNumberDevices(), 0u);
    thePlugIn->Teardown();
    thePlugIn->Release();
}

}  // namespace
}  // namespace DriverTest
