// Foundation byte data, immutable. Internal to the platform library.
#pragma once

#include "platform/CFObject.h"

#include <vector>

struct CFDataObject : CFObject {
    static constexpr Type kTypeTag = Type::kData;

    explicit CFDataObject(std::vector<UInt8> bytes) : CFObject(kTypeTag), mBytes(std::move(bytes)) {}

    const std::vector<UInt8> mBytes;
};
