#include "platform/CFObject.h"

void CFObject::Retain()
{
    if (!mImmortal) {
        mRetainCount.fetch_add(1, std::memory_order_relaxed);
    }
}

void CFObject::Release()
{
    if (mImmortal) {
        return;
    }
    // acq_rel: the thread that frees the object sees every write made by the
    // threads that released it before.
    if (mRetainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete this;
    }
}

bool CFObject::TryRetain()
{
    if (mImmortal) {
        return true;
    }
    CFIndex count = mRetainCount.load(std::memory_order_relaxed);
    while (count > 0) {
        if (mRetainCount.compare_exchange_weak(count, count + 1, std::memory_order_acquire,
                                               std::memory_order_relaxed)) {
            return true;
        }
    }
    return false;
}

CFIndex CFObject::GetRetainCount() const
{
    return mImmortal ? kImmortalRetainCount : mRetainCount.load(std::memory_order_relaxed);
}
