#include "driver/DataSourceControl.h"

#include <cstdio>

#include "driver/DataSourceCommand.h"
#include "driver/OrvelDevice.h"
#include "platform/AudioHardware.h"
#include "support/CAException.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

namespace {

// The connectors in the order the muxer is asked about them (and the order
// in which the first available one is picked as a last resort).
struct Connector {
    UInt32 mItemID;
    const char* mName;
    bool (Zent::Mux::Orvel::BaseMuxer::*mQuery)();
    UInt32 mSourceCode;
};

const Connector kConnectors[] = {
    {OrvelDevice::kStreamCodeSDI, "SDI - 8 channels", &Zent::Mux::Orvel::BaseMuxer::HasSDIInput, 1},
    {OrvelDevice::kStreamCodeAES, "AES/EBU - 4 channels", &Zent::Mux::Orvel::BaseMuxer::HasAESInput, 2},
    {OrvelDevice::kStreamCodeADAT, "ADAT - 8 channels", &Zent::Mux::Orvel::BaseMuxer::HasADATInput, 4},
    {OrvelDevice::kStreamCodeSPDIF, "S/PDIF PCM - 2 channels", &Zent::Mux::Orvel::BaseMuxer::HasSPDIFInput, 16},
    {OrvelDevice::kStreamCodeAnalog, "Analog - 4 channels", &Zent::Mux::Orvel::BaseMuxer::HasAnalogInput, 8},
};

}  // namespace

DataSourceControl::DataSourceControl(UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner)
    : HPSelectorControl(kAudioDevicePropertyDataSource, inChannel, inSection, inOwner),
      mCurrentItemID(0),
      mControlSection(inSection)
{
}

DataSourceControl::~DataSourceControl() = default;

void DataSourceControl::Teardown() { HPSelectorControl::Teardown(); }

UInt32 DataSourceControl::GetCurrentItemID() const { return mCurrentItemID; }

OrvelDevice* DataSourceControl::GetDevice() const { return dynamic_cast<OrvelDevice*>(GetOwner()); }

UInt32 DataSourceControl::GetSourceCodeForItem(UInt32 inItemID)
{
    for (const Connector& theConnector : kConnectors) {
        if (theConnector.mItemID == inItemID) {
            return theConnector.mSourceCode;
        }
    }
    return 1;
}

bool DataSourceControl::IsInputItem(UInt32 inItemID)
{
    for (const Connector& theConnector : kConnectors) {
        if (theConnector.mItemID == inItemID) {
            return true;
        }
    }
    return false;
}

void DataSourceControl::Initialize(UInt32 inSourceCode)
{
    if (mControlSection != kInputSection) {
        return;
    }
    for (auto& theItem : mSelectorMap) {
        CFRelease(theItem.second);
    }
    mSelectorMap.clear();
    OrvelDevice* theDevice = GetDevice();
    if (theDevice == nullptr) {
        CAThrowWithMessage("DataSourceControl::Initialize: the owner is not an Orvel device",
                           kAudioHardwareIllegalOperationError);
    }
    Zent::Mux::Orvel::BaseMuxer* theMuxer = theDevice->GetMuxer();

    UInt32 theFirstAvailable = 0;
    for (const Connector& theConnector : kConnectors) {
        if ((theMuxer->*theConnector.mQuery)()) {
            CFStringRef theName = CFStringMakeConstantString(theConnector.mName);
            CFRetain(theName);
            mSelectorMap.insert(std::make_pair(theConnector.mItemID, theName));
            if (theFirstAvailable == 0) {
                theFirstAvailable = theConnector.mItemID;
            }
        }
    }

    // The named connector if the unit has it, else analog, else the first
    // connector the unit has: the selection always names a stream that
    // exists whenever the unit has any input at all.
    UInt32 theItem = 0;
    for (const Connector& theConnector : kConnectors) {
        if ((theConnector.mSourceCode == inSourceCode) && (mSelectorMap.count(theConnector.mItemID) != 0)) {
            theItem = theConnector.mItemID;
        }
    }
    if (theItem == 0) {
        theItem = (mSelectorMap.count(OrvelDevice::kStreamCodeAnalog) != 0) ? OrvelDevice::kStreamCodeAnalog
                                                                             : theFirstAvailable;
    }
    if (theItem == 0) {
        theItem = OrvelDevice::kStreamCodeAnalog;
    }
    mCurrentItemID = theItem;
    theDevice->SetInputSource(GetSourceCodeForItem(theItem));
    theDevice->ResetStream(mCurrentItemID);
}

void DataSourceControl::SetCurrentItemByID(UInt32 inItemID)
{
    if (inItemID == mCurrentItemID) {
        return;
    }
    if (mSelectorMap.find(inItemID) == mSelectorMap.end()) {
        CAThrowWithMessage("DataSourceControl::SetCurrentItemByID: ID doesn't exist",
                           kAudioHardwareIllegalOperationError);
    }
    OrvelDevice* theDevice = GetDevice();
    if (theDevice == nullptr) {
        CAThrowWithMessage("DataSourceControl::SetCurrentItemByID: the owner is not an Orvel device",
                           kAudioHardwareIllegalOperationError);
    }
    theDevice->ExecuteCommand(new DataSourceCommand(theDevice, this, inItemID));
}

void DataSourceControl::ApplyCurrentItem(UInt32 inItemID)
{
    // Re-checked here: a queued switch may run after another one.
    if (inItemID == mCurrentItemID) {
        return;
    }
    OrvelDevice* theDevice = GetDevice();
    theDevice->SetInputSource(GetSourceCodeForItem(inItemID));
    if (IsInputItem(inItemID) != (mControlSection == kInputSection)) {
        std::printf("###error isInput != GetSection()\n");
    }
    mCurrentItemID = inItemID;
    theDevice->ResetStream(inItemID);
    ValueChanged();
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
