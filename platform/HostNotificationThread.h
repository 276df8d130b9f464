// The host's notification thread: one thread running one run loop for the
// whole process. Started on first use; stopped and joined when the process
// exits (static destruction). Internal to the platform library; callers use
// HostRunLoop.h.
#pragma once

#include "platform/CFRunLoopObject.h"

#include <thread>

class HostNotificationThread {
public:
    // The one instance, started if needed. Any thread.
    static HostNotificationThread& Get();

    // The run loop; immortal, so it stays valid even after the thread stopped.
    CFRunLoopObject* GetRunLoop() const { return mRunLoop; }
    std::thread::id GetThreadID() const { return mThread.get_id(); }
    bool IsCurrentThread() const { return std::this_thread::get_id() == mThread.get_id(); }

    ~HostNotificationThread();

private:
    HostNotificationThread();
    HostNotificationThread(const HostNotificationThread&) = delete;
    HostNotificationThread& operator=(const HostNotificationThread&) = delete;

    CFRunLoopObject* const mRunLoop;
    std::thread mThread;
};
