// Holds a foundation string and converts it into callers' buffers. With
// will-release the holder owns one reference and releases it when destroyed.
// Any thread may use it.
#pragma once

#include "platform/CoreFoundation.h"

class CACFString {
public:
    CACFString(CFStringRef inString, bool inWillRelease);
    ~CACFString();

    CACFString(const CACFString&) = delete;
    CACFString& operator=(const CACFString&) = delete;

    CFStringRef GetCFString() const { return mCFString; }
    bool WillRelease() const { return mWillRelease; }

    // ioSize: in, the size of outBuffer; out, the bytes written including the
    // NUL. Converts as ASCII, stopping at the first character with no ASCII
    // form or when only the NUL fits. A null string gives "" and size 1; a
    // size of 0 writes nothing and stays 0.
    void GetCString(char* outBuffer, UInt32& ioSize) const;
    // Copies min(length, ioLength) UTF-16 units, no terminator, and sets
    // ioLength to that count. A null string writes one 0 unit (if ioLength
    // leaves room for it) and sets ioLength to 0.
    void GetUnicodeString(UInt16* outBuffer, UInt32& ioLength) const;

    // The conversions for any string, used by the holders of strings.
    static void GetCString(CFStringRef inString, char* outBuffer, UInt32& ioSize);
    static void GetUnicodeString(CFStringRef inString, UInt16* outBuffer, UInt32& ioLength);

private:
    CFStringRef mCFString;
    bool mWillRelease;
};
