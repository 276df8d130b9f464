#include "framework/HPPropertyAddress.h"

namespace {

template <typename T>
bool FieldsMatch(T inA, T inB, T inWildcard)
{
    return inA == inB || inA == inWildcard || inB == inWildcard;
}

}  // namespace

bool operator==(const HPPropertyAddress& inA, const HPPropertyAddress& inB)
{
    return FieldsMatch(inA.mSelector, inB.mSelector, HPPropertyAddress::kWildcardSelector) &&
           FieldsMatch(inA.mChannel, inB.mChannel, HPPropertyAddress::kWildcardChannel) &&
           FieldsMatch(inA.mSection, inB.mSection, HPPropertyAddress::kWildcardSection);
}

bool operator<(const HPPropertyAddress& inA, const HPPropertyAddress& inB)
{
    if (!FieldsMatch(inA.mSelector, inB.mSelector, HPPropertyAddress::kWildcardSelector)) {
        return inA.mSelector < inB.mSelector;
    }
    if (!FieldsMatch(inA.mChannel, inB.mChannel, HPPropertyAddress::kWildcardChannel)) {
        return inA.mChannel < inB.mChannel;
    }
    if (!FieldsMatch(inA.mSection, inB.mSection, HPPropertyAddress::kWildcardSection)) {
        return inA.mSection < inB.mSection;
    }
    return false;
}
