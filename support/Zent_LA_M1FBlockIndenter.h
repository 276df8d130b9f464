// A block of text written at an indenter's current indentation: each line
// of the text (split at "\n") is written after the indentation, the lines
// separated by line ends. ++ and -- indent and outdent the indenter it
// refers to. Not locked: one thread uses it at a time.
#pragma once

#include <ostream>

#include "platform/CoreFoundation.h"
#include "support/Zent_LA_M1FIndenter.h"

namespace Zent {
namespace LA {

class M1FBlockIndenter {
public:
    // inIndenter is not owned (null: no indentation, and ++/-- do nothing).
    // The block takes over one reference of inText (null: no text) and
    // releases it when destroyed.
    M1FBlockIndenter(M1FIndenter* inIndenter, CFStringRef inText);
    ~M1FBlockIndenter();

    M1FBlockIndenter(const M1FBlockIndenter&) = delete;
    M1FBlockIndenter& operator=(const M1FBlockIndenter&) = delete;

    M1FBlockIndenter& operator++();
    M1FBlockIndenter& operator--();

    M1FIndenter* GetIndenter() const { return mIndenter; }
    CFStringRef GetText() const { return mText; }

private:
    M1FIndenter* mIndenter;  // not owned
    CFStringRef mText;       // owned
};

// Writes every line of the text after the indentation; a text ending in
// "\n" ends with an empty (indented) line; no text writes nothing.
std::ostream& operator<<(std::ostream& inStream, const M1FBlockIndenter& inBlock);

}  // namespace LA
}  // namespace Zent
