// The ten control property handlers, device and stream twins side by side:
// addresses, control lookup by channel and section, sizes, values, the
// name-for-ID translations, every fixed message, and that a failed request
// writes nothing and changes no control.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TestControls.h"
#include "TestDevice.h"
#include "TestStream.h"
#include "framework/controls/HPDeviceClockSourceProperty.h"
#include "framework/controls/HPDeviceDataSourceProperty.h"
#include "framework/controls/HPDeviceMuteProperty.h"
#include "framework/controls/HPDevicePlayThruProperty.h"
#include "framework/controls/HPDeviceVolumeProperty.h"
#include "framework/controls/HPStreamClockSourceProperty.h"
#include "framework/controls/HPStreamDataSourceProperty.h"
#include "framework/controls/HPStreamMuteProperty.h"
#include "framework/controls/HPStreamPlayThruProperty.h"
#include "framework/controls/HPStreamVolumeProperty.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace {

constexpr OSStatus kWho = kAudioHardwareUnknownPropertyError;
constexpr OSStatus kSize = kAudioHardwareBadPropertySizeError;
constexpr OSStatus kNope = kAudioHardwareIllegalOperationError;
constexpr UInt8 kOut = HPControl::kOutputSection;
constexpr UInt8 kIn = HPControl::kInputSection;
constexpr UInt8 kAll = HPControl::kAllSections;
constexpr UInt32 kVolm = kAudioDevicePropertyVolumeScalar;
constexpr UInt32 kVold = kAudioDevicePropertyVolumeDecibels;
constexpr UInt32 kVdbRange = kAudioDevicePropertyVolumeRangeDecibels;
constexpr UInt32 kV2db = kAudioDevicePropertyVolumeScalarToDecibels;
constexpr UInt32 kDb2v = kAudioDevicePropertyVolumeDecibelsToScalar;
constexpr UInt32 kMute = kAudioDevicePropertyMute;
constexpr UInt32 kThru = kAudioDevicePropertyPlayThru;
constexpr UInt32 kSsrc = kAudioDevicePropertyDataSource;
constexpr UInt32 kSsrcList = kAudioDevicePropertyDataSources;
constexpr UInt32 kSscn = kAudioDevicePropertyDataSourceNameForID;
constexpr UInt32 kScnr = kAudioDevicePropertyDataSourceNameForIDNonLocalized;
constexpr UInt32 kLscn = kAudioDevicePropertyDataSourceNameForIDCFString;
constexpr UInt32 kCsrc = kAudioDevicePropertyClockSource;
constexpr UInt32 kCsrcList = kAudioDevicePropertyClockSources;
constexpr UInt32 kCscn = kAudioDevicePropertyClockSourceNameForID;
constexpr UInt32 kLcsn = kAudioDevicePropertyClockSourceNameForIDCFString;
constexpr UInt32 kTranslationSize = sizeof(AudioValueTranslation);

// The outcome of one request: its status (noErr if it returned) and what
// it wrote to standard error.
struct Outcome {
    OSStatus mStatus = noErr;
    std::string mMessage;
};

Outcome RunRequest(const std::function<void()>& inCall)
{
    Outcome outcome;
    testing::internal::CaptureStderr();
    try {
        inCall();
    } catch (const CAException& e) {
        outcome.mStatus = e.GetError();
    }
    outcome.mMessage = testing::internal::GetCapturedStderr();
    return outcome;
}

// The five handlers of one owner kind, with the owner that holds the
// controls they answer for and the section its requests carry.
struct HandlerSet {
    std::string mPrefix;  // "HPDevice" or "HPStream"
    HPControlOwner* mOwner = nullptr;
    UInt8 mSection = 0;
    std::unique_ptr<HPProperty> mVolume;
    std::unique_ptr<HPProperty> mMute;
    std::unique_ptr<HPProperty> mPlayThru;
    std::unique_ptr<HPProperty> mDataSource;
    std::unique_ptr<HPProperty> mClockSource;

    HPProperty& Family(const std::string& inFamily) const
    {
        if (inFamily == "Volume") return *mVolume;
        if (inFamily == "Mute") return *mMute;
        if (inFamily == "PlayThru") return *mPlayThru;
        if (inFamily == "DataSource") return *mDataSource;
        return *mClockSource;
    }
    std::string ClassName(const std::string& inFamily) const { return mPrefix + inFamily + "Property"; }
};

