// The plug-in object and its interface table: every check of each entry in
// its order, with its line on standard error and its status; forwarding of
// the arguments; the conversion of exceptions; the 'sfm#' remapping; the
// registry; the reference count and QueryInterface.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "framework/HPPlugIn.h"
#include "framework/HPStream.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"
#include "tests/framework/TestDevice.h"

namespace {

constexpr OSStatus kNope = kAudioHardwareIllegalOperationError;
constexpr OSStatus kBadDevice = kAudioHardwareBadDeviceError;
constexpr OSStatus kBadStream = kAudioHardwareBadStreamError;
constexpr OSStatus kWho = kAudioHardwareUnknownPropertyError;
constexpr OSStatus kWhat = kAudioHardwareUnspecifiedError;
constexpr OSStatus kBadSize = kAudioHardwareBadPropertySizeError;

constexpr AudioDeviceID kDeviceID = 7;
constexpr AudioStreamID kStreamID = 9;
constexpr AudioDeviceID kUnknownDeviceID = 1234;
constexpr AudioStreamID kUnknownStreamID = 4321;
constexpr UInt32 kKnownSelector = FourCC("knwn");
constexpr UInt32 kUnknownSelector = FourCC("unkn");

// A factory UUID of these tests only, so that instance counts start at 0.
CFUUIDRef TestFactory()
{
    return CFUUIDGetConstantUUIDWithBytes(nullptr, 0x4B, 0x45, 0x53, 0x54, 0x52, 0x4F, 0x00, 0x01, 0x80, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0x01);
}

OSStatus TestIOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                    AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 0;
}

// What a recording object was asked, in order.
struct CallLog {
    std::vector<std::string> mCalls;
    HPPropertyAddress mAddress;
    UInt32 mSize = 0;
    const void* mData = nullptr;
    const AudioTimeStamp* mWhen = nullptr;
    // Thrown by every recorded operation when set.
    std::function<void()> mFailure;

    void Record(const char* inCall)
    {
        mCalls.push_back(inCall);
        if (mFailure) {
            mFailure();
        }
    }
};

// Knows one selector, kKnownSelector (4 bytes, settable), and records every
// forwarded operation instead of acting on it.
class RecordingDevice : public TestDevice {
public:
    explicit RecordingDevice(AudioDeviceID inID) : TestDevice(nullptr, inID) {}

    void DoAddIOProc(AudioDeviceIOProc inProc, void* inClientData) override
    {
        mProc = inProc;
        mClientData = inClientData;
        mLog.Record("DoAddIOProc");
    }
    void DoRemoveIOProc(AudioDeviceIOProc inProc) override
    {
        mProc = inProc;
        mLog.Record("DoRemoveIOProc");
    }
    void DoStartIOProc(AudioDeviceIOProc inProc) override
    {
        mProc = inProc;
        mLog.Record("DoStartIOProc");
    }
    void DoStopIOProc(AudioDeviceIOProc inProc) override
    {
        mProc = inProc;
        mLog.Record("DoStopIOProc");
    }
    void Read(const AudioTimeStamp& inStartTime, AudioBufferList* outData) override
    {
        mTimeIn = &inStartTime;
        mBuffer = outData;
        mLog.Record("Read");
    }
    void GetCurrentTime(AudioTimeStamp& outTime) override
    {
        mTimeOut = &outTime;
        mLog.Record("GetCurrentTime");
    }
    void TranslateTime(const AudioTimeStamp& inTime, AudioTimeStamp& outTime) override
    {
        mTimeIn = &inTime;
        mTimeOut = &outTime;
        mLog.Record("TranslateTime");
    }
    bool HasProperty(const HPPropertyAddress& inAddress) const override
    {
        mLog.mAddress = inAddress;
        mLog.Record("HasProperty");
        return inAddress.mSelector == kKnownSelector;
    }
    bool PropertyIsSettable(const HPPropertyAddress& inAddress) const override
    {
        mLog.mAddress = inAddress;
        mLog.Record("PropertyIsSettable");
        return true;
    }
    UInt32 GetPropertyDataSize(const HPPropertyAddress& inAddress) const override
    {
        mLog.mAddress = inAddress;
        mLog.Record("GetPropertyDataSize");
        return sizeof(UInt32);
    }
    void GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override
    {
        mLog.mAddress = inAddress;
        mLog.mSize = ioDataSize;
        mLog.mData = outData;
        mLog.Record("GetPropertyData");
        if (inAddress.mSelector != kKnownSelector) {
            CAThrow(kWho);
        }
        ioDataSize = 2;  // what the device wrote goes back through the pointer
    }
    void SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                         const AudioTimeStamp* inWhen) override
    {
        mLog.mAddress = inAddress;
        mLog.mSize = inDataSize;
        mLog.mData = inData;
        mLog.mWhen = inWhen;
        mLog.Record("SetPropertyData");
    }

    mutable CallLog mLog;
    AudioDeviceIOProc mProc = nullptr;
    void* mClientData = nullptr;
    const AudioTimeStamp* mTimeIn = nullptr;
    AudioTimeStamp* mTimeOut = nullptr;
    AudioBufferList* mBuffer = nullptr;
};

