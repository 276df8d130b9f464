// The framework's exception: a plain value carrying one OSStatus. It has no
// text of its own; the thrower writes one line to standard error first.
#pragma once

#include <cstdio>

#include "platform/MacTypes.h"

class CAException {
public:
    explicit CAException(OSStatus error) : mError(error) {}
    OSStatus GetError() const { return mError; }

private:
    OSStatus mError;
};

// The framework's way to fail: the message and a newline on standard error,
// then a CAException carrying the status.
[[noreturn]] inline void CAThrowWithMessage(const char* message, OSStatus error)
{
    std::fprintf(stderr, "%s\n", message);
    throw CAException(error);
}

// Throws without a line, for the few operations that fail silently.
[[noreturn]] inline void CAThrow(OSStatus error) { throw CAException(error); }
