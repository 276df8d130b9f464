// Finding the sound component of an audio device: the device by name and
// manufacturer through the host's client API, the component by the UID it
// reports. The devices belong to a fake plug-in announced to the host; the
// components are registered with the component manager.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/AudioHardwareHost.h"
#include "platform/HostRunLoop.h"
#include "platform/SoundComponents.h"
#include "support/Zent_QTA_AudioDeviceLookup.h"

namespace {

constexpr OSType kType = FourCC("sdev");
constexpr OSType kOtherType = FourCC("othr");

// What one fake device answers; a null text is a failing read.
struct DeviceAnswers {
    const char* mName;
    const char* mManufacturer;
    const char* mUID;
};

// The fake plug-in: answers 'name', 'makr' and 'uid ' from a table.
struct FakePlugIn {
    const AudioHardwarePlugInInterface* mTable;
    std::map<AudioDeviceID, DeviceAnswers> mDevices;

    AudioHardwarePlugInRef Ref() { return reinterpret_cast<AudioHardwarePlugInRef>(this); }

    static OSStatus GetProperty(AudioHardwarePlugInRef inRef, AudioDeviceID inDevice, UInt32, Boolean,
                                AudioDevicePropertyID inSelector, UInt32* ioSize, void* outData)
    {
        const DeviceAnswers& theAnswers = reinterpret_cast<FakePlugIn*>(inRef)->mDevices.at(inDevice);
        const char* theText = (inSelector == kAudioDevicePropertyDeviceName)           ? theAnswers.mName
                              : (inSelector == kAudioDevicePropertyDeviceManufacturer) ? theAnswers.mManufacturer
                              : (inSelector == kAudioDevicePropertyDeviceUID)          ? theAnswers.mUID
                                                                                      : nullptr;
        if (theText == nullptr) {
            return kAudioHardwareUnknownPropertyError;
        }
        if (inSelector == kAudioDevicePropertyDeviceUID) {
            if (*ioSize < sizeof(CFStringRef)) {
                return kAudioHardwareBadPropertySizeError;
            }
            CFStringRef theUID = CFStringCreateWithCString(nullptr, theText, kCFStringEncodingUTF8);
            std::memcpy(outData, &theUID, sizeof(theUID));
            *ioSize = sizeof(theUID);
            return 0;
        }
        const UInt32 theSize = std::min<UInt32>(*ioSize, UInt32(std::strlen(theText) + 1));
        std::memcpy(outData, theText, theSize);
        *ioSize = theSize;
        return 0;
    }
};

OSStatus Refuse() { return kAudioHardwareIllegalOperationError; }

const AudioHardwarePlugInInterface kFakeTable = {
    nullptr,
    [](void*, REFIID, LPVOID*) -> HRESULT { return E_NOINTERFACE; },
    [](void*) -> ULONG { return 1; },
    [](void*) -> ULONG { return 1; },
    [](AudioHardwarePlugInRef) { return Refuse(); },
    [](AudioHardwarePlugInRef) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, AudioDeviceIOProc, void*) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, AudioDeviceIOProc) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, AudioDeviceIOProc) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, AudioDeviceIOProc) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, const AudioTimeStamp*, AudioBufferList*) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, AudioTimeStamp*) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, const AudioTimeStamp*, AudioTimeStamp*) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioDeviceID, UInt32, Boolean, AudioDevicePropertyID, UInt32*, Boolean*) {
        return Refuse();
    },
    &FakePlugIn::GetProperty,
    [](AudioHardwarePlugInRef, AudioDeviceID, const AudioTimeStamp*, UInt32, Boolean, AudioDevicePropertyID, UInt32,
       const void*) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioStreamID, UInt32, AudioDevicePropertyID, UInt32*, Boolean*) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioStreamID, UInt32, AudioDevicePropertyID, UInt32*, void*) { return Refuse(); },
    [](AudioHardwarePlugInRef, AudioStreamID, const AudioTimeStamp*, UInt32, AudioDevicePropertyID, UInt32,
       const void*) { return Refuse(); },
};

// A sound component's answer to 'huid': the UID it was registered with.
ComponentResult AnswerUID(void* inUID, SoundSource, OSType inSelector, void* outInfo)
{
    if (inSelector != siHALAudioDeviceUniqueID) {
        return badComponentSelector;
    }
    CFStringRef theUID = CFStringCreateWithCString(nullptr, static_cast<const char*>(inUID), kCFStringEncodingUTF8);
    std::memcpy(outInfo, &theUID, sizeof(theUID));
    return 0;
}

class SoundComponentLookupTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (Component theComponent : mSoundComponents) {
            UnregisterSoundComponent(theComponent);
        }
        for (Component theComponent : mPlainComponents) {
            UnregisterComponent(theComponent);
        }
        AudioHardwareServerForgetPlugIn(mPlugIn.Ref());
        HostRunLoopFlush();
    }

    // Announces the devices in order; returns their IDs.
    std::vector<AudioDeviceID> AddDevices(const std::vector<DeviceAnswers>& inDevices)
    {
        std::vector<AudioDeviceID> theIDs;
        for (const DeviceAnswers& theAnswers : inDevices) {
            AudioDeviceID theID = 0;
            EXPECT_EQ(AudioHardwareClaimAudioDeviceID(mPlugIn.Ref(), &theID), 0);
            mPlugIn.mDevices[theID] = theAnswers;
            theIDs.push_back(theID);
        }
        EXPECT_EQ(AudioHardwareDevicesCreated(mPlugIn.Ref(), UInt32(theIDs.size()), theIDs.data()), 0);
        return theIDs;
    }
    Component AddSoundComponent(OSType inType, const char* inUID)
    {
        ComponentDescription theDescription{inType, FourCC("halx"), FourCC("Test"), 0, 0};
        Component theComponent = RegisterSoundComponent(&theDescription, &AnswerUID, const_cast<char*>(inUID));
        mSoundComponents.push_back(theComponent);
        return theComponent;
    }
    // A 'halx' component that is no sound component: it answers nothing.
    void AddPlainComponent(OSType inType)
    {
        ComponentDescription theDescription{inType, FourCC("halx"), FourCC("Test"), 0, 0};
        mPlainComponents.push_back(RegisterComponent(&theDescription, 0));
    }

    OSStatus Lookup(const char* inName, const char* inManufacturer, Component& outComponent, AudioDeviceID& outDevice)
    {
        std::string theName = inName;
        std::string theManufacturer = inManufacturer;
        outComponent = reinterpret_cast<Component>(0x1);
        outDevice = 4242;
        return Zent::QTA::GetAssociatedAudioDeviceByNameAndManufacturer(theName.data(), theManufacturer.data(), kType,
                                                                        &outComponent, &outDevice);
    }

    FakePlugIn mPlugIn{&kFakeTable, {}};
    std::vector<Component> mSoundComponents;
    std::vector<Component> mPlainComponents;
};

TEST_F(SoundComponentLookupTest, FindsTheComponentThatReportsTheDevicesUID)
{
    const std::vector<AudioDeviceID> theDevices = AddDevices({
        {"Kestro In", "Haldrix Computer, Inc.", "uid-in"},
        {"Kestro Out", "Someone Else", "uid-other"},
        {"Kestro Out", "Haldrix Computer, Inc.", "uid-out"},
        {"Kestro Out", "Haldrix Computer, Inc.", "uid-later"},
    });
    AddPlainComponent(kType);
    AddSoundComponent(kOtherType, "uid-out"); // not of the type asked for
    AddSoundComponent(kType, "uid-in");
    const Component theWanted = AddSoundComponent(kType, "uid-out");
    AddSoundComponent(kType, "uid-out"); // a later match loses

    Component theComponent;
    AudioDeviceID theDevice;
    EXPECT_EQ(Lookup("Kestro Out", "Haldrix Computer, Inc.", theComponent, theDevice), 0);
    EXPECT_EQ(theComponent, theWanted);
    EXPECT_EQ(theDevice, theDevices[2]);
    for (Component theOpened : mSoundComponents) {
        EXPECT_EQ(CountComponentInstances(theOpened), 0); // each one opened was closed
    }
}

// A name or manufacturer that can't be read does not disqualify a device.
TEST_F(SoundComponentLookupTest, AnUnreadableNameDoesNotSkipTheDevice)
{
    const std::vector<AudioDeviceID> theDevices = AddDevices({
        {"Other", "Haldrix Computer, Inc.", "uid-a"},
        {nullptr, nullptr, "uid-b"},
        {"Kestro Out", "Haldrix Computer, Inc.", "uid-c"},
    });
    const Component theB = AddSoundComponent(kType, "uid-b");
    AddSoundComponent(kType, "uid-c");
    Component theComponent;
    AudioDeviceID theDevice;
    EXPECT_EQ(Lookup("Kestro Out", "Haldrix Computer, Inc.", theComponent, theDevice), 0);
    EXPECT_EQ(theComponent, theB);
    EXPECT_EQ(theDevice, theDevices[1]);
}

