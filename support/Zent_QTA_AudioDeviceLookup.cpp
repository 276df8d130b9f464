#include "support/Zent_QTA_AudioDeviceLookup.h"

#include <cstring>
#include <vector>

#include "platform/AudioHardwareHost.h"
#include "platform/SoundComponents.h"

namespace Zent {
namespace QTA {

namespace {

constexpr OSStatus kNoSuchDevice = -50;
constexpr OSStatus kNoSuchComponent = -200;
constexpr OSType kHALComponentSubType = FourCC("halx");

// Reads a C-string property of the device's master output channel. False
// when the device does not answer; the text is always terminated.
bool ReadDeviceText(AudioDeviceID inDevice, AudioDevicePropertyID inSelector, char (&outText)[256])
{
    UInt32 theSize = sizeof(outText);
    const OSStatus theError = AudioDeviceGetProperty(inDevice, 0, false, inSelector, &theSize, outText);
    outText[sizeof(outText) - 1] = '\0';
    return theError == 0;
}

// False when the device answers inSelector with a text other than inExpected.
bool MayMatch(AudioDeviceID inDevice, AudioDevicePropertyID inSelector, const char* inExpected)
{
    char theText[256] = {};
    return !ReadDeviceText(inDevice, inSelector, theText) || std::strcmp(theText, inExpected) == 0;
}

}  // namespace

OSStatus GetAssociatedAudioDeviceByNameAndManufacturer(char* inName, char* inManufacturer, UInt32 inComponentType,
                                                       Component* outComponent, AudioDeviceID* outDevice)
{
    if (outComponent == nullptr || outDevice == nullptr || inName == nullptr || inManufacturer == nullptr) {
        return paramErr;
    }
    *outComponent = nullptr;
    SMStatus theStatus;
    SndManagerStatus(sizeof(theStatus), &theStatus);

    UInt32 theSize = 0;
    OSStatus theError = AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &theSize, nullptr);
    if (theError != 0) {
        return theError;
    }
    std::vector<AudioDeviceID> theDevices(theSize / sizeof(AudioDeviceID) + 1);
    theSize = UInt32((theDevices.size() - 1) * sizeof(AudioDeviceID));
    theError = AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &theSize, theDevices.data());
    if (theError != 0) {
        return theError;
    }
    theDevices.resize(theSize / sizeof(AudioDeviceID));

    AudioDeviceID theDevice = 0;
    bool theIsFound = false;
    for (AudioDeviceID theCandidate : theDevices) {
        if (MayMatch(theCandidate, kAudioDevicePropertyDeviceName, inName) &&
            MayMatch(theCandidate, kAudioDevicePropertyDeviceManufacturer, inManufacturer)) {
            theDevice = theCandidate;
            theIsFound = true;
            break;
        }
    }
    if (!theIsFound) {
        return kNoSuchDevice;
    }

    CFStringRef theUID = nullptr;
    theSize = sizeof(theUID);
    theError = AudioDeviceGetProperty(theDevice, 0, false, kAudioDevicePropertyDeviceUID, &theSize, &theUID);
    if (theError != 0 || theUID == nullptr) {
        return kNoSuchComponent;
    }

    ComponentDescription theDescription = {inComponentType, kHALComponentSubType, 0, 0, 0};
    for (Component theComponent = FindNextComponent(nullptr, &theDescription); theComponent != nullptr;
         theComponent = FindNextComponent(theComponent, &theDescription)) {
        ComponentInstance theInstance = OpenComponent(theComponent);
        if (theInstance == nullptr) {
            continue;
        }
        CFStringRef theAnswer = nullptr;
        const bool theAnswered =
            SoundComponentGetInfo(theInstance, nullptr, siHALAudioDeviceUniqueID, &theAnswer) == 0 &&
            theAnswer != nullptr;
        CloseComponent(theInstance);
        const bool theMatches = theAnswered && CFStringCompare(theAnswer, theUID, 0) == kCFCompareEqualTo;
        if (theAnswer != nullptr) {
            CFRelease(theAnswer);
        }
        if (theMatches) {
            *outComponent = theComponent;
            *outDevice = theDevice;
            CFRelease(theUID);
            return 0;
        }
    }
    CFRelease(theUID);
    return kNoSuchComponent;
}

}  // namespace QTA
}  // namespace Zent
