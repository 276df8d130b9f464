#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/AudioConverter.h"
#include "platform/AudioConverterKernels.h"

namespace {

using namespace AudioConverterKernels;

constexpr UInt32 kSignedPacked = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
constexpr UInt32 kNativeFloat = kAudioFormatFlagsNativeFloatPacked;
constexpr UInt32 kOtherEndian = kAudioFormatFlagIsBigEndian ^ kAudioFormatFlagsNativeEndian;

AudioStreamBasicDescription Format(UInt32 bits, UInt32 channels, UInt32 flags, Float64 rate = 48000.0)
{
    const UInt32 bytes = bits / 8 * channels;
    return {rate, kAudioFormatLinearPCM, flags, bytes, 1, bytes, channels, bits, 0};
}

struct Converter {
    AudioConverterRef ref = nullptr;
    Converter(const AudioStreamBasicDescription& source, const AudioStreamBasicDescription& destination)
    {
        EXPECT_EQ(noErr, AudioConverterNew(&source, &destination, &ref));
    }
    ~Converter() { AudioConverterDispose(ref); }
};

std::vector<const KernelTable*> Tables()
{
    const KernelTable* tables[kMaxKernelTables];
    const std::size_t count = AvailableKernelTables(tables);
    return std::vector<const KernelTable*>(tables, tables + count);
}

SInt32 ReadSample(const UInt8* p, int bits)
{
    if (bits == 16) {
        return SInt16(UInt16(p[0] | (p[1] << 8)));
    }
    return SInt32((UInt32(p[0]) | (UInt32(p[1]) << 8) | (UInt32(p[2]) << 16)) << 8) >> 8;
}

void WriteSample(UInt8* p, int bits, SInt32 value)
{
    p[0] = UInt8(value);
    p[1] = UInt8(value >> 8);
    if (bits == 24) {
        p[2] = UInt8(value >> 16);
    }
}

// Frame counts that leave every kind of tail behind a vector block.
const std::size_t kFrameCounts[] = {1, 2, 3, 4, 5, 7, 8, 9, 17, 33};

constexpr UInt8 kGuard = 0xA5;

// Runs a kernel into an output with guard bytes behind it, then checks them.
template <typename In>
std::vector<UInt8> RunKernel(Kernel kernel, const std::vector<In>& in, std::size_t frames, std::size_t outBytes)
{
    std::vector<UInt8> out(outBytes + 64, kGuard);
    kernel(in.data(), out.data(), frames);
    for (std::size_t i = outBytes; i < out.size(); ++i) {
        EXPECT_EQ(kGuard, out[i]) << "write past the end at byte " << i;
    }
    out.resize(outBytes);
    return out;
}

}  // namespace

TEST(AudioConverterKernels, EveryVariantIsListedAndComplete)
{
    const auto tables = Tables();
    ASSERT_GE(tables.size(), 1u);
    EXPECT_STREQ("scalar", tables.front()->name);
#if defined(__SSE4_1__)
    EXPECT_NE(nullptr, SSEKernels());
#endif
    for (const KernelTable* table : tables) {
        for (int id = 0; id < kNumberKernels; ++id) {
            EXPECT_NE(nullptr, table->kernels[id]) << table->name << " " << kKernelShapes[id].name;
        }
    }
    EXPECT_EQ(tables.back(), &BestKernels());
}

// Every 16- and 24-bit value goes to float exactly (x / 2^(bits-1)) and back
// bit for bit, in every variant.
TEST(AudioConverterKernels, EveryIntegerValueSurvivesTheRoundTripThroughFloat)
{
    for (int bits : {16, 24}) {
        const std::size_t values = std::size_t(1) << bits;
        const std::size_t frames = values / 8;
        const std::size_t bytes = std::size_t(bits) / 8;
        std::vector<UInt8> integers(values * bytes);
        for (std::size_t i = 0; i < values; ++i) {
            WriteSample(&integers[i * bytes], bits, SInt32(i) - SInt32(values / 2));
        }
        const int toFloat = bits == 24 ? kS24To8Float : kS16To8Float;
        const int fromFloat = bits == 24 ? k8FloatToS24 : k8FloatToS16;
        for (const KernelTable* table : Tables()) {
            std::vector<Float32> floats(values);
            table->kernels[toFloat](integers.data(), floats.data(), frames);
            std::size_t inexact = 0;
            for (std::size_t i = 0; i < values; ++i) {
                const double expected = std::ldexp(double(SInt32(i) - SInt32(values / 2)), -(bits - 1));
                inexact += floats[i] != expected;
            }
            EXPECT_EQ(0u, inexact) << table->name << " " << bits << "-bit to float";
            std::vector<UInt8> back(integers.size());
            table->kernels[fromFloat](floats.data(), back.data(), frames);
            EXPECT_TRUE(back == integers) << table->name << " " << bits << "-bit round trip";
        }
    }
}

