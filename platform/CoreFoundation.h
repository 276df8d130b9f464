// The foundation objects of the host: reference-counted strings, UUIDs,
// numbers, run loops, Mach ports, message ports and the plug-in instance
// registry. Every object is a CFTypeRef; CFRetain and CFRelease are
// thread-safe. A function whose name holds Create or Copy returns a
// reference the caller releases.
#pragma once

#include "platform/MacTypes.h"

typedef long CFIndex;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef UInt32 CFStringEncoding;
typedef const void* CFTypeRef;

struct CFRange {
    CFIndex location;
    CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return CFRange{location, length}; }

enum CFComparisonResult : CFIndex { kCFCompareLessThan = -1, kCFCompareEqualTo = 0, kCFCompareGreaterThan = 1 };

enum : CFStringEncoding {
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingMacRoman = 0,
};

struct CFAllocatorObject;
struct CFStringObject;
struct CFUUIDObject;
struct CFNumberObject;
struct CFRunLoopObject;
struct CFRunLoopSourceObject;
struct CFMachPortObject;
struct CFMessagePortObject;
struct CFDataObject;
struct CFPlugInObject;

typedef const CFAllocatorObject* CFAllocatorRef;
typedef const CFStringObject* CFStringRef;
typedef CFStringObject* CFMutableStringRef;
typedef const CFUUIDObject* CFUUIDRef;
typedef const CFNumberObject* CFNumberRef;
typedef CFRunLoopObject* CFRunLoopRef;
typedef CFRunLoopSourceObject* CFRunLoopSourceRef;
typedef CFMachPortObject* CFMachPortRef;
typedef CFMessagePortObject* CFMessagePortRef;
typedef const CFDataObject* CFDataRef;
typedef CFPlugInObject* CFPlugInRef;

constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;
PLATFORM_EXPORT extern const CFStringRef kCFRunLoopDefaultMode;
PLATFORM_EXPORT extern const CFStringRef kCFRunLoopCommonModes;

// Reference counting and identity.
PLATFORM_EXPORT CFTypeRef CFRetain(CFTypeRef object);
PLATFORM_EXPORT void CFRelease(CFTypeRef object);
PLATFORM_EXPORT CFIndex CFGetRetainCount(CFTypeRef object);
PLATFORM_EXPORT Boolean CFEqual(CFTypeRef a, CFTypeRef b);

// Strings.
PLATFORM_EXPORT CFStringRef CFStringMakeConstantString(const char* cString);
#define CFSTR(s) CFStringMakeConstantString("" s "")
PLATFORM_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cString, CFStringEncoding);
PLATFORM_EXPORT CFStringRef CFStringCreateWithFormat(CFAllocatorRef, const void* formatOptions, CFStringRef format, ...);
PLATFORM_EXPORT CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UInt16* chars, CFIndex count);
PLATFORM_EXPORT CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex maxLength);
PLATFORM_EXPORT CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex maxLength, CFStringRef);
PLATFORM_EXPORT void CFStringAppend(CFMutableStringRef, CFStringRef appended);
PLATFORM_EXPORT void CFStringAppendCString(CFMutableStringRef, const char* cString, CFStringEncoding);
PLATFORM_EXPORT void CFStringAppendFormat(CFMutableStringRef, const void* formatOptions, CFStringRef format, ...);
PLATFORM_EXPORT CFIndex CFStringGetLength(CFStringRef);
PLATFORM_EXPORT UInt16 CFStringGetCharacterAtIndex(CFStringRef, CFIndex index);
PLATFORM_EXPORT void CFStringGetCharacters(CFStringRef, CFRange range, UInt16* buffer);
// Converts the range into buffer (maxBufLen bytes at most; a null buffer only
// counts). A lossByte of 0 stops at the first character with no form in the
// encoding. Returns the number of characters converted; usedBufLen gets the
// bytes written.
PLATFORM_EXPORT CFIndex CFStringGetBytes(CFStringRef, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                                         Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufLen,
                                         CFIndex* usedBufLen);
PLATFORM_EXPORT Boolean CFStringGetCString(CFStringRef, char* buffer, CFIndex bufferSize, CFStringEncoding);
PLATFORM_EXPORT CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options);

// UUIDs.
struct CFUUIDBytes {
    UInt8 byte0, byte1, byte2, byte3, byte4, byte5, byte6, byte7, byte8, byte9, byte10, byte11, byte12, byte13,
        byte14, byte15;
};
typedef CFUUIDBytes REFIID;
PLATFORM_EXPORT CFUUIDRef CFUUIDGetConstantUUIDWithBytes(CFAllocatorRef, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8,
                                                         UInt8, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8,
                                                         UInt8, UInt8);
PLATFORM_EXPORT CFUUIDRef CFUUIDCreateWithBytes(CFAllocatorRef, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8,
                                                UInt8, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8, UInt8);
PLATFORM_EXPORT CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef, CFUUIDBytes bytes);
PLATFORM_EXPORT CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef);

// Numbers.
enum CFNumberType : CFIndex { kCFNumberSInt32Type = 3, kCFNumberSInt64Type = 4, kCFNumberFloat64Type = 6 };
PLATFORM_EXPORT CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType, const void* valuePtr);
PLATFORM_EXPORT Boolean CFNumberGetValue(CFNumberRef, CFNumberType, void* valuePtr);

// The plug-in instance registry: which factories have live instances.
PLATFORM_EXPORT void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID);
PLATFORM_EXPORT void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID);
PLATFORM_EXPORT CFIndex CFPlugInGetInstanceCountForFactory(CFUUIDRef factoryID);

