// The distributed notification center: a notification posted by any process
// on the host reaches the matching observers of every process (the posting
// one included), each on its own process's notification run loop
// (HostRunLoop.h).
//
// Transport: each process binds one UNIX datagram socket, "<pid>.sock", in
// the notification folder: KESTRO_NOTIFY_DIR, else the "notify" folder inside
// the preferences folder (see CFPreferences.h), created when missing. A post
// sends one datagram to every socket in that folder; a socket whose process
// has gone is removed by the first post that finds it dead. A process that
// changes the folder (tests do) binds a socket in the new folder as well.
// The process's receiving thread hands each datagram to the notification
// run loop, where the observers that match are looked up and called.
//
// Names and objects are strings: an observer registered with a null name
// hears every name, one with a null object every object. User info is not
// carried between processes: callbacks always receive a null dictionary.
// A name and object of more than 4000 bytes together (in UTF-8) are not sent.
#pragma once

#include "platform/CoreFoundation.h"

struct CFNotificationCenterObject;
struct CFDictionaryObject;
typedef CFNotificationCenterObject* CFNotificationCenterRef;
typedef const CFDictionaryObject* CFDictionaryRef;

// Runs on the notification run loop. name and object are valid for the call
// only; userInfo is always null.
typedef void (*CFNotificationCallback)(CFNotificationCenterRef center, const void* observer, CFStringRef name,
                                       const void* object, CFDictionaryRef userInfo);

// What an observer gets while the center is suspended
// (CFNotificationCenterSetSuspended). A post with deliverImmediately, and an
// observer registered with ...DeliverImmediately, are delivered at once in
// any case.
enum CFNotificationSuspensionBehavior : CFIndex {
    CFNotificationSuspensionBehaviorDrop = 1,               // notifications while suspended are lost
    CFNotificationSuspensionBehaviorCoalesce = 2,           // one of each (name, object) is held for resumption
    CFNotificationSuspensionBehaviorHold = 3,               // every one is held, in order, for resumption
    CFNotificationSuspensionBehaviorDeliverImmediately = 4, // suspension does not apply
};

// The process's distributed center (never null; do not release it). Binds
// the process's socket in the current notification folder.
PLATFORM_EXPORT CFNotificationCenterRef CFNotificationCenterGetDistributedCenter();

// Registers callBack for observer, name (null: any) and object (a CFString,
// or null: any); name and object are retained. A null center, observer or
// callBack registers nothing. Any thread. Binds the process's socket in the
// current notification folder.
PLATFORM_EXPORT void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                                     CFNotificationCallback callBack, CFStringRef name,
                                                     const void* object,
                                                     CFNotificationSuspensionBehavior suspensionBehavior);

// Removes observer's registrations whose name equals name and whose object
// equals object (a null name or object here matches any), together with the
// notifications held for them. When it returns, no callback of the removed
// registrations is running or will run, except the one that called it from
// the notification run loop. So it may block while such a callback runs:
// don't call it while holding a lock that the callback takes.
PLATFORM_EXPORT void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer,
                                                        CFStringRef name, const void* object);
// Removes every registration of observer, with the same guarantee.
PLATFORM_EXPORT void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer);

// Sends name and object (a CFString or null) to every process with a socket
// in the current notification folder, this one included; returns without
// waiting for delivery. userInfo is ignored. deliverImmediately overrides
// the receivers' suspension. A null center or name posts nothing. Any
// thread; never blocks for long (a receiver that stays full for a second
// misses the notification, with one line on standard error).
PLATFORM_EXPORT void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name,
                                                          const void* object, CFDictionaryRef userInfo,
                                                          Boolean deliverImmediately);

// Suspends or resumes delivery in this process. On resumption the held
// notifications are delivered on the run loop, in arrival order per
// observer. Any thread.
PLATFORM_EXPORT void CFNotificationCenterSetSuspended(CFNotificationCenterRef center, Boolean suspended);
PLATFORM_EXPORT Boolean CFNotificationCenterIsSuspended(CFNotificationCenterRef center);