namespace {

struct EdgeCase {
    Float32 input;
    SInt32 expected16;
    SInt32 expected24;
};

constexpr Float32 kLSB16 = 1.0f / 32768.0f;
constexpr Float32 kLSB24 = 1.0f / 8388608.0f;
constexpr SInt32 kMax16 = 32767, kMin16 = -32768, kMax24 = 8388607, kMin24 = -8388608;
const Float32 kInf = std::numeric_limits<Float32>::infinity();
const Float32 kNaN = std::numeric_limits<Float32>::quiet_NaN();

// Values given in LSBs are only meaningful at one width: the other column is
// what that same float gives there.
const EdgeCase kEdgeCases[] = {
    {0.0f, 0, 0},
    {-0.0f, 0, 0},
    {1.0f, kMax16, kMax24},  // +1.0 is the largest integer, not a wrap to the smallest
    {-1.0f, kMin16, kMin24},
    {1.1f, kMax16, kMax24},
    {-1.1f, kMin16, kMin24},
    {kInf, kMax16, kMax24},
    {-kInf, kMin16, kMin24},
    {1e30f, kMax16, kMax24},
    {-1e30f, kMin16, kMin24},
    {kNaN, 0, 0},
    {-kNaN, 0, 0},
    {0.5f * kLSB16, 0, 128},  // ties go to even
    {-0.5f * kLSB16, 0, -128},
    {1.5f * kLSB16, 2, 384},
    {-1.5f * kLSB16, -2, -384},
    {2.5f * kLSB16, 2, 640},
    {0.5f * kLSB24, 0, 0},
    {1.5f * kLSB24, 0, 2},
    {-1.5f * kLSB24, 0, -2},
    {kLSB24, 0, 1},
    {-kLSB24, 0, -1},
    {1.0f - 0.5f * kLSB24, kMax16, kMax24},  // 8388607.5 clamps before rounding
    {0.75f, 24576, 6291456},
    {-0.25f, -8192, -2097152},
};
constexpr std::size_t kEdgeCount = sizeof kEdgeCases / sizeof kEdgeCases[0];

}  // namespace

// One table of edge values through every float-to-integer kernel of every
// variant, at every lane position and with vector tails.
TEST(AudioConverterKernels, EdgeValuesRoundSaturateAndMapNaNToZeroInEveryVariant)
{
    for (const KernelTable* table : Tables()) {
        for (int id = 0; id < kNumberKernels; ++id) {
            const KernelShape& shape = kKernelShapes[id];
            if (shape.toFloat) {
                continue;
            }
            const int bits = int(shape.integerBits);
            const std::size_t bytes = bits / 8;
            for (std::size_t frames : kFrameCounts) {
                for (std::size_t shift = 0; shift < kEdgeCount; shift += 3) {
                    std::vector<Float32> in(frames * shape.floatChannels);
                    for (std::size_t i = 0; i < in.size(); ++i) {
                        in[i] = kEdgeCases[(i + shift) % kEdgeCount].input;
                    }
                    const auto out = RunKernel(table->kernels[id], in, frames, frames * 8 * bytes);
                    for (std::size_t f = 0; f < frames; ++f) {
                        for (std::size_t c = 0; c < 8; ++c) {
                            SInt32 expected = 0;
                            if (c < shape.floatChannels) {
                                const EdgeCase& edge = kEdgeCases[(f * shape.floatChannels + c + shift) % kEdgeCount];
                                expected = bits == 16 ? edge.expected16 : edge.expected24;
                            }
                            ASSERT_EQ(expected, ReadSample(&out[(f * 8 + c) * bytes], bits))
                                << table->name << " " << shape.name << " frames " << frames << " frame " << f
                                << " channel " << c << " input " << in[(f * shape.floatChannels + c) % in.size()];
                        }
                    }
                }
            }
        }
    }
}