// A device with an output stream (device channels 1..2) and both handler
// sets. Controls are added per test.
class ControlPropertiesTest : public testing::Test {
protected:
    ControlPropertiesTest() : mStream(nullptr, &mDevice, TestStream::kDefaultStreamID, false, 1, 2)
    {
        mDeviceSet.mPrefix = "HPDevice";
        mDeviceSet.mOwner = &mDevice;
        mDeviceSet.mSection = kOut;
        mDeviceSet.mVolume = std::make_unique<HPDeviceVolumeProperty>(&mDevice);
        mDeviceSet.mMute = std::make_unique<HPDeviceMuteProperty>(&mDevice);
        mDeviceSet.mPlayThru = std::make_unique<HPDevicePlayThruProperty>(&mDevice);
        mDeviceSet.mDataSource = std::make_unique<HPDeviceDataSourceProperty>(&mDevice);
        mDeviceSet.mClockSource = std::make_unique<HPDeviceClockSourceProperty>(&mDevice);

        mStreamSet.mPrefix = "HPStream";
        mStreamSet.mOwner = &mStream;
        mStreamSet.mSection = kOut;  // stream requests carry section 0
        mStreamSet.mVolume = std::make_unique<HPStreamVolumeProperty>(&mStream);
        mStreamSet.mMute = std::make_unique<HPStreamMuteProperty>(&mStream);
        mStreamSet.mPlayThru = std::make_unique<HPStreamPlayThruProperty>(&mStream);
        mStreamSet.mDataSource = std::make_unique<HPStreamDataSourceProperty>(&mStream);
        mStreamSet.mClockSource = std::make_unique<HPStreamClockSourceProperty>(&mStream);
        // The device asks an initialized stream for its channel count.
        mStream.Initialize();
    }
    ~ControlPropertiesTest() override { mStream.Teardown(); }

    std::vector<HandlerSet*> BothSets() { return {&mDeviceSet, &mStreamSet}; }

    template <typename Control>
    Control* AddTo(HPControlOwner* inOwner, Control* inControl)
    {
        inControl->Initialize();
        inOwner->AddControl(inControl);
        return inControl;
    }

    TestDevice mDevice;
    TestStream mStream;
    HandlerSet mDeviceSet;
    HandlerSet mStreamSet;
};

HPPropertyAddress Address(UInt32 inSelector, UInt8 inSection = kOut, UInt32 inChannel = 0)
{
    return HPPropertyAddress(inSelector, inChannel, inSection);
}

TEST_F(ControlPropertiesTest, EachHandlerImplementsItsSelectorsOnEveryChannelAndSection)
{
    const struct {
        HandlerSet* mSet;
        std::string mFamily;
        std::vector<UInt32> mSelectors;
    } cases[] = {
        {&mDeviceSet, "Volume", {kVolm, kVold, kVdbRange, kV2db, kDb2v}},
        {&mDeviceSet, "Mute", {kMute}},
        {&mDeviceSet, "PlayThru", {kThru}},
        {&mDeviceSet, "DataSource", {kSsrc, kSsrcList, kSscn, kScnr, kLscn}},
        {&mDeviceSet, "ClockSource", {kCsrc, kCsrcList, kCscn, kLcsn}},
        {&mStreamSet, "Volume", {kVolm, kVold, kVdbRange, kV2db, kDb2v}},
        {&mStreamSet, "Mute", {kMute}},
        {&mStreamSet, "PlayThru", {kThru}},
        {&mStreamSet, "DataSource", {kSsrc, kSsrcList, kSscn, kLscn}},  // no 'scnr' on a stream
        {&mStreamSet, "ClockSource", {kCsrc, kCsrcList, kCscn, kLcsn}},
    };
    for (const auto& c : cases) {
        const HPProperty& handler = c.mSet->Family(c.mFamily);
        const std::string name = c.mSet->ClassName(c.mFamily);
        ASSERT_EQ(c.mSelectors.size(), handler.GetNumberAddressesImplemented()) << name;
        for (UInt32 index = 0; index < c.mSelectors.size(); ++index) {
            HPPropertyAddress address;
            handler.GetImplementedAddressByIndex(index, address);
            EXPECT_EQ(c.mSelectors[index], address.mSelector) << name << " " << index;
            EXPECT_EQ(0xFFFFFFFFu, address.mChannel) << name;
            EXPECT_EQ(0xFF, address.mSection) << name;
        }
        HPPropertyAddress untouched(FourCC("abcd"), 7, 1);
        handler.GetImplementedAddressByIndex(UInt32(c.mSelectors.size()), untouched);
        EXPECT_EQ(FourCC("abcd"), untouched.mSelector) << name;
        EXPECT_EQ(7u, untouched.mChannel) << name;
    }
}

TEST_F(ControlPropertiesTest, MissingControlIsSilentFromIsActiveAndNamedEverywhereElse)
{
    // No control at all: forty messages, and IsActive says nothing.
    const char* families[] = {"Volume", "Mute", "PlayThru", "DataSource", "ClockSource"};
    const UInt32 selectors[] = {kVolm, kMute, kThru, kSsrc, kCsrc};
    for (HandlerSet* set : BothSets()) {
        for (int f = 0; f < 5; ++f) {
            HPProperty& handler = set->Family(families[f]);
            const HPPropertyAddress address = Address(selectors[f], set->mSection);
            const std::string prefix = set->ClassName(families[f]) + "::";
            UInt32 buffer = 0x5A5A5A5A;
            UInt32 size = sizeof(buffer);

            Outcome outcome = RunRequest([&] { handler.IsActive(address); });
            EXPECT_EQ(kWho, outcome.mStatus) << prefix;
            EXPECT_EQ("", outcome.mMessage) << prefix;

            const std::pair<const char*, std::function<void()>> operations[] = {
                {"IsSettable", [&] { handler.IsSettable(address); }},
                {"GetDataSize", [&] { handler.GetDataSize(address); }},
                {"GetData", [&] { handler.GetData(address, size, &buffer); }},
                {"SetData", [&] { handler.SetData(address, sizeof(buffer), &buffer, nullptr); }},
            };
            for (const auto& [operation, call] : operations) {
                outcome = RunRequest(call);
                EXPECT_EQ(kWho, outcome.mStatus) << prefix << operation;
                EXPECT_EQ(prefix + operation + ": no such control\n", outcome.mMessage);
            }
            EXPECT_EQ(0x5A5A5A5Au, buffer);
            EXPECT_EQ(sizeof(buffer), size);
        }
    }
}

