// The key of every property table: a selector, a channel and a section, each
// of which may be a wildcard. A plain value type, copied freely.
#pragma once

#include "platform/AudioHardware.h"

struct HPPropertyAddress {
    // The wildcard of each field; a wildcard field matches any value.
    static constexpr UInt32 kWildcardSelector = kAudioPropertyWildcardPropertyID;  // '****'
    static constexpr UInt32 kWildcardChannel = kAudioPropertyWildcardChannel;      // 0xFFFFFFFF
    static constexpr UInt8 kWildcardSection = kAudioPropertyWildcardSection;       // 0xFF

    // Section values: device requests pass the host's is-input flag, stream
    // requests pass 0.
    static constexpr UInt8 kOutputSection = 0;
    static constexpr UInt8 kInputSection = 1;

    UInt32 mSelector = 0;
    UInt32 mChannel = 0;  // 0 is the master channel
    UInt8 mSection = 0;   // 1 = input, 0 = output

    constexpr HPPropertyAddress() = default;
    constexpr HPPropertyAddress(UInt32 inSelector, UInt32 inChannel, UInt8 inSection)
        : mSelector(inSelector), mChannel(inChannel), mSection(inSection)
    {
    }

    // The address that matches every request for one selector.
    static constexpr HPPropertyAddress AllChannelsAndSections(UInt32 inSelector)
    {
        return HPPropertyAddress(inSelector, kWildcardChannel, kWildcardSection);
    }
};

// True when each field is equal in both or is a wildcard in either.
bool operator==(const HPPropertyAddress& inA, const HPPropertyAddress& inB);

// The ordering of property tables: the first field that differs with no
// wildcard on either side decides; addresses with no such field are
// equivalent. This is what lets one wildcard key answer every concrete
// channel and section.
bool operator<(const HPPropertyAddress& inA, const HPPropertyAddress& inB);
