// The device's IO guard: a CAGuard that can also be tried without any
// chance of blocking. The I/O thread needs that: when a host thread holds
// the guard while it stops the muxer's transfer, the muxer waits for the
// packet in flight, so that packet must give up instead of waiting for the
// guard (see OrvelDevice::DoIO).
#pragma once

#include "support/CAGuard.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class IOGuard : public CAGuard {
public:
    explicit IOGuard(const char* inName);
    ~IOGuard() override;

    // Takes the guard if it is free, never waiting for another holder.
    // True when the caller holds it afterwards; outTookLock says whether
    // this call took it (false when the caller held it already). Real-time
    // safe: no allocation, never blocks.
    bool TryLockNow(bool& outTookLock);
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
