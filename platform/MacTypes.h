// Basic scalar types, status codes and four-character codes shared by the
// platform layer, the plug-in and everything around it.
#pragma once

#include <cstddef>
#include <cstdint>

// Symbols of the platform library that the bundle and the host resolve at
// load time. The plug-in itself is built with hidden visibility; these stay
// visible so that the bundle binds to the one platform instance of the process.
#define PLATFORM_EXPORT __attribute__((visibility("default")))

typedef std::uint8_t UInt8;
typedef std::int8_t SInt8;
typedef std::uint16_t UInt16;
typedef std::int16_t SInt16;
typedef std::uint32_t UInt32;
typedef std::int32_t SInt32;
typedef std::uint64_t UInt64;
typedef std::int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef unsigned char Boolean;
typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef UInt32 OSType;
typedef UInt32 FourCharCode;
typedef SInt32 HRESULT;
typedef UInt32 ULONG;
typedef void* LPVOID;

// The toolbox's 16.16 signed fixed-point number and its rectangle of four
// 16-bit coordinates.
typedef SInt32 Fixed;
struct Rect {
    SInt16 top;
    SInt16 left;
    SInt16 bottom;
    SInt16 right;
};

enum : OSStatus { noErr = 0 };
enum : OSStatus { paramErr = -50 };

// 'abcd' as the big-endian 32-bit value the host uses for selectors and codes.
constexpr UInt32 FourCC(const char (&s)[5])
{
    return (UInt32(UInt8(s[0])) << 24) | (UInt32(UInt8(s[1])) << 16) | (UInt32(UInt8(s[2])) << 8) |
           UInt32(UInt8(s[3]));
}

// The four characters of a code, big-endian, NUL-terminated, for messages.
struct FourCCText {
    char text[5];
    explicit FourCCText(UInt32 code)
    {
        text[0] = char(code >> 24);
        text[1] = char(code >> 16);
        text[2] = char(code >> 8);
        text[3] = char(code);
        text[4] = 0;
    }
    const char* c_str() const { return text; }
};
