// The host's audio converter for linear PCM. AudioConverterNew checks the
// formats once and picks the conversion; AudioConverterConvertBuffer then
// runs it with no allocation, no lock and no output, so the device's I/O
// thread may call it for every packet.
#include "platform/AudioConverter.h"

#include <cmath>
#include <cstdint>
#include <new>

#include "platform/AudioConverterKernels.h"
#include "platform/AudioHardware.h"

struct AudioConverterObject {
    AudioConverterKernels::SampleLayout source;
    AudioConverterKernels::SampleLayout destination;
    UInt32 sourceBytesPerFrame;
    UInt32 destinationBytesPerFrame;
    AudioConverterKernels::Kernel kernel;  // null: the general path
};

namespace {

// Linear PCM, one frame per packet, interleaved, signed 16/24/32-bit integer
// or 32-bit float, each sample filling its bytes exactly (packed, whatever
// the packed flag says).
bool DescribeLayout(const AudioStreamBasicDescription& format, AudioConverterKernels::SampleLayout& outLayout)
{
    if (format.mFormatID != kAudioFormatLinearPCM || format.mFramesPerPacket != 1 ||
        (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0 || format.mChannelsPerFrame == 0) {
        return false;
    }
    const bool isFloat = (format.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
    if (isFloat) {
        if (format.mBitsPerChannel != 32) {
            return false;
        }
    } else if ((format.mFormatFlags & kAudioFormatFlagIsSignedInteger) == 0 ||
               (format.mBitsPerChannel != 16 && format.mBitsPerChannel != 24 && format.mBitsPerChannel != 32)) {
        return false;
    }
    const UInt32 bytesPerSample = format.mBitsPerChannel / 8;
    const std::uint64_t frameBytes = std::uint64_t(bytesPerSample) * format.mChannelsPerFrame;
    if (frameBytes != format.mBytesPerFrame || format.mBytesPerPacket != format.mBytesPerFrame) {
        return false;
    }
    outLayout.bytesPerSample = bytesPerSample;
    outLayout.channels = format.mChannelsPerFrame;
    outLayout.isFloat = isFloat;
    outLayout.isBigEndian = (format.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
    return true;
}

bool Overlap(const void* a, std::size_t aSize, const void* b, std::size_t bSize)
{
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + bSize && y < x + aSize;
}

}  // namespace

OSStatus AudioConverterNew(const AudioStreamBasicDescription* source, const AudioStreamBasicDescription* destination,
                           AudioConverterRef* outConverter)
{
    if (source == nullptr || destination == nullptr || outConverter == nullptr) {
        return paramErr;
    }
    AudioConverterKernels::SampleLayout sourceLayout{}, destinationLayout{};
    if (!DescribeLayout(*source, sourceLayout) || !DescribeLayout(*destination, destinationLayout)) {
        return kAudioConverterErr_FormatNotSupported;
    }
    // No rate conversion: both sides run at one positive, finite rate.
    if (!(source->mSampleRate > 0.0) || !std::isfinite(source->mSampleRate) ||
        source->mSampleRate != destination->mSampleRate) {
        return kAudioConverterErr_FormatNotSupported;
    }
    auto* converter = new (std::nothrow) AudioConverterObject{
        sourceLayout, destinationLayout, source->mBytesPerFrame, destination->mBytesPerFrame,
        AudioConverterKernels::FindKernel(AudioConverterKernels::BestKernels(), *source, *destination)};
    if (converter == nullptr) {
        return kAudioHardwareUnspecifiedError;
    }
    *outConverter = converter;
    return noErr;
}

OSStatus AudioConverterConvertBuffer(AudioConverterRef converter, UInt32 inputDataSize, const void* inputData,
                                     UInt32* ioOutputDataSize, void* outputData)
{
    if (converter == nullptr || ioOutputDataSize == nullptr) {
        return paramErr;
    }
    const std::size_t inFrames = inputDataSize / converter->sourceBytesPerFrame;
    const std::size_t outFrames = *ioOutputDataSize / converter->destinationBytesPerFrame;
    const std::size_t frames = inFrames < outFrames ? inFrames : outFrames;
    const std::size_t inBytes = frames * converter->sourceBytesPerFrame;
    const std::size_t outBytes = frames * converter->destinationBytesPerFrame;
    if (frames != 0) {
        // The kernels assume distinct buffers: an in-place request would
        // read what it has already written.
        if (inputData == nullptr || outputData == nullptr || Overlap(inputData, inBytes, outputData, outBytes)) {
            return paramErr;
        }
        if (converter->kernel != nullptr) {
            converter->kernel(inputData, outputData, frames);
        } else {
            AudioConverterKernels::ConvertGeneric(converter->source, converter->destination, inputData, outputData,
                                                  frames);
        }
    }
    *ioOutputDataSize = UInt32(outBytes);
    return noErr;
}

OSStatus AudioConverterDispose(AudioConverterRef converter)
{
    delete converter;
    return noErr;
}
