// Holds a mutable foundation string; the conversions are CACFString's. With
// will-release the holder owns one reference and releases it when destroyed.
#pragma once

#include "platform/CoreFoundation.h"

class CACFMutableString {
public:
    CACFMutableString(CFMutableStringRef inString, bool inWillRelease);
    ~CACFMutableString();

    CACFMutableString(const CACFMutableString&) = delete;
    CACFMutableString& operator=(const CACFMutableString&) = delete;

    CFMutableStringRef GetCFMutableString() const { return mCFMutableString; }
    bool WillRelease() const { return mWillRelease; }

    void GetCString(char* outBuffer, UInt32& ioSize) const;
    void GetUnicodeString(UInt16* outBuffer, UInt32& ioLength) const;

private:
    CFMutableStringRef mCFMutableString;
    bool mWillRelease;
};
