#include "driver/IOGuard.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

IOGuard::IOGuard(const char* inName) : CAGuard(inName) {}

IOGuard::~IOGuard() = default;

bool IOGuard::TryLockNow(bool& outTookLock)
{
    outTookLock = false;
    if (IsOwnedByCurrentThread()) {
        return true;
    }
    if (pthread_mutex_trylock(&mMutex) != 0) {
        return false;
    }
    mOwner.store(pthread_self(), std::memory_order_relaxed);
    outTookLock = true;
    return true;
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
