#include "framework/HPChangeFormatCommand.h"

#include "framework/HPFormatList.h"
#include "framework/HPStream.h"

namespace {
constexpr UInt32 kChangeFormatCommandID = FourCC("fmat");
}

HPChangeFormatCommand::HPChangeFormatCommand(HPFormatList* inFormatList, const AudioStreamBasicDescription& inFormat,
                                             bool inIsPhysical)
    : HPCommand(kChangeFormatCommandID, inFormatList->GetOwningStream()->GetOwningDevice()),
      mFormatList(inFormatList),
      mRequestedFormat(inFormat),
      mIsPhysical(inIsPhysical)
{
}

HPChangeFormatCommand::~HPChangeFormatCommand() = default;

void HPChangeFormatCommand::Execute()
{
    AudioStreamBasicDescription oldFormat;
    mFormatList->GetCurrentPhysicalFormat(oldFormat);
    if (mIsPhysical) {
        mFormatList->SetCurrentPhysicalFormat(mRequestedFormat);
    } else {
        mFormatList->SetCurrentVirtualFormat(mRequestedFormat);
    }
    AudioStreamBasicDescription newFormat;
    mFormatList->GetCurrentPhysicalFormat(newFormat);
    mFormatList->BroadcastFormatChangedNotifications(oldFormat, newFormat);
}
