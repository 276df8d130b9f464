// A small concrete stream for the framework's tests. It fills the stream
// hooks simply: a name and terminal type chosen by the test, a format list of
// a few linear PCM physical formats (by default 16- and 24-bit signed packed
// integer at 44100 and 48000 Hz, each offered only at its own rate, current
// 24-bit 48000 Hz), every format operation forwarded to that list, and the
// two negotiation hooks recorded (ChangePhysicalFormat answers, or throws,
// whatever the test sets; PhysicalFormatChanged follows the other stream's rate as a
// driver stream would).
//
// Notifications (PropertyChanged) are recorded, and sent to the host as well
// only when the test asks for it (that needs a real plug-in). Recording takes
// a mutex, so tests may issue requests from several threads.
#pragma once

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/HPFormatList.h"
#include "framework/HPPropertyAddress.h"
#include "framework/HPStream.h"
#include "platform/AudioHardware.h"
#include "platform/CoreAudioTypes.h"
#include "platform/CoreFoundation.h"
#include "support/CAException.h"

class TestStream : public HPStream {
public:
    static constexpr AudioStreamID kDefaultStreamID = 200;

    // One physical format and the nominal rates at which it is offered.
    struct PhysicalFormatEntry {
        AudioValueRange mRates;
        AudioStreamBasicDescription mFormat;
    };

    // Signed packed little-endian integer linear PCM (flags 12).
    static AudioStreamBasicDescription MakeIntegerFormat(Float64 inSampleRate, UInt32 inChannels, UInt32 inBits)
    {
        AudioStreamBasicDescription format{};
        format.mSampleRate = inSampleRate;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
        format.mFramesPerPacket = 1;
        format.mChannelsPerFrame = inChannels;
        format.mBitsPerChannel = inBits;
        format.mBytesPerFrame = inChannels * (inBits / 8);
        format.mBytesPerPacket = format.mBytesPerFrame;
        return format;
    }

    // The host's native packed 32-bit float: what clients see.
    static AudioStreamBasicDescription MakeFloatFormat(Float64 inSampleRate, UInt32 inChannels)
    {
        AudioStreamBasicDescription format{};
        format.mSampleRate = inSampleRate;
        format.mFormatID = kAudioFormatLinearPCM;
        format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked;
        format.mFramesPerPacket = 1;
        format.mChannelsPerFrame = inChannels;
        format.mBitsPerChannel = 32;
        format.mBytesPerFrame = 4 * inChannels;
        format.mBytesPerPacket = format.mBytesPerFrame;
        return format;
    }

    // 16 and 24 bits at 44100 and 48000 Hz, each with the range {rate, rate}.
    static std::vector<PhysicalFormatEntry> MakeDefaultFormats(UInt32 inChannels)
    {
        std::vector<PhysicalFormatEntry> entries;
        for (Float64 rate : {44100.0, 48000.0}) {
            for (UInt32 bits : {16u, 24u}) {
                entries.push_back({AudioValueRange{rate, rate}, MakeIntegerFormat(rate, inChannels, bits)});
            }
        }
        return entries;
    }

    // The default formats with inChannels channels; current 24-bit 48000 Hz.
    TestStream(HPPlugIn* inPlugIn, HPDevice* inOwningDevice, AudioStreamID inStreamID = kDefaultStreamID,
               bool inIsInput = false, UInt32 inStartingChannel = 1, UInt32 inChannels = 2)
        : TestStream(inPlugIn, inOwningDevice, inStreamID, inIsInput, inStartingChannel,
                     MakeDefaultFormats(inChannels), MakeIntegerFormat(48000.0, inChannels, 24))
    {
    }

    // The given formats (added in this order); inCurrentFormat becomes the
    // current physical format when the stream is initialized.
    TestStream(HPPlugIn* inPlugIn, HPDevice* inOwningDevice, AudioStreamID inStreamID, bool inIsInput,
               UInt32 inStartingChannel, std::vector<PhysicalFormatEntry> inFormats,
               const AudioStreamBasicDescription& inCurrentFormat)
        : HPStream(inPlugIn, inOwningDevice, inStreamID, inIsInput, inStartingChannel),
          mFormats(std::move(inFormats)),
          mInitialFormat(inCurrentFormat)
    {
    }

    // A stream destroyed without Teardown still frees its list.
    ~TestStream() override { delete mFormatList; }

    void Initialize() override
    {
        HPStream::Initialize();
        mFormatList = new HPFormatList(this);
        for (const PhysicalFormatEntry& entry : mFormats) {
            mFormatList->AddPhysicalFormat(entry.mRates, entry.mFormat);
        }
        mFormatList->DirectSetCurrentPhysicalFormat(mInitialFormat);
        AddProperty(mFormatList);
    }

    void Teardown() override
    {
        RemoveProperty(mFormatList);
        mFormatList->Teardown();
        delete mFormatList;
        mFormatList = nullptr;
        HPStream::Teardown();
    }

    CFStringRef CopyStreamName() const override
    {
        return (mName != nullptr) ? CFStringCreateWithCString(nullptr, mName, kCFStringEncodingASCII) : nullptr;
    }
    UInt32 GetTerminalType() const override { return mTerminalType; }

