// Foundation strings: creation, constants, conversion and comparison.
// Every function taking a range checks it: a range outside the string
// converts nothing instead of reading past the characters.
#include "platform/CFStringObject.h"
#include "platform/StringFormatter.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

// Constant strings are interned for the life of the process: the same text
// gives the same object, which is never freed. The table itself is never
// destroyed, so constants stay usable during static destruction.
struct ConstantTable {
    std::mutex mutex;
    std::map<std::string, CFStringObject*> strings;
};

ConstantTable& Constants()
{
    static ConstantTable* table = new ConstantTable;
    return *table;
}

CFStringObject* StringFrom(CFStringRef string) { return CFObjectCast<CFStringObject>(string); }

CFStringObject* MutableFrom(CFMutableStringRef string)
{
    CFStringObject* object = CFObjectCast<CFStringObject>(string);
    return (object != nullptr && object->mMutable) ? object : nullptr;
}

bool RangeIsValid(const CFStringObject* string, CFRange range)
{
    return string != nullptr && range.location >= 0 && range.length >= 0 &&
           range.location <= CFIndex(string->mChars.size()) &&
           range.length <= CFIndex(string->mChars.size()) - range.location;
}

bool IsHighSurrogate(UInt16 c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(UInt16 c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The bytes of the character at index in encoding: returns the number of
// UTF-16 units it takes (1 or 2) and fills bytes/byteCount, or 0 when the
// character has no form in the encoding.
CFIndex EncodeCharacter(const std::u16string& chars, CFIndex index, CFIndex end, CFStringEncoding encoding,
                        UInt8 bytes[4], CFIndex& byteCount)
{
    UInt32 c = chars[size_t(index)];
    if (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingMacRoman) {
        if (c >= 0x80) {
            return 0;
        }
        bytes[0] = UInt8(c);
        byteCount = 1;
        return 1;
    }
    if (encoding != kCFStringEncodingUTF8) {
        return 0;
    }
    CFIndex units = 1;
    if (IsHighSurrogate(UInt16(c)) && index + 1 < end && IsLowSurrogate(chars[size_t(index + 1)])) {
        c = 0x10000 + ((c - 0xD800) << 10) + (UInt32(chars[size_t(index + 1)]) - 0xDC00);
        units = 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
        return 0; // an unpaired surrogate has no UTF-8 form
    }
    if (c < 0x80) {
        bytes[0] = UInt8(c);
        byteCount = 1;
    } else if (c < 0x800) {
        bytes[0] = UInt8(0xC0 | (c >> 6));
        bytes[1] = UInt8(0x80 | (c & 0x3F));
        byteCount = 2;
    } else if (c < 0x10000) {
        bytes[0] = UInt8(0xE0 | (c >> 12));
        bytes[1] = UInt8(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = UInt8(0x80 | (c & 0x3F));
        byteCount = 3;
    } else {
        bytes[0] = UInt8(0xF0 | (c >> 18));
        bytes[1] = UInt8(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = UInt8(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = UInt8(0x80 | (c & 0x3F));
        byteCount = 4;
    }
    return units;
}

UInt16 FoldCase(UInt16 c) { return (c >= 'a' && c <= 'z') ? UInt16(c - 'a' + 'A') : c; }

} // namespace

const CFStringRef kCFRunLoopDefaultMode = CFSTR("kCFRunLoopDefaultMode");
const CFStringRef kCFRunLoopCommonModes = CFSTR("kCFRunLoopCommonModes");

CFStringRef CFStringMakeConstantString(const char* cString)
{
    if (cString == nullptr) {
        return nullptr;
    }
    ConstantTable& table = Constants();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.strings.find(cString);
    if (found != table.strings.end()) {
        return found->second;
    }
    std::u16string chars;
    if (!CFStringObject::Decode(cString, std::strlen(cString), kCFStringEncodingUTF8, chars)) {
        return nullptr;
    }
    auto string = new CFStringObject(std::move(chars), false, true);
    table.strings.emplace(cString, string);
    return string;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cString, CFStringEncoding encoding)
{
    if (cString == nullptr) {
        return nullptr;
    }
    std::u16string chars;
    if (!CFStringObject::Decode(cString, std::strlen(cString), encoding, chars)) {
        return nullptr;
    }
    return new CFStringObject(std::move(chars));
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UInt16* chars, CFIndex count)
{
    if (count < 0 || (chars == nullptr && count != 0)) {
        return nullptr;
    }
    std::u16string text;
    text.reserve(size_t(count));
    for (CFIndex i = 0; i < count; ++i) {
        text += char16_t(chars[i]);
    }
    return new CFStringObject(std::move(text));
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, const void*, CFStringRef format,
                                                 va_list arguments)
{
    CFStringObject* formatString = StringFrom(format);
    if (formatString == nullptr) {
        return nullptr;
    }
    const std::string text = StringFormatter::Format(formatString->ToUTF8().c_str(), arguments);
    std::u16string chars;
    if (!CFStringObject::Decode(text.data(), text.size(), kCFStringEncodingUTF8, chars)) {
        // A %s argument that was not UTF-8: keep what can be kept as ASCII.
        chars.clear();
        for (char c : text) {
            chars += (UInt8(c) < 0x80) ? char16_t(c) : char16_t(0xFFFD);
        }
    }
    return new CFStringObject(std::move(chars));
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef allocator, const void* formatOptions, CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(allocator, formatOptions, format, arguments);
    va_end(arguments);
    return result;
}

// maxLength is a hint only: the string grows as needed.
CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex)
{
    return new CFStringObject(std::u16string(), true);
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef string)
{
    CFStringObject* source = StringFrom(string);
    return new CFStringObject(source != nullptr ? source->mChars : std::u16string(), true);
}

void CFStringAppend(CFMutableStringRef string, CFStringRef appended)
{
    CFStringObject* target = MutableFrom(string);
    CFStringObject* source = StringFrom(appended);
    if (target != nullptr && source != nullptr) {
        const std::u16string copy = source->mChars; // appending a string to itself
        target->mChars += copy;
    }
}

void CFStringAppendCString(CFMutableStringRef string, const char* cString, CFStringEncoding encoding)
{
    CFStringObject* target = MutableFrom(string);
    std::u16string chars;
    if (target != nullptr && cString != nullptr &&
        CFStringObject::Decode(cString, std::strlen(cString), encoding, chars)) {
        target->mChars += chars;
    }
}

void CFStringAppendFormat(CFMutableStringRef string, const void* formatOptions, CFStringRef format, ...)
{
    if (MutableFrom(string) == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    CFStringRef formatted = CFStringCreateWithFormatAndArguments(nullptr, formatOptions, format, arguments);
    va_end(arguments);
    CFStringAppend(string, formatted);
    CFRelease(formatted);
}

CFIndex CFStringGetLength(CFStringRef string)
{
    CFStringObject* object = StringFrom(string);
    return object != nullptr ? CFIndex(object->mChars.size()) : 0;
}

// An index outside the string reads 0.
UInt16 CFStringGetCharacterAtIndex(CFStringRef string, CFIndex index)
{
    CFStringObject* object = StringFrom(string);
    if (object == nullptr || index < 0 || index >= CFIndex(object->mChars.size())) {
        return 0;
    }
    return object->mChars[size_t(index)];
}

void CFStringGetCharacters(CFStringRef string, CFRange range, UInt16* buffer)
{
    CFStringObject* object = StringFrom(string);
    if (buffer == nullptr || !RangeIsValid(object, range)) {
        return;
    }
    for (CFIndex i = 0; i < range.length; ++i) {
        buffer[i] = object->mChars[size_t(range.location + i)];
    }
}

CFIndex CFStringGetBytes(CFStringRef string, CFRange range, CFStringEncoding encoding, UInt8 lossByte, Boolean,
                         UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen)
{
    CFStringObject* object = StringFrom(string);
    CFIndex converted = 0;
    CFIndex used = 0;
    if (RangeIsValid(object, range) && (buffer == nullptr || maxBufLen >= 0)) {
        const CFIndex end = range.location + range.length;
        CFIndex index = range.location;
        while (index < end) {
            UInt8 bytes[4];
            CFIndex byteCount = 0;
            CFIndex units = EncodeCharacter(object->mChars, index, end, encoding, bytes, byteCount);
            if (units == 0) {
                if (lossByte == 0) {
                    break;
                }
                bytes[0] = lossByte;
                byteCount = 1;
                units = 1;
            }
            if (buffer != nullptr) {
                if (byteCount > maxBufLen - used) {
                    break;
                }
                std::memcpy(buffer + used, bytes, size_t(byteCount));
            }
            used += byteCount;
            converted += units;
            index += units;
        }
    }
    if (usedBufLen != nullptr) {
        *usedBufLen = used;
    }
    return converted;
}

// Fails (false, with an empty buffer when there is room for it) unless the
// whole string and its terminator fit and every character has a form in the
// encoding.
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
    CFStringObject* object = StringFrom(string);
    if (object == nullptr || buffer == nullptr || bufferSize <= 0) {
        return false;
    }
    const CFIndex length = CFIndex(object->mChars.size());
    CFIndex used = 0;
    CFIndex converted = CFStringGetBytes(string, CFRangeMake(0, length), encoding, 0, false,
                                         reinterpret_cast<UInt8*>(buffer), bufferSize - 1, &used);
    if (converted != length) {
        buffer[0] = '\0';
        return false;
    }
    buffer[used] = '\0';
    return true;
}

// Compares UTF-16 units in order; kCFCompareCaseInsensitive folds ASCII
// letters. A null string sorts before every string.
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options)
{
    CFStringObject* x = StringFrom(a);
    CFStringObject* y = StringFrom(b);
    if (x == nullptr || y == nullptr) {
        if (x == y) {
            return kCFCompareEqualTo;
        }
        return x == nullptr ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    const bool fold = (options & kCFCompareCaseInsensitive) != 0;
    const size_t count = std::min(x->mChars.size(), y->mChars.size());
    for (size_t i = 0; i < count; ++i) {
        UInt16 c = x->mChars[i];
        UInt16 d = y->mChars[i];
        if (fold) {
            c = FoldCase(c);
            d = FoldCase(d);
        }
        if (c != d) {
            return c < d ? kCFCompareLessThan : kCFCompareGreaterThan;
        }
    }
    if (x->mChars.size() == y->mChars.size()) {
        return kCFCompareEqualTo;
    }
    return x->mChars.size() < y->mChars.size() ? kCFCompareLessThan : kCFCompareGreaterThan;
}
