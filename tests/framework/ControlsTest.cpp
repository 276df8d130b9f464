// The control model: construction, the owner's map with its section
// fallback and its teardown order, the typed lookups, the selector's index
// and ID lookups, the level control's use of its curve, and change
// propagation to the owner.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestControls.h"
#include "framework/controls/HPBooleanControl.h"
#include "framework/controls/HPControl.h"
#include "framework/controls/HPControlOwner.h"
#include "framework/controls/HPLevelControl.h"
#include "framework/controls/HPSelectorControl.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr OSStatus kNope = OSStatus(FourCC("nope"));
constexpr UInt8 kOut = HPControl::kOutputSection;
constexpr UInt8 kIn = HPControl::kInputSection;
constexpr UInt8 kAll = HPControl::kAllSections;
constexpr UInt32 kVolume = FourCC("volm");
constexpr UInt32 kMute = FourCC("mute");
constexpr UInt32 kThru = FourCC("thru");
constexpr UInt32 kDataSource = FourCC("ssrc");
constexpr UInt32 kClockSource = FourCC("csrc");

// Runs inCall, expecting a CAException; returns its status and leaves the
// standard-error text in outMessage.
template <typename Call>
OSStatus CatchStatus(Call inCall, std::string& outMessage)
{
    testing::internal::CaptureStderr();
    OSStatus status = noErr;
    try {
        inCall();
    } catch (const CAException& e) {
        status = e.GetError();
    }
    outMessage = testing::internal::GetCapturedStderr();
    return status;
}

// An owner that records the change callbacks it receives.
class RecordingOwner : public HPControlOwner {
public:
    void ControlValueChanged(HPControl* inControl) override { mValueChanges.push_back(inControl); }
    void ControlRangeChanged(HPControl* inControl) override { mRangeChanges.push_back(inControl); }

    std::vector<HPControl*> mValueChanges;
    std::vector<HPControl*> mRangeChanges;
};

// A control that logs its teardown and destruction under a name.
class LoggingControl : public HPBooleanControl {
public:
    LoggingControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner,
                   std::vector<std::string>& ioLog, std::string inName)
        : HPBooleanControl(inClassID, inChannel, inSection, inOwner), mLog(ioLog), mName(std::move(inName))
    {
    }
    ~LoggingControl() override { mLog.push_back("delete " + mName); }
    void Teardown() override { mLog.push_back("teardown " + mName); }

private:
    std::vector<std::string>& mLog;
    std::string mName;
};

CFStringRef MakeString(const char* inText)
{
    return CFStringCreateWithCString(nullptr, inText, kCFStringEncodingASCII);
}

TEST(HPControlTest, EveryKindRefusesANullOwner)
{
    struct Case {
        const char* mKind;
        std::function<void()> mConstruct;
    };
    const Case cases[] = {
        {"plain", [] { HPControl control(FourCC("levl"), kVolume, 0, kOut, nullptr); }},
        {"level", [] { HPLevelControl control(kVolume, 0, kOut, nullptr); }},
        {"boolean", [] { HPBooleanControl control(kMute, 0, kOut, nullptr); }},
        {"selector", [] { HPSelectorControl control(kDataSource, 0, kIn, nullptr); }},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(kNope, CatchStatus(c.mConstruct, message)) << c.mKind;
        EXPECT_EQ("HPControl::HPControl: controls must have an owner\n", message) << c.mKind;
    }
}

TEST(HPControlTest, ConstructorsSetIdentityAndBaseClass)
{
    HPControlOwner owner;
    HPLevelControl level(kVolume, 3, kIn, &owner);
    HPBooleanControl boolean(kThru, 0, kAll, &owner);
    HPSelectorControl selector(kClockSource, 1, kOut, &owner);

    EXPECT_EQ(FourCC("levl"), level.GetBaseClassID());
    EXPECT_EQ(kVolume, level.GetClassID());
    EXPECT_EQ(3u, level.GetChannel());
    EXPECT_EQ(kIn, level.GetSection());
    EXPECT_EQ(&owner, level.GetOwner());
    EXPECT_EQ(FourCC("bool"), boolean.GetBaseClassID());
    EXPECT_EQ(kAll, boolean.GetSection());
    EXPECT_EQ(FourCC("slct"), selector.GetBaseClassID());
    EXPECT_EQ(0u, selector.GetNumberItems());
}

TEST(HPControlTest, BaseValueOperationsAreEmpty)
{
    HPControlOwner owner;
    HPControl control(FourCC("bool"), kMute, 0, kOut, &owner);
    EXPECT_TRUE(control.IsActive());
    EXPECT_TRUE(control.IsSettable());
    EXPECT_EQ(0u, control.GetValueDataSize());
    UInt32 buffer = 0xA5A5A5A5;
    UInt32 size = sizeof(buffer);
    control.GetValueData(size, &buffer);
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0xA5A5A5A5u, buffer);

    HPBooleanControl boolean(kMute, 0, kOut, &owner);
    boolean.SetValue(true);
    EXPECT_FALSE(boolean.GetValue());
}

