// The host's client API over a plug-in's interface table: IDs are checked
// against the announcements before anything reaches the plug-in, calls go
// to the right entry with their arguments, the plug-in's status comes back
// unchanged; 'dev#'; and the ways loading fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/AudioHardwareHost.h"
#include "platform/HostRunLoop.h"

namespace {

constexpr OSStatus kNope = kAudioHardwareIllegalOperationError;

// A plug-in made of a table whose entries record the entry called and the
// object ID, and return the status the test chose.
struct FakePlugIn {
    const AudioHardwarePlugInInterface* mTable;
    std::vector<std::string> mCalls;
    std::vector<UInt32> mIDs;
    OSStatus mStatus = 0;

    static FakePlugIn& Of(void* inRef) { return *static_cast<FakePlugIn*>(inRef); }
    static OSStatus Note(void* inRef, const char* inCall, UInt32 inID)
    {
        Of(inRef).mCalls.push_back(inCall);
        Of(inRef).mIDs.push_back(inID);
        return Of(inRef).mStatus;
    }
    AudioHardwarePlugInRef Ref() { return reinterpret_cast<AudioHardwarePlugInRef>(this); }
};

const AudioHardwarePlugInInterface kFakeTable = {
    nullptr,
    [](void*, REFIID, LPVOID*) -> HRESULT { return E_NOINTERFACE; },
    [](void*) -> ULONG { return 1; },
    [](void*) -> ULONG { return 1; },
    [](AudioHardwarePlugInRef r) { return FakePlugIn::Note(r, "Initialize", 0); },
    [](AudioHardwarePlugInRef r) { return FakePlugIn::Note(r, "Teardown", 0); },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, AudioDeviceIOProc, void*) { return FakePlugIn::Note(r, "Add", d); },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, AudioDeviceIOProc) { return FakePlugIn::Note(r, "Remove", d); },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, AudioDeviceIOProc) { return FakePlugIn::Note(r, "Start", d); },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, AudioDeviceIOProc) { return FakePlugIn::Note(r, "Stop", d); },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, const AudioTimeStamp*, AudioBufferList*) {
        return FakePlugIn::Note(r, "Read", d);
    },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, AudioTimeStamp*) { return FakePlugIn::Note(r, "Now", d); },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, const AudioTimeStamp*, AudioTimeStamp*) {
        return FakePlugIn::Note(r, "Translate", d);
    },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, UInt32, Boolean, AudioDevicePropertyID, UInt32*, Boolean*) {
        return FakePlugIn::Note(r, "DeviceInfo", d);
    },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, UInt32, Boolean, AudioDevicePropertyID, UInt32*, void*) {
        return FakePlugIn::Note(r, "DeviceGet", d);
    },
    [](AudioHardwarePlugInRef r, AudioDeviceID d, const AudioTimeStamp*, UInt32, Boolean, AudioDevicePropertyID,
       UInt32, const void*) { return FakePlugIn::Note(r, "DeviceSet", d); },
    [](AudioHardwarePlugInRef r, AudioStreamID s, UInt32, AudioDevicePropertyID, UInt32*, Boolean*) {
        return FakePlugIn::Note(r, "StreamInfo", s);
    },
    [](AudioHardwarePlugInRef r, AudioStreamID s, UInt32, AudioDevicePropertyID, UInt32*, void*) {
        return FakePlugIn::Note(r, "StreamGet", s);
    },
    [](AudioHardwarePlugInRef r, AudioStreamID s, const AudioTimeStamp*, UInt32, AudioDevicePropertyID, UInt32,
       const void*) { return FakePlugIn::Note(r, "StreamSet", s); },
};

class AudioHardwareHostTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(AudioHardwareClaimAudioDeviceID(mPlugIn.Ref(), &mDevice), 0);
        ASSERT_EQ(AudioHardwareClaimAudioStreamID(mPlugIn.Ref(), mDevice, &mStream), 0);
        ASSERT_EQ(AudioHardwareStreamsCreated(mPlugIn.Ref(), mDevice, 1, &mStream), 0);
        ASSERT_EQ(AudioHardwareDevicesCreated(mPlugIn.Ref(), 1, &mDevice), 0);
    }
    void TearDown() override
    {
        AudioHardwareServerForgetPlugIn(mPlugIn.Ref());
        HostRunLoopFlush();
    }

    FakePlugIn mPlugIn{&kFakeTable, {}, {}, 0};
    AudioDeviceID mDevice = 0;
    AudioStreamID mStream = 0;
};

