// The deferred data-source switch of an Orvel input device. Built by
// DataSourceControl::SetCurrentItemByID and handed to the device, which runs
// it at once under its IO guard (host thread) or queues it to the end of the
// current I/O cycle (I/O thread), like every other change that must not
// overlap a cycle.
#pragma once

#include "framework/HPCommand.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class DataSourceControl;
class OrvelDevice;

class DataSourceCommand : public HPCommand {
public:
    static constexpr UInt32 kCommandID = FourCC("ssrc");

    DataSourceCommand(OrvelDevice* inDevice, DataSourceControl* inControl, UInt32 inItemID);
    ~DataSourceCommand() override;

    // Runs DataSourceControl::ApplyCurrentItem; it may throw.
    void Execute() override;

    UInt32 GetItemID() const { return mItemID; }

private:
    DataSourceControl* mControl;  // not owned; owned by the device
    UInt32 mItemID;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