TEST_F(ControlPropertiesTest, MasterMuteOnTheOutputSectionOnly)
{
    AddTo(&mDevice, new TestBooleanControl(kMute, 0, kOut, &mDevice));
    HPProperty& mute = *mDeviceSet.mMute;

    EXPECT_TRUE(mute.IsActive(Address(kMute, kOut)));
    Outcome outcome = RunRequest([&] { mute.IsActive(Address(kMute, kIn)); });
    EXPECT_EQ(kWho, outcome.mStatus);
    EXPECT_EQ("", outcome.mMessage);
    outcome = RunRequest([&] { mute.GetDataSize(Address(kMute, kIn)); });
    EXPECT_EQ(kWho, outcome.mStatus);
    EXPECT_EQ("HPDeviceMuteProperty::GetDataSize: no such control\n", outcome.mMessage);
    // No channel fallback either.
    EXPECT_EQ(kWho, RunRequest([&] { mute.IsActive(Address(kMute, kOut, 1)); }).mStatus);
}

TEST_F(ControlPropertiesTest, StreamRequestsFindOutputOrAllSectionsControlsNeverInputOnly)
{
    AddTo(&mStream, new TestBooleanControl(kMute, 0, kIn, &mStream));
    AddTo(&mStream, new TestBooleanControl(kThru, 1, kAll, &mStream));
    AddTo(&mStream, new TestSelectorControl(kSsrc, 0, kOut, &mStream));

    EXPECT_EQ(kWho, RunRequest([&] { mStreamSet.mMute->IsActive(Address(kMute, kOut)); }).mStatus);
    EXPECT_TRUE(mStreamSet.mPlayThru->IsActive(Address(kThru, kOut, 1)));
    EXPECT_TRUE(mStreamSet.mDataSource->IsActive(Address(kSsrc, kOut)));
}

TEST_F(ControlPropertiesTest, DeviceHandlersReachAStreamControlOnItsDeviceChannel)
{
    // The output stream covers device channels 1 and 2; its control on stream
    // channel 2 answers device channel 2.
    mDevice.AddStream(&mStream);
    auto* mute = AddTo(&mStream, new TestBooleanControl(kMute, 2, kOut, &mStream));
    mute->mValue = true;
    HPProperty& handler = *mDeviceSet.mMute;

    EXPECT_TRUE(handler.IsActive(Address(kMute, kOut, 2)));
    UInt32 value = 0;
    UInt32 size = 4;
    handler.GetData(Address(kMute, kOut, 2), size, &value);
    EXPECT_EQ(1u, value);
    // The master channel never consults the streams, and there is no input stream.
    EXPECT_EQ(kWho, RunRequest([&] { handler.IsActive(Address(kMute, kOut, 0)); }).mStatus);
    EXPECT_EQ(kWho, RunRequest([&] { handler.IsActive(Address(kMute, kIn, 2)); }).mStatus);
    mDevice.RemoveStream(&mStream);
}

TEST_F(ControlPropertiesTest, ASetThatChangesTheValueIsAnnouncedByTheDevice)
{
    auto* volume = AddTo(&mDevice, new TestLevelControl(kVolm, 0, kAll, &mDevice));
    const Float32 top = 1.0f;
    mDeviceSet.mVolume->SetData(Address(kVolm, kOut), 4, &top, nullptr);
    EXPECT_EQ(3, volume->mRaw);
    const std::vector<HPPropertyAddress> notifications = mDevice.GetNotifications();
    const std::vector<UInt32> expectedSelectors = {kVolm, kVold, kVolm, kVold};
    const std::vector<UInt8> expectedSections = {kIn, kIn, kOut, kOut};
    ASSERT_EQ(4u, notifications.size());
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(expectedSelectors[i], notifications[i].mSelector) << i;
        EXPECT_EQ(expectedSections[i], notifications[i].mSection) << i;
        EXPECT_EQ(0u, notifications[i].mChannel) << i;
    }

    // The same value again is no change: the control announces nothing.
    mDevice.ClearNotifications();
    mDeviceSet.mVolume->SetData(Address(kVolm, kOut), 4, &top, nullptr);
    EXPECT_TRUE(mDevice.GetNotifications().empty());
}

