#include "Digitizers/Orvel/Zent_Orvel_AVUnitRegisters.h"

namespace Zent {
namespace Orvel {

UInt32 AVUnitRegisters::GetWord(UInt32 inByteOffset) const
{
    return IsWordOffset(inByteOffset) ? mWords[inByteOffset / 4] : 0;
}

bool AVUnitRegisters::SetWord(UInt32 inByteOffset, UInt32 inValue)
{
    if (!IsWordOffset(inByteOffset)) {
        return false;
    }
    mWords[inByteOffset / 4] = inValue;
    return true;
}

}  // namespace Orvel
}  // namespace Zent