// Integer edge values through every integer-to-float kernel of every variant:
// exact quotients, and only the first channels kept.
TEST(AudioConverterKernels, IntegerToFloatIsExactAndKeepsTheFirstChannelsInEveryVariant)
{
    const SInt32 edges24[] = {0, 1, -1, kMax24, kMin24, 0x400000, -0x400000, 0x123456, -0x123456, 255, 256, -256};
    const SInt32 edges16[] = {0, 1, -1, kMax16, kMin16, 0x4000, -0x4000, 0x1234, -0x1234, 255, 256, -256};
    for (const KernelTable* table : Tables()) {
        for (int id = 0; id < kNumberKernels; ++id) {
            const KernelShape& shape = kKernelShapes[id];
            if (!shape.toFloat) {
                continue;
            }
            const int bits = int(shape.integerBits);
            const std::size_t bytes = bits / 8;
            const SInt32* edges = bits == 24 ? edges24 : edges16;
            const std::size_t count = 12;
            for (std::size_t frames : kFrameCounts) {
                std::vector<UInt8> in(frames * 8 * bytes);
                for (std::size_t i = 0; i < frames * 8; ++i) {
                    WriteSample(&in[i * bytes], bits, edges[(i * 5 + frames) % count]);
                }
                const auto out = RunKernel(table->kernels[id], in, frames, frames * shape.floatChannels * 4);
                for (std::size_t f = 0; f < frames; ++f) {
                    for (std::size_t c = 0; c < shape.floatChannels; ++c) {
                        Float32 value;
                        std::memcpy(&value, &out[(f * shape.floatChannels + c) * 4], 4);
                        const SInt32 source = edges[((f * 8 + c) * 5 + frames) % count];
                        ASSERT_EQ(std::ldexp(double(source), -(bits - 1)), double(value))
                            << table->name << " " << shape.name << " frames " << frames << " frame " << f
                            << " channel " << c;
                    }
                }
            }
        }
    }
}

// Random data, including the edges: every variant writes the same bytes as
// the scalar kernels, and the general path agrees with the fast paths.
TEST(AudioConverterKernels, VariantsAndTheGeneralPathAgreeOnRandomData)
{
    std::mt19937 random(1234);
    const std::size_t frames = 1471;
    for (int id = 0; id < kNumberKernels; ++id) {
        const KernelShape& shape = kKernelShapes[id];
        const std::size_t bytes = shape.integerBits / 8;
        const SampleLayout integer{UInt32(bytes), 8, false, false};
        const SampleLayout floating{4, shape.floatChannels, true, kAudioFormatFlagsNativeEndian != 0};
        std::vector<UInt8> in(frames * (shape.toFloat ? 8 * bytes : shape.floatChannels * 4));
        if (shape.toFloat) {
            for (auto& byte : in) {
                byte = UInt8(random());
            }
        } else {
            std::uniform_real_distribution<Float32> level(-1.2f, 1.2f);
            for (std::size_t i = 0; i < in.size() / 4; ++i) {
                const Float32 value = (i % 7 == 0) ? kEdgeCases[i % kEdgeCount].input : level(random);
                std::memcpy(&in[i * 4], &value, 4);
            }
        }
        const std::size_t outBytes = frames * (shape.toFloat ? shape.floatChannels * 4 : 8 * bytes);
        const auto reference = RunKernel(ScalarKernels().kernels[id], in, frames, outBytes);
        for (const KernelTable* table : Tables()) {
            EXPECT_TRUE(RunKernel(table->kernels[id], in, frames, outBytes) == reference)
                << table->name << " " << shape.name;
        }
        std::vector<UInt8> general(outBytes);
        ConvertGeneric(shape.toFloat ? integer : floating, shape.toFloat ? floating : integer, in.data(),
                       general.data(), frames);
        EXPECT_TRUE(general == reference) << "general path " << shape.name;
    }
}