TEST_F(ControlPropertiesTest, IsActiveAndIsSettableFollowTheControl)
{
    for (HandlerSet* set : BothSets()) {
        auto* volume = AddTo(set->mOwner, new TestLevelControl(kVolm, 0, kAll, set->mOwner));
        auto* mute = AddTo(set->mOwner, new TestBooleanControl(kMute, 0, kAll, set->mOwner));
        auto* thru = AddTo(set->mOwner, new TestBooleanControl(kThru, 0, kAll, set->mOwner));
        auto* source = AddTo(set->mOwner, new TestSelectorControl(kSsrc, 0, kAll, set->mOwner));
        auto* clock = AddTo(set->mOwner, new TestSelectorControl(kCsrc, 0, kAll, set->mOwner));
        const UInt8 s = set->mSection;

        // Only the values are settable; ranges, lists, names, conversions never.
        const struct {
            HPProperty* mHandler;
            UInt32 mSelector;
            bool mSettable;
        } cases[] = {
            {set->mVolume.get(), kVolm, true},       {set->mVolume.get(), kVold, true},
            {set->mVolume.get(), kVdbRange, false},  {set->mVolume.get(), kV2db, false},
            {set->mVolume.get(), kDb2v, false},      {set->mMute.get(), kMute, true},
            {set->mPlayThru.get(), kThru, true},     {set->mDataSource.get(), kSsrc, true},
            {set->mDataSource.get(), kSsrcList, false}, {set->mDataSource.get(), kSscn, false},
            {set->mDataSource.get(), kLscn, false},  {set->mClockSource.get(), kCsrc, true},
            {set->mClockSource.get(), kCsrcList, false}, {set->mClockSource.get(), kCscn, false},
            {set->mClockSource.get(), kLcsn, false},
        };
        for (const auto& c : cases) {
            EXPECT_TRUE(c.mHandler->IsActive(Address(c.mSelector, s))) << set->mPrefix;
            EXPECT_EQ(c.mSettable, c.mHandler->IsSettable(Address(c.mSelector, s)))
                << set->mPrefix << " " << FourCCText(c.mSelector).text;
        }

        // A control that is not settable, or not active, makes its value read-only.
        volume->mSettable = false;
        mute->mActive = false;
        thru->mSettable = false;
        source->mActive = false;
        clock->mSettable = false;
        EXPECT_FALSE(set->mVolume->IsSettable(Address(kVolm, s)));
        EXPECT_FALSE(set->mMute->IsSettable(Address(kMute, s)));
        EXPECT_FALSE(set->mMute->IsActive(Address(kMute, s)));
        EXPECT_FALSE(set->mPlayThru->IsSettable(Address(kThru, s)));
        EXPECT_FALSE(set->mDataSource->IsSettable(Address(kSsrc, s)));
        EXPECT_FALSE(set->mClockSource->IsSettable(Address(kCsrc, s)));
    }
}

TEST_F(ControlPropertiesTest, VolumeSizesAndValues)
{
    for (HandlerSet* set : BothSets()) {
        // raw 0..3 <-> -14..+4 dB; raw 2 is -2 dB, scalar 2/3.
        auto* volume = AddTo(set->mOwner, new TestLevelControl(kVolm, 0, kAll, set->mOwner));
        volume->mRaw = 2;
        HPProperty& handler = *set->mVolume;
        const UInt8 s = set->mSection;

        EXPECT_EQ(4u, handler.GetDataSize(Address(kVolm, s)));
        EXPECT_EQ(4u, handler.GetDataSize(Address(kVold, s)));
        EXPECT_EQ(16u, handler.GetDataSize(Address(kVdbRange, s)));
        EXPECT_EQ(4u, handler.GetDataSize(Address(kV2db, s)));
        EXPECT_EQ(4u, handler.GetDataSize(Address(kDb2v, s)));

        Float32 value = 0;
        UInt32 size = 4;
        handler.GetData(Address(kVolm, s), size, &value);
        EXPECT_FLOAT_EQ(2.0f / 3.0f, value);
        EXPECT_EQ(4u, size);
        handler.GetData(Address(kVold, s), size, &value);
        EXPECT_FLOAT_EQ(-2.0f, value);

        Float64 range[2] = {0, 0};
        size = 16;
        handler.GetData(Address(kVdbRange, s), size, range);
        EXPECT_DOUBLE_EQ(-14.0, range[0]);
        EXPECT_DOUBLE_EQ(4.0, range[1]);

        // The conversions work on the caller's number and leave the control alone.
        value = 0.5f;
        size = 4;
        handler.GetData(Address(kV2db, s), size, &value);
        EXPECT_FLOAT_EQ(-2.0f, value);
        value = 0.0f;
        handler.GetData(Address(kDb2v, s), size, &value);
        EXPECT_FLOAT_EQ(2.0f / 3.0f, value);
        EXPECT_EQ(2, volume->mRaw);
        EXPECT_EQ(0u, volume->mSetCount);

        value = 0.2f;  // 0.6 steps: raw 1
        handler.SetData(Address(kVolm, s), 4, &value, nullptr);
        EXPECT_EQ(1, volume->mRaw);
        value = 4.0f;
        handler.SetData(Address(kVold, s), 4, &value, nullptr);
        EXPECT_EQ(3, volume->mRaw);

        // Setting the range or a conversion is accepted and does nothing.
        const UInt32 setsBefore = volume->mSetCount;
        handler.SetData(Address(kVdbRange, s), 16, range, nullptr);
        handler.SetData(Address(kV2db, s), 4, &value, nullptr);
        EXPECT_EQ(setsBefore, volume->mSetCount);
        EXPECT_EQ(3, volume->mRaw);
    }
}

