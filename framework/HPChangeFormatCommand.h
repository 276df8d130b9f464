// A deferred format or rate change of one stream ('fmat'), built by the
// stream's format list when a client sets 'nsrt', 'sfmt' or 'pft ' and
// handed to the owning device, which runs it at once under its command
// bracket or after the current I/O cycle. Execute applies the requested
// format as a physical or a virtual format and then sends the format-change
// notifications. The command holds the list by pointer: the list must not be
// destroyed while the command waits in the device's queue.
#pragma once

#include "framework/HPCommand.h"
#include "platform/CoreAudioTypes.h"

class HPFormatList;

class HPChangeFormatCommand : public HPCommand {
public:
    // inIsPhysical true applies inFormat as a physical format, false as a
    // virtual format. The format is copied.
    HPChangeFormatCommand(HPFormatList* inFormatList, const AudioStreamBasicDescription& inFormat,
                          bool inIsPhysical);
    ~HPChangeFormatCommand() override;

    // Runs on the thread that executes the device's commands. A failure to
    // set the format propagates out; nothing is notified then.
    void Execute() override;

    HPFormatList* GetFormatList() const { return mFormatList; }
    const AudioStreamBasicDescription& GetRequestedFormat() const { return mRequestedFormat; }
    bool IsPhysical() const { return mIsPhysical; }

private:
    HPFormatList* mFormatList;  // not owned
    AudioStreamBasicDescription mRequestedFormat;
    bool mIsPhysical;
};
