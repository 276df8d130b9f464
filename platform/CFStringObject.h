// A foundation string: UTF-16 code units, mutable or not. Internal to the
// platform library. A string is not locked: like the host's, a mutable string
// must not be changed while another thread reads it.
#pragma once

#include "platform/CFObject.h"

#include <string>

struct CFStringObject : CFObject {
    static constexpr Type kTypeTag = Type::kString;

    explicit CFStringObject(std::u16string chars, bool isMutable = false, bool immortal = false)
        : CFObject(kTypeTag, immortal), mChars(std::move(chars)), mMutable(isMutable)
    {
    }

    // The text as UTF-8; an unpaired surrogate becomes U+FFFD.
    std::string ToUTF8() const;
    // Decodes bytes in encoding into UTF-16. False when the bytes are not
    // valid in the encoding (non-ASCII bytes in ASCII, malformed UTF-8).
    static bool Decode(const char* bytes, size_t length, CFStringEncoding encoding, std::u16string& out);

    std::u16string mChars;
    const bool mMutable;
};
