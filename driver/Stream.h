// The stream of an Orvel device: one per input connector on the input
// device (only the selected one is published), one on the output device.
// Its only physical format, fixed at creation, is 48000 Hz, 24-bit packed
// little-endian integer with the connector's channel count; every format and
// rate request goes to its HPFormatList, and a physical-format change
// becomes new device settings for the muxer.
//
// Threads: property requests on host client threads; format changes run as
// device commands (IO guard held). No lock of its own.
#pragma once

#include "framework/HPStream.h"
#include "platform/CoreFoundation.h"

class HPFormatList;

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class Stream : public HPStream {
public:
    // inName is a constant string (not released); inCode the stream code
    // ('isdi', 'iaes', 'iadt', 'ispd', 'ialg' or 'out ').
    Stream(HPPlugIn* inPlugIn, HPDevice* inOwningDevice, AudioStreamID inStreamID, bool inIsInput,
           UInt32 inStartingChannel, CFStringRef inName, UInt32 inCode);
    ~Stream() override;

    // Builds the format list with the one physical format and attaches it.
    void Initialize() override;
    // Detaches and deletes the format list.
    void Teardown() override;
    // Then announces the address, and 'pft ' after 'sfmt'.
    void SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                         const AudioTimeStamp* inWhen) override;
    CFStringRef CopyStreamName() const override;
    // 0x0206 for every stream.
    UInt32 GetTerminalType() const override;
    // Hands the new format to the owning device's SetSettings; true.
    bool ChangePhysicalFormat(const AudioStreamBasicDescription& inOldFormat,
                              const AudioStreamBasicDescription& inNewFormat) override;
    // Follows another stream's change when the formats differ.
    void PhysicalFormatChanged(const AudioStreamBasicDescription& inOldFormat,
                               const AudioStreamBasicDescription& inNewFormat) override;

    // Forwarded unchanged to the format list.
    Float64 GetCurrentNominalSampleRate() const override;
    void SetCurrentNominalSampleRate(Float64 inSampleRate) override;
    UInt32 GetNumberNominalSampleRateRanges() const override;
    void GetAvailableNominalSampleRateRangeByIndex(UInt32 inIndex, AudioValueRange& outRange) const override;
    bool SupportsNominalSampleRate(Float64 inSampleRate) const override;
    void GetCurrentVirtualFormat(AudioStreamBasicDescription& outFormat) const override;
    void SetCurrentVirtualFormat(const AudioStreamBasicDescription& inFormat) override;
    UInt32 GetNumberAvailableVirtualFormats() const override;
    void GetAvailableVirtualFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const override;
    bool SupportsVirtualFormat(const AudioStreamBasicDescription& inFormat) const override;
    void BestMatchForVirtualFormat(AudioStreamBasicDescription& ioFormat) const override;
    void GetCurrentPhysicalFormat(AudioStreamBasicDescription& outFormat) const override;
    void SetCurrentPhysicalFormat(const AudioStreamBasicDescription& inFormat) override;
    UInt32 GetNumberAvailablePhysicalFormats() const override;
    void GetAvailablePhysicalFormatByIndex(UInt32 inIndex, AudioStreamBasicDescription& outFormat) const override;
    bool SupportsPhysicalFormat(const AudioStreamBasicDescription& inFormat) const override;
    void BestMatchForPhysicalFormat(AudioStreamBasicDescription& ioFormat) const override;

    UInt32 GetCode() const { return mCode; }
    // 8 for 'isdi', 'iadt' and 'out ', 2 for 'ispd', 4 otherwise.
    static UInt32 GetChannelCountForCode(UInt32 inCode);

private:
    // Throws CAException('nope') outside Initialize..Teardown.
    HPFormatList& GetFormatList() const;

    HPFormatList* mFormatList;  // owned
    CFStringRef mName;
    UInt32 mCode;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