class RecordingStream : public HPStream {
public:
    RecordingStream(HPPlugIn* inPlugIn, HPDevice* inDevice, AudioStreamID inID)
        : HPStream(inPlugIn, inDevice, inID, false, 1)
    {
    }

    bool HasProperty(const HPPropertyAddress& inAddress) const override
    {
        mLog.mAddress = inAddress;
        mLog.Record("HasProperty");
        return inAddress.mSelector == kKnownSelector;
    }
    bool PropertyIsSettable(const HPPropertyAddress& inAddress) const override
    {
        mLog.mAddress = inAddress;
        mLog.Record("PropertyIsSettable");
        return false;
    }
    UInt32 GetPropertyDataSize(const HPPropertyAddress& inAddress) const override
    {
        mLog.mAddress = inAddress;
        mLog.Record("GetPropertyDataSize");
        return 40;
    }
    void GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override
    {
        mLog.mAddress = inAddress;
        mLog.mSize = ioDataSize;
        mLog.mData = outData;
        mLog.Record("GetPropertyData");
        if (inAddress.mSelector != kKnownSelector) {
            CAThrow(kWho);
        }
        ioDataSize = 3;
    }
    void SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                         const AudioTimeStamp* inWhen) override
    {
        mLog.mAddress = inAddress;
        mLog.mSize = inDataSize;
        mLog.mData = inData;
        mLog.mWhen = inWhen;
        mLog.Record("SetPropertyData");
    }

    mutable CallLog mLog;
};

// A plug-in that tells when it is deleted and can be made to fail.
class ProbePlugIn : public HPPlugIn {
public:
    ProbePlugIn(CFUUIDRef inFactory, bool* outDeleted) : HPPlugIn(inFactory), mDeleted(outDeleted) {}
    ~ProbePlugIn() override
    {
        if (mDeleted != nullptr) {
            *mDeleted = true;
        }
    }
    void Initialize() override
    {
        if (mFailure) {
            mFailure();
        }
    }
    void Teardown() override
    {
        if (mFailure) {
            mFailure();
        }
    }
    UInt32 Retain() override
    {
        if (mFailRetain) {
            throw std::bad_alloc();
        }
        return HPPlugIn::Retain();
    }

    bool* mDeleted;
    std::function<void()> mFailure;
    bool mFailRetain = false;
};

// A plug-in holding one count, with one recording device and one recording
// stream registered.
class HPPlugInTest : public testing::Test {
protected:
    void SetUp() override
    {
        mPlugIn = new ProbePlugIn(TestFactory(), &mDeleted);
        mPlugIn->Retain();
        mRef = mPlugIn->GetInterface();
        mDevice = new RecordingDevice(kDeviceID);
        mStream = new RecordingStream(mPlugIn, mDevice, kStreamID);
        mPlugIn->AddDevice(mDevice);
        mPlugIn->AddStream(mStream);
    }

    void TearDown() override
    {
        if (!mDeleted) {
            mPlugIn->RemoveStream(mStream);
            mPlugIn->RemoveDevice(mDevice);
            mPlugIn->Release();
        }
        delete mStream;
        delete mDevice;
        EXPECT_EQ(CFPlugInGetInstanceCountForFactory(TestFactory()), 0);
    }

    const AudioHardwarePlugInInterface& Table() const { return **mRef; }

    bool mDeleted = false;
    ProbePlugIn* mPlugIn = nullptr;
    AudioHardwarePlugInRef mRef = nullptr;
    RecordingDevice* mDevice = nullptr;
    RecordingStream* mStream = nullptr;
};

