// The host's notification thread and its run loop. The thread starts on first
// use and is stopped and joined at process exit. Mach-port and message-port
// sources added to its run loop are serviced on it, and any code may queue
// work to it.
#pragma once

#include "platform/CoreFoundation.h"

#include <functional>
#include <thread>

// The run loop of the notification thread (starts the thread if needed). The
// reference is owned by the platform; do not release it.
PLATFORM_EXPORT CFRunLoopRef HostGetNotificationRunLoop();

// Queues task to run on the notification thread after everything queued
// before it. Never blocks on the task. Tasks queued after shutdown began are
// dropped.
PLATFORM_EXPORT void HostRunLoopPerform(std::function<void()> task);

// Blocks until every task and every message queued before the call has run
// on the notification thread. Called on the notification thread itself it
// returns at once (waiting there would wait forever).
PLATFORM_EXPORT void HostRunLoopFlush();

// True when the caller is running on the notification thread.
PLATFORM_EXPORT bool HostRunLoopIsNotificationThread();

// The thread id of the notification thread (starts the thread if needed).
PLATFORM_EXPORT std::thread::id HostRunLoopThreadID();
