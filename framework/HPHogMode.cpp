#include "framework/HPHogMode.h"

#include <cstdint>
#include <cstring>

#include "framework/CAProcess.h"
#include "framework/HPDevice.h"
#include "platform/AudioHardware.h"
#include "platform/CFPreferences.h"
#include "support/CAException.h"

std::atomic<HPHogMode::TokenMap*> HPHogMode::sTokenMap{nullptr};

namespace {

const char kPreferenceKeyPrefix[] = "com.haldrix.audio.CoreAudio.HogMode.Owner-";

const void* ObserverOf(UInt32 inToken) { return reinterpret_cast<const void*>(uintptr_t(inToken)); }

} // namespace

HPHogMode::HPHogMode(HPDevice* inDevice) : HPProperty(), mToken(0), mDevice(inDevice), mPrefName(nullptr), mOwner(-1)
{
    TokenMap* theMap = sTokenMap.load();
    if (theMap == nullptr) {
        TokenMap* theNewMap = new TokenMap;
        if (sTokenMap.compare_exchange_strong(theMap, theNewMap)) {
            theMap = theNewMap;
        } else {
            delete theNewMap; // another thread made it first; theMap now holds that one
        }
    }
    {
        std::lock_guard<std::mutex> theLock(theMap->mMutex);
        mToken = theMap->mNextToken++;
        theMap->mMap[mToken] = this;
    }

    mPrefName = CFStringCreateMutable(nullptr, 0);
    if (mPrefName == nullptr) {
        // The token must not outlive the object that failed to construct.
        {
            std::lock_guard<std::mutex> theLock(theMap->mMutex);
            theMap->mMap.erase(mToken);
        }
        CAThrowWithMessage("HPHogMode::HPHogMode: couldn't allocate the pref name string",
                           kAudioHardwareUnspecifiedError);
    }
    CFStringAppendCString(mPrefName, kPreferenceKeyPrefix, kCFStringEncodingASCII);
    CFStringRef theUID = (mDevice != nullptr) ? mDevice->CopyDeviceUID() : nullptr;
    if (theUID != nullptr) {
        CFStringAppend(mPrefName, theUID);
        CFRelease(theUID);
    }

    mOwner.store(GetOwnerFromPreference(true));

    CFNotificationCenterAddObserver(CFNotificationCenterGetDistributedCenter(), ObserverOf(mToken),
                                    &HPHogMode::ChangeNotification, mPrefName, nullptr,
                                    CFNotificationSuspensionBehaviorCoalesce);
}

HPHogMode::~HPHogMode()
{
    // Waits for a callback of this object running on the notification
    // thread, so the object is never used after this returns.
    CFNotificationCenterRemoveObserver(CFNotificationCenterGetDistributedCenter(), ObserverOf(mToken), mPrefName,
                                       nullptr);
    if (TokenMap* theMap = sTokenMap.load()) {
        std::lock_guard<std::mutex> theLock(theMap->mMutex);
        theMap->mMap.erase(mToken);
    }
    if (mPrefName != nullptr) {
        CFRelease(mPrefName);
    }
}

bool HPHogMode::IsSettable(const HPPropertyAddress& inAddress) const
{
    return inAddress.mSelector == kAudioDevicePropertyHogMode;
}

UInt32 HPHogMode::GetDataSize(const HPPropertyAddress& inAddress) const
{
    return (inAddress.mSelector == kAudioDevicePropertyHogMode) ? UInt32(sizeof(SInt32)) : 0;
}

void HPHogMode::GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    if (inAddress.mSelector != kAudioDevicePropertyHogMode) {
        return;
    }
    if (ioDataSize != sizeof(SInt32)) {
        CAThrowWithMessage("HPHogMode::GetData: wrong data size for kAudioDevicePropertyHogMode",
                           kAudioHardwareBadPropertySizeError);
    }
    const SInt32 theOwner = mOwner.load();
    std::memcpy(outData, &theOwner, sizeof(theOwner));
}

void HPHogMode::SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                        const AudioTimeStamp*)
{
    if (inAddress.mSelector != kAudioDevicePropertyHogMode) {
        return;
    }
    if (inDataSize != sizeof(SInt32)) {
        CAThrow(kAudioHardwareBadPropertySizeError);
    }
    // The owner last seen may be behind the preference: another process's
    // notification may not have arrived yet, or the owner may have exited.
    // Deciding on a stale owner would let two processes both take hog mode,
    // or keep it owned by a process that is gone.
    OwnerChanged(GetOwnerFromPreference(true));

    const SInt32 theOwner = mOwner.load();
    if (theOwner == -1) {
        Take();
    } else if (theOwner == CAProcess::GetPID()) {
        Release();
    } else {
        CAThrowWithMessage("HPHogMode::SetData: hog mode owned by another process", kAudioDevicePermissionsError);
    }
    if (inData != nullptr) {
        const SInt32 theNewOwner = mOwner.load();
        std::memcpy(const_cast<void*>(inData), &theNewOwner, sizeof(theNewOwner));
    }
}

