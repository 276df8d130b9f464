// The hog-mode property ('oink') of a device: one process at a time may own
// the device. Every process that loads the device keeps its own HPHogMode;
// they agree through a host-wide preference, keyed
// "com.haldrix.audio.CoreAudio.HogMode.Owner-<device UID>", that holds the
// owner's process ID (absent while hog mode is free), and through a
// distributed notification of the same name that each change of owner
// posts. On each change the device hears exactly one of its hog-mode hooks.
//
// Threads: property requests arrive on host client threads;
// ChangeNotification on the notification run loop, from where it calls the
// device's hooks. Neither takes a lock of this class; the owner is atomic.
// Construction and destruction may block briefly on the preference store;
// destruction waits for a notification callback of this object that is
// running on the notification thread.
#pragma once

#include <atomic>
#include <map>
#include <mutex>

#include "framework/HPProperty.h"
#include "platform/CFNotificationCenter.h"
#include "platform/CoreFoundation.h"

class HPDevice;

class HPHogMode : public HPProperty {
public:
    // Reads the current owner from the preference (clearing, and telling the
    // other processes about, an entry left by a process that has exited) and
    // starts observing the notification. The device is not owned.
    explicit HPHogMode(HPDevice* inDevice);
    // Stops observing and forgets the token. The preference is left as it
    // is: an owner that goes away is cleared by the next reader.
    ~HPHogMode() override;

    bool IsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetDataSize(const HPPropertyAddress& inAddress) const override;
    // 'oink': the owner's process ID, -1 when free.
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    // 'oink' toggles: takes hog mode when free, releases it when this
    // process owns it, fails with '!hog' when another process does. The new
    // owner is written back into inData (which is why it is written to).
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override;
    UInt32 GetNumberAddressesImplemented() const override;
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override;

    void Take();
    void Release();
    // The owner named by the preference, or -1. An entry naming a process
    // that has exited, or holding something other than a number, is removed
    // (and, with inSendNotification, the change is posted).
    SInt32 GetOwnerFromPreference(bool inSendNotification) const;
    // -1 removes the entry.
    void SetOwnerInPreference(SInt32 inOwner) const;
    void SendHogModeChangedNotification() const;

    // The distributed center's callback, on the notification run loop:
    // inObserver is the token of the object concerned.
    static void ChangeNotification(CFNotificationCenterRef inCenter, const void* inObserver, CFStringRef inName,
                                   const void* inObject, CFDictionaryRef inUserInfo);

    UInt32 GetToken() const { return mToken; }
    SInt32 GetOwner() const { return mOwner.load(); }
    CFStringRef GetPreferenceKey() const { return mPrefName; }

private:
    // Process-wide: token -> object, and the next token to hand out (10 first).
    // Created on first construction and never destroyed; its lock makes
    // lookups on the notification thread safe against construction and
    // destruction on client threads.
    struct TokenMap {
        std::mutex mMutex;
        std::map<UInt32, HPHogMode*> mMap;
        UInt32 mNextToken = 10;
    };

    // Moves the owner to inNewOwner and calls the one hook the change calls
    // for; nothing when it is the owner already.
    void OwnerChanged(SInt32 inNewOwner);
    static HPHogMode* FindByToken(UInt32 inToken);

    UInt32 mToken;
    HPDevice* mDevice;             // not owned
    CFMutableStringRef mPrefName;  // owned
    std::atomic<SInt32> mOwner;    // -1 when free

    static std::atomic<TokenMap*> sTokenMap;
};