// One failing request: the call, the line it must print and its status.
struct CheckCase {
    const char* mName;
    std::function<OSStatus(const AudioHardwarePlugInInterface&, AudioHardwarePlugInRef)> mCall;
    const char* mMessage;  // without the newline; "" for none
    OSStatus mStatus;
};

TEST_F(HPPlugInTest, EveryCheckReportsItsMessageAndStatusInOrder)
{
    AudioTimeStamp time{};
    AudioTimeStamp out{};
    AudioBufferList buffers{};
    UInt32 size = 4;
    UInt32 data = 0;
    Boolean writable = 0;

    const std::vector<CheckCase> cases = {
        {"add: unknown device",
         [&](auto& t, auto r) { return t.DeviceAddIOProc(r, kUnknownDeviceID, TestIOProc, nullptr); },
         "HPPlugIn::DeviceAddIOProc: unknown device", kBadDevice},
        {"remove: unknown device", [&](auto& t, auto r) { return t.DeviceRemoveIOProc(r, kUnknownDeviceID, TestIOProc); },
         "HPPlugIn::DeviceRemoveIOProc: unknown device", kBadDevice},
        {"start: unknown device", [&](auto& t, auto r) { return t.DeviceStart(r, kUnknownDeviceID, TestIOProc); },
         "HPPlugIn::DeviceStartIOProc: unknown device", kBadDevice},
        {"stop: unknown device", [&](auto& t, auto r) { return t.DeviceStop(r, kUnknownDeviceID, TestIOProc); },
         "HPPlugIn::DeviceStopIOProc: unknown device", kBadDevice},
        {"read: both pointers null, unknown device",
         [&](auto& t, auto r) { return t.DeviceRead(r, kUnknownDeviceID, nullptr, nullptr); },
         "HPPlugIn::DeviceRead: start time can't be NULL", kNope},
        {"read: null buffer, unknown device",
         [&](auto& t, auto r) { return t.DeviceRead(r, kUnknownDeviceID, &time, nullptr); },
         "HPPlugIn::DeviceRead: output buffer can't be NULL", kNope},
        {"read: unknown device", [&](auto& t, auto r) { return t.DeviceRead(r, kUnknownDeviceID, &time, &buffers); },
         "HPPlugIn::DeviceRead: unknown device", kBadDevice},
        {"current time: null output, unknown device",
         [&](auto& t, auto r) { return t.DeviceGetCurrentTime(r, kUnknownDeviceID, nullptr); },
         "HPPlugIn::DeviceGetCurrentTime: output time stamp can't be NULL", kNope},
        {"current time: unknown device",
         [&](auto& t, auto r) { return t.DeviceGetCurrentTime(r, kUnknownDeviceID, &out); },
         "HPPlugIn::DeviceGetCurrentTime: unknown device", kBadDevice},
        {"translate: both null, unknown device",
         [&](auto& t, auto r) { return t.DeviceTranslateTime(r, kUnknownDeviceID, nullptr, nullptr); },
         "HPPlugIn::DeviceTranslateTime: input time stamp can't be NULL", kNope},
        {"translate: null output, unknown device",
         [&](auto& t, auto r) { return t.DeviceTranslateTime(r, kUnknownDeviceID, &time, nullptr); },
         "HPPlugIn::DeviceTranslateTime: output time stamp can't be NULL", kNope},
        {"translate: unknown device",
         [&](auto& t, auto r) { return t.DeviceTranslateTime(r, kUnknownDeviceID, &time, &out); },
         "HPPlugIn::DeviceTranslateTime: unknown device", kBadDevice},
        {"property info: unknown device",
         [&](auto& t, auto r) {
             return t.DeviceGetPropertyInfo(r, kUnknownDeviceID, 0, 0, kKnownSelector, &size, &writable);
         },
         "HPPlugIn::DeviceGetPropertyInfo: unknown device", kBadDevice},
        {"property info: unknown selector",
         [&](auto& t, auto r) { return t.DeviceGetPropertyInfo(r, kDeviceID, 0, 0, kUnknownSelector, &size, &writable); },
         "", kWho},
        {"get: null size, unknown device",
         [&](auto& t, auto r) { return t.DeviceGetProperty(r, kUnknownDeviceID, 0, 0, kKnownSelector, nullptr, &data); },
         "HPPlugIn::DeviceGetProperty: the data size can't be NULL", kNope},
        {"get: null data with a size, unknown device",
         [&](auto& t, auto r) { return t.DeviceGetProperty(r, kUnknownDeviceID, 0, 0, kKnownSelector, &size, nullptr); },
         "HPPlugIn::DeviceGetProperty: the data can't be NULL", kNope},
        {"get: null data with a size, known device",
         [&](auto& t, auto r) { return t.DeviceGetProperty(r, kDeviceID, 0, 0, kKnownSelector, &size, nullptr); },
         "HPPlugIn::DeviceGetProperty: the data can't be NULL", kNope},
        {"get: unknown device",
         [&](auto& t, auto r) { return t.DeviceGetProperty(r, kUnknownDeviceID, 0, 0, kKnownSelector, &size, &data); },
         "HPPlugIn::DeviceGetProperty: unknown device", kBadDevice},
        {"set: null data with a size, unknown device",
         [&](auto& t, auto r) {
             return t.DeviceSetProperty(r, kUnknownDeviceID, nullptr, 0, 0, kKnownSelector, 4, nullptr);
         },
         "HPPlugIn::DeviceSetProperty: the data can't be NULL", kNope},
        {"set: unknown device",
         [&](auto& t, auto r) { return t.DeviceSetProperty(r, kUnknownDeviceID, nullptr, 0, 0, kKnownSelector, 4, &data); },
         "HPPlugIn::DeviceSetProperty: unknown device", kBadDevice},
        {"stream info: unknown stream",
         [&](auto& t, auto r) { return t.StreamGetPropertyInfo(r, kUnknownStreamID, 0, kKnownSelector, &size, &writable); },
         "HPPlugIn::StreamGetPropertyInfo: unknown stream", kBadStream},
        {"stream info: unknown selector",
         [&](auto& t, auto r) { return t.StreamGetPropertyInfo(r, kStreamID, 0, kUnknownSelector, &size, &writable); },
         "", kWho},
        {"stream get: null size, unknown stream",
         [&](auto& t, auto r) { return t.StreamGetProperty(r, kUnknownStreamID, 0, kKnownSelector, nullptr, &data); },
         "HPPlugIn::StreamGetProperty: the data size can't be NULL", kNope},
        {"stream get: null data with a size, unknown stream",
         [&](auto& t, auto r) { return t.StreamGetProperty(r, kUnknownStreamID, 0, kKnownSelector, &size, nullptr); },
         "HPPlugIn::StreamGetProperty: the data can't be NULL", kNope},
        {"stream get: unknown stream",
         [&](auto& t, auto r) { return t.StreamGetProperty(r, kUnknownStreamID, 0, kKnownSelector, &size, &data); },
         "HPPlugIn::StreamGetProperty: unknown stream", kBadStream},
        {"stream set: null data with a size, unknown stream",
         [&](auto& t, auto r) {
             return t.StreamSetProperty(r, kUnknownStreamID, nullptr, 0, kKnownSelector, 4, nullptr);
         },
         "HPPlugIn::StreamSetProperty: the data can't be NULL", kNope},
        {"stream set: unknown stream",
         [&](auto& t, auto r) { return t.StreamSetProperty(r, kUnknownStreamID, nullptr, 0, kKnownSelector, 4, &data); },
         "HPPlugIn::StreamSetProperty: unknown stream", kBadStream},
    };

    for (const CheckCase& check : cases) {
        SCOPED_TRACE(check.mName);
        mDevice->mLog.mCalls.clear();
        mStream->mLog.mCalls.clear();
        size = 4;
        data = 0x5A5A5A5A;
        writable = 7;
        testing::internal::CaptureStderr();
        OSStatus status = check.mCall(Table(), mRef);
        std::string printed = testing::internal::GetCapturedStderr();

        EXPECT_EQ(status, check.mStatus) << FourCCText(UInt32(status)).c_str();
        EXPECT_EQ(printed, std::string(check.mMessage) + (check.mMessage[0] != 0 ? "\n" : ""));
        // Nothing was asked of the objects beyond whether the property exists,
        // and nothing came back through the caller's pointers.
        for (const std::string& call : mDevice->mLog.mCalls) {
            EXPECT_EQ(call, "HasProperty");
        }
        for (const std::string& call : mStream->mLog.mCalls) {
            EXPECT_EQ(call, "HasProperty");
        }
        EXPECT_EQ(size, 4u);
        EXPECT_EQ(data, 0x5A5A5A5Au);
        EXPECT_EQ(writable, 7);
    }
}

