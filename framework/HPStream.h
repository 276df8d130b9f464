// The framework's audio stream: one direction (input or output) of a device,
// covering a run of consecutive device channels that begins at a fixed
// starting channel. It answers the six stream-level properties itself and
// passes every other property to the handlers attached to it (the five
// stream control properties it creates in Initialize, and the format list a
// concrete stream attaches). It owns the stream's controls and turns their
// changes into host notifications.
//
// The format operations (nominal rate, virtual and physical formats) are
// inert here; a concrete stream overrides them, normally by forwarding to
// its HPFormatList. ChangePhysicalFormat and PhysicalFormatChanged are the
// hooks through which the format list negotiates a change with the stream.
//
// No lock of its own: property calls arrive on host client threads, control
// changes on whatever thread changed the control; the owning device
// serialises changes (format changes run inside its command execution).
#pragma once

#include "framework/HPPropertyObject.h"
#include "framework/controls/HPControlOwner.h"
#include "platform/AudioHardware.h"
#include "platform/CoreAudioTypes.h"
#include "platform/CoreFoundation.h"

class HPPlugIn;
class HPDevice;
class HPControl;
class HPStreamVolumeProperty;
class HPStreamMuteProperty;
class HPStreamPlayThruProperty;
class HPStreamDataSourceProperty;
class HPStreamClockSourceProperty;

class HPStream : public HPPropertyObject, public HPControlOwner {
public:
    // inStreamID is the ID claimed from the host; inIsInput is true for an
    // input stream; inStartingChannel is the device channel (from 1) of the
    // stream's first channel.
    HPStream(HPPlugIn* inPlugIn, HPDevice* inOwningDevice, AudioStreamID inStreamID, bool inIsInput,
             UInt32 inStartingChannel);
    ~HPStream() override;

    // Creates and attaches the five stream control properties. A concrete
    // stream calls this first and attaches its own handlers after.
    void Initialize() override;
    // Detaches and destroys them, clock source first. Must not be called
    // twice. A concrete stream detaches its own handlers before calling it.
    void Teardown() override;

    // Host client thread. The six stream-level properties are answered
    // here; every other selector goes to the attached handlers.
    bool HasProperty(const HPPropertyAddress& inAddress) const override;
    bool PropertyIsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetPropertyDataSize(const HPPropertyAddress& inAddress) const override;
    void GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    // Refuses every selector with '!hog' while another process holds hog
    // mode on the owning device.
    void SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                         const AudioTimeStamp* inWhen) override;
    // Tells the host through AudioHardwareStreamPropertyChanged; a failure
    // is logged and ignored. Runs on the thread that made the change.
    void PropertyChanged(const HPPropertyAddress& inAddress) const override;

    // The stream's name; the caller releases it. Base: null.
    virtual CFStringRef CopyStreamName() const;
    // Base: 0.
    virtual UInt32 GetTerminalType() const;
    // Bytes that inFrames frames of the current virtual format occupy.
    virtual UInt32 CalculateIOBufferByteSize(UInt32 inFrames) const;

    // Called by a control of this stream, on the thread that changed it.
    void ControlValueChanged(HPControl* inControl) override;
    void ControlRangeChanged(HPControl* inControl) override;

    // mChannelsPerFrame of the current physical format.
    virtual UInt32 GetCurrentNumberChannels() const;

    // Asked by the format list before it makes a new physical format
    // current; false keeps the old one (not a failure). Base: true.
    virtual bool ChangePhysicalFormat(const AudioStreamBasicDescription& inOldFormat,
                                      const AudioStreamBasicDescription& inNewFormat);
    // Told when another stream of the same device changed the sample rate,
    // so that this stream can follow. Base: nothing.
    virtual void PhysicalFormatChanged(const AudioStreamBasicDescription& inOldFormat,
                                       const AudioStreamBasicDescription& inNewFormat);

    // Format interface; inert in the base (zero, false, or nothing).
    virtual Float64 GetCurrentNominalSampleRate() const;
    virtual void SetCurrentNominalSampleRate(Float64 inSampleRate);
    virtual UInt32 GetNumberNominalSampleRateRanges() const;
    virtual void GetAvailableNominalSampleRateRangeByIndex(UInt32 inIndex, AudioValueRange& outRange) const;
    virtual bool SupportsNominalSampleRate(Float64 inSampleRate) const;

    virtual void GetCurrentVirtualFormat(AudioStreamBasicDescription& outFormat) const;
    // mBytesPerFrame of the current virtual format.
    virtual UInt32 GetCurrentVirtualBytesPerFrame() const;
    virtual void SetCurrentVirtualFormat(const AudioStreamBasicDescription& inFormat);
    virtual UInt32 GetNumberAvailableVirtualFormats() const;
    virtual void GetAvailableVirtualFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const;
    virtual bool SupportsVirtualFormat(const AudioStreamBasicDescription& inFormat) const;
    virtual void BestMatchForVirtualFormat(AudioStreamBasicDescription& ioFormat) const;

    virtual void GetCurrentPhysicalFormat(AudioStreamBasicDescription& outFormat) const;
    virtual void SetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat);
    virtual UInt32 GetNumberAvailablePhysicalFormats() const;
    virtual void GetAvailablePhysicalFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const;
    virtual bool SupportsPhysicalFormat(const AudioStreamBasicDescription& inFormat) const;
    virtual void BestMatchForPhysicalFormat(AudioStreamBasicDescription& ioFormat) const;

    HPPlugIn* GetPlugIn() const { return mPlugIn; }
    HPDevice* GetOwningDevice() const { return mOwningDevice; }
    bool IsInput() const { return mIsInput; }
    UInt32 GetStartingChannel() const { return mStartingChannel; }

private:
    // The section of this stream's controls: input 1, output 0.
    UInt8 GetControlSection() const;
    // Sends PropertyChanged for (inSelector, inChannel, 0).
    void SendStreamNotification(UInt32 inSelector, UInt32 inChannel) const;

    HPPlugIn* mPlugIn;            // not owned
    HPDevice* mOwningDevice;      // not owned
    bool mIsInput;
    UInt32 mStartingChannel;
    // Owned; null outside Initialize..Teardown.
    HPStreamVolumeProperty* mVolumeProperty;
    HPStreamMuteProperty* mMuteProperty;
    HPStreamPlayThruProperty* mPlayThruProperty;
    HPStreamDataSourceProperty* mDataSourceProperty;
    HPStreamClockSourceProperty* mClockSourceProperty;
};
