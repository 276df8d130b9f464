#include "platform/CFPortObject.h"

#include "platform/CFRunLoopObject.h"
#include "platform/CFRunLoopSourceObject.h"

#include <memory>

void CFPortObject::ScheduleDeliveriesLocked(size_t count)
{
    if (!mValid || mSource == nullptr || !mSource->mValid) {
        return;
    }
    CFRunLoopObject* loop = mSource->GetServicingLoopLocked();
    if (loop == nullptr) {
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        // The task holds a reference until it is destroyed, whether it ran or
        // was dropped unrun (a stopped run loop, or the run loop of a thread
        // that exited). The caller holds a reference of its own, so the
        // release never frees the port under the lock.
        Retain();
        std::shared_ptr<CFPortObject> held(this, [](CFPortObject* port) { port->Release(); });
        if (!loop->Perform([held, loop] { held->DeliverOne(loop); })) {
            break;
        }
    }
}

bool CFPortObject::IsServicedByLocked(const CFRunLoopObject* loop) const
{
    return mValid && mSource != nullptr && mSource->mValid && mSource->IsInLoopLocked(loop);
}

CFRunLoopSourceObject* CFPortObject::CopySource()
{
    CFRunLoopSourceObject* created = new CFRunLoopSourceObject(this); // made outside the lock
    CFRunLoopSourceObject* result = nullptr;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (mValid) {
            if (mSource != nullptr && mSource->TryRetain()) {
                result = mSource;
            } else {
                mSource = created;
                result = created;
                created = nullptr;
            }
        }
    }
    if (created != nullptr) {
        created->Release(); // unused; freed outside the lock
    }
    return result;
}
