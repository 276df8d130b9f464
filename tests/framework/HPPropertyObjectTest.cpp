// Routing of property requests through an object's table of handlers:
// lookup with wildcards, inactive handlers, the redefined-address failure,
// and removal.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "framework/HPDeviceProperty.h"
#include "framework/HPPropertyObject.h"
#include "support/CAException.h"

namespace {

constexpr UInt32 kAnyChannel = HPPropertyAddress::kWildcardChannel;
constexpr UInt8 kAnySection = HPPropertyAddress::kWildcardSection;
constexpr OSStatus kWho = OSStatus(FourCC("who?"));
constexpr OSStatus kNope = OSStatus(FourCC("nope"));

// A handler that answers under a fixed list of addresses with a fixed
// 4-byte value, and records what it was asked.
class FakeProperty : public HPProperty {
public:
    explicit FakeProperty(std::vector<HPPropertyAddress> inAddresses, UInt32 inValue = 0)
        : mValue(inValue), mAddresses(std::move(inAddresses))
    {
    }

    bool IsActive(const HPPropertyAddress&) const override { return mActive; }
    bool IsSettable(const HPPropertyAddress&) const override { return mSettable; }
    UInt32 GetDataSize(const HPPropertyAddress&) const override { return sizeof(UInt32); }
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override
    {
        mLastAddress = inAddress;
        if (ioDataSize < sizeof(UInt32)) {
            CAThrow(OSStatus(FourCC("!siz")));
        }
        std::memcpy(outData, &mValue, sizeof(UInt32));
        ioDataSize = sizeof(UInt32);
    }
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override
    {
        mLastAddress = inAddress;
        mLastWhen = inWhen;
        if (inDataSize == sizeof(UInt32)) {
            std::memcpy(&mValue, inData, sizeof(UInt32));
        }
    }
    UInt32 GetNumberAddressesImplemented() const override { return UInt32(mAddresses.size()); }
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override
    {
        outAddress = mAddresses.at(inIndex);
    }

    bool mActive = true;
    bool mSettable = true;
    UInt32 mValue;
    mutable HPPropertyAddress mLastAddress;
    const AudioTimeStamp* mLastWhen = nullptr;

private:
    std::vector<HPPropertyAddress> mAddresses;
};

HPPropertyAddress Wild(const char (&selector)[5])
{
    return HPPropertyAddress(FourCC(selector), kAnyChannel, kAnySection);
}

OSStatus StatusOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const CAException& e) {
        return e.GetError();
    }
    return noErr;
}

class HPPropertyObjectTest : public testing::Test {
protected:
    HPPropertyObject mObject{42};
};

TEST_F(HPPropertyObjectTest, KeepsItsObjectID) { EXPECT_EQ(mObject.GetObjectID(), 42u); }

TEST_F(HPPropertyObjectTest, ConcreteRequestFindsTheWildcardHandler)
{
    FakeProperty frameSize({Wild("fsiz")}, 512);
    mObject.AddProperty(&frameSize);

    const HPPropertyAddress request(FourCC("fsiz"), 3, 1);
    EXPECT_TRUE(mObject.HasProperty(request));
    EXPECT_EQ(mObject.GetPropertyDataSize(request), sizeof(UInt32));
    UInt32 value = 0;
    UInt32 size = sizeof(value);
    mObject.GetPropertyData(request, size, &value);
    EXPECT_EQ(value, 512u);
    EXPECT_EQ(size, sizeof(UInt32));
    // The handler sees the request's own address, not its key.
    EXPECT_EQ(frameSize.mLastAddress.mChannel, 3u);
    EXPECT_EQ(frameSize.mLastAddress.mSection, 1);
}

struct LookupCase {
    HPPropertyAddress request;
    int expected;  // index of the handler that answers, -1 for none
};

