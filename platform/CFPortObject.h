// What Mach ports and message ports share: a validity flag, a queue of
// messages and the run-loop source that decides on which thread they are
// delivered. A message queued while the source is in a run loop is handed to
// that run loop as a task; messages queued before wait until the source is
// added. Each delivery task holds a reference to the port, so releasing or
// invalidating the port on another thread while a delivery is due is safe:
// the task finds the port invalid and delivers nothing. Internal to the
// platform library.
#pragma once

#include "platform/CFObject.h"

#include <cstddef>

struct CFRunLoopObject;
struct CFRunLoopSourceObject;

class CFPortObject : public CFObject {
public:
    using CFObject::CFObject;

    // With SchedulingLock held.
    bool IsValidLocked() const { return mValid; }
    CFRunLoopSourceObject* GetSourceLocked() const { return mSource; }
    void SetSourceLocked(CFRunLoopSourceObject* source) { mSource = source; }

    // Posts a delivery task for each of count messages to the run loop that
    // services the port's source, if there is one. With SchedulingLock held
    // and a reference to the port held by the caller.
    void ScheduleDeliveriesLocked(size_t count);
    // Called when the port's source was added to its first run loop: queued
    // messages get their delivery tasks. With SchedulingLock held.
    void SourceScheduledLocked() { ScheduleDeliveriesLocked(PendingCountLocked()); }

    // The port's run-loop source with one more reference, made on first
    // use: a port has at most one source. Null for an invalid port. Any
    // thread; without SchedulingLock.
    CFRunLoopSourceObject* CopySource();

    // Invalidates the port (when its source is invalidated). Any thread;
    // without SchedulingLock.
    virtual void Invalidate() = 0;

protected:
    // Delivers the first queued message if the port is valid and its source
    // is still in loop. Runs on loop's thread, without SchedulingLock; the
    // callback runs without any platform lock.
    virtual void DeliverOne(CFRunLoopObject* loop) = 0;
    virtual size_t PendingCountLocked() const = 0;

    // True when the port is valid and its source is in loop. With
    // SchedulingLock held.
    bool IsServicedByLocked(const CFRunLoopObject* loop) const;

    bool mValid = true;                       // guarded by SchedulingLock
    CFRunLoopSourceObject* mSource = nullptr; // not retained; guarded by SchedulingLock
};
