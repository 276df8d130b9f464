// A component registered with the component manager. Internal to the
// platform library; guarded by the manager's lock.
#pragma once

#include "platform/Components.h"

struct ComponentRecord {
    ComponentDescription mDescription;
    long mRefcon;
    ComponentOpenHook mOpenHook;
    ComponentCloseHook mCloseHook;
    void* mHookData;
    // False once unregistered; the record lives on while instances are open.
    bool mRegistered = true;
    long mOpenInstances = 0;
};