TEST_F(HPPlugInTest, IOProcCallsReachTheDeviceWithTheirArguments)
{
    int clientData = 0;
    const struct {
        std::function<OSStatus()> mCall;
        const char* mExpected;
    } calls[] = {
        {[&] { return Table().DeviceAddIOProc(mRef, kDeviceID, TestIOProc, &clientData); }, "DoAddIOProc"},
        {[&] { return Table().DeviceStart(mRef, kDeviceID, TestIOProc); }, "DoStartIOProc"},
        {[&] { return Table().DeviceStop(mRef, kDeviceID, TestIOProc); }, "DoStopIOProc"},
        {[&] { return Table().DeviceRemoveIOProc(mRef, kDeviceID, TestIOProc); }, "DoRemoveIOProc"},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.mExpected);
        mDevice->mLog.mCalls.clear();
        mDevice->mProc = nullptr;
        EXPECT_EQ(call.mCall(), 0);
        EXPECT_EQ(mDevice->mLog.mCalls, std::vector<std::string>{call.mExpected});
        EXPECT_EQ(mDevice->mProc, &TestIOProc);
    }
    EXPECT_EQ(mDevice->mClientData, &clientData);
}

TEST_F(HPPlugInTest, TimeAndReadCallsPassTheCallersRecords)
{
    AudioTimeStamp in{};
    AudioTimeStamp out{};
    AudioBufferList buffers{};

    EXPECT_EQ(Table().DeviceRead(mRef, kDeviceID, &in, &buffers), 0);
    EXPECT_EQ(mDevice->mTimeIn, &in);
    EXPECT_EQ(mDevice->mBuffer, &buffers);

    EXPECT_EQ(Table().DeviceGetCurrentTime(mRef, kDeviceID, &out), 0);
    EXPECT_EQ(mDevice->mTimeOut, &out);

    mDevice->mTimeIn = nullptr;
    mDevice->mTimeOut = nullptr;
    EXPECT_EQ(Table().DeviceTranslateTime(mRef, kDeviceID, &in, &out), 0);
    EXPECT_EQ(mDevice->mTimeIn, &in);
    EXPECT_EQ(mDevice->mTimeOut, &out);
    EXPECT_EQ(mDevice->mLog.mCalls, (std::vector<std::string>{"Read", "GetCurrentTime", "TranslateTime"}));
}