TEST_F(ControlPropertiesTest, VolumeWrongSizesFailWithTheirMessagesAndChangeNothing)
{
    for (HandlerSet* set : BothSets()) {
        auto* volume = AddTo(set->mOwner, new TestLevelControl(kVolm, 0, kAll, set->mOwner));
        volume->mRaw = 1;
        HPProperty& handler = *set->mVolume;
        const std::string prefix = set->ClassName("Volume") + "::";
        const UInt8 s = set->mSection;

        const struct {
            UInt32 mSelector;
            UInt32 mSize;
            const char* mText;
        } getCases[] = {
            {kVolm, 8, "GetData: wrong data size for kAudioDevicePropertyVolumeScalar"},
            {kVold, 2, "GetData: wrong data size for kAudioDevicePropertyVolumeDecibels"},
            {kVdbRange, 12, "GetData: wrong data size for kAudioDevicePropertyVolumeRangeDecibels"},
            {kV2db, 0, "GetData: wrong data size for kAudioDevicePropertyVolumeScalarToDecibels"},
            {kDb2v, 16, "GetData: wrong data size for kAudioDevicePropertyVolumeDecibelsToScalar"},
        };
        for (const auto& c : getCases) {
            unsigned char buffer[16];
            std::memset(buffer, 0xEE, sizeof(buffer));
            UInt32 size = c.mSize;
            const Outcome outcome = RunRequest([&] { handler.GetData(Address(c.mSelector, s), size, buffer); });
            EXPECT_EQ(kSize, outcome.mStatus) << c.mText;
            EXPECT_EQ(prefix + c.mText + "\n", outcome.mMessage);
            EXPECT_EQ(c.mSize, size);
            for (unsigned char byte : buffer) {
                ASSERT_EQ(0xEE, byte) << c.mText;
            }
        }

        const struct {
            UInt32 mSelector;
            const char* mText;
        } setCases[] = {
            {kVolm, "SetData: wrong data size for kAudioDevicePropertyVolumeScalar"},
            {kVold, "SetData: wrong data size for kAudioDevicePropertyVolumeDecibels"},
        };
        for (const auto& c : setCases) {
            const Float64 wide = 1.0;
            const Outcome outcome = RunRequest([&] { handler.SetData(Address(c.mSelector, s), 8, &wide, nullptr); });
            EXPECT_EQ(kSize, outcome.mStatus);
            EXPECT_EQ(prefix + c.mText + "\n", outcome.mMessage);
        }
        EXPECT_EQ(1, volume->mRaw);
        EXPECT_EQ(0u, volume->mSetCount);
    }
}

TEST_F(ControlPropertiesTest, BooleanValuesAndSizes)
{
    struct Family {
        const char* mName;
        UInt32 mSelector;
        const char* mPropertyName;
    };
    const Family families[] = {
        {"Mute", kMute, "kAudioDevicePropertyMute"},
        {"PlayThru", kThru, "kAudioDevicePropertyPlayThru"},
    };
    for (HandlerSet* set : BothSets()) {
        for (const Family& family : families) {
            auto* control = AddTo(set->mOwner, new TestBooleanControl(family.mSelector, 0, kAll, set->mOwner));
            HPProperty& handler = set->Family(family.mName);
            const std::string prefix = set->ClassName(family.mName) + "::";
            const HPPropertyAddress address = Address(family.mSelector, set->mSection);

            EXPECT_EQ(4u, handler.GetDataSize(address));
            // Any non-zero value is true.
            const struct {
                UInt32 mWritten;
                bool mValue;
                UInt32 mRead;
            } values[] = {{7, true, 1}, {0, false, 0}, {1, true, 1}, {0xFFFFFFFF, true, 1}};
            for (const auto& v : values) {
                handler.SetData(address, 4, &v.mWritten, nullptr);
                EXPECT_EQ(v.mValue, control->mValue) << prefix << v.mWritten;
                UInt32 read = 0xEEEEEEEE;
                UInt32 size = 4;
                handler.GetData(address, size, &read);
                EXPECT_EQ(v.mRead, read) << prefix;
                EXPECT_EQ(4u, size);
            }

            const UInt32 setsBefore = control->mSetCount;
            UInt64 wide = 0xEEEEEEEEEEEEEEEE;
            UInt32 size = 8;
            Outcome outcome = RunRequest([&] { handler.GetData(address, size, &wide); });
            EXPECT_EQ(kSize, outcome.mStatus);
            EXPECT_EQ(prefix + "GetData: wrong data size for " + family.mPropertyName + "\n", outcome.mMessage);
            EXPECT_EQ(0xEEEEEEEEEEEEEEEEull, wide);

            const UInt16 narrow = 0;
            outcome = RunRequest([&] { handler.SetData(address, 2, &narrow, nullptr); });
            EXPECT_EQ(kSize, outcome.mStatus);
            EXPECT_EQ(prefix + "SetData: wrong data size for " + family.mPropertyName + "\n", outcome.mMessage);
            EXPECT_TRUE(control->mValue);
            EXPECT_EQ(setsBefore, control->mSetCount);
        }
    }
}

