// Small concrete controls for the framework's tests. Each keeps its value in
// a plain member, announces a real change through ValueChanged as a driver
// control does, and lets the test switch IsActive and IsSettable.
#pragma once

#include "framework/controls/HPBooleanControl.h"
#include "framework/controls/HPLevelControl.h"
#include "framework/controls/HPSelectorControl.h"
#include "platform/CoreFoundation.h"

// An on/off control.
class TestBooleanControl : public HPBooleanControl {
public:
    TestBooleanControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner)
        : HPBooleanControl(inClassID, inChannel, inSection, inOwner)
    {
    }

    bool IsActive() const override { return mActive; }
    bool IsSettable() const override { return mSettable; }
    bool GetValue() const override { return mValue; }
    void SetValue(bool inValue) override
    {
        ++mSetCount;
        if (inValue != mValue) {
            mValue = inValue;
            ValueChanged();
        }
    }

    bool mValue = false;
    bool mActive = true;
    bool mSettable = true;
    UInt32 mSetCount = 0;
};

// A level control whose curve is one range, filled in Initialize.
class TestLevelControl : public HPLevelControl {
public:
    TestLevelControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner,
                     SInt32 inMinRaw = 0, SInt32 inMaxRaw = 3, Float64 inMinDB = -14.0, Float64 inMaxDB = 4.0)
        : HPLevelControl(inClassID, inChannel, inSection, inOwner),
          mMinRaw(inMinRaw),
          mMaxRaw(inMaxRaw),
          mMinDB(inMinDB),
          mMaxDB(inMaxDB)
    {
    }

    void Initialize() override
    {
        mVolumeCurve.ResetRange();
        mVolumeCurve.AddRange(mMinRaw, mMaxRaw, mMinDB, mMaxDB);
    }
    bool IsActive() const override { return mActive; }
    bool IsSettable() const override { return mSettable; }
    SInt32 GetRawValue() const override { return mRaw; }
    void SetRawValue(SInt32 inRaw) override
    {
        ++mSetCount;
        if (inRaw != mRaw) {
            mRaw = inRaw;
            ValueChanged();
        }
    }

    SInt32 mRaw = 0;
    bool mActive = true;
    bool mSettable = true;
    UInt32 mSetCount = 0;

private:
    SInt32 mMinRaw;
    SInt32 mMaxRaw;
    Float64 mMinDB;
    Float64 mMaxDB;
};

// A selector whose items the test adds.
class TestSelectorControl : public HPSelectorControl {
public:
    TestSelectorControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner)
        : HPSelectorControl(inClassID, inChannel, inSection, inOwner)
    {
    }

    // The control keeps the one reference to the new name.
    void AddItem(UInt32 inItemID, const char* inName, CFStringEncoding inEncoding = kCFStringEncodingASCII)
    {
        mSelectorMap.emplace(inItemID, CFStringCreateWithCString(nullptr, inName, inEncoding));
    }
    // The control takes one more reference to inName.
    void AddItem(UInt32 inItemID, CFStringRef inName)
    {
        CFRetain(inName);
        mSelectorMap.emplace(inItemID, inName);
    }

    bool IsActive() const override { return mActive; }
    bool IsSettable() const override { return mSettable; }
    UInt32 GetCurrentItemID() const override { return mCurrent; }
    void SetCurrentItemByID(UInt32 inItemID) override
    {
        ++mSetCount;
        if (inItemID != mCurrent) {
            mCurrent = inItemID;
            ValueChanged();
        }
    }

    UInt32 mCurrent = 0;
    bool mActive = true;
    bool mSettable = true;
    UInt32 mSetCount = 0;
};