namespace {

// One readable page between two inaccessible ones: a buffer placed flush
// against either end faults on any access past that end.
class FencedPage {
public:
    FencedPage()
    {
        mSize = std::size_t(sysconf(_SC_PAGESIZE));
        void* base = mmap(nullptr, 3 * mSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(MAP_FAILED, base);
        mBase = static_cast<UInt8*>(base);
        EXPECT_EQ(0, mprotect(mBase + mSize, mSize, PROT_READ | PROT_WRITE));
    }
    ~FencedPage() { munmap(mBase, 3 * mSize); }
    FencedPage(const FencedPage&) = delete;
    FencedPage& operator=(const FencedPage&) = delete;

    // Where size bytes start flush against the page's start or its end.
    UInt8* Place(std::size_t size, bool atEnd) { return mBase + mSize + (atEnd ? mSize - size : 0); }

private:
    UInt8* mBase = nullptr;
    std::size_t mSize = 0;
};

}  // namespace

// Every frame count from 0 to 40, so every tail behind every block size and
// every way a vector kernel may split its work, with source and destination
// each flush against an inaccessible page in front or behind: a kernel that
// reads or writes a byte outside its buffers faults. Every variant writes what
// the scalar kernels write.
TEST(AudioConverterKernels, EveryFrameCountStaysWithinTheBuffersAndMatchesTheScalarKernels)
{
    FencedPage sourcePage, destinationPage;
    std::mt19937 random(99);
    std::uniform_real_distribution<Float32> level(-1.2f, 1.2f);
    for (int id = 0; id < kNumberKernels; ++id) {
        const KernelShape& shape = kKernelShapes[id];
        const std::size_t integerFrame = 8 * shape.integerBits / 8, floatFrame = shape.floatChannels * 4;
        const std::size_t inFrame = shape.toFloat ? integerFrame : floatFrame;
        const std::size_t outFrame = shape.toFloat ? floatFrame : integerFrame;
        for (std::size_t frames = 0; frames <= 40; ++frames) {
            std::vector<UInt8> in(frames * inFrame);
            if (shape.toFloat) {
                for (auto& byte : in) {
                    byte = UInt8(random());
                }
            } else {
                for (std::size_t i = 0; i < in.size() / 4; ++i) {
                    const Float32 value = (i % 5 == 0) ? kEdgeCases[i % kEdgeCount].input : level(random);
                    std::memcpy(&in[i * 4], &value, 4);
                }
            }
            std::vector<UInt8> reference(frames * outFrame);
            ScalarKernels().kernels[id](in.data(), reference.data(), frames);
            for (const KernelTable* table : Tables()) {
                for (int placement = 0; placement < 4; ++placement) {
                    UInt8* source = sourcePage.Place(in.size(), placement & 1);
                    UInt8* destination = destinationPage.Place(reference.size(), placement & 2);
                    if (!in.empty()) {
                        std::memcpy(source, in.data(), in.size());
                        std::memset(destination, kGuard, reference.size());
                    }
                    table->kernels[id](source, destination, frames);
                    ASSERT_TRUE(reference.empty() || std::memcmp(destination, reference.data(), reference.size()) == 0)
                        << table->name << " " << shape.name << " frames " << frames << " placement " << placement;
                }
            }
        }
    }
}

TEST(AudioConverter, PicksAFastPathForTheUnitShapesOnly)
{
    const auto unit24 = Format(24, 8, kSignedPacked), unit16 = Format(16, 8, kSignedPacked);
    for (UInt32 channels : {8u, 4u, 2u}) {
        const auto floats = Format(32, channels, kNativeFloat);
        EXPECT_NE(nullptr, FindKernel(BestKernels(), unit24, floats)) << channels;
        EXPECT_NE(nullptr, FindKernel(BestKernels(), floats, unit16)) << channels;
    }
    EXPECT_EQ(nullptr, FindKernel(BestKernels(), unit24, Format(32, 6, kNativeFloat)));
    EXPECT_EQ(nullptr, FindKernel(BestKernels(), Format(24, 8, kSignedPacked | kOtherEndian), Format(32, 8, kNativeFloat)));
    EXPECT_EQ(nullptr, FindKernel(BestKernels(), unit24, Format(32, 8, kNativeFloat | kOtherEndian)));
    EXPECT_EQ(nullptr, FindKernel(BestKernels(), Format(24, 2, kSignedPacked), Format(32, 2, kNativeFloat)));
}

TEST(AudioConverter, RefusesWhatItCannotConvertAndLeavesTheOutputAlone)
{
    const auto good = Format(24, 8, kSignedPacked);
    auto with = [&](auto change) {
        auto format = good;
        change(format);
        return format;
    };
    const AudioStreamBasicDescription refused[] = {
        with([](auto& f) { f.mFormatID = FourCC("ac-3"); }),
        with([](auto& f) { f.mFormatFlags = kAudioFormatFlagIsPacked; }),  // unsigned
        with([](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsNonInterleaved; }),
        Format(8, 8, kSignedPacked),
        Format(64, 2, kNativeFloat),
        Format(16, 2, kNativeFloat),
        with([](auto& f) { f.mBitsPerChannel = 20; }),
        with([](auto& f) { f.mBytesPerFrame = f.mBytesPerPacket = 32; }),  // 24 bits in 4 bytes
        with([](auto& f) { f.mFramesPerPacket = 2; }),
        with([](auto& f) { f.mBytesPerPacket = 0; }),
        with([](auto& f) { f.mChannelsPerFrame = 0; f.mBytesPerFrame = f.mBytesPerPacket = 0; }),
        with([](auto& f) { f.mSampleRate = 44100.0; }),
        with([](auto& f) { f.mSampleRate = 0.0; }),
    };
    const auto floats = Format(32, 8, kNativeFloat);
    for (const auto& format : refused) {
        AudioConverterRef converter = reinterpret_cast<AudioConverterRef>(0x1);
        EXPECT_EQ(kAudioConverterErr_FormatNotSupported, AudioConverterNew(&format, &floats, &converter))
            << FourCCText(format.mFormatID).c_str() << " flags " << format.mFormatFlags << " bits "
            << format.mBitsPerChannel << " rate " << format.mSampleRate;
        EXPECT_EQ(kAudioConverterErr_FormatNotSupported, AudioConverterNew(&floats, &format, &converter));
        EXPECT_EQ(reinterpret_cast<AudioConverterRef>(0x1), converter);
    }
    AudioConverterRef converter = nullptr;
    EXPECT_EQ(paramErr, AudioConverterNew(nullptr, &floats, &converter));
    EXPECT_EQ(paramErr, AudioConverterNew(&good, nullptr, &converter));
    EXPECT_EQ(paramErr, AudioConverterNew(&good, &floats, nullptr));
    EXPECT_EQ(nullptr, converter);
}

TEST(AudioConverter, AcceptsEveryWidthAndByteOrder)
{
    for (UInt32 sourceBits : {16u, 24u, 32u}) {
        for (UInt32 sourceOrder : {0u, UInt32(kAudioFormatFlagIsBigEndian)}) {
            for (UInt32 destinationChannels : {1u, 2u, 8u, 12u}) {
                const auto source = Format(sourceBits, 8, kSignedPacked | sourceOrder);
                for (const auto& destination :
                     {Format(32, destinationChannels, kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian),
                      Format(32, destinationChannels, kNativeFloat), Format(16, destinationChannels, kSignedPacked),
                      Format(24, destinationChannels, kSignedPacked | kAudioFormatFlagIsBigEndian),
                      Format(32, destinationChannels, kAudioFormatFlagIsSignedInteger)}) {
                    AudioConverterRef converter = nullptr;
                    EXPECT_EQ(noErr, AudioConverterNew(&source, &destination, &converter));
                    EXPECT_EQ(noErr, AudioConverterDispose(converter));
                }
            }
        }
    }
}

// The unit's packets always carry 8 channels; a 2-channel client keeps the
// first two, and on the way back the missing six are silent.
TEST(AudioConverter, DropsExtraChannelsAndZeroFillsMissingOnes)
{
    for (UInt32 bits : {16u, 24u}) {
        const std::size_t bytes = bits / 8, frames = 5;
        std::vector<UInt8> packet(frames * 8 * bytes);
        for (std::size_t i = 0; i < frames * 8; ++i) {
            WriteSample(&packet[i * bytes], int(bits), SInt32(i + 1) * 64);
        }
        const std::vector<UInt8> packetCopy = packet;
        for (UInt32 channels : {1u, 2u, 4u, 6u, 8u}) {
            Converter in(Format(bits, 8, kSignedPacked), Format(32, channels, kNativeFloat));
            std::vector<Float32> floats(frames * channels, -9.0f);
            UInt32 size = UInt32(floats.size() * 4);
            ASSERT_EQ(noErr, AudioConverterConvertBuffer(in.ref, UInt32(packet.size()), packet.data(), &size,
                                                         floats.data()));
            EXPECT_EQ(floats.size() * 4, size);
            for (std::size_t f = 0; f < frames; ++f) {
                for (std::size_t c = 0; c < channels; ++c) {
                    EXPECT_EQ(std::ldexp(double((f * 8 + c + 1) * 64), -int(bits - 1)), floats[f * channels + c])
                        << bits << " bits, " << channels << " channels";
                }
            }
            EXPECT_TRUE(packet == packetCopy);

            Converter out(Format(32, channels, kNativeFloat), Format(bits, 8, kSignedPacked));
            std::vector<UInt8> back(packet.size(), 0x77);
            size = UInt32(back.size());
            ASSERT_EQ(noErr, AudioConverterConvertBuffer(out.ref, UInt32(floats.size() * 4), floats.data(), &size,
                                                         back.data()));
            EXPECT_EQ(back.size(), size);
            for (std::size_t f = 0; f < frames; ++f) {
                for (std::size_t c = 0; c < 8; ++c) {
                    const SInt32 expected = c < channels ? SInt32(f * 8 + c + 1) * 64 : 0;
                    EXPECT_EQ(expected, ReadSample(&back[(f * 8 + c) * bytes], int(bits)))
                        << bits << " bits, " << channels << " channels, channel " << c;
                }
            }
        }
    }
}

// The muxer's sync pattern arrives as big-endian float; clients get native
// float, also with fewer channels.
TEST(AudioConverter, SwapsBigEndianFloatIntoNativeFloat)
{
    const Float32 values[8] = {0.5f, -0.25f, 1.0f, -1.0f, 0.125f, 3.0f, -0.0f, 1e-3f};
    std::vector<UInt8> pattern(2 * 32);
    for (std::size_t i = 0; i < 16; ++i) {
        UInt32 word;
        std::memcpy(&word, &values[i % 8], 4);
        pattern[i * 4] = UInt8(word >> 24);
        pattern[i * 4 + 1] = UInt8(word >> 16);
        pattern[i * 4 + 2] = UInt8(word >> 8);
        pattern[i * 4 + 3] = UInt8(word);
    }
    // The flags the driver gives the pattern: float and big-endian, no packed bit.
    Converter sync(Format(32, 8, kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian), Format(32, 2, kNativeFloat));
    Float32 out[4] = {};
    UInt32 size = sizeof out;
    ASSERT_EQ(noErr, AudioConverterConvertBuffer(sync.ref, UInt32(pattern.size()), pattern.data(), &size, out));
    EXPECT_EQ(sizeof out, size);
    EXPECT_EQ(0.5f, out[0]);
    EXPECT_EQ(-0.25f, out[1]);
    EXPECT_EQ(0.5f, out[2]);
    EXPECT_EQ(-0.25f, out[3]);
}

TEST(AudioConverter, ThirtyTwoBitIntegersSaturateAndRoundTrip)
{
    Converter toInt(Format(32, 1, kNativeFloat), Format(32, 1, kSignedPacked));
    const Float32 in[] = {1.0f, -1.0f, 2.0f, kNaN, 0.5f, -kInf};
    SInt32 out[6] = {};
    UInt32 size = sizeof out;
    ASSERT_EQ(noErr, AudioConverterConvertBuffer(toInt.ref, sizeof in, in, &size, out));
    EXPECT_EQ(std::numeric_limits<SInt32>::max(), out[0]);
    EXPECT_EQ(std::numeric_limits<SInt32>::min(), out[1]);
    EXPECT_EQ(std::numeric_limits<SInt32>::max(), out[2]);
    EXPECT_EQ(0, out[3]);
    EXPECT_EQ(1 << 30, out[4]);
    EXPECT_EQ(std::numeric_limits<SInt32>::min(), out[5]);

    // Integer to integer goes through double: 32-bit values stay exact.
    Converter swap(Format(32, 1, kSignedPacked), Format(32, 1, kSignedPacked | kAudioFormatFlagIsBigEndian));
    const SInt32 ints[] = {0x12345678, -0x7654321, std::numeric_limits<SInt32>::max()};
    UInt8 swapped[12] = {};
    size = sizeof swapped;
    ASSERT_EQ(noErr, AudioConverterConvertBuffer(swap.ref, sizeof ints, ints, &size, swapped));
    EXPECT_EQ(0x12, swapped[0]);
    EXPECT_EQ(0x78, swapped[3]);
    EXPECT_EQ(0x7F, swapped[8]);
    EXPECT_EQ(0xFF, swapped[11]);
}

// Exact-size heap buffers, so that AddressSanitizer sees any read or write
// past either end; guard bytes catch writes in a plain build.
TEST(AudioConverter, NeverWritesPastTheOutputSizeAndTakesOnlyWholeFrames)
{
    struct Case {
        AudioStreamBasicDescription source, destination;
    };
    const Case cases[] = {
        {Format(24, 8, kSignedPacked), Format(32, 8, kNativeFloat)},
        {Format(24, 8, kSignedPacked), Format(32, 2, kNativeFloat)},
        {Format(16, 8, kSignedPacked), Format(32, 4, kNativeFloat)},
        {Format(32, 8, kNativeFloat), Format(24, 8, kSignedPacked)},
        {Format(32, 2, kNativeFloat), Format(24, 8, kSignedPacked)},
        {Format(32, 4, kNativeFloat), Format(16, 8, kSignedPacked)},
        {Format(32, 8, kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian), Format(32, 6, kNativeFloat)},
        {Format(16, 2, kSignedPacked | kAudioFormatFlagIsBigEndian), Format(24, 3, kSignedPacked)},
    };
    for (const Case& c : cases) {
        Converter converter(c.source, c.destination);
        for (std::size_t frames : {1u, 3u, 5u, 9u, 1471u}) {
            // Input of frames whole frames plus a partial one; output room
            // for one frame less plus a partial one.
            const std::size_t inSize = frames * c.source.mBytesPerFrame + c.source.mBytesPerFrame / 2;
            const std::size_t room = (frames - 1) * c.destination.mBytesPerFrame + c.destination.mBytesPerFrame - 1;
            std::unique_ptr<UInt8[]> in(new UInt8[inSize]);
            std::memset(in.get(), 0x11, inSize);
            std::unique_ptr<UInt8[]> out(new UInt8[room + 16]);
            std::memset(out.get(), kGuard, room + 16);
            UInt32 size = UInt32(room);
            ASSERT_EQ(noErr, AudioConverterConvertBuffer(converter.ref, UInt32(inSize), in.get(), &size, out.get()));
            EXPECT_EQ((frames - 1) * c.destination.mBytesPerFrame, size);
            for (std::size_t i = size; i < room + 16; ++i) {
                ASSERT_EQ(kGuard, out[i]) << "byte " << i << " of " << room;
            }

            std::unique_ptr<UInt8[]> exact(new UInt8[frames * c.destination.mBytesPerFrame]);
            size = UInt32(frames * c.destination.mBytesPerFrame);
            ASSERT_EQ(noErr, AudioConverterConvertBuffer(converter.ref, UInt32(frames * c.source.mBytesPerFrame),
                                                         in.get(), &size, exact.get()));
            EXPECT_EQ(frames * c.destination.mBytesPerFrame, size);
        }
    }
}

TEST(AudioConverter, BadBuffersGetAStatusAndChangeNothing)
{
    Converter converter(Format(16, 8, kSignedPacked), Format(32, 8, kNativeFloat));
    std::vector<UInt8> in(64, 0x22);
    std::vector<UInt8> out(128, kGuard);
    UInt32 size = 128;
    EXPECT_EQ(paramErr, AudioConverterConvertBuffer(nullptr, 64, in.data(), &size, out.data()));
    EXPECT_EQ(paramErr, AudioConverterConvertBuffer(converter.ref, 64, in.data(), nullptr, out.data()));
    EXPECT_EQ(paramErr, AudioConverterConvertBuffer(converter.ref, 64, nullptr, &size, out.data()));
    EXPECT_EQ(paramErr, AudioConverterConvertBuffer(converter.ref, 64, in.data(), &size, nullptr));
    // In place: the output would overwrite input not yet read.
    std::vector<UInt8> shared(128, 0x22);
    EXPECT_EQ(paramErr, AudioConverterConvertBuffer(converter.ref, 64, shared.data(), &size, shared.data()));
    EXPECT_EQ(128u, size);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](UInt8 b) { return b == kGuard; }));
    EXPECT_TRUE(std::all_of(shared.begin(), shared.end(), [](UInt8 b) { return b == 0x22; }));

    // Nothing to convert is no error: zero bytes written.
    EXPECT_EQ(noErr, AudioConverterConvertBuffer(converter.ref, 0, nullptr, &size, nullptr));
    EXPECT_EQ(0u, size);
    size = 31;  // less than one output frame
    EXPECT_EQ(noErr, AudioConverterConvertBuffer(converter.ref, 64, in.data(), &size, out.data()));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(kGuard, out[0]);
}

TEST(AudioConverter, DisposeOfNothingIsHarmless) { EXPECT_EQ(noErr, AudioConverterDispose(nullptr)); }
