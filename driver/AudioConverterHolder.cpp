#include "driver/AudioConverterHolder.h"

#include "platform/AudioHardware.h"
#include "support/Zent_LWE_OSStatus.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

AudioConverterHolder::AudioConverterHolder() : mConverter(nullptr) {}

AudioConverterHolder::~AudioConverterHolder()
{
    if (mConverter != nullptr) {
        AudioConverterDispose(mConverter);
    }
}

void AudioConverterHolder::Set(const AudioStreamBasicDescription* inSource,
                               const AudioStreamBasicDescription* inDestination)
{
    if (mConverter != nullptr) {
        AudioConverterDispose(mConverter);
        mConverter = nullptr;
    }
    if ((inSource != nullptr) && (inDestination != nullptr)) {
        AudioConverterRef theConverter = nullptr;
        OSStatus theError = AudioConverterNew(inSource, inDestination, &theConverter);
        if (theError != 0) {
            throw Zent::LWE::OSStatus(theError);
        }
        mConverter = theConverter;
    }
}

OSStatus AudioConverterHolder::Convert(UInt32 inInputSize, const void* inInput, UInt32& ioOutputSize,
                                       void* outOutput) const
{
    if (mConverter == nullptr) {
        return kAudioHardwareIllegalOperationError;
    }
    return AudioConverterConvertBuffer(mConverter, inInputSize, inInput, &ioOutputSize, outOutput);
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