TEST_F(HPPlugInTest, DevicePropertyCallsUseTheIsInputFlagAsSection)
{
    UInt32 size = 0;
    Boolean writable = 0;
    EXPECT_EQ(Table().DeviceGetPropertyInfo(mRef, kDeviceID, 3, 1, kKnownSelector, &size, &writable), 0);
    EXPECT_EQ(size, sizeof(UInt32));
    EXPECT_EQ(writable, 1);
    EXPECT_EQ(mDevice->mLog.mAddress.mSelector, kKnownSelector);
    EXPECT_EQ(mDevice->mLog.mAddress.mChannel, 3u);
    EXPECT_EQ(mDevice->mLog.mAddress.mSection, 1);

    UInt32 data[4] = {};
    size = sizeof(data);
    EXPECT_EQ(Table().DeviceGetProperty(mRef, kDeviceID, 2, 0, kKnownSelector, &size, data), 0);
    EXPECT_EQ(mDevice->mLog.mSize, sizeof(data));
    EXPECT_EQ(mDevice->mLog.mData, data);
    EXPECT_EQ(size, 2u) << "the size the device wrote comes back to the caller";
    EXPECT_EQ(mDevice->mLog.mAddress.mChannel, 2u);
    EXPECT_EQ(mDevice->mLog.mAddress.mSection, 0);

    AudioTimeStamp when{};
    EXPECT_EQ(Table().DeviceSetProperty(mRef, kDeviceID, &when, 5, 1, kKnownSelector, 8, data), 0);
    EXPECT_EQ(mDevice->mLog.mSize, 8u);
    EXPECT_EQ(mDevice->mLog.mData, data);
    EXPECT_EQ(mDevice->mLog.mWhen, &when);
    EXPECT_EQ(mDevice->mLog.mAddress.mChannel, 5u);
    EXPECT_EQ(mDevice->mLog.mAddress.mSection, 1);
}

