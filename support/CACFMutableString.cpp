#include "support/CACFMutableString.h"

#include "support/CACFString.h"

CACFMutableString::CACFMutableString(CFMutableStringRef inString, bool inWillRelease)
    : mCFMutableString(inString), mWillRelease(inWillRelease)
{
}

CACFMutableString::~CACFMutableString()
{
    if (mWillRelease && mCFMutableString != nullptr) {
        CFRelease(mCFMutableString);
    }
}

void CACFMutableString::GetCString(char* outBuffer, UInt32& ioSize) const
{
    CACFString::GetCString(mCFMutableString, outBuffer, ioSize);
}

void CACFMutableString::GetUnicodeString(UInt16* outBuffer, UInt32& ioLength) const
{
    CACFString::GetUnicodeString(mCFMutableString, outBuffer, ioLength);
}