TEST_F(HPPropertyObjectTest, LookupTable)
{
    // Keys: a wildcard key, an output-only key, a channel-specific key.
    FakeProperty wild({Wild("bsiz")}, 0);
    FakeProperty outputOnly({HPPropertyAddress(FourCC("volm"), kAnyChannel, 0)}, 1);
    FakeProperty channelTwo({HPPropertyAddress(FourCC("mute"), 2, kAnySection)}, 2);
    mObject.AddProperty(&wild);
    mObject.AddProperty(&outputOnly);
    mObject.AddProperty(&channelTwo);

    const LookupCase cases[] = {
        {{FourCC("bsiz"), 0, 0}, 0},
        {{FourCC("bsiz"), 7, 1}, 0},
        {{FourCC("volm"), 1, 0}, 1},
        {{FourCC("volm"), 1, 1}, -1},  // input section not registered
        {{FourCC("mute"), 2, 1}, 2},
        {{FourCC("mute"), 3, 1}, -1},  // other channel
        {{FourCC("mute"), kAnyChannel, 0}, 2},
        {{FourCC("fsiz"), 0, 0}, -1},  // unknown selector between the keys
        {{FourCC("zzzz"), 0, 0}, -1},  // past the last key
        {{FourCC("aaaa"), 0, 0}, -1},  // before the first key
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(testing::Message() << FourCCText(c.request.mSelector).c_str() << " ch " << c.request.mChannel
                                        << " sec " << int(c.request.mSection));
        EXPECT_EQ(mObject.HasProperty(c.request), c.expected >= 0);
        if (c.expected >= 0) {
            UInt32 value = 99;
            UInt32 size = sizeof(value);
            mObject.GetPropertyData(c.request, size, &value);
            EXPECT_EQ(value, UInt32(c.expected));
        } else {
            UInt32 size = 4;
            UInt32 value = 0;
            EXPECT_EQ(StatusOf([&] { mObject.GetPropertyData(c.request, size, &value); }), kWho);
        }
    }
}

TEST_F(HPPropertyObjectTest, InactiveHandlerLooksUnknownToEveryRequest)
{
    FakeProperty property({Wild("nsrt")}, 7);
    property.mActive = false;
    mObject.AddProperty(&property);
    const HPPropertyAddress request(FourCC("nsrt"), 0, 0);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(mObject.HasProperty(request));
    EXPECT_EQ(StatusOf([&] { mObject.PropertyIsSettable(request); }), kWho);
    EXPECT_EQ(StatusOf([&] { mObject.GetPropertyDataSize(request); }), kWho);
    UInt32 value = 0;
    UInt32 size = sizeof(value);
    EXPECT_EQ(StatusOf([&] { mObject.GetPropertyData(request, size, &value); }), kWho);
    const UInt32 newValue = 9;
    EXPECT_EQ(StatusOf([&] { mObject.SetPropertyData(request, sizeof(newValue), &newValue, nullptr); }), kWho);
    // 'who?' carries no message.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(size, sizeof(value));
    EXPECT_EQ(property.mValue, 7u) << "a refused set changes nothing";
}

TEST_F(HPPropertyObjectTest, SetAndSettableReachTheHandler)
{
    FakeProperty property({Wild("nsrt")}, 7);
    property.mSettable = false;
    mObject.AddProperty(&property);
    const HPPropertyAddress request(FourCC("nsrt"), 0, 1);

    EXPECT_FALSE(mObject.PropertyIsSettable(request));
    const UInt32 newValue = 44;
    AudioTimeStamp when{};
    mObject.SetPropertyData(request, sizeof(newValue), &newValue, &when);
    EXPECT_EQ(property.mValue, 44u);
    EXPECT_EQ(property.mLastWhen, &when);
}