TEST(HPControlTest, ChangesReachTheOwner)
{
    RecordingOwner owner;
    HPBooleanControl control(kMute, 0, kOut, &owner);
    control.ValueChanged();
    control.RangeChanged();
    control.ValueChanged();
    EXPECT_EQ((std::vector<HPControl*>{&control, &control}), owner.mValueChanges);
    EXPECT_EQ((std::vector<HPControl*>{&control}), owner.mRangeChanges);
}

// An owner with: mute output ch 0, mute input ch 0, volume all sections
// ch 0, play-through input ch 1, data source input ch 0.
class HPControlOwnerTest : public testing::Test {
public:
    void SetUp() override
    {
        mMuteOut = Add(new HPBooleanControl(kMute, 0, kOut, &mOwner));
        mMuteIn = Add(new HPBooleanControl(kMute, 0, kIn, &mOwner));
        mVolumeAll = Add(new HPLevelControl(kVolume, 0, kAll, &mOwner));
        mThruIn = Add(new HPBooleanControl(kThru, 1, kIn, &mOwner));
        mSourceIn = Add(new HPSelectorControl(kDataSource, 0, kIn, &mOwner));
    }
    HPControl* Add(HPControl* inControl)
    {
        mOwner.AddControl(inControl);
        return inControl;
    }

    HPControlOwner mOwner;
    HPControl* mMuteOut = nullptr;
    HPControl* mMuteIn = nullptr;
    HPControl* mVolumeAll = nullptr;
    HPControl* mThruIn = nullptr;
    HPControl* mSourceIn = nullptr;
};

TEST_F(HPControlOwnerTest, LookupFallsBackToAllSectionsButNeverAcrossChannels)
{
    struct Case {
        UInt32 mClassID;
        UInt32 mChannel;
        UInt8 mSection;
        HPControl* HPControlOwnerTest::*mExpected;  // null member: no control
    };
    const Case cases[] = {
        {kMute, 0, kOut, &HPControlOwnerTest::mMuteOut},
        {kMute, 0, kIn, &HPControlOwnerTest::mMuteIn},
        {kMute, 0, kAll, nullptr},  // specific sections do not answer "all"
        {kVolume, 0, kOut, &HPControlOwnerTest::mVolumeAll},
        {kVolume, 0, kIn, &HPControlOwnerTest::mVolumeAll},
        {kVolume, 0, kAll, &HPControlOwnerTest::mVolumeAll},
        {kVolume, 2, kOut, nullptr},  // no fallback to the master channel
        {kThru, 1, kIn, &HPControlOwnerTest::mThruIn},
        {kThru, 1, kOut, nullptr},
        {kThru, 1, kAll, nullptr},
        {kThru, 0, kIn, nullptr},
        {kClockSource, 0, kIn, nullptr},
    };
    for (const Case& c : cases) {
        HPControl* expected = c.mExpected == nullptr ? nullptr : this->*c.mExpected;
        EXPECT_EQ(expected, mOwner.GetControl(c.mClassID, c.mChannel, c.mSection))
            << FourCCText(c.mClassID).text << " ch " << c.mChannel << " sec " << int(c.mSection);
    }
}

TEST_F(HPControlOwnerTest, TypedLookupsFilterByBaseClass)
{
    EXPECT_EQ(nullptr, mOwner.GetLevelControl(kMute, 0, kOut));  // a 'mute' exists, but it is boolean
    EXPECT_EQ(mMuteOut, mOwner.GetBooleanControl(kMute, 0, kOut));
    EXPECT_EQ(nullptr, mOwner.GetSelectorControl(kMute, 0, kOut));
    EXPECT_EQ(mVolumeAll, mOwner.GetLevelControl(kVolume, 0, kIn));
    EXPECT_EQ(nullptr, mOwner.GetBooleanControl(kVolume, 0, kIn));
    EXPECT_EQ(mSourceIn, mOwner.GetSelectorControl(kDataSource, 0, kIn));
    EXPECT_EQ(nullptr, mOwner.GetSelectorControl(kDataSource, 0, kOut));
}

TEST_F(HPControlOwnerTest, SecondControlWithTheSameKeyIsRefused)
{
    auto* duplicate = new HPBooleanControl(kMute, 0, kOut, &mOwner);
    std::string message;
    EXPECT_EQ(kNope, CatchStatus([&] { mOwner.AddControl(duplicate); }, message));
    EXPECT_EQ("HPControlOwner::AddControl: control already in the map\n", message);
    EXPECT_EQ(mMuteOut, mOwner.GetControl(kMute, 0, kOut));
    delete duplicate;  // still the caller's
}

