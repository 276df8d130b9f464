// A foundation UUID: sixteen bytes. Internal to the platform library.
#pragma once

#include "platform/CFObject.h"

struct CFUUIDObject : CFObject {
    static constexpr Type kTypeTag = Type::kUUID;

    CFUUIDObject(const CFUUIDBytes& bytes, bool immortal = false) : CFObject(kTypeTag, immortal), mBytes(bytes) {}

    const CFUUIDBytes mBytes;
};