TEST_F(HPPlugInTest, PropertyInfoWithBothOutPointersNullOnlyChecksThatThePropertyExists)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(Table().DeviceGetPropertyInfo(mRef, kDeviceID, 0, 0, kKnownSelector, nullptr, nullptr), 0);
    EXPECT_EQ(Table().StreamGetPropertyInfo(mRef, kStreamID, 0, kKnownSelector, nullptr, nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(mDevice->mLog.mCalls, std::vector<std::string>{"HasProperty"});
    EXPECT_EQ(mStream->mLog.mCalls, std::vector<std::string>{"HasProperty"});
}

TEST_F(HPPlugInTest, NullDataWithSizeZeroStillReachesTheObject)
{
    UInt32 size = 0;
    EXPECT_EQ(Table().DeviceGetProperty(mRef, kDeviceID, 0, 0, kKnownSelector, &size, nullptr), 0);
    EXPECT_EQ(Table().DeviceSetProperty(mRef, kDeviceID, nullptr, 0, 0, kKnownSelector, 0, nullptr), 0);
    size = 0;
    EXPECT_EQ(Table().StreamGetProperty(mRef, kStreamID, 0, kKnownSelector, &size, nullptr), 0);
    EXPECT_EQ(Table().StreamSetProperty(mRef, kStreamID, nullptr, 0, kKnownSelector, 0, nullptr), 0);
    EXPECT_EQ(mDevice->mLog.mCalls, (std::vector<std::string>{"GetPropertyData", "SetPropertyData"}));
    EXPECT_EQ(mStream->mLog.mCalls, (std::vector<std::string>{"GetPropertyData", "SetPropertyData"}));
}

TEST_F(HPPlugInTest, StreamPropertyCallsUseSectionZero)
{
    UInt32 size = 0;
    Boolean writable = 1;
    EXPECT_EQ(Table().StreamGetPropertyInfo(mRef, kStreamID, 4, kKnownSelector, &size, &writable), 0);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(writable, 0);
    EXPECT_EQ(mStream->mLog.mAddress.mChannel, 4u);
    EXPECT_EQ(mStream->mLog.mAddress.mSection, 0);

    UInt32 data[2] = {};
    size = sizeof(data);
    EXPECT_EQ(Table().StreamGetProperty(mRef, kStreamID, 1, kKnownSelector, &size, data), 0);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(mStream->mLog.mData, data);
    EXPECT_EQ(mStream->mLog.mAddress.mChannel, 1u);
    EXPECT_EQ(mStream->mLog.mAddress.mSection, 0);

    AudioTimeStamp when{};
    EXPECT_EQ(Table().StreamSetProperty(mRef, kStreamID, &when, 6, kKnownSelector, sizeof(data), data), 0);
    EXPECT_EQ(mStream->mLog.mWhen, &when);
    EXPECT_EQ(mStream->mLog.mSize, sizeof(data));
    EXPECT_EQ(mStream->mLog.mAddress.mChannel, 6u);
    EXPECT_EQ(mStream->mLog.mAddress.mSection, 0);
}

TEST_F(HPPlugInTest, ExceptionsBecomeStatuses)
{
    const struct {
        const char* mName;
        std::function<void()> mFailure;
        OSStatus mStatus;
    } failures[] = {
        {"CAException", [] { throw CAException(kBadSize); }, kBadSize},
        {"allocation failure", [] { throw std::bad_alloc(); }, kWhat},
        {"plain status", [] { throw long(kBadSize); }, kWhat},
        {"anything else", [] { throw 42; }, kWhat},
    };
    UInt32 data = 0;
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.mName);
        mDevice->mLog.mFailure = failure.mFailure;
        mStream->mLog.mFailure = failure.mFailure;
        mPlugIn->mFailure = failure.mFailure;
        UInt32 size = sizeof(data);
        EXPECT_EQ(Table().DeviceAddIOProc(mRef, kDeviceID, TestIOProc, nullptr), failure.mStatus);
        EXPECT_EQ(Table().DeviceGetProperty(mRef, kDeviceID, 0, 0, kKnownSelector, &size, &data), failure.mStatus);
        EXPECT_EQ(Table().StreamSetProperty(mRef, kStreamID, nullptr, 0, kKnownSelector, 4, &data), failure.mStatus);
        EXPECT_EQ(Table().Initialize(mRef), failure.mStatus);
        EXPECT_EQ(Table().Teardown(mRef), failure.mStatus);
    }
    mPlugIn->mFailure = nullptr;
}