TEST_F(HPPropertyObjectTest, RedefinedAddressFailsWithNopeAndKeepsEarlierAddresses)
{
    FakeProperty first({Wild("bsiz")}, 1);
    // Its first address is new, its second clashes with first's, its third is
    // new but never reached.
    FakeProperty second({Wild("fsiz"), HPPropertyAddress(FourCC("bsiz"), 2, 0), Wild("stm#")}, 2);
    mObject.AddProperty(&first);

    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { mObject.AddProperty(&second); }), kNope);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "HPPropertyObject::AddProperty: redefined address\n");

    UInt32 value = 0;
    UInt32 size = sizeof(value);
    mObject.GetPropertyData({FourCC("bsiz"), 2, 0}, size, &value);
    EXPECT_EQ(value, 1u) << "the existing entry is untouched";
    EXPECT_TRUE(mObject.HasProperty({FourCC("fsiz"), 0, 0})) << "addresses before the clash stay";
    EXPECT_FALSE(mObject.HasProperty({FourCC("stm#"), 0, 0})) << "addresses after the clash are not added";
}

TEST_F(HPPropertyObjectTest, TwoWildcardHandlersForOneSelectorClash)
{
    FakeProperty first({Wild("sfmt")});
    FakeProperty second({Wild("sfmt")});
    mObject.AddProperty(&first);
    testing::internal::CaptureStderr();
    EXPECT_EQ(StatusOf([&] { mObject.AddProperty(&second); }), kNope);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "HPPropertyObject::AddProperty: redefined address\n");
}

TEST_F(HPPropertyObjectTest, RemovePropertyErasesItsAddresses)
{
    FakeProperty first({Wild("bsiz"), Wild("fsiz")});
    FakeProperty other({Wild("stm#")});
    mObject.AddProperty(&first);
    mObject.AddProperty(&other);

    mObject.RemoveProperty(&first);
    EXPECT_FALSE(mObject.HasProperty({FourCC("bsiz"), 0, 0}));
    EXPECT_FALSE(mObject.HasProperty({FourCC("fsiz"), 0, 0}));
    EXPECT_TRUE(mObject.HasProperty({FourCC("stm#"), 0, 0}));
    // The addresses are free again.
    mObject.AddProperty(&first);
    EXPECT_TRUE(mObject.HasProperty({FourCC("bsiz"), 0, 0}));
}

TEST_F(HPPropertyObjectTest, RemovingAHandlerNeverAddedChangesNothingItDoesNotImplement)
{
    FakeProperty added({Wild("bsiz")}, 1);
    FakeProperty stranger({Wild("nsrt"), Wild("sfmt")}, 2);
    mObject.AddProperty(&added);

    mObject.RemoveProperty(&stranger);
    UInt32 value = 0;
    UInt32 size = sizeof(value);
    mObject.GetPropertyData({FourCC("bsiz"), 0, 0}, size, &value);
    EXPECT_EQ(value, 1u);
}

TEST_F(HPPropertyObjectTest, RemoveErasesAMatchingEntryWhateverHandlerItMapsTo)
{
    FakeProperty added({Wild("bsiz")});
    FakeProperty sameAddress({Wild("bsiz")});
    mObject.AddProperty(&added);
    mObject.RemoveProperty(&sameAddress);
    EXPECT_FALSE(mObject.HasProperty({FourCC("bsiz"), 0, 0}));
}

TEST(HPProperty, BaseAnswersNothing)
{
    HPProperty base;
    const HPPropertyAddress address(FourCC("name"), 0, 0);
    EXPECT_TRUE(base.IsActive(address));
    EXPECT_TRUE(base.IsSettable(address));
    EXPECT_EQ(base.GetDataSize(address), 0u);
    UInt32 size = 16;
    char buffer[16] = {};
    base.GetData(address, size, buffer);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(base.GetNumberAddressesImplemented(), 0u);

    // A handler with no addresses adds and removes as a no-op.
    HPPropertyObject object(1);
    object.AddProperty(&base);
    EXPECT_FALSE(object.HasProperty(address));
    object.RemoveProperty(&base);
}

TEST(HPDeviceProperty, KeepsItsDevice)
{
    HPDevice* device = reinterpret_cast<HPDevice*>(0x1000);
    HPDeviceProperty property(device);
    EXPECT_EQ(property.GetDevice(), device);
}

}  // namespace
