// An open instance of a component. Internal to the platform library;
// guarded by the component manager's lock.
#pragma once

#include "platform/ComponentRecord.h"

struct ComponentInstanceRecord {
    explicit ComponentInstanceRecord(ComponentRecord* component) : mComponent(component) {}

    ComponentRecord* const mComponent;
};