// The selector families, with the texts of their messages.
struct SelectorFamilyCase {
    const char* mName;
    UInt32 mCurrent;
    UInt32 mList;
    UInt32 mNameForID;
    UInt32 mCFName;
    const char* mCurrentText;
    const char* mNameText;
    const char* mCFNameText;
    const char* mCFOutputText;
};

const SelectorFamilyCase kSelectorFamilies[] = {
    {"DataSource", kSsrc, kSsrcList, kSscn, kLscn, "kAudioDevicePropertyDataSource",
     "kAudioDevicePropertyDataSourceNameForID", "kAudioDevicePropertyDataSourceNameForIDCFString",
     "output frm kAudioDevicePropertyDataSourceNameForIDCFString"},
    {"ClockSource", kCsrc, kCsrcList, kCscn, kLcsn, "kAudioDevicePropertyClockSource",
     "kAudioDevicePropertyClockSourceNameForID", "kAudioDevicePropertyClockSourceNameForIDCFString",
     "output from kAudioDevicePropertyClockSourceNameForIDCFString"},
};

// Five items: 'iadt' < 'iaes' < 'ialg' < 'isdi' < 'ispd'.
class SelectorPropertiesTest : public ControlPropertiesTest {
protected:
    TestSelectorControl* AddSelector(HandlerSet* inSet, UInt32 inClassID)
    {
        auto* selector = new TestSelectorControl(inClassID, 0, kAll, inSet->mOwner);
        selector->AddItem(FourCC("isdi"), "SDI");
        selector->AddItem(FourCC("iaes"), "AES/EBU");
        selector->AddItem(FourCC("iadt"), "ADAT");
        selector->AddItem(FourCC("ispd"), "Ab\xC3\xA9" "cd", kCFStringEncodingUTF8);  // non-ASCII third character
        selector->AddItem(FourCC("ialg"), "Analog");
        selector->mCurrent = FourCC("iaes");
        return AddTo(inSet->mOwner, selector);
    }
};

TEST_F(SelectorPropertiesTest, CurrentItemAndSizes)
{
    for (HandlerSet* set : BothSets()) {
        for (const SelectorFamilyCase& family : kSelectorFamilies) {
            auto* selector = AddSelector(set, family.mCurrent);
            HPProperty& handler = set->Family(family.mName);
            const UInt8 s = set->mSection;

            EXPECT_EQ(4u, handler.GetDataSize(Address(family.mCurrent, s)));
            EXPECT_EQ(20u, handler.GetDataSize(Address(family.mList, s)));
            EXPECT_EQ(kTranslationSize, handler.GetDataSize(Address(family.mNameForID, s)));
            EXPECT_EQ(kTranslationSize, handler.GetDataSize(Address(family.mCFName, s)));

            UInt32 current = 0;
            UInt32 size = 4;
            handler.GetData(Address(family.mCurrent, s), size, &current);
            EXPECT_EQ(FourCC("iaes"), current);

            const UInt32 next = FourCC("ialg");
            handler.SetData(Address(family.mCurrent, s), 4, &next, nullptr);
            EXPECT_EQ(next, selector->mCurrent);
            // The list and the names are not settable; setting them does nothing.
            handler.SetData(Address(family.mList, s), 4, &current, nullptr);
            EXPECT_EQ(next, selector->mCurrent);
            EXPECT_EQ(1u, selector->mSetCount);
        }
    }
}

TEST_F(SelectorPropertiesTest, ListFillsWhatFitsInIDOrder)
{
    for (HandlerSet* set : BothSets()) {
        for (const SelectorFamilyCase& family : kSelectorFamilies) {
            AddSelector(set, family.mCurrent);
            HPProperty& handler = set->Family(family.mName);
            const struct {
                UInt32 mSize;
                UInt32 mResultSize;
            } cases[] = {{12, 12}, {40, 20}, {14, 12}, {3, 0}, {0, 0}};
            const UInt32 sorted[] = {FourCC("iadt"), FourCC("iaes"), FourCC("ialg"), FourCC("isdi"), FourCC("ispd")};
            for (const auto& c : cases) {
                UInt32 ids[10];
                std::memset(ids, 0xEE, sizeof(ids));
                UInt32 size = c.mSize;
                handler.GetData(Address(family.mList, set->mSection), size, ids);
                EXPECT_EQ(c.mResultSize, size) << family.mName << " " << c.mSize;
                for (UInt32 i = 0; i < 10; ++i) {
                    EXPECT_EQ(i < c.mResultSize / 4 ? sorted[i] : 0xEEEEEEEEu, ids[i]) << i;
                }
            }
        }
    }
}

// Runs a name-for-ID request and returns the translation afterwards.
AudioValueTranslation Translate(const HPProperty& inHandler, const HPPropertyAddress& inAddress, UInt32* inID,
                                UInt32 inInputSize, void* outBuffer, UInt32 inOutputSize)
{
    AudioValueTranslation translation{inID, inInputSize, outBuffer, inOutputSize};
    UInt32 size = sizeof(translation);
    inHandler.GetData(inAddress, size, &translation);
    EXPECT_EQ(sizeof(translation), size);
    return translation;
}

