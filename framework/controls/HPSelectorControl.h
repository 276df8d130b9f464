// A control that selects one item out of a map of item IDs to names (data
// source, clock source). "Index" is always the position in ascending item-ID
// order (IDs compared as unsigned). The concrete control fills the item map,
// normally in its Initialize; the generic class never adds or removes items.
// The base has no current item (ID 0) and ignores changes.
#pragma once

#include <map>

#include "framework/controls/HPControl.h"
#include "platform/CoreFoundation.h"

class HPSelectorControl : public HPControl {
public:
    HPSelectorControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner);
    // Releases every item name.
    ~HPSelectorControl() override;

    virtual UInt32 GetNumberItems() const;
    virtual UInt32 GetCurrentItemID() const;
    virtual UInt32 GetCurrentItemIndex() const;
    virtual void SetCurrentItemByID(UInt32 inItemID);
    // An index out of range throws before the control is asked to change.
    virtual void SetCurrentItemByIndex(UInt32 inItemIndex);
    // These throw 'nope' (after a line on standard error) for an index out
    // of range or an ID not in the map.
    virtual UInt32 GetItemIDForIndex(UInt32 inItemIndex) const;
    virtual UInt32 GetItemIndexForID(UInt32 inItemID) const;
    // The name retained for the caller, who releases it.
    virtual CFStringRef CopyItemNameByID(UInt32 inItemID) const;
    virtual CFStringRef CopyItemNameByIndex(UInt32 inItemIndex) const;

protected:
    // Item ID to name; the map holds one reference on every name. Insert
    // (ID, retained name) pairs.
    using SelectorMap = std::map<UInt32, CFStringRef>;
    SelectorMap mSelectorMap;
};