// Every device and stream call of the client API, each with the entry it
// must reach.
struct ClientCall {
    const char* mEntry;
    OSStatus (*mCall)(UInt32 inID);
    bool mIsStream;
};

AudioTimeStamp gTime{};
AudioTimeStamp gOut{};
AudioBufferList gBuffers{};
UInt32 gSize = 4;
UInt32 gData = 0;

const ClientCall kClientCalls[] = {
    {"Add", [](UInt32 d) { return AudioDeviceAddIOProc(d, nullptr, nullptr); }, false},
    {"Remove", [](UInt32 d) { return AudioDeviceRemoveIOProc(d, nullptr); }, false},
    {"Start", [](UInt32 d) { return AudioDeviceStart(d, nullptr); }, false},
    {"Stop", [](UInt32 d) { return AudioDeviceStop(d, nullptr); }, false},
    {"Read", [](UInt32 d) { return AudioDeviceRead(d, &gTime, &gBuffers); }, false},
    {"Now", [](UInt32 d) { return AudioDeviceGetCurrentTime(d, &gOut); }, false},
    {"Translate", [](UInt32 d) { return AudioDeviceTranslateTime(d, &gTime, &gOut); }, false},
    {"DeviceInfo", [](UInt32 d) { return AudioDeviceGetPropertyInfo(d, 0, 0, FourCC("name"), &gSize, nullptr); },
     false},
    {"DeviceGet", [](UInt32 d) { return AudioDeviceGetProperty(d, 0, 0, FourCC("name"), &gSize, &gData); }, false},
    {"DeviceSet", [](UInt32 d) { return AudioDeviceSetProperty(d, nullptr, 0, 0, FourCC("name"), 4, &gData); },
     false},
    {"StreamInfo", [](UInt32 s) { return AudioStreamGetPropertyInfo(s, 0, FourCC("sdir"), &gSize, nullptr); }, true},
    {"StreamGet", [](UInt32 s) { return AudioStreamGetProperty(s, 0, FourCC("sdir"), &gSize, &gData); }, true},
    {"StreamSet", [](UInt32 s) { return AudioStreamSetProperty(s, nullptr, 0, FourCC("sdir"), 4, &gData); }, true},
};

TEST_F(AudioHardwareHostTest, CallsReachTheirEntryAndReturnThePlugInsStatus)
{
    for (const ClientCall& call : kClientCalls) {
        SCOPED_TRACE(call.mEntry);
        mPlugIn.mCalls.clear();
        mPlugIn.mIDs.clear();
        UInt32 id = call.mIsStream ? mStream : mDevice;
        mPlugIn.mStatus = 0;
        EXPECT_EQ(call.mCall(id), 0);
        mPlugIn.mStatus = kAudioHardwareBadPropertySizeError;
        EXPECT_EQ(call.mCall(id), kAudioHardwareBadPropertySizeError);
        EXPECT_EQ(mPlugIn.mCalls, std::vector<std::string>(2, call.mEntry));
        EXPECT_EQ(mPlugIn.mIDs, std::vector<UInt32>(2, id));
    }
}

TEST_F(AudioHardwareHostTest, UnknownIDsNeverReachThePlugIn)
{
    AudioDeviceID claimedOnly = 0;
    ASSERT_EQ(AudioHardwareClaimAudioDeviceID(mPlugIn.Ref(), &claimedOnly), 0);
    AudioStreamID unannounced = 0;
    ASSERT_EQ(AudioHardwareClaimAudioStreamID(mPlugIn.Ref(), mDevice, &unannounced), 0);
    for (const ClientCall& call : kClientCalls) {
        SCOPED_TRACE(call.mEntry);
        if (call.mIsStream) {
            EXPECT_EQ(call.mCall(unannounced), kAudioHardwareBadStreamError);
            EXPECT_EQ(call.mCall(0), kAudioHardwareBadStreamError);
        } else {
            EXPECT_EQ(call.mCall(claimedOnly), kAudioHardwareBadDeviceError);
            EXPECT_EQ(call.mCall(0), kAudioHardwareBadDeviceError);
        }
    }
    // A device that died takes its streams with it.
    ASSERT_EQ(AudioHardwareDevicesDied(mPlugIn.Ref(), 1, &mDevice), 0);
    for (const ClientCall& call : kClientCalls) {
        EXPECT_EQ(call.mCall(call.mIsStream ? mStream : mDevice),
                  call.mIsStream ? kAudioHardwareBadStreamError : kAudioHardwareBadDeviceError);
    }
    EXPECT_TRUE(mPlugIn.mCalls.empty());
}

