// Foundation numbers: 32- and 64-bit signed integers and 64-bit floats.
#include "platform/CFNumberObject.h"

#include <cmath>
#include <cstring>
#include <limits>

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* valuePtr)
{
    if (valuePtr == nullptr) {
        return nullptr;
    }
    switch (type) {
    case kCFNumberSInt32Type: {
        SInt32 value;
        std::memcpy(&value, valuePtr, sizeof(value));
        return new CFNumberObject(type, value, 0);
    }
    case kCFNumberSInt64Type: {
        SInt64 value;
        std::memcpy(&value, valuePtr, sizeof(value));
        return new CFNumberObject(type, value, 0);
    }
    case kCFNumberFloat64Type: {
        Float64 value;
        std::memcpy(&value, valuePtr, sizeof(value));
        return new CFNumberObject(type, 0, value);
    }
    default:
        return nullptr;
    }
}

// Converts to the requested type. Returns false when the value had to be
// changed on the way (out of range, a fraction dropped, NaN), and then still
// stores the nearest value (0 for NaN). An unknown type stores nothing.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr)
{
    const CFNumberObject* object = CFObjectCast<CFNumberObject>(number);
    if (object == nullptr || valuePtr == nullptr) {
        return false;
    }
    switch (type) {
    case kCFNumberSInt32Type:
    case kCFNumberSInt64Type: {
        const SInt64 lowest = (type == kCFNumberSInt32Type) ? std::numeric_limits<SInt32>::min()
                                                            : std::numeric_limits<SInt64>::min();
        const SInt64 highest = (type == kCFNumberSInt32Type) ? std::numeric_limits<SInt32>::max()
                                                             : std::numeric_limits<SInt64>::max();
        SInt64 value;
        bool exact;
        if (object->IsFloat()) {
            const Float64 f = object->mFloat;
            if (std::isnan(f)) {
                value = 0;
                exact = false;
            } else if (f <= Float64(lowest)) {
                value = lowest;
                exact = (f == Float64(lowest));
            } else if (f >= Float64(highest)) {
                value = highest;
                exact = false; // highest itself is not representable as a double for 64 bits
                if (type == kCFNumberSInt32Type && f == Float64(highest)) {
                    exact = true;
                }
            } else {
                value = SInt64(f);
                exact = (Float64(value) == f);
            }
        } else {
            value = object->mInteger;
            exact = value >= lowest && value <= highest;
            if (value < lowest) {
                value = lowest;
            } else if (value > highest) {
                value = highest;
            }
        }
        if (type == kCFNumberSInt32Type) {
            const SInt32 narrow = SInt32(value);
            std::memcpy(valuePtr, &narrow, sizeof(narrow));
        } else {
            std::memcpy(valuePtr, &value, sizeof(value));
        }
        return exact;
    }
    case kCFNumberFloat64Type: {
        const Float64 value = object->IsFloat() ? object->mFloat : Float64(object->mInteger);
        std::memcpy(valuePtr, &value, sizeof(value));
        if (object->IsFloat()) {
            return true;
        }
        // 2^63 (what INT64_MAX rounds to) has no SInt64 form to compare with.
        return value < 9223372036854775808.0 && SInt64(value) == object->mInteger;
    }
    default:
        return false;
    }
}