    bool ChangePhysicalFormat(const AudioStreamBasicDescription& inOldFormat,
                              const AudioStreamBasicDescription& inNewFormat) override
    {
        ++mChangePhysicalFormatCount;
        mLastChangeOldFormat = inOldFormat;
        mLastChangeNewFormat = inNewFormat;
        if (mChangeFormatError != 0) {
            throw CAException(mChangeFormatError);
        }
        return mAllowFormatChange;
    }

    // Follows a rate change made on another stream of the device.
    void PhysicalFormatChanged(const AudioStreamBasicDescription& inOldFormat,
                               const AudioStreamBasicDescription& inNewFormat) override
    {
        ++mPhysicalFormatChangedCount;
        if (!(inOldFormat == inNewFormat)) {
            mFormatList->DirectSetCurrentPhysicalFormat(inNewFormat);
        }
    }

    Float64 GetCurrentNominalSampleRate() const override { return mFormatList->GetCurrentNominalSampleRate(); }
    void SetCurrentNominalSampleRate(Float64 inSampleRate) override
    {
        mFormatList->SetCurrentNominalSampleRate(inSampleRate);
    }
    UInt32 GetNumberNominalSampleRateRanges() const override
    {
        return mFormatList->GetNumberNominalSampleRateRanges();
    }
    void GetAvailableNominalSampleRateRangeByIndex(UInt32 inIndex, AudioValueRange& outRange) const override
    {
        mFormatList->GetAvailableNominalSampleRateRangeByIndex(inIndex, outRange);
    }
    bool SupportsNominalSampleRate(Float64 inSampleRate) const override
    {
        return mFormatList->SupportsNominalSampleRate(inSampleRate);
    }
    void GetCurrentVirtualFormat(AudioStreamBasicDescription& outFormat) const override
    {
        mFormatList->GetCurrentVirtualFormat(outFormat);
    }
    void SetCurrentVirtualFormat(const AudioStreamBasicDescription& inFormat) override
    {
        mFormatList->SetCurrentVirtualFormat(inFormat);
    }
    UInt32 GetNumberAvailableVirtualFormats() const override
    {
        return mFormatList->GetNumberAvailableVirtualFormats();
    }
    void GetAvailableVirtualFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const override
    {
        mFormatList->GetAvailableVirtualFormatByIndex(inIndex, outFormat);
    }
    bool SupportsVirtualFormat(const AudioStreamBasicDescription& inFormat) const override
    {
        return mFormatList->SupportsVirtualFormat(inFormat);
    }
    void BestMatchForVirtualFormat(AudioStreamBasicDescription& ioFormat) const override
    {
        mFormatList->BestMatchForVirtualFormat(ioFormat);
    }
    void GetCurrentPhysicalFormat(AudioStreamBasicDescription& outFormat) const override
    {
        mFormatList->GetCurrentPhysicalFormat(outFormat);
    }
    void SetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat) override
    {
        mFormatList->SetCurrentPhysicalFormat(inFormat);
    }
    UInt32 GetNumberAvailablePhysicalFormats() const override
    {
        return mFormatList->GetNumberAvailablePhysicalFormats();
    }
    void GetAvailablePhysicalFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const override
    {
        mFormatList->GetAvailablePhysicalFormatByIndex(inIndex, outFormat);
    }
    bool SupportsPhysicalFormat(const AudioStreamBasicDescription& inFormat) const override
    {
        return mFormatList->SupportsPhysicalFormat(inFormat);
    }
    void BestMatchForPhysicalFormat(AudioStreamBasicDescription& ioFormat) const override
    {
        mFormatList->BestMatchForPhysicalFormat(ioFormat);
    }

    void PropertyChanged(const HPPropertyAddress& inAddress) const override
    {
        {
            std::lock_guard<std::mutex> lock(mNotificationMutex);
            mNotifications.push_back(inAddress);
        }
        if (mForwardNotifications) {
            HPStream::PropertyChanged(inAddress);
        }
    }

    std::vector<HPPropertyAddress> GetNotifications() const
    {
        std::lock_guard<std::mutex> lock(mNotificationMutex);
        return mNotifications;
    }
    void ClearNotifications()
    {
        std::lock_guard<std::mutex> lock(mNotificationMutex);
        mNotifications.clear();
    }

    // Null outside Initialize..Teardown.
    HPFormatList* GetFormatList() const { return mFormatList; }

    // Identity and behaviour, set by the test before use.
    const char* mName = "Test Stream";
    UInt32 mTerminalType = 0;
    bool mAllowFormatChange = true;
    // When non-zero, ChangePhysicalFormat throws it (as a driver stream does
    // when the hardware refuses the settings).
    OSStatus mChangeFormatError = 0;
    bool mForwardNotifications = false;

    // What the hooks saw.
    std::atomic<UInt32> mChangePhysicalFormatCount{0};
    std::atomic<UInt32> mPhysicalFormatChangedCount{0};
    AudioStreamBasicDescription mLastChangeOldFormat{};
    AudioStreamBasicDescription mLastChangeNewFormat{};

private:
    std::vector<PhysicalFormatEntry> mFormats;
    AudioStreamBasicDescription mInitialFormat;
    HPFormatList* mFormatList = nullptr;
    mutable std::mutex mNotificationMutex;
    mutable std::vector<HPPropertyAddress> mNotifications;
};
