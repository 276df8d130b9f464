// The input device's data-source selector: which of the unit's input
// connectors (SDI, AES/EBU, ADAT, S/PDIF, analog) feeds the device. Its item
// IDs are the stream codes, so selecting an item publishes the stream of the
// same code and sends the new input source to the muxer (through the
// device's ResetStream and SetSettings).
//
// Threads: Initialize runs on the muxer's notification thread while the
// device is built. SetCurrentItemByID arrives on host client threads, or on
// the I/O thread from inside an IOProc; the switch itself runs as a device
// command (DataSourceCommand), so it never overlaps an I/O cycle.
#pragma once

#include "framework/controls/HPSelectorControl.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class OrvelDevice;

class DataSourceControl : public HPSelectorControl {
public:
    // inOwner must be an OrvelDevice.
    DataSourceControl(UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner);
    ~DataSourceControl() override;

    void Teardown() override;
    UInt32 GetCurrentItemID() const override;
    // The current item again changes nothing; an ID that is not an item
    // prints a line and throws CAException('nope') with nothing changed.
    // Otherwise the switch is handed to the device as a command: run at once
    // under its IO guard, or after the current cycle on the I/O thread.
    void SetCurrentItemByID(UInt32 inItemID) override;

    // The base's Initialize stays available beside the one below.
    using HPSelectorControl::Initialize;

    // Fills the items from the muxer's connector queries and selects the one
    // for inSourceCode (a muxer source code), else analog, else the first
    // available connector; then has the device publish that stream. Nothing
    // for a control outside the input section.
    virtual void Initialize(UInt32 inSourceCode);

    // What the switch command runs, inside the device's command execution:
    // sets the device's input source, makes inItemID current, has the device
    // publish its stream and announces the change.
    void ApplyCurrentItem(UInt32 inItemID);

    // The muxer source code of an item ID; 1 (and false from IsInputItem)
    // for anything that is not an input connector.
    static UInt32 GetSourceCodeForItem(UInt32 inItemID);
    static bool IsInputItem(UInt32 inItemID);

private:
    OrvelDevice* GetDevice() const;

    UInt32 mCurrentItemID;
    UInt8 mControlSection;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
