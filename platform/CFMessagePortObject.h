// A message port: a local port registered under a name in this process, or a
// remote port that refers to the local port of a name. Messages sent to a
// local port are delivered to its callback on the run loop holding its
// source. Internal to the platform library.
#pragma once

#include "platform/CFPortObject.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

struct CFMessagePortObject : CFPortObject {
    static constexpr Type kTypeTag = Type::kMessagePort;

    // A local port; call Register before handing it out.
    CFMessagePortObject(const std::string& name, CFStringRef nameString, CFMessagePortCallBack callout,
                        const CFMessagePortContext* context);
    // A remote port to target (which gets a reference taken).
    CFMessagePortObject(CFMessagePortObject* target, CFStringRef nameString);
    ~CFMessagePortObject() override;

    // Enters a local port in the name table; false when the name is taken
    // by a valid port.
    bool Register();
    // The valid local port of name, with a reference taken, or null.
    static CFMessagePortObject* RetainLocal(const std::string& name);

    // Queues (msgid, data) on the local port this port is or refers to;
    // false when either is invalid.
    bool Send(SInt32 msgid, CFDataRef data);
    // Invalidates the port; a local port also invalidates its remotes. Runs
    // the invalidation callbacks once each, on the calling thread, without
    // any platform lock.
    void Invalidate() override;
    bool IsValid() const;
    void SetInvalidationCallBack(CFMessagePortInvalidationCallBack callback);

    const bool mIsRemote;
    CFStringRef const mName; // retained

protected:
    void DeliverOne(CFRunLoopObject* loop) override;
    size_t PendingCountLocked() const override { return mQueue.size(); }

private:
    const std::string mNameText;
    const CFMessagePortCallBack mCallout;
    void* const mInfo;
    void (*const mReleaseInfo)(const void*);
    CFMessagePortObject* const mTarget; // remote ports: the local port, retained

    // Guarded by SchedulingLock.
    CFMessagePortInvalidationCallBack mInvalidationCallBack = nullptr;
    std::deque<std::pair<SInt32, CFDataRef>> mQueue; // data retained
    std::vector<CFMessagePortObject*> mRemotes;      // local ports: remotes to it, not retained
};
