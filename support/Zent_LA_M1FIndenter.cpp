#include "support/Zent_LA_M1FIndenter.h"

#include <cstring>

namespace Zent {
namespace LA {

M1FIndenter::M1FIndenter() { mString[0] = '\0'; }

unsigned M1FIndenter::GetLength() const { return unsigned(std::strlen(mString)); }

M1FIndenter& M1FIndenter::operator++()
{
    const unsigned theLength = GetLength();
    if (theLength < kLimit) {
        std::memset(mString + theLength, ' ', kStep);
        mString[theLength + kStep] = '\0';
    }
    return *this;
}

std::string M1FIndenter::operator++(int)
{
    std::string theOld(mString);
    ++*this;
    return theOld;
}

M1FIndenter& M1FIndenter::operator--()
{
    const unsigned theLength = GetLength();
    mString[theLength < kStep + 1 ? 0 : theLength - kStep] = '\0';
    return *this;
}

std::string M1FIndenter::operator--(int)
{
    std::string theOld(mString);
    --*this;
    return theOld;
}

std::ostream& operator<<(std::ostream& inStream, const M1FIndenter& inIndenter)
{
    return inStream << inIndenter.GetString();
}

std::ostream& operator<<(std::ostream& inStream, const M1FIndenter* inIndenter)
{
    if (inIndenter != nullptr) {
        inStream << inIndenter->GetString();
    }
    return inStream;
}

}  // namespace LA
}  // namespace Zent
