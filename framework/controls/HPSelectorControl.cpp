#include "framework/controls/HPSelectorControl.h"

#include <iterator>

#include "platform/AudioHardware.h"
#include "support/CAException.h"

HPSelectorControl::HPSelectorControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner)
    : HPControl(kSelectorControlBaseClassID, inClassID, inChannel, inSection, inOwner)
{
}

HPSelectorControl::~HPSelectorControl()
{
    for (auto& item : mSelectorMap) {
        if (item.second != nullptr) {
            CFRelease(item.second);
        }
    }
}

UInt32 HPSelectorControl::GetNumberItems() const { return static_cast<UInt32>(mSelectorMap.size()); }

UInt32 HPSelectorControl::GetCurrentItemID() const { return 0; }

UInt32 HPSelectorControl::GetCurrentItemIndex() const { return GetItemIndexForID(GetCurrentItemID()); }

void HPSelectorControl::SetCurrentItemByID(UInt32 /*inItemID*/) {}

void HPSelectorControl::SetCurrentItemByIndex(UInt32 inItemIndex) { SetCurrentItemByID(GetItemIDForIndex(inItemIndex)); }

UInt32 HPSelectorControl::GetItemIDForIndex(UInt32 inItemIndex) const
{
    if (inItemIndex >= GetNumberItems()) {
        CAThrowWithMessage("HPSelectorControl::GetItemIDForIndex: index out of range",
                           kAudioHardwareIllegalOperationError);
    }
    return std::next(mSelectorMap.begin(), inItemIndex)->first;
}

UInt32 HPSelectorControl::GetItemIndexForID(UInt32 inItemID) const
{
    UInt32 index = 0;
    for (const auto& item : mSelectorMap) {
        if (item.first == inItemID) {
            return index;
        }
        ++index;
    }
    CAThrowWithMessage("HPSelectorControl::GetItemIndexForID: ID not in selector map",
                       kAudioHardwareIllegalOperationError);
}

CFStringRef HPSelectorControl::CopyItemNameByID(UInt32 inItemID) const
{
    auto found = mSelectorMap.find(inItemID);
    if (found == mSelectorMap.end()) {
        CAThrowWithMessage("HPSelectorControl::CopyItemNameByID: ID not in selector map",
                           kAudioHardwareIllegalOperationError);
    }
    if (found->second != nullptr) {
        CFRetain(found->second);
    }
    return found->second;
}

CFStringRef HPSelectorControl::CopyItemNameByIndex(UInt32 inItemIndex) const
{
    if (inItemIndex >= GetNumberItems()) {
        CAThrowWithMessage("HPSelectorControl::CopyItemNameByIndex: index out of range",
                           kAudioHardwareIllegalOperationError);
    }
    CFStringRef name = std::next(mSelectorMap.begin(), inItemIndex)->second;
    if (name != nullptr) {
        CFRetain(name);
    }
    return name;
}
