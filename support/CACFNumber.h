// Holds a foundation number. With will-release the holder owns one
// reference and releases it when destroyed.
#pragma once

#include "platform/CoreFoundation.h"

class CACFNumber {
public:
    CACFNumber(CFNumberRef inNumber, bool inWillRelease);
    ~CACFNumber();

    CACFNumber(const CACFNumber&) = delete;
    CACFNumber& operator=(const CACFNumber&) = delete;

    CFNumberRef GetCFNumber() const { return mCFNumber; }
    bool WillRelease() const { return mWillRelease; }

    // The number as a signed 32-bit integer; 0 for a null number.
    SInt32 GetSInt32() const;
    // The number read as 16.16 fixed point.
    Float32 GetFixed32() const;

private:
    CFNumberRef mCFNumber;
    bool mWillRelease;
};