TEST_F(SoundComponentLookupTest, FailuresReturnTheirStatusAndNoComponent)
{
    AddDevices({
        {"Kestro Out", "Haldrix Computer, Inc.", "uid-out"},
        {"Kestro In", "Haldrix Computer, Inc.", nullptr},
    });
    AddSoundComponent(kType, "uid-somewhere-else");
    AddSoundComponent(kOtherType, "uid-out");
    const struct Case {
        const char* mWhat;
        const char* mName;
        const char* mManufacturer;
        OSStatus mResult;
    } theCases[] = {
        {"no device of that name", "Nothing", "Haldrix Computer, Inc.", -50},
        {"the name but not the manufacturer", "Kestro Out", "Someone Else", -50},
        {"no component of the type reports the UID", "Kestro Out", "Haldrix Computer, Inc.", -200},
        {"the UID can't be read", "Kestro In", "Haldrix Computer, Inc.", -200},
    };
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mWhat);
        Component theComponent;
        AudioDeviceID theDevice;
        EXPECT_EQ(Lookup(theCase.mName, theCase.mManufacturer, theComponent, theDevice), theCase.mResult);
        EXPECT_EQ(theComponent, nullptr);
        EXPECT_EQ(theDevice, 4242u);
    }
}

TEST_F(SoundComponentLookupTest, NullArgumentsAreRefused)
{
    char theName[] = "Kestro Out";
    Component theComponent = nullptr;
    AudioDeviceID theDevice = 7;
    EXPECT_EQ(Zent::QTA::GetAssociatedAudioDeviceByNameAndManufacturer(theName, theName, kType, nullptr, &theDevice),
              paramErr);
    EXPECT_EQ(Zent::QTA::GetAssociatedAudioDeviceByNameAndManufacturer(nullptr, theName, kType, &theComponent,
                                                                       &theDevice),
              paramErr);
    EXPECT_EQ(theDevice, 7u);
}

TEST_F(SoundComponentLookupTest, SoundComponentsAnswerThroughTheirHandler)
{
    const Component theComponent = AddSoundComponent(kType, "uid-x");
    ComponentInstance theInstance = OpenComponent(theComponent);
    ASSERT_NE(theInstance, nullptr);
    CFStringRef theUID = nullptr;
    EXPECT_EQ(SoundComponentGetInfo(theInstance, nullptr, siHALAudioDeviceUniqueID, &theUID), 0);
    ASSERT_NE(theUID, nullptr);
    CFStringRef theExpected = CFStringCreateWithCString(nullptr, "uid-x", kCFStringEncodingUTF8);
    EXPECT_EQ(CFStringCompare(theUID, theExpected, 0), kCFCompareEqualTo);
    CFRelease(theExpected);
    CFRelease(theUID);
    UInt32 theOther = 0;
    EXPECT_EQ(SoundComponentGetInfo(theInstance, nullptr, FourCC("what"), &theOther), badComponentSelector);
    EXPECT_EQ(SoundComponentGetInfo(theInstance, nullptr, siHALAudioDeviceUniqueID, nullptr), paramErr);
    EXPECT_EQ(CloseComponent(theInstance), 0);

    AddPlainComponent(kType);
    ComponentInstance thePlain = OpenComponent(mPlainComponents.back());
    EXPECT_EQ(SoundComponentGetInfo(thePlain, nullptr, siHALAudioDeviceUniqueID, &theUID), invalidComponentID);
    CloseComponent(thePlain);
    EXPECT_EQ(SoundComponentGetInfo(nullptr, nullptr, siHALAudioDeviceUniqueID, &theUID), invalidComponentID);
}

TEST_F(SoundComponentLookupTest, TheSoundManagerStatusFillsWhatIsAskedFor)
{
    AddSoundComponent(kType, "uid-1");
    AddSoundComponent(kType, "uid-2");
    SMStatus theStatus{-1, -1, -1};
    EXPECT_EQ(SndManagerStatus(6, &theStatus), noErr);
    EXPECT_EQ(theStatus.smMaxCPULoad, 100);
    EXPECT_GE(theStatus.smNumChannels, 2);
    EXPECT_EQ(theStatus.smCurCPULoad, 0);
    SMStatus thePart{-1, -1, -1};
    EXPECT_EQ(SndManagerStatus(2, &thePart), noErr);
    EXPECT_EQ(thePart.smMaxCPULoad, 100);
    EXPECT_EQ(thePart.smNumChannels, -1);
    EXPECT_EQ(SndManagerStatus(6, nullptr), paramErr);
    EXPECT_EQ(SndManagerStatus(0, &thePart), paramErr);
}

} // namespace
