#include "platform/CFStringObject.h"

std::string CFStringObject::ToUTF8() const
{
    std::string text;
    text.reserve(mChars.size());
    for (size_t i = 0; i < mChars.size(); ++i) {
        UInt32 c = mChars[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < mChars.size() && mChars[i + 1] >= 0xDC00 &&
            mChars[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (UInt32(mChars[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            text += char(c);
        } else if (c < 0x800) {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += char(0xE0 | (c >> 12));
            text += char(0x80 | ((c >> 6) & 0x3F));
            text += char(0x80 | (c & 0x3F));
        } else {
            text += char(0xF0 | (c >> 18));
            text += char(0x80 | ((c >> 12) & 0x3F));
            text += char(0x80 | ((c >> 6) & 0x3F));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}

namespace {

bool DecodeUTF8(const UInt8* bytes, size_t length, std::u16string& out)
{
    size_t i = 0;
    while (i < length) {
        UInt32 lead = bytes[i];
        UInt32 c;
        size_t extra;
        if (lead < 0x80) {
            c = lead;
            extra = 0;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            c = lead & 0x1F;
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            c = lead & 0x0F;
            extra = 2;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            c = lead & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (extra >= length - i) {
            return false; // truncated sequence
        }
        for (size_t k = 1; k <= extra; ++k) {
            UInt32 next = bytes[i + k];
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed.
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF)) {
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
        i += extra + 1;
    }
    return true;
}

} // namespace

bool CFStringObject::Decode(const char* bytes, size_t length, CFStringEncoding encoding, std::u16string& out)
{
    const UInt8* data = reinterpret_cast<const UInt8*>(bytes);
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return DecodeUTF8(data, length, out);
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
        // Only the ASCII half of MacRoman is known to this platform.
        for (size_t i = 0; i < length; ++i) {
            if (data[i] >= 0x80) {
                return false;
            }
            out += char16_t(data[i]);
        }
        return true;
    default:
        return false;
    }
}
