#include "support/CACFNumber.h"

CACFNumber::CACFNumber(CFNumberRef inNumber, bool inWillRelease) : mCFNumber(inNumber), mWillRelease(inWillRelease)
{
}

CACFNumber::~CACFNumber()
{
    if (mWillRelease && mCFNumber != nullptr) {
        CFRelease(mCFNumber);
    }
}

SInt32 CACFNumber::GetSInt32() const
{
    SInt32 value = 0;
    if (mCFNumber != nullptr) {
        CFNumberGetValue(mCFNumber, kCFNumberSInt32Type, &value);
    }
    return value;
}

Float32 CACFNumber::GetFixed32() const
{
    const SInt32 value = GetSInt32();
    const Float32 sign = value < 0 ? -1.0f : 1.0f;
    // The magnitude in unsigned arithmetic, so the most negative value does
    // not overflow.
    const UInt32 magnitude = value < 0 ? UInt32(0) - UInt32(value) : UInt32(value);
    const Float32 whole = Float32((magnitude >> 16) & 0x7FFF);
    const Float32 fraction = Float32(magnitude & 0xFFFF) / 65536.0f;
    return (whole + fraction) * sign;
}
