#include "platform/CFMessagePortObject.h"

#include "platform/CFRunLoopSourceObject.h"

#include <algorithm>
#include <map>

namespace {

// Name to valid local port. Holds no references: a port leaves the table
// when invalidated or freed.
std::map<std::string, CFMessagePortObject*>& NameTable()
{
    static auto* table = new std::map<std::string, CFMessagePortObject*>; // never destroyed
    return *table;
}

} // namespace

CFMessagePortObject::CFMessagePortObject(const std::string& name, CFStringRef nameString,
                                         CFMessagePortCallBack callout, const CFMessagePortContext* context)
    : CFPortObject(kTypeTag),
      mIsRemote(false),
      mName(static_cast<CFStringRef>(CFRetain(nameString))),
      mNameText(name),
      mCallout(callout),
      mInfo(context != nullptr ? context->info : nullptr),
      mReleaseInfo(context != nullptr ? context->release : nullptr),
      mTarget(nullptr)
{
    if (context != nullptr && context->retain != nullptr) {
        context->retain(context->info);
    }
}

CFMessagePortObject::CFMessagePortObject(CFMessagePortObject* target, CFStringRef nameString)
    : CFPortObject(kTypeTag),
      mIsRemote(true),
      mName(static_cast<CFStringRef>(CFRetain(nameString))),
      mNameText(target->mNameText),
      mCallout(nullptr),
      mInfo(nullptr),
      mReleaseInfo(nullptr),
      mTarget(target)
{
    target->Retain();
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    if (target->mValid) {
        target->mRemotes.push_back(this);
    } else {
        mValid = false;
    }
}

CFMessagePortObject::~CFMessagePortObject()
{
    std::deque<std::pair<SInt32, CFDataRef>> dropped;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (mIsRemote) {
            auto& remotes = mTarget->mRemotes;
            remotes.erase(std::remove(remotes.begin(), remotes.end(), this), remotes.end());
        } else {
            auto found = NameTable().find(mNameText);
            if (found != NameTable().end() && found->second == this) {
                NameTable().erase(found);
            }
            // Remotes hold a reference to this port, so none is left here.
        }
        dropped.swap(mQueue);
    }
    for (auto& message : dropped) {
        CFRelease(message.second);
    }
    if (mTarget != nullptr) {
        mTarget->Release();
    }
    if (mReleaseInfo != nullptr) {
        mReleaseInfo(mInfo);
    }
    CFRelease(mName);
}

bool CFMessagePortObject::Register()
{
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    auto found = NameTable().find(mNameText);
    if (found != NameTable().end() && found->second->mValid) {
        return false;
    }
    NameTable()[mNameText] = this;
    return true;
}

CFMessagePortObject* CFMessagePortObject::RetainLocal(const std::string& name)
{
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    auto found = NameTable().find(name);
    if (found == NameTable().end() || !found->second->mValid || !found->second->TryRetain()) {
        return nullptr;
    }
    return found->second;
}

bool CFMessagePortObject::Send(SInt32 msgid, CFDataRef data)
{
    CFMessagePortObject* local = mIsRemote ? mTarget : this;
    CFRetain(data);
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (mValid && local->mValid) {
            local->mQueue.emplace_back(msgid, data);
            local->ScheduleDeliveriesLocked(1);
            return true;
        }
    }
    CFRelease(data);
    return false;
}

void CFMessagePortObject::Invalidate()
{
    // The ports to tell, each with a reference and its callback.
    std::vector<std::pair<CFMessagePortObject*, CFMessagePortInvalidationCallBack>> told;
    std::deque<std::pair<SInt32, CFDataRef>> dropped;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (!mValid) {
            return;
        }
        mValid = false;
        dropped.swap(mQueue);
        Retain();
        told.emplace_back(this, mInvalidationCallBack);
        if (!mIsRemote) {
            auto found = NameTable().find(mNameText);
            if (found != NameTable().end() && found->second == this) {
                NameTable().erase(found);
            }
            for (CFMessagePortObject* remote : mRemotes) {
                if (remote->mValid && remote->TryRetain()) {
                    remote->mValid = false;
                    told.emplace_back(remote, remote->mInvalidationCallBack);
                }
            }
        }
    }
    for (auto& message : dropped) {
        CFRelease(message.second);
    }
    for (auto& [port, callback] : told) {
        if (callback != nullptr) {
            callback(port, port->mInfo);
        }
        port->Release();
    }
}

bool CFMessagePortObject::IsValid() const
{
    std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
    return mValid && (!mIsRemote || mTarget->mValid);
}

void CFMessagePortObject::SetInvalidationCallBack(CFMessagePortInvalidationCallBack callback)
{
    bool alreadyInvalid;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        mInvalidationCallBack = callback;
        alreadyInvalid = !mValid;
    }
    // A port that is already invalid reports it at once.
    if (alreadyInvalid && callback != nullptr) {
        callback(this, mInfo);
    }
}

void CFMessagePortObject::DeliverOne(CFRunLoopObject* loop)
{
    std::pair<SInt32, CFDataRef> message;
    {
        std::lock_guard<std::mutex> lock(CFRunLoopSourceObject::SchedulingLock());
        if (!IsServicedByLocked(loop) || mQueue.empty()) {
            return;
        }
        message = mQueue.front();
        mQueue.pop_front();
    }
    if (mCallout != nullptr) {
        CFDataRef reply = mCallout(this, message.first, message.second, mInfo);
        CFRelease(reply); // one-way messages: nobody waits for the reply
    }
    CFRelease(message.second);
}
