// A run-loop source: connects a port to the run loops it is added to. The
// source holds a reference to its port; a run loop holds a reference to each
// source added to it; a source only points back at its run loops. Internal
// to the platform library.
#pragma once

#include "platform/CFObject.h"

#include <mutex>
#include <vector>

struct CFRunLoopObject;
class CFPortObject;

struct CFRunLoopSourceObject : CFObject {
    static constexpr Type kTypeTag = Type::kRunLoopSource;

    // Takes a reference to port and becomes the port's source.
    explicit CFRunLoopSourceObject(CFPortObject* port);
    ~CFRunLoopSourceObject() override;

    // The one lock of the platform's run-loop bookkeeping: which sources are
    // in which run loops, every port's state and message queue, the port
    // tables. Never held while a callback or a task runs, nor while an object
    // is released.
    static std::mutex& SchedulingLock();

    // The run loop that services the source (the first it was added to and
    // is still in), or null. With SchedulingLock held.
    CFRunLoopObject* GetServicingLoopLocked() const { return mLoops.empty() ? nullptr : mLoops.front(); }
    bool IsInLoopLocked(const CFRunLoopObject* loop) const;
    void RemoveLoopLocked(const CFRunLoopObject* loop);

    CFPortObject* const mPort;
    // Guarded by SchedulingLock.
    std::vector<CFRunLoopObject*> mLoops;
    bool mValid = true;
};
