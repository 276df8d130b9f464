#include "driver/RateWindow.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

void RateWindow::Clear()
{
    mHead = 0;
    mSize = 0;
}

UInt32 RateWindow::PushBack(const RateRecord& inRecord)
{
    UInt32 theDroppedCount = 0;
    if (IsFull()) {
        theDroppedCount = Front().mCount;
        PopFront();
    }
    mRecords[(mHead + mSize) % kCapacity] = inRecord;
    ++mSize;
    return theDroppedCount;
}

void RateWindow::PopFront()
{
    if (mSize == 0) {
        return;
    }
    mHead = (mHead + 1) % kCapacity;
    --mSize;
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