TEST_F(HPPlugInTest, UnansweredStreamFormatsIsAnIllegalRequestOnlyForDeviceGetProperty)
{
    UInt32 data[16] = {};
    UInt32 size = sizeof(data);
    // The recording device throws 'who?' for every selector it does not know.
    EXPECT_EQ(Table().DeviceGetProperty(mRef, kDeviceID, 0, 1, kAudioDevicePropertyStreamFormats, &size, data), kNope);
    EXPECT_EQ(Table().DeviceGetProperty(mRef, kDeviceID, 0, 1, kAudioDevicePropertyStreamFormat, &size, data), kWho);
    EXPECT_EQ(Table().StreamGetProperty(mRef, kStreamID, 0, kAudioDevicePropertyStreamFormats, &size, data), kWho);
    EXPECT_EQ(Table().DeviceGetPropertyInfo(mRef, kDeviceID, 0, 1, kAudioDevicePropertyStreamFormats, &size, nullptr),
              kWho);
    // Other failures of 'sfm#' keep their status.
    mDevice->mLog.mFailure = [] { throw CAException(kBadSize); };
    EXPECT_EQ(Table().DeviceGetProperty(mRef, kDeviceID, 0, 1, kAudioDevicePropertyStreamFormats, &size, data),
              kBadSize);
}

TEST_F(HPPlugInTest, StreamFormatsOfASectionWithoutStreamsIsIllegal)
{
    TestDevice device(mPlugIn, 77);
    device.Initialize();
    mPlugIn->AddDevice(&device);
    UInt32 data[16] = {};
    for (Boolean isInput : {Boolean(0), Boolean(1)}) {
        UInt32 size = sizeof(data);
        EXPECT_EQ(Table().DeviceGetProperty(mRef, 77, 0, isInput, kAudioDevicePropertyStreamFormats, &size, data),
                  kNope);
    }
    mPlugIn->RemoveDevice(&device);
    device.Teardown();
}

TEST(HPPlugInRegistry, DevicesAreIndexedInAscendingIDOrderAndTheFirstOfAnIDStays)
{
    HPPlugIn plugIn(TestFactory());
    TestDevice device30(&plugIn, 30);
    TestDevice device10(&plugIn, 10);
    TestDevice device20(&plugIn, 20);
    TestDevice other10(&plugIn, 10);
    plugIn.AddDevice(&device30);
    plugIn.AddDevice(&device10);
    plugIn.AddDevice(&device20);
    plugIn.AddDevice(&other10);

    ASSERT_EQ(plugIn.GetNumberDevices(), 3u);
    EXPECT_EQ(plugIn.GetDeviceByIndex(0), &device10);
    EXPECT_EQ(plugIn.GetDeviceByIndex(1), &device20);
    EXPECT_EQ(plugIn.GetDeviceByIndex(2), &device30);
    EXPECT_EQ(plugIn.GetDeviceByIndex(plugIn.GetNumberDevices()), nullptr);
    EXPECT_EQ(plugIn.GetDeviceByAudioDeviceID(10), &device10);
    EXPECT_EQ(plugIn.GetDeviceByAudioDeviceID(11), nullptr);

    plugIn.RemoveDevice(&device20);
    EXPECT_EQ(plugIn.GetNumberDevices(), 2u);
    EXPECT_EQ(plugIn.GetDeviceByIndex(1), &device30);
    plugIn.RemoveDevice(&device20);  // absent: nothing changes
    EXPECT_EQ(plugIn.GetNumberDevices(), 2u);
    // Removing by ID: the device sharing an ID removes the entry.
    plugIn.RemoveDevice(&other10);
    EXPECT_EQ(plugIn.GetDeviceByAudioDeviceID(10), nullptr);
}

TEST(HPPlugInRegistry, StreamsAreFoundByIDAndTheFirstOfAnIDStays)
{
    HPPlugIn plugIn(TestFactory());
    TestDevice device(&plugIn, 1);
    HPStream first(&plugIn, &device, 50, false, 1);
    HPStream second(&plugIn, &device, 50, true, 1);
    plugIn.AddStream(&first);
    plugIn.AddStream(&second);
    EXPECT_EQ(plugIn.GetStreamByAudioStreamID(50), &first);
    EXPECT_EQ(plugIn.GetStreamByAudioStreamID(51), nullptr);
    plugIn.RemoveStream(&first);
    EXPECT_EQ(plugIn.GetStreamByAudioStreamID(50), nullptr);
    plugIn.RemoveStream(&first);
    EXPECT_EQ(plugIn.GetStreamByAudioStreamID(50), nullptr);
}