TEST_F(HPControlOwnerTest, RemovedControlIsNoLongerFoundAndStaysTheCallers)
{
    mOwner.RemoveControl(mVolumeAll);
    EXPECT_EQ(nullptr, mOwner.GetControl(kVolume, 0, kOut));
    // Removing it again, or a control never added, changes nothing.
    mOwner.RemoveControl(mVolumeAll);
    HPBooleanControl stranger(kMute, 7, kOut, &mOwner);
    mOwner.RemoveControl(&stranger);
    EXPECT_EQ(mMuteOut, mOwner.GetControl(kMute, 0, kOut));
    delete mVolumeAll;
}

TEST(HPControlOwnerLookupTest, TypedLookupsUseTheOverriddenGetControl)
{
    // An owner whose GetControl answers from elsewhere (as a device reaches
    // its streams' controls).
    class ForwardingOwner : public HPControlOwner {
    public:
        HPControl* GetControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const override
        {
            return mOther.GetControl(inClassID, inChannel, inSection);
        }
        HPControlOwner mOther;
    };
    ForwardingOwner owner;
    auto* mute = new HPBooleanControl(kMute, 4, kIn, &owner.mOther);
    owner.mOther.AddControl(mute);
    EXPECT_EQ(mute, owner.GetBooleanControl(kMute, 4, kIn));
    EXPECT_EQ(nullptr, owner.GetLevelControl(kMute, 4, kIn));
}

TEST(HPControlOwnerLookupTest, PlainControlClaimingALevelBaseIsNotReturnedAsLevel)
{
    HPControlOwner owner;
    auto* impostor = new HPControl(FourCC("levl"), kVolume, 0, kOut, &owner);
    owner.AddControl(impostor);
    EXPECT_EQ(impostor, owner.GetControl(kVolume, 0, kOut));
    EXPECT_EQ(nullptr, owner.GetLevelControl(kVolume, 0, kOut));
}

TEST(HPControlOwnerLifetimeTest, DestructionTearsDownThenDeletesEachControlInKeyOrder)
{
    std::vector<std::string> log;
    {
        HPControlOwner owner;
        // Key order: class ID, then section, then channel.
        owner.AddControl(new LoggingControl(kMute, 1, kIn, &owner, log, "mute in 1"));
        owner.AddControl(new LoggingControl(kMute, 5, kOut, &owner, log, "mute out 5"));
        owner.AddControl(new LoggingControl(kMute, 2, kOut, &owner, log, "mute out 2"));
        owner.AddControl(new LoggingControl(kClockSource, 9, kAll, &owner, log, "csrc all 9"));
        auto* removed = new LoggingControl(kThru, 0, kOut, &owner, log, "thru removed");
        owner.AddControl(removed);
        owner.RemoveControl(removed);
        delete removed;
        log.clear();
    }
    const std::vector<std::string> expected = {
        "teardown csrc all 9", "delete csrc all 9", "teardown mute out 2", "delete mute out 2",
        "teardown mute out 5", "delete mute out 5", "teardown mute in 1",  "delete mute in 1",
    };
    EXPECT_EQ(expected, log);
}

// Items 'iaes' and 'isdi'; index order is ascending ID.
class HPSelectorControlTest : public testing::Test {
protected:
    void SetUp() override
    {
        mAES = MakeString("AES/EBU");
        mSDI = MakeString("SDI");
        mSelector = new TestSelectorControl(kDataSource, 0, kIn, &mOwner);
        mSelector->AddItem(FourCC("isdi"), mSDI);
        mSelector->AddItem(FourCC("iaes"), mAES);
        mSelector->mCurrent = FourCC("isdi");
    }
    void TearDown() override
    {
        delete mSelector;
        CFRelease(mAES);
        CFRelease(mSDI);
    }

    HPControlOwner mOwner;
    CFStringRef mAES = nullptr;
    CFStringRef mSDI = nullptr;
    TestSelectorControl* mSelector = nullptr;
};

TEST_F(HPSelectorControlTest, IndexIsAscendingItemIDOrder)
{
    EXPECT_EQ(2u, mSelector->GetNumberItems());
    EXPECT_EQ(0u, mSelector->GetItemIndexForID(FourCC("iaes")));
    EXPECT_EQ(1u, mSelector->GetItemIndexForID(FourCC("isdi")));
    EXPECT_EQ(FourCC("iaes"), mSelector->GetItemIDForIndex(0));
    EXPECT_EQ(FourCC("isdi"), mSelector->GetItemIDForIndex(1));
    EXPECT_EQ(1u, mSelector->GetCurrentItemIndex());
}

