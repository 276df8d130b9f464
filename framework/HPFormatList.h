// The property handler that gives a stream its format and sample-rate
// properties. A concrete stream creates one in its Initialize, fills it with
// the physical formats its hardware can run (each with the range of nominal
// rates at which it is offered), sets the current physical format with
// DirectSetCurrentPhysicalFormat and attaches it to itself.
//
// The list keeps three sorted lists (physical formats, virtual formats,
// nominal-rate ranges) and one current physical format; the current virtual
// format and the current nominal rate are derived from it. Client requests
// to change the format or the rate never change the list directly: SetData
// builds an HPChangeFormatCommand and hands it to the owning device, which
// runs it at once or after the current I/O cycle. Applying a change asks the
// stream (ChangePhysicalFormat), tells the other streams of the device about
// a new rate, tells the device, and the command then sends the host its
// notifications in a fixed order.
//
// No lock: property reads arrive on host client threads; changes run on the
// thread that executes the command, inside the device's command execution.
// The operations call one another virtually, so a subclass that overrides
// one changes the behaviour of the others.
#pragma once

#include <vector>

#include "framework/HPProperty.h"
#include "platform/CoreAudioTypes.h"
#include "support/CAAudioStreamBasicDescription.h"

class HPStream;

class HPFormatList : public HPProperty {
public:
    // inOwningStream is not owned; its device, direction and starting
    // channel are used for commands and notifications.
    explicit HPFormatList(HPStream* inOwningStream);
    ~HPFormatList() override;

    // The ten format selectors: 'nsrt', 'nsr#', 'sfmt', 'sfm#', 'sfm?',
    // 'sfmm', 'pft ', 'pft#', 'pft?', 'pftm', each on every channel and
    // section. 'nsrt', 'sfmt' and 'pft ' are settable.
    bool IsSettable(const HPPropertyAddress& inAddress) const override;
    UInt32 GetDataSize(const HPPropertyAddress& inAddress) const override;
    void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const override;
    // Checks the request, then passes an HPChangeFormatCommand to the owning
    // device. When the device queues it, this returns at once and a later
    // failure is dropped. inWhen is ignored.
    void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                 const AudioTimeStamp* inWhen) override;
    UInt32 GetNumberAddressesImplemented() const override;
    void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const override;

    // The mSampleRate of the current physical format.
    virtual Float64 GetCurrentNominalSampleRate() const;
    // Command thread. Same rate: nothing. A rate in no range: '!dat'.
    virtual void SetCurrentNominalSampleRate(Float64 inSampleRate);
    virtual UInt32 GetNumberNominalSampleRateRanges() const;
    // An index not below the count: 'nope'.
    virtual void GetAvailableNominalSampleRateRangeByIndex(UInt32 inIndex, AudioValueRange& outRange) const;
    virtual bool SupportsNominalSampleRate(Float64 inSampleRate) const;

    // The current physical format, normalized to native float.
    virtual void GetCurrentVirtualFormat(AudioStreamBasicDescription& outFormat) const;
    // Command thread. Selects the physical format that serves the request;
    // the virtual format is never stored.
    virtual void SetCurrentVirtualFormat(const AudioStreamBasicDescription& inFormat);
    virtual UInt32 GetNumberAvailableVirtualFormats() const;
    virtual void GetAvailableVirtualFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const;
    virtual bool SupportsVirtualFormat(const AudioStreamBasicDescription& inFormat) const;
    // The first virtual format equal to ioFormat (wildcard equality), else
    // the last (greatest) one. Left unchanged on an empty list.
    virtual void BestMatchForVirtualFormat(AudioStreamBasicDescription& ioFormat) const;

    virtual void GetCurrentPhysicalFormat(AudioStreamBasicDescription& outFormat) const;
    // Command thread. Zero fields of the request are taken from the current
    // format. An unsupported format: '!dat'.
    virtual void SetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat);
    virtual UInt32 GetNumberAvailablePhysicalFormats() const;
    virtual void GetAvailablePhysicalFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const;
    virtual bool SupportsPhysicalFormat(const AudioStreamBasicDescription& inFormat) const;
    // As BestMatchForVirtualFormat, over the physical formats.
    virtual void BestMatchForPhysicalFormat(AudioStreamBasicDescription& ioFormat) const;

    // Called by the concrete stream while it builds the list: adds the
    // format (and its normalized image) unless already present, and the
    // rate range unless one with the same bounds is present.
    virtual void AddPhysicalFormat(const AudioValueRange& inRates, const AudioStreamBasicDescription& inFormat);
    // Makes the format current with no check, no stream hook and no
    // notification (building the list, following another stream's rate).
    virtual void DirectSetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat);
    // Command thread, after a change was applied: the host notifications
    // for the stream, the device's other streams and the device, in their
    // fixed order. Nothing when the formats are equal.
    virtual void BroadcastFormatChangedNotifications(const AudioStreamBasicDescription& inOldFormat,
                                                     const AudioStreamBasicDescription& inNewFormat);
    // Command thread: tells the device's other streams about a new rate,
    // then the device about the change.
    virtual void PropagatePhysicalFormatChanged(const AudioStreamBasicDescription& inOldFormat,
                                                const AudioStreamBasicDescription& inNewFormat);

    HPStream* GetOwningStream() const { return mOwningStream; }

private:
    typedef std::vector<CAAudioStreamBasicDescription> FormatVector;

    // Inserts at the lower bound under operator<.
    static void InsertFormat(FormatVector& ioFormats, const AudioStreamBasicDescription& inFormat);
    static bool ContainsFormat(const FormatVector& inFormats, const AudioStreamBasicDescription& inFormat);
    static void BestMatch(const FormatVector& inFormats, AudioStreamBasicDescription& ioFormat);
    // Sends the device's 'nsrt' notification to every other stream of one
    // direction, if the device has that section.
    void NotifyOtherStreamsOfRate(bool inIsInput) const;

    HPStream* mOwningStream;  // not owned
    CAAudioStreamBasicDescription mCurrentPhysicalFormat;
    std::vector<AudioValueRange> mNominalSampleRateRanges;  // ascending by mMinimum
    FormatVector mVirtualFormats;                           // ascending, no duplicates
    FormatVector mPhysicalFormats;                          // ascending, no duplicates
};
