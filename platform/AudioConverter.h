// The host's sample-format converter for linear PCM: 16/24/32-bit signed
// integer and 32-bit float, either byte order, packed, equal sample rates,
// any channel counts (extra destination channels are zero).
#pragma once

#include "platform/CoreAudioTypes.h"

struct AudioConverterObject;
typedef AudioConverterObject* AudioConverterRef;

enum : OSStatus {
    kAudioConverterErr_FormatNotSupported = OSStatus(FourCC("fmt?")),
    kAudioConverterErr_RequiresPacketDescriptionsError = OSStatus(FourCC("!pkd")),
    kAudioConverterErr_InvalidInputSize = OSStatus(FourCC("insz")),
    kAudioConverterErr_InvalidOutputSize = OSStatus(FourCC("otsz")),
    kAudioConverterErr_BadPropertySizeError = OSStatus(FourCC("!siz")),
};

// Anything the converter cannot do is refused here, never at conversion time.
PLATFORM_EXPORT OSStatus AudioConverterNew(const AudioStreamBasicDescription* source,
                                           const AudioStreamBasicDescription* destination,
                                           AudioConverterRef* outConverter);
// Converts the whole frames of the input that fit in *ioOutputDataSize bytes
// of output; *ioOutputDataSize receives the bytes written. Real-time safe.
PLATFORM_EXPORT OSStatus AudioConverterConvertBuffer(AudioConverterRef converter, UInt32 inputDataSize,
                                                     const void* inputData, UInt32* ioOutputDataSize,
                                                     void* outputData);
PLATFORM_EXPORT OSStatus AudioConverterDispose(AudioConverterRef converter);
