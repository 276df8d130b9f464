// An image of the unit's audio/video register block: 32-bit words in native
// byte order, addressed by their byte offset as the unit documents them.
// Settings::GetRegisterSettings cuts its codes out of these words.
//
// A plain value with no lock; whoever reads the registers fills one and owns it.
#pragma once

#include "platform/MacTypes.h"

namespace Zent {
namespace Orvel {

class AVUnitRegisters {
public:
    // Byte offsets of the words the settings record is made from.
    enum : UInt32 {
        kVideoFormatWord = 0x00,       // frame rate, geometry, standard, genlock, direction
        kVideoInFormatWord = 0x1C,     // input frame format
        kVideoOutWord = 0x20,          // output mode, analog monitoring, output frame format
        kAudioInWord = 0x34,           // input interface, word size, rate, synchronous, mute
        kAudioInGainWord = 0x38,       // input gains, one nibble per channel pair
        kAudioInGainAdj01Word = 0x3C,  // input fine adjustments, pairs 0 and 1
        kAudioInGainAdj23Word = 0x40,  // input fine adjustments, pairs 2 and 3
        kAudioOutWord = 0x44,          // output interface, word size, rate, synchronous, mute
        kAudioOutGainWord = 0x48,      // output gains
        kAudioOutGainAdj01Word = 0x4C, // output fine adjustments, pairs 0 and 1
        kAudioOutGainAdj23Word = 0x50, // output fine adjustments, pairs 2 and 3
    };
    enum : UInt32 {
        kByteSize = 0x54,
        kWordCount = kByteSize / 4,
    };

    // All words zero.
    AVUnitRegisters() = default;

    // The word at inByteOffset; 0 for an offset that is not a word of the
    // image (past the end or not a multiple of 4).
    UInt32 GetWord(UInt32 inByteOffset) const;
    // Sets the word at inByteOffset; an offset that is not a word of the image
    // changes nothing and returns false.
    bool SetWord(UInt32 inByteOffset, UInt32 inValue);

private:
    static bool IsWordOffset(UInt32 inByteOffset) { return inByteOffset % 4 == 0 && inByteOffset < kByteSize; }

    UInt32 mWords[kWordCount] = {};
};

}  // namespace Orvel
}  // namespace Zent