TEST(HPPlugInLifecycle, TheInterfaceLeadsBackToThePlugIn)
{
    HPPlugIn plugIn(TestFactory());
    AudioHardwarePlugInRef ref = plugIn.GetInterface();
    EXPECT_EQ(*ref, &HPPlugIn::sInterface);
    EXPECT_EQ(HPPlugIn::FromInterface(ref), &plugIn);
    EXPECT_EQ(HPPlugIn::sInterface._reserved, nullptr);
}

TEST(HPPlugInLifecycle, ConstructionRegistersAnInstanceAndDestructionUndoesIt)
{
    CFUUIDRef factory = CFUUIDCreateWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    CFIndex retains = CFGetRetainCount(factory);
    {
        HPPlugIn plugIn(factory);
        EXPECT_EQ(CFPlugInGetInstanceCountForFactory(factory), 1);
        EXPECT_EQ(CFGetRetainCount(factory), retains + 1);
        EXPECT_EQ(plugIn.GetNumberDevices(), 0u);
    }
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(factory), 0);
    EXPECT_EQ(CFGetRetainCount(factory), retains);
    CFRelease(factory);
}

TEST(HPPlugInLifecycle, ReleaseFromOneDeletesAndReturnsZero)
{
    bool deleted = false;
    ProbePlugIn* plugIn = new ProbePlugIn(TestFactory(), &deleted);
    AudioHardwarePlugInRef ref = plugIn->GetInterface();
    EXPECT_EQ((*ref)->AddRef(ref), 1u);
    EXPECT_EQ((*ref)->AddRef(ref), 2u);
    EXPECT_EQ((*ref)->Release(ref), 1u);
    EXPECT_FALSE(deleted);
    EXPECT_EQ((*ref)->Release(ref), 0u);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(TestFactory()), 0);
}

TEST(HPPlugInLifecycle, AddRefThatThrowsReturnsZero)
{
    ProbePlugIn plugIn(TestFactory(), nullptr);
    plugIn.mFailRetain = true;
    AudioHardwarePlugInRef ref = plugIn.GetInterface();
    EXPECT_EQ((*ref)->AddRef(ref), 0u);
}

TEST(HPPlugInLifecycle, TheCountSurvivesConcurrentAddRefAndRelease)
{
    bool deleted = false;
    ProbePlugIn* plugIn = new ProbePlugIn(TestFactory(), &deleted);
    plugIn->Retain();
    AudioHardwarePlugInRef ref = plugIn->GetInterface();
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            while (!go.load()) {
            }
            for (int i = 0; i < kRounds; ++i) {
                (*ref)->AddRef(ref);
                (*ref)->Release(ref);
            }
        });
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(deleted);
    EXPECT_EQ((*ref)->Release(ref), 0u);
    EXPECT_TRUE(deleted);
}

TEST(HPPlugInLifecycle, QueryInterfaceAnswersThePlugInInterfaceAndIUnknownOnly)
{
    bool deleted = false;
    ProbePlugIn* plugIn = new ProbePlugIn(TestFactory(), &deleted);
    plugIn->Retain();
    AudioHardwarePlugInRef ref = plugIn->GetInterface();

    void* result = &deleted;
    EXPECT_EQ((*ref)->QueryInterface(ref, CFUUIDGetUUIDBytes(kAudioHardwarePlugInInterfaceID), &result), S_OK);
    EXPECT_EQ(result, ref);
    result = &deleted;
    EXPECT_EQ((*ref)->QueryInterface(ref, CFUUIDGetUUIDBytes(IUnknownUUID), &result), S_OK);
    EXPECT_EQ(result, ref);

    result = &deleted;
    EXPECT_EQ((*ref)->QueryInterface(ref, CFUUIDGetUUIDBytes(kAudioHardwarePlugInTypeID), &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(E_NOINTERFACE, HRESULT(0x80000004u));

    // One count from the creator and one from each success.
    EXPECT_EQ((*ref)->Release(ref), 2u);
    EXPECT_EQ((*ref)->Release(ref), 1u);
    EXPECT_EQ((*ref)->Release(ref), 0u);
    EXPECT_TRUE(deleted);
}

} // namespace
