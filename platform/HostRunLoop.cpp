// The host's notification run loop as seen by the rest of the process.
#include "platform/HostRunLoop.h"

#include "platform/HostNotificationThread.h"

#include <future>
#include <memory>

CFRunLoopRef HostGetNotificationRunLoop() { return HostNotificationThread::Get().GetRunLoop(); }

void HostRunLoopPerform(std::function<void()> task)
{
    if (task) {
        HostNotificationThread::Get().GetRunLoop()->Perform(std::move(task));
    }
}

void HostRunLoopFlush()
{
    HostNotificationThread& thread = HostNotificationThread::Get();
    if (thread.IsCurrentThread()) {
        return; // everything queued before runs after the current task anyway
    }
    // The promise is owned by the task: a run loop stopped at exit destroys
    // the task unrun, and the broken promise makes the future ready as well.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    if (thread.GetRunLoop()->Perform([done] { done->set_value(); })) {
        finished.wait();
    }
}

bool HostRunLoopIsNotificationThread() { return HostNotificationThread::Get().IsCurrentThread(); }

std::thread::id HostRunLoopThreadID() { return HostNotificationThread::Get().GetThreadID(); }
