// A run loop: an ordered queue of tasks that one thread runs, and the
// sources added to it. Only the host's notification thread services a run
// loop (see HostRunLoop.h); the run loop of any other thread holds its
// sources and tasks but never runs them. Internal to the platform library.
#pragma once

#include "platform/CFObject.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct CFRunLoopSourceObject;

struct CFRunLoopObject : CFObject {
    static constexpr Type kTypeTag = Type::kRunLoop;

    explicit CFRunLoopObject(bool immortal = false) : CFObject(kTypeTag, immortal) {}
    // Releases the sources still added to the run loop.
    ~CFRunLoopObject() override;

    // Queues task behind every task queued before. Returns false (and drops
    // the task) once the run loop has stopped. Any thread; never blocks on a
    // task.
    bool Perform(std::function<void()> task);
    // Runs tasks in order until Stop; called on the servicing thread only.
    void Run();
    // Makes Run return after the task in progress; tasks not yet run are
    // dropped. Any thread.
    void Stop();
    // The thread running Run (a default id before it started).
    std::thread::id GetServicingThread() const;

    // Sources added to this run loop, each holding one reference of the run
    // loop's. Guarded by CFRunLoopSourceObject::SchedulingLock().
    std::vector<CFRunLoopSourceObject*> mSources;

private:
    mutable std::mutex mMutex;
    std::condition_variable mWakeUp;
    std::deque<std::function<void()>> mTasks;
    bool mStopped = false;
    std::thread::id mServicingThread;
};
