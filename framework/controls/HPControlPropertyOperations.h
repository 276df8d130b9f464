// The request logic shared by the device and stream control property
// handlers (HPDeviceVolumeProperty and HPStreamVolumeProperty, and so on).
// A handler finds its control, by its owner's lookup, and passes it here with
// its own class name, which starts every message. Every failure writes one
// line to standard error and throws CAException; a failing request writes
// nothing to the caller's buffer and changes no control.
//
// Runs on the host thread of the request; takes no lock.
#pragma once

#include "framework/HPPropertyAddress.h"
#include "platform/CoreAudioTypes.h"

class HPControl;
class HPLevelControl;
class HPBooleanControl;
class HPSelectorControl;

namespace HPControlPropertyOperations {

// "<class>::<operation>: no such control", then 'who?'.
[[noreturn]] void ThrowNoSuchControl(const char* inClassName, const char* inOperation);

// The control, or the missing-control failure when it is null.
template <typename ControlType>
ControlType* RequireControl(ControlType* inControl, const char* inClassName, const char* inOperation)
{
    if (inControl == nullptr) {
        ThrowNoSuchControl(inClassName, inOperation);
    }
    return inControl;
}

// The addresses of a handler: every channel and section of each selector.
// Fills outAddress for an index below inCount; leaves it alone otherwise.
void GetAddressByIndex(const UInt32* inSelectors, UInt32 inCount, UInt32 inIndex, HPPropertyAddress& outAddress);

// Volume family: 'volm', 'vold', 'vdb#', 'v2db', 'db2v'.
bool VolumeIsSettable(const HPPropertyAddress& inAddress, const HPControl& inControl);
UInt32 VolumeGetDataSize(const HPPropertyAddress& inAddress);
void VolumeGetData(const char* inClassName, const HPPropertyAddress& inAddress, const HPLevelControl& inControl,
                   UInt32 inDataSize, void* outData);
void VolumeSetData(const char* inClassName, const HPPropertyAddress& inAddress, HPLevelControl& inControl,
                   UInt32 inDataSize, const void* inData);

// Boolean family ('mute', 'thru'): a UInt32, 0 or 1. inPropertyName is the
// selector's name used in the size messages.
bool BooleanIsSettable(const HPControl& inControl);
UInt32 BooleanGetDataSize();
void BooleanGetData(const char* inClassName, const char* inPropertyName, const HPBooleanControl& inControl,
                    UInt32 inDataSize, void* outData);
void BooleanSetData(const char* inClassName, const char* inPropertyName, HPBooleanControl& inControl,
                    UInt32 inDataSize, const void* inData);

// Selector family (data source, clock source). The selectors and names of
// one family; mNonLocalizedName is 0 where the family has no such selector.
struct SelectorFamily {
    UInt32 mCurrent;           // 'ssrc' / 'csrc'
    UInt32 mList;              // 'ssc#' / 'csc#'
    UInt32 mName;              // 'sscn' / 'cscn'
    UInt32 mNonLocalizedName;  // 'scnr' / 0
    UInt32 mCFName;            // 'lscn' / 'lcsn'
    const char* mCurrentText;
    const char* mNameText;
    const char* mNonLocalizedNameText;
    const char* mCFNameText;
    // Follows "wrong data size for " in the CF name's output-size message.
    const char* mCFNameOutputText;
};

bool SelectorIsSettable(const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                        const HPControl& inControl);
UInt32 SelectorGetDataSize(const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                           const HPSelectorControl& inControl);
void SelectorGetData(const char* inClassName, const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                     const HPSelectorControl& inControl, UInt32& ioDataSize, void* outData);
void SelectorSetData(const char* inClassName, const SelectorFamily& inFamily, const HPPropertyAddress& inAddress,
                     HPSelectorControl& inControl, UInt32 inDataSize, const void* inData);

}  // namespace HPControlPropertyOperations
