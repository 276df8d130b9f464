#include "platform/HostNotificationThread.h"

#include <pthread.h>

HostNotificationThread& HostNotificationThread::Get()
{
    // A function-local static: started on first use, destroyed at exit.
    // Everything the thread touches is heap-allocated and never destroyed,
    // so the order of static destruction cannot pull state from under it.
    static HostNotificationThread thread;
    return thread;
}

HostNotificationThread::HostNotificationThread() : mRunLoop(new CFRunLoopObject(true))
{
    mThread = std::thread([loop = mRunLoop] {
        pthread_setname_np(pthread_self(), "HostRunLoop");
        loop->Run();
    });
}

HostNotificationThread::~HostNotificationThread()
{
    mRunLoop->Stop();
    if (mThread.joinable()) {
        if (IsCurrentThread()) {
            // The process is exiting from a task on this thread: it cannot
            // wait for itself.
            mThread.detach();
        } else {
            mThread.join();
        }
    }
}
