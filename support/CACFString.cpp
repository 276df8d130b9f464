#include "support/CACFString.h"

CACFString::CACFString(CFStringRef inString, bool inWillRelease) : mCFString(inString), mWillRelease(inWillRelease)
{
}

CACFString::~CACFString()
{
    if (mWillRelease && mCFString != nullptr) {
        CFRelease(mCFString);
    }
}

void CACFString::GetCString(char* outBuffer, UInt32& ioSize) const { GetCString(mCFString, outBuffer, ioSize); }

void CACFString::GetUnicodeString(UInt16* outBuffer, UInt32& ioLength) const
{
    GetUnicodeString(mCFString, outBuffer, ioLength);
}

void CACFString::GetCString(CFStringRef inString, char* outBuffer, UInt32& ioSize)
{
    // No room for even the terminator (or no buffer): write nothing.
    if (ioSize == 0 || outBuffer == nullptr) {
        ioSize = 0;
        return;
    }
    if (inString == nullptr) {
        outBuffer[0] = 0;
        ioSize = 1;
        return;
    }
    // ASCII with loss byte 0 stops at the first character with no ASCII form.
    CFIndex bytesUsed = 0;
    CFStringGetBytes(inString, CFRangeMake(0, CFStringGetLength(inString)), kCFStringEncodingASCII, 0, false,
                     reinterpret_cast<UInt8*>(outBuffer), CFIndex(ioSize - 1), &bytesUsed);
    outBuffer[bytesUsed] = 0;
    ioSize = UInt32(bytesUsed + 1);
}

void CACFString::GetUnicodeString(CFStringRef inString, UInt16* outBuffer, UInt32& ioLength)
{
    if (inString == nullptr) {
        // The empty string's single 0 unit, only where the buffer has room.
        if (ioLength > 0 && outBuffer != nullptr) {
            outBuffer[0] = 0;
        }
        ioLength = 0;
        return;
    }
    if (outBuffer == nullptr) {
        ioLength = 0;
        return;
    }
    CFIndex count = CFStringGetLength(inString);
    if (count > CFIndex(ioLength)) {
        count = CFIndex(ioLength);
    }
    if (count > 0) {
        CFStringGetCharacters(inString, CFRangeMake(0, count), outBuffer);
    }
    ioLength = UInt32(count);
}