UInt32 HPHogMode::GetNumberAddressesImplemented() const { return 1; }

void HPHogMode::GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const
{
    if (inIndex == 0) {
        outAddress = HPPropertyAddress::AllChannelsAndSections(kAudioDevicePropertyHogMode);
    }
}

void HPHogMode::Take()
{
    SInt32 theFree = -1;
    const SInt32 theSelf = CAProcess::GetPID();
    if (!mOwner.compare_exchange_strong(theFree, theSelf)) {
        return;
    }
    SetOwnerInPreference(theSelf);
    if (mDevice != nullptr) {
        mDevice->HogModeTakenBySelf();
    }
    SendHogModeChangedNotification();
}

void HPHogMode::Release()
{
    SInt32 theSelf = CAProcess::GetPID();
    if (!mOwner.compare_exchange_strong(theSelf, -1)) {
        return;
    }
    SetOwnerInPreference(-1);
    if (mDevice != nullptr) {
        mDevice->HogModeReleasedBySelf();
    }
    SendHogModeChangedNotification();
}

SInt32 HPHogMode::GetOwnerFromPreference(bool inSendNotification) const
{
    CFPreferencesSynchronize(kCFPreferencesAnyApplication, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
    CFPropertyListRef theValue = CFPreferencesCopyValue(mPrefName, kCFPreferencesAnyApplication,
                                                        kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
    if (theValue == nullptr) {
        return -1;
    }
    SInt32 theOwner = -1;
    const bool theIsNumber = CFGetTypeID(theValue) == CFNumberGetTypeID() &&
                             CFNumberGetValue(static_cast<CFNumberRef>(theValue), kCFNumberSInt32Type, &theOwner);
    CFRelease(theValue);
    if (theIsNumber && CAProcess::ProcessExists(theOwner)) {
        return theOwner;
    }
    // Left by a process that has exited, or not ours to read: clear it.
    SetOwnerInPreference(-1);
    if (inSendNotification) {
        SendHogModeChangedNotification();
    }
    return -1;
}

void HPHogMode::SetOwnerInPreference(SInt32 inOwner) const
{
    if (inOwner == -1) {
        CFPreferencesSetValue(mPrefName, nullptr, kCFPreferencesAnyApplication, kCFPreferencesAnyUser,
                              kCFPreferencesCurrentHost);
    } else {
        CFNumberRef theNumber = CFNumberCreate(nullptr, kCFNumberSInt32Type, &inOwner);
        CFPreferencesSetValue(mPrefName, theNumber, kCFPreferencesAnyApplication, kCFPreferencesAnyUser,
                              kCFPreferencesCurrentHost);
        if (theNumber != nullptr) {
            CFRelease(theNumber);
        }
    }
    CFPreferencesSynchronize(kCFPreferencesAnyApplication, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
}

void HPHogMode::SendHogModeChangedNotification() const
{
    CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), mPrefName, nullptr, nullptr,
                                         false);
}

void HPHogMode::ChangeNotification(CFNotificationCenterRef, const void* inObserver, CFStringRef, const void*,
                                   CFDictionaryRef)
{
    HPHogMode* theHogMode = FindByToken(UInt32(reinterpret_cast<uintptr_t>(inObserver)));
    if (theHogMode == nullptr) {
        return;
    }
    try {
        theHogMode->OwnerChanged(theHogMode->GetOwnerFromPreference(false));
    } catch (...) {
        // A device hook that fails must not unwind into the notification center.
    }
}

void HPHogMode::OwnerChanged(SInt32 inNewOwner)
{
    const SInt32 theOldOwner = mOwner.exchange(inNewOwner);
    if (inNewOwner == theOldOwner || mDevice == nullptr) {
        return; // the process that made the change updated its owner before posting
    }
    const SInt32 theSelf = CAProcess::GetPID();
    if (inNewOwner == -1) {
        if (theOldOwner == theSelf) {
            mDevice->HogModeReleasedBySelf();
        } else {
            mDevice->HogModeReleasedByOther();
        }
    } else if (theOldOwner == theSelf) {
        mDevice->HogModeTakenBySelf();
    } else {
        mDevice->HogModeTakenByOther();
    }
}

HPHogMode* HPHogMode::FindByToken(UInt32 inToken)
{
    TokenMap* theMap = sTokenMap.load();
    if (theMap == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> theLock(theMap->mMutex);
    auto theFound = theMap->mMap.find(inToken);
    return (theFound != theMap->mMap.end()) ? theFound->second : nullptr;
}
