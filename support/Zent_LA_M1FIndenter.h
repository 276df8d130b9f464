// Indentation for text dumps: a string of spaces that grows and shrinks by
// four, kept in a fixed 256-byte buffer (at most 252 characters). Not
// locked: one thread uses an indenter at a time.
#pragma once

#include <ostream>
#include <string>

namespace Zent {
namespace LA {

class M1FIndenter {
public:
    static constexpr unsigned kBufferSize = 256;
    static constexpr unsigned kStep = 4;
    // Indenting only happens while the string is shorter than this.
    static constexpr unsigned kLimit = 250;

    M1FIndenter();

    // Four more spaces, unless the string has reached kLimit characters.
    M1FIndenter& operator++();
    // As prefix ++; returns the string as it was.
    std::string operator++(int);
    // Four spaces fewer; a string of fewer than 5 characters becomes empty.
    M1FIndenter& operator--();
    // As prefix --; returns the string as it was.
    std::string operator--(int);

    const char* GetString() const { return mString; }
    unsigned GetLength() const;

private:
    char mString[kBufferSize];
};

std::ostream& operator<<(std::ostream& inStream, const M1FIndenter& inIndenter);
// A null indenter writes nothing.
std::ostream& operator<<(std::ostream& inStream, const M1FIndenter* inIndenter);

}  // namespace LA
}  // namespace Zent