TEST_F(SelectorPropertiesTest, NameForIDWritesWhatFitsAsASCII)
{
    for (HandlerSet* set : BothSets()) {
        for (const SelectorFamilyCase& family : kSelectorFamilies) {
            auto* selector = AddSelector(set, family.mCurrent);
            const HPProperty& handler = set->Family(family.mName);
            const HPPropertyAddress address = Address(family.mNameForID, set->mSection);
            const struct {
                UInt32 mID;
                UInt32 mOutputSize;
                const char* mText;  // what the buffer holds, NUL included
                UInt32 mResultSize;
            } cases[] = {
                {FourCC("isdi"), 4, "SDI", 4},     // exactly fits
                {FourCC("iaes"), 4, "AES", 4},     // cut to three and the NUL
                {FourCC("iaes"), 64, "AES/EBU", 8},
                {FourCC("ispd"), 64, "Ab", 3},     // stops at the first non-ASCII character
                {FourCC("iadt"), 1, "", 1},
            };
            for (const auto& c : cases) {
                char buffer[64];
                std::memset(buffer, 'x', sizeof(buffer));
                UInt32 id = c.mID;
                const AudioValueTranslation result = Translate(handler, address, &id, 4, buffer, c.mOutputSize);
                EXPECT_EQ(c.mResultSize, result.mOutputDataSize) << FourCCText(c.mID).text << " " << c.mOutputSize;
                EXPECT_STREQ(c.mText, buffer);
                EXPECT_EQ('x', buffer[c.mResultSize]) << "wrote past the string";
            }

            // An output size of 0 leaves no room even for the NUL: nothing is
            // written and the size stays 0.
            char buffer[4] = {'x', 'x', 'x', 'x'};
            UInt32 id = FourCC("isdi");
            AudioValueTranslation result = Translate(handler, address, &id, 4, buffer, 0);
            EXPECT_EQ(0u, result.mOutputDataSize);
            EXPECT_EQ('x', buffer[0]);
            // So may the output pointer be null then.
            result = Translate(handler, address, &id, 4, nullptr, 0);
            EXPECT_EQ(0u, result.mOutputDataSize);
            (void)selector;
        }
    }
}

TEST_F(SelectorPropertiesTest, NameForIDRefusesBadTranslationsBeforeTouchingAnything)
{
    for (HandlerSet* set : BothSets()) {
        for (const SelectorFamilyCase& family : kSelectorFamilies) {
            AddSelector(set, family.mCurrent);
            const HPProperty& handler = set->Family(family.mName);
            const HPPropertyAddress address = Address(family.mNameForID, set->mSection);
            const std::string prefix = set->ClassName(family.mName) + "::GetData: ";
            UInt32 knownID = FourCC("isdi");
            UInt32 unknownID = FourCC("zzzz");
            char output[8];

            const struct {
                const char* mWhat;
                UInt32 mRecordSize;
                UInt32* mInput;
                UInt32 mInputSize;
                char* mOutput;
                UInt32 mOutputSize;
                OSStatus mStatus;
                std::string mMessage;
            } cases[] = {
                {"short record", kTranslationSize - 1, &knownID, 4, output, 8, kSize,
                 prefix + "wrong data size for " + family.mNameText + "\n"},
                {"input size 2", kTranslationSize, &knownID, 2, output, 8, kSize,
                 prefix + "wrong data size for input to " + family.mNameText + "\n"},
                {"input size 8", kTranslationSize, &knownID, 8, output, 8, kSize,
                 prefix + "wrong data size for input to " + family.mNameText + "\n"},
                {"null input", kTranslationSize, nullptr, 4, output, 8, kNope,
                 prefix + "no input data for " + family.mNameText + "\n"},
                {"null output", kTranslationSize, &knownID, 4, nullptr, 8, kNope,
                 prefix + "no output buffer for " + family.mNameText + "\n"},
                {"unknown ID", kTranslationSize, &unknownID, 4, output, 8, kNope,
                 "HPSelectorControl::CopyItemNameByID: ID not in selector map\n"},
            };
            for (const auto& c : cases) {
                std::memset(output, 'x', sizeof(output));
                AudioValueTranslation translation{c.mInput, c.mInputSize, c.mOutput, c.mOutputSize};
                const AudioValueTranslation before = translation;
                UInt32 size = c.mRecordSize;
                const Outcome outcome = RunRequest([&] { handler.GetData(address, size, &translation); });
                EXPECT_EQ(c.mStatus, outcome.mStatus) << c.mWhat;
                EXPECT_EQ(c.mMessage, outcome.mMessage) << c.mWhat;
                EXPECT_EQ(0, std::memcmp(&before, &translation, sizeof(translation))) << c.mWhat;
                EXPECT_EQ(c.mRecordSize, size);
                EXPECT_EQ(std::string(8, 'x'), std::string(output, 8)) << c.mWhat;
            }
        }
    }
}

