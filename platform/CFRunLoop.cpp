// Run loops and their sources. The mode argument is accepted and ignored:
// every run loop here has one mode.
#include "platform/CFPortObject.h"
#include "platform/CFRunLoopObject.h"
#include "platform/CFRunLoopSourceObject.h"
#include "platform/HostNotificationThread.h"

#include <algorithm>

namespace {

// The run loop of a thread other than the notification thread. Nothing
// services it; it is freed with its thread.
struct ThreadRunLoop {
    CFRunLoopObject* loop = nullptr;
    ~ThreadRunLoop()
    {
        if (loop != nullptr) {
            loop->Release();
        }
    }
};

} // namespace

CFRunLoopRef CFRunLoopGetCurrent()
{
    HostNotificationThread& notificationThread = HostNotificationThread::Get();
    if (notificationThread.IsCurrentThread()) {
        return notificationThread.GetRunLoop();
    }
    thread_local ThreadRunLoop current;
    if (current.loop == nullptr) {
        current.loop = new CFRunLoopObject;
    }
    return current.loop;
}

// Adding a source twice to the same run loop keeps one entry. Adding an
// invalidated source does nothing.
void CFRunLoopAddSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source, CFStringRef)
{
    CFRunLoopObject* loop = CFObjectCast<CFRunLoopObject>(runLoop);
    CFRunLoopSourceObject* added = CFObjectCast<CFRunLoopSourceObject>(source);
    if (loop == nullptr || added == nullptr) {
        return;
    }
    added->Retain(); // the run loop's reference, taken before the lock
    bool taken = false;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (added->mValid && !added->IsInLoopLocked(loop)) {
            const bool wasIdle = added->mLoops.empty();
            added->mLoops.push_back(loop);
            loop->mSources.push_back(added);
            taken = true;
            if (wasIdle) {
                added->mPort->SourceScheduledLocked();
            }
        }
    }
    if (!taken) {
        added->Release();
    }
}

void CFRunLoopRemoveSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source, CFStringRef)
{
    CFRunLoopObject* loop = CFObjectCast<CFRunLoopObject>(runLoop);
    CFRunLoopSourceObject* removed = CFObjectCast<CFRunLoopSourceObject>(source);
    if (loop == nullptr || removed == nullptr) {
        return;
    }
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        auto entry = std::find(loop->mSources.begin(), loop->mSources.end(), removed);
        if (entry != loop->mSources.end()) {
            const bool wasServicing = removed->GetServicingLoopLocked() == loop;
            loop->mSources.erase(entry);
            removed->RemoveLoopLocked(loop);
            found = true;
            // Messages still queued go to the next run loop holding the
            // source, if any; otherwise they wait for the source to be added.
            if (wasServicing && !removed->mLoops.empty()) {
                removed->mPort->SourceScheduledLocked();
            }
        }
    }
    if (found) {
        removed->Release(); // the run loop's reference, outside the lock
    }
}

Boolean CFRunLoopContainsSource(CFRunLoopRef runLoop, CFRunLoopSourceRef source, CFStringRef)
{
    CFRunLoopObject* loop = CFObjectCast<CFRunLoopObject>(runLoop);
    CFRunLoopSourceObject* contained = CFObjectCast<CFRunLoopSourceObject>(source);
    if (loop == nullptr || contained == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    return contained->IsInLoopLocked(loop);
}

// Removes the source from every run loop and invalidates its port: a port
// whose source can never run again takes no more messages.
void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source)
{
    CFRunLoopSourceObject* invalidated = CFObjectCast<CFRunLoopSourceObject>(source);
    if (invalidated == nullptr) {
        return;
    }
    std::vector<CFRunLoopObject*> loops;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (!invalidated->mValid) {
            return;
        }
        invalidated->mValid = false;
        loops.swap(invalidated->mLoops);
        for (CFRunLoopObject* loop : loops) {
            loop->mSources.erase(std::remove(loop->mSources.begin(), loop->mSources.end(), invalidated),
                                 loop->mSources.end());
        }
    }
    invalidated->mPort->Invalidate();
    // The caller holds a reference, so these releases never free the source.
    for (size_t i = 0; i < loops.size(); ++i) {
        invalidated->Release();
    }
}

Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef source)
{
    CFRunLoopSourceObject* object = CFObjectCast<CFRunLoopSourceObject>(source);
    if (object == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    return object->mValid;
}
