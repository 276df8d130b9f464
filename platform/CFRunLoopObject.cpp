#include "platform/CFRunLoopObject.h"

#include "platform/CFRunLoopSourceObject.h"

CFRunLoopObject::~CFRunLoopObject()
{
    std::vector<CFRunLoopSourceObject*> sources;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        sources.swap(mSources);
        for (CFRunLoopSourceObject* source : sources) {
            source->RemoveLoopLocked(this);
        }
    }
    // Released outside the lock: a source freed here takes it again.
    for (CFRunLoopSourceObject* source : sources) {
        source->Release();
    }
}

bool CFRunLoopObject::Perform(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mStopped) {
            return false;
        }
        mTasks.push_back(std::move(task));
    }
    mWakeUp.notify_one();
    return true;
}

void CFRunLoopObject::Run()
{
    std::unique_lock<std::mutex> lock(mMutex);
    mServicingThread = std::this_thread::get_id();
    for (;;) {
        mWakeUp.wait(lock, [this] { return mStopped || !mTasks.empty(); });
        if (mStopped) {
            break;
        }
        std::function<void()> task = std::move(mTasks.front());
        mTasks.pop_front();
        lock.unlock();
        task();
        task = nullptr; // what the task captured goes before the lock is taken again
        lock.lock();
    }
    std::deque<std::function<void()>> dropped;
    dropped.swap(mTasks);
    lock.unlock();
    dropped.clear();
}

void CFRunLoopObject::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopped = true;
    }
    mWakeUp.notify_all();
}

std::thread::id CFRunLoopObject::GetServicingThread() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mServicingThread;
}
