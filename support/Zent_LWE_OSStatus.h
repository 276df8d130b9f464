// The maker's exception for a failed host call: a plain value carrying the
// status. Thrown, for one, when an audio converter cannot be created.
#pragma once

#include "platform/MacTypes.h"

namespace Zent {
namespace LWE {

class OSStatus {
public:
    explicit OSStatus(::OSStatus inStatus) : mStatus(inStatus) {}
    ::OSStatus GetStatus() const { return mStatus; }

private:
    ::OSStatus mStatus;
};

}  // namespace LWE
}  // namespace Zent