TEST_F(SelectorPropertiesTest, CFNameHandsOverARetainedString)
{
    for (HandlerSet* set : BothSets()) {
        for (const SelectorFamilyCase& family : kSelectorFamilies) {
            auto* selector = AddSelector(set, family.mCurrent);
            const HPProperty& handler = set->Family(family.mName);
            const HPPropertyAddress address = Address(family.mCFName, set->mSection);
            const std::string prefix = set->ClassName(family.mName) + "::GetData: ";

            CFStringRef held = selector->CopyItemNameByID(FourCC("isdi"));
            const CFIndex before = CFGetRetainCount(held);
            UInt32 id = FourCC("isdi");
            CFStringRef name = nullptr;
            const AudioValueTranslation result = Translate(handler, address, &id, 4, &name, sizeof(CFStringRef));
            EXPECT_EQ(held, name);
            EXPECT_EQ(before + 1, CFGetRetainCount(held));
            EXPECT_EQ(sizeof(CFStringRef), result.mOutputDataSize);
            CFRelease(name);
            CFRelease(held);

            const struct {
                const char* mWhat;
                UInt32 mInputSize;
                UInt32 mOutputSize;
                bool mNullOutput;
                OSStatus mStatus;
                std::string mMessage;
            } cases[] = {
                {"output 8+1", 4, sizeof(CFStringRef) + 1, false, kSize,
                 prefix + "wrong data size for " + family.mCFOutputText + "\n"},
                {"output 4 on 64-bit", 4, sizeof(CFStringRef) == 4 ? 8 : 4, false, kSize,
                 prefix + "wrong data size for " + family.mCFOutputText + "\n"},
                {"input 0", 0, sizeof(CFStringRef), false, kSize,
                 prefix + "wrong data size for input to " + family.mCFNameText + "\n"},
                {"null output", 4, sizeof(CFStringRef), true, kNope,
                 prefix + "no output buffer for " + family.mCFNameText + "\n"},
            };
            for (const auto& c : cases) {
                CFStringRef untouched = nullptr;
                AudioValueTranslation translation{&id, c.mInputSize, c.mNullOutput ? nullptr : &untouched,
                                                  c.mOutputSize};
                UInt32 size = sizeof(translation);
                const Outcome outcome = RunRequest([&] { handler.GetData(address, size, &translation); });
                EXPECT_EQ(c.mStatus, outcome.mStatus) << c.mWhat;
                EXPECT_EQ(c.mMessage, outcome.mMessage) << c.mWhat;
                EXPECT_EQ(nullptr, untouched) << c.mWhat;
            }
        }
    }
}

TEST_F(SelectorPropertiesTest, CurrentItemWrongSizesFailAndChangeNothing)
{
    for (HandlerSet* set : BothSets()) {
        for (const SelectorFamilyCase& family : kSelectorFamilies) {
            auto* selector = AddSelector(set, family.mCurrent);
            HPProperty& handler = set->Family(family.mName);
            const HPPropertyAddress address = Address(family.mCurrent, set->mSection);
            const std::string prefix = set->ClassName(family.mName) + "::";

            UInt64 wide = 0xEEEEEEEEEEEEEEEE;
            UInt32 size = 8;
            Outcome outcome = RunRequest([&] { handler.GetData(address, size, &wide); });
            EXPECT_EQ(kSize, outcome.mStatus);
            EXPECT_EQ(prefix + "GetData: wrong data size for " + family.mCurrentText + "\n", outcome.mMessage);
            EXPECT_EQ(0xEEEEEEEEEEEEEEEEull, wide);

            outcome = RunRequest([&] { handler.SetData(address, 8, &wide, nullptr); });
            EXPECT_EQ(kSize, outcome.mStatus);
            EXPECT_EQ(prefix + "SetData: wrong data size for " + family.mCurrentText + "\n", outcome.mMessage);
            EXPECT_EQ(FourCC("iaes"), selector->mCurrent);
            EXPECT_EQ(0u, selector->mSetCount);
        }
    }
}

TEST_F(SelectorPropertiesTest, DeviceDataSourceAnswersNonLocalizedNamesLikeNames)
{
    AddSelector(&mDeviceSet, kSsrc);
    const HPProperty& handler = *mDeviceSet.mDataSource;
    EXPECT_EQ(kTranslationSize, handler.GetDataSize(Address(kScnr)));
    EXPECT_FALSE(handler.IsSettable(Address(kScnr)));

    char buffer[16];
    UInt32 id = FourCC("ialg");
    const AudioValueTranslation result = Translate(handler, Address(kScnr), &id, 4, buffer, sizeof(buffer));
    EXPECT_STREQ("Analog", buffer);
    EXPECT_EQ(7u, result.mOutputDataSize);

    const std::string prefix = "HPDeviceDataSourceProperty::GetData: wrong data size for ";
    UInt32 size = kTranslationSize + 4;
    AudioValueTranslation translation{&id, 4, buffer, 16};
    Outcome outcome = RunRequest([&] { handler.GetData(Address(kScnr), size, &translation); });
    EXPECT_EQ(kSize, outcome.mStatus);
    EXPECT_EQ(prefix + "kAudioDevicePropertyDataSourceNameForIDNonLocalized\n", outcome.mMessage);
    translation.mInputDataSize = 3;
    size = kTranslationSize;
    outcome = RunRequest([&] { handler.GetData(Address(kScnr), size, &translation); });
    EXPECT_EQ(kSize, outcome.mStatus);
    EXPECT_EQ(prefix + "input to kAudioDevicePropertyDataSourceNameForIDNonLocalized\n", outcome.mMessage);
}

}  // namespace
