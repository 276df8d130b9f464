// Owns at most one audio converter of the host's converter service. The
// device keeps two: one between the unit's packed integer samples and the
// clients' float samples, and one for the muxer's sync pattern.
//
// Set allocates and may throw; call it from host threads or the run loop
// with the device's IO guard held, never from the I/O cycle. Convert is
// real-time safe (no allocation, no lock) and is what the I/O thread calls.
#pragma once

#include "platform/AudioConverter.h"
#include "platform/CoreAudioTypes.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class AudioConverterHolder {
public:
    AudioConverterHolder();
    // Disposes the converter, if any.
    ~AudioConverterHolder();

    AudioConverterHolder(const AudioConverterHolder&) = delete;
    AudioConverterHolder& operator=(const AudioConverterHolder&) = delete;

    // Disposes the current converter, then, when both formats are given,
    // creates one from inSource to inDestination. A status from
    // AudioConverterNew is thrown as Zent::LWE::OSStatus and leaves the
    // holder empty.
    void Set(const AudioStreamBasicDescription* inSource, const AudioStreamBasicDescription* inDestination);
    // Null when empty.
    AudioConverterRef Get() const { return mConverter; }
    bool IsEmpty() const { return mConverter == nullptr; }
    // AudioConverterConvertBuffer with the held converter; 'nope' when empty.
    OSStatus Convert(UInt32 inInputSize, const void* inInput, UInt32& ioOutputSize, void* outOutput) const;

private:
    AudioConverterRef mConverter;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
