#include "driver/DataSourceCommand.h"

#include "driver/DataSourceControl.h"
#include "driver/OrvelDevice.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

DataSourceCommand::DataSourceCommand(OrvelDevice* inDevice, DataSourceControl* inControl, UInt32 inItemID)
    : HPCommand(kCommandID, inDevice), mControl(inControl), mItemID(inItemID)
{
}

DataSourceCommand::~DataSourceCommand() = default;

void DataSourceCommand::Execute() { mControl->ApplyCurrentItem(mItemID); }

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
