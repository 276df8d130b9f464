// A foundation number: an integer or a float, with the type it was made
// with. Internal to the platform library.
#pragma once

#include "platform/CFObject.h"

struct CFNumberObject : CFObject {
    static constexpr Type kTypeTag = Type::kNumber;

    CFNumberObject(CFNumberType type, SInt64 integer, Float64 real)
        : CFObject(kTypeTag), mNumberType(type), mInteger(integer), mFloat(real)
    {
    }

    bool IsFloat() const { return mNumberType == kCFNumberFloat64Type; }

    const CFNumberType mNumberType;
    const SInt64 mInteger; // valid when !IsFloat()
    const Float64 mFloat;  // valid when IsFloat()
};