TEST_F(HPSelectorControlTest, BadIndexOrIDThrowsWithItsMessage)
{
    struct Case {
        const char* mMessage;
        std::function<void()> mCall;
    };
    const Case cases[] = {
        {"HPSelectorControl::GetItemIDForIndex: index out of range\n", [&] { mSelector->GetItemIDForIndex(2); }},
        {"HPSelectorControl::GetItemIndexForID: ID not in selector map\n",
         [&] { mSelector->GetItemIndexForID(FourCC("ispd")); }},
        {"HPSelectorControl::CopyItemNameByID: ID not in selector map\n",
         [&] { mSelector->CopyItemNameByID(FourCC("ispd")); }},
        {"HPSelectorControl::CopyItemNameByIndex: index out of range\n",
         [&] { mSelector->CopyItemNameByIndex(mSelector->GetNumberItems()); }},
        // The current item must be in the map for its index to exist.
        {"HPSelectorControl::GetItemIndexForID: ID not in selector map\n",
         [&] {
             mSelector->mCurrent = 0;
             mSelector->GetCurrentItemIndex();
         }},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(kNope, CatchStatus(c.mCall, message));
        EXPECT_EQ(c.mMessage, message);
    }
    EXPECT_EQ(CFGetRetainCount(mAES), 2);  // the test's and the map's
}

TEST_F(HPSelectorControlTest, SetByIndexGoesThroughSetByIDAndChecksFirst)
{
    mSelector->SetCurrentItemByIndex(0);
    EXPECT_EQ(FourCC("iaes"), mSelector->mCurrent);
    EXPECT_EQ(1u, mSelector->mSetCount);

    std::string message;
    EXPECT_EQ(kNope, CatchStatus([&] { mSelector->SetCurrentItemByIndex(2); }, message));
    EXPECT_EQ("HPSelectorControl::GetItemIDForIndex: index out of range\n", message);
    EXPECT_EQ(1u, mSelector->mSetCount);  // not asked to change
    EXPECT_EQ(FourCC("iaes"), mSelector->mCurrent);
}

TEST_F(HPSelectorControlTest, CopiedNamesAreRetainedForTheCallerAndReleasedByTheControl)
{
    const CFIndex before = CFGetRetainCount(mSDI);
    CFStringRef byID = mSelector->CopyItemNameByID(FourCC("isdi"));
    CFStringRef byIndex = mSelector->CopyItemNameByIndex(1);
    EXPECT_EQ(mSDI, byID);
    EXPECT_EQ(mSDI, byIndex);
    EXPECT_EQ(before + 2, CFGetRetainCount(mSDI));
    CFRelease(byID);
    CFRelease(byIndex);

    delete mSelector;
    mSelector = nullptr;
    EXPECT_EQ(before - 1, CFGetRetainCount(mSDI));
    EXPECT_EQ(1, CFGetRetainCount(mAES));
}

TEST(HPLevelControlTest, BaseRawValueReadsAsRawZeroOnTheCurve)
{
    HPControlOwner owner;
    class CurveOnly : public HPLevelControl {
    public:
        CurveOnly(HPControlOwner* inOwner) : HPLevelControl(kVolume, 0, kOut, inOwner) {}
        void Initialize() override { mVolumeCurve.AddRange(-10, 10, -40.0, 0.0); }
    } control(&owner);
    control.Initialize();
    // Raw 0 is ten steps of 2 dB above the bottom of the curve.
    EXPECT_FLOAT_EQ(-20.0f, control.GetDBValue());
    // The curve spans 40 dB, so the scalar is quadratic: (10 / 20)^2.
    EXPECT_FLOAT_EQ(0.25f, control.GetScalarValue());
}

TEST(HPLevelControlTest, DecibelAndScalarGoThroughTheRawValue)
{
    HPControlOwner owner;
    TestLevelControl control(kVolume, 0, kOut, &owner);  // raw 0..3 <-> -14..+4 dB
    control.Initialize();

    EXPECT_FLOAT_EQ(-14.0f, control.GetMinimumDBValue());
    EXPECT_FLOAT_EQ(4.0f, control.GetMaximumDBValue());

    control.SetDBValue(-5.0f);  // 1.5 steps rounds away from zero
    EXPECT_EQ(2, control.mRaw);
    EXPECT_FLOAT_EQ(-2.0f, control.GetDBValue());
    EXPECT_FLOAT_EQ(2.0f / 3.0f, control.GetScalarValue());

    control.SetScalarValue(0.2f);  // 0.6 steps
    EXPECT_EQ(1, control.mRaw);
    EXPECT_FLOAT_EQ(-8.0f, control.GetDBValue());

    // The conversions leave the value alone.
    EXPECT_FLOAT_EQ(-2.0f, control.ConverScalarValueToDBValue(0.5f));
    EXPECT_FLOAT_EQ(2.0f / 3.0f, control.ConverDBValueToScalarValue(0.0f));
    EXPECT_EQ(1, control.mRaw);
}

}  // namespace