TEST_F(AudioHardwareHostTest, TheDeviceListHoldsTheAnnouncedDevices)
{
    UInt32 size = 0;
    Boolean writable = 1;
    ASSERT_EQ(AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &size, &writable), 0);
    EXPECT_EQ(writable, 0);
    ASSERT_GE(size, sizeof(AudioDeviceID));
    std::vector<AudioDeviceID> devices(size / sizeof(AudioDeviceID) + 1, 0xFFFFFFFF);
    UInt32 bigger = UInt32(devices.size() * sizeof(AudioDeviceID));
    ASSERT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &bigger, devices.data()), 0);
    EXPECT_EQ(bigger, size);
    EXPECT_EQ(devices.back(), 0xFFFFFFFFu) << "nothing written past the list";
    EXPECT_EQ(devices[size / sizeof(AudioDeviceID) - 1], mDevice) << "the newest device comes last";

    // A short buffer gets the whole IDs that fit.
    AudioDeviceID first = 0;
    UInt32 oneAndABit = sizeof(AudioDeviceID) + 2;
    EXPECT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &oneAndABit, &first), 0);
    EXPECT_EQ(oneAndABit, sizeof(AudioDeviceID));
    EXPECT_EQ(first, devices[0]);
}

TEST_F(AudioHardwareHostTest, BadDeviceListRequestsAreRefused)
{
    UInt32 size = 4;
    EXPECT_EQ(AudioHardwareGetPropertyInfo(FourCC("xxxx"), &size, nullptr), kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(AudioHardwareGetProperty(FourCC("xxxx"), &size, nullptr), kAudioHardwareUnknownPropertyError);
    EXPECT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDevices, nullptr, nullptr), kNope);
    EXPECT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, nullptr), kNope);
    EXPECT_EQ(size, 4u);
    size = 0;
    EXPECT_EQ(AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, nullptr), 0);
    EXPECT_EQ(size, 0u);
}

OSStatus CountingDeviceListener(AudioDeviceID, UInt32, Boolean, AudioDevicePropertyID, void* inCount)
{
    ++*static_cast<int*>(inCount);
    return 0;
}

TEST_F(AudioHardwareHostTest, PropertyListenersOfTheClientAPIHearTheDevice)
{
    int count = 0;
    ASSERT_EQ(AudioDeviceAddPropertyListener(mDevice, 0, 0, FourCC("name"), CountingDeviceListener, &count), 0);
    EXPECT_EQ(AudioDeviceAddPropertyListener(mDevice + 100000, 0, 0, FourCC("name"), CountingDeviceListener, &count),
              kAudioHardwareBadDeviceError);
    AudioHardwareDevicePropertyChanged(mPlugIn.Ref(), mDevice, 0, 0, FourCC("name"));
    HostRunLoopFlush();
    EXPECT_EQ(count, 1);
    EXPECT_EQ(AudioDeviceRemovePropertyListener(mDevice, 0, 0, FourCC("name"), CountingDeviceListener), 0);
    AudioHardwareDevicePropertyChanged(mPlugIn.Ref(), mDevice, 0, 0, FourCC("name"));
    HostRunLoopFlush();
    EXPECT_EQ(count, 1);
}

TEST(AudioHardwareHostLoad, LoadFailuresReturnNullWithAStatusAndALine)
{
    const struct {
        const char* mName;
        const char* mPath;
        OSStatus mStatus;
    } cases[] = {
        {"null path", nullptr, kNope},
        {"no such file", "/nonexistent/Kestro.plugin.so", kAudioHardwareUnspecifiedError},
        {"no NewPlugIn", "libm.so.6", kAudioHardwareUnspecifiedError},
    };
    for (const auto& check : cases) {
        SCOPED_TRACE(check.mName);
        OSStatus status = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(AudioHardwareHostLoadPlugIn(check.mPath, &status), nullptr);
        std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, check.mStatus);
        EXPECT_EQ(printed.rfind("AudioHardwareHostLoadPlugIn: ", 0), 0u) << printed;
        EXPECT_EQ(AudioHardwareHostGetPlugIn(), nullptr);
    }
    EXPECT_EQ(AudioHardwareHostUnloadPlugIn(), kNope);
}

} // namespace
