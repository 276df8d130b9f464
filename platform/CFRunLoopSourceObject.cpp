#include "platform/CFRunLoopSourceObject.h"

#include "platform/CFPortObject.h"

#include <algorithm>

std::mutex& CFRunLoopSourceObject::SchedulingLock()
{
    static std::mutex* lock = new std::mutex; // never destroyed: used during static destruction
    return *lock;
}

CFRunLoopSourceObject::CFRunLoopSourceObject(CFPortObject* port) : CFObject(kTypeTag), mPort(port)
{
    mPort->Retain();
}

CFRunLoopSourceObject::~CFRunLoopSourceObject()
{
    {
        std::lock_guard<std::mutex> lock(SchedulingLock());
        if (mPort->GetSourceLocked() == this) {
            mPort->SetSourceLocked(nullptr);
        }
    }
    mPort->Release();
}

bool CFRunLoopSourceObject::IsInLoopLocked(const CFRunLoopObject* loop) const
{
    return std::find(mLoops.begin(), mLoops.end(), loop) != mLoops.end();
}

void CFRunLoopSourceObject::RemoveLoopLocked(const CFRunLoopObject* loop)
{
    mLoops.erase(std::remove(mLoops.begin(), mLoops.end(), loop), mLoops.end());
}