// Run loops. The host's notification thread runs one; sources added to it
// are serviced there.
PLATFORM_EXPORT CFRunLoopRef CFRunLoopGetCurrent();
PLATFORM_EXPORT void CFRunLoopAddSource(CFRunLoopRef, CFRunLoopSourceRef, CFStringRef mode);
PLATFORM_EXPORT void CFRunLoopRemoveSource(CFRunLoopRef, CFRunLoopSourceRef, CFStringRef mode);
PLATFORM_EXPORT void CFRunLoopSourceInvalidate(CFRunLoopSourceRef);

// Mach ports with a callback that runs on the run loop holding the port's source.
typedef void (*CFMachPortCallBack)(CFMachPortRef port, void* msg, CFIndex size, void* info);
struct CFMachPortContext {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
};
PLATFORM_EXPORT CFMachPortRef CFMachPortCreate(CFAllocatorRef, CFMachPortCallBack callout, CFMachPortContext* context,
                                               Boolean* shouldFreeInfo);
PLATFORM_EXPORT CFRunLoopSourceRef CFMachPortCreateRunLoopSource(CFAllocatorRef, CFMachPortRef, CFIndex order);
PLATFORM_EXPORT void CFMachPortInvalidate(CFMachPortRef);
PLATFORM_EXPORT Boolean CFMachPortIsValid(CFMachPortRef);
PLATFORM_EXPORT UInt32 CFMachPortGetPort(CFMachPortRef);

// Message ports (named, process-local or remote) with run-loop sources.
struct CFMessagePortContext {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
};
typedef CFDataRef (*CFMessagePortCallBack)(CFMessagePortRef local, SInt32 msgid, CFDataRef data, void* info);
typedef void (*CFMessagePortInvalidationCallBack)(CFMessagePortRef ms, void* info);
PLATFORM_EXPORT CFMessagePortRef CFMessagePortCreateLocal(CFAllocatorRef, CFStringRef name,
                                                          CFMessagePortCallBack callout,
                                                          CFMessagePortContext* context, Boolean* shouldFreeInfo);
PLATFORM_EXPORT CFMessagePortRef CFMessagePortCreateRemote(CFAllocatorRef, CFStringRef name);
PLATFORM_EXPORT void CFMessagePortSetInvalidationCallBack(CFMessagePortRef, CFMessagePortInvalidationCallBack);
PLATFORM_EXPORT CFRunLoopSourceRef CFMessagePortCreateRunLoopSource(CFAllocatorRef, CFMessagePortRef, CFIndex order);
PLATFORM_EXPORT void CFMessagePortInvalidate(CFMessagePortRef);
PLATFORM_EXPORT Boolean CFMessagePortIsValid(CFMessagePortRef);

// Additions of this platform (used by tests and the host layer).
#include <cstdarg>

enum : CFOptionFlags { kCFCompareCaseInsensitive = 1 };

// CFStringCreateWithFormat with the arguments as a va_list. %@ prints the text
// of a CFStringRef ("(null)" for null); every other conversion is printf's.
PLATFORM_EXPORT CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, const void* formatOptions,
                                                                 CFStringRef format, va_list arguments);

// Byte data, for message ports.
PLATFORM_EXPORT CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length);
PLATFORM_EXPORT CFIndex CFDataGetLength(CFDataRef);
PLATFORM_EXPORT const UInt8* CFDataGetBytePtr(CFDataRef);

// True while source is added to runLoop (in any mode).
PLATFORM_EXPORT Boolean CFRunLoopContainsSource(CFRunLoopRef, CFRunLoopSourceRef, CFStringRef mode);
PLATFORM_EXPORT Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef);

// Sends data with msgid to the local port that remote refers to (or to a
// local port itself). The local port's callback runs on the run loop holding
// its source; its reply is released unread (one-way messages only: the reply
// mode must be null and the timeouts are ignored). Returns
// kCFMessagePortIsInvalid for an invalid port, kCFMessagePortTransportError
// when a reply is asked for.
enum : SInt32 { kCFMessagePortSuccess = 0, kCFMessagePortIsInvalid = -3, kCFMessagePortTransportError = -4 };
PLATFORM_EXPORT SInt32 CFMessagePortSendRequest(CFMessagePortRef remote, SInt32 msgid, CFDataRef data,
                                                double sendTimeout, double rcvTimeout, CFStringRef replyMode,
                                                CFDataRef* returnData);
PLATFORM_EXPORT CFStringRef CFMessagePortGetName(CFMessagePortRef);
PLATFORM_EXPORT Boolean CFMessagePortIsRemote(CFMessagePortRef);

// Type identity: which kind of object a CFTypeRef is (preferences hold
// values of several types). CFGetTypeID of null is 0.
typedef unsigned long CFTypeID;
PLATFORM_EXPORT CFTypeID CFGetTypeID(CFTypeRef object);
PLATFORM_EXPORT CFTypeID CFStringGetTypeID();
PLATFORM_EXPORT CFTypeID CFNumberGetTypeID();

// Runs the calling thread's own run loop (CFRunLoopGetCurrent) until
// CFRunLoopStop; a thread that serves callbacks on its run loop calls it.
// A stopped run loop stays stopped: running it again returns at once. On
// the notification thread, whose run loop the platform runs, CFRunLoopRun
// returns at once and CFRunLoopStop of that run loop does nothing.
PLATFORM_EXPORT void CFRunLoopRun();
PLATFORM_EXPORT void CFRunLoopStop(CFRunLoopRef runLoop);
