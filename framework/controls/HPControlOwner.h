// The controls of a device or a stream: a map keyed by (class ID, channel,
// section) that owns every control in it, with lookups by those three fields
// and the two change callbacks that HPDevice and HPStream override to turn
// control changes into property-change notifications.
//
// The map is written only while the owner is being built or torn down;
// afterwards lookups only read it, from any thread, without a lock.
#pragma once

#include <map>

#include "platform/MacTypes.h"

class HPControl;
class HPLevelControl;
class HPBooleanControl;
class HPSelectorControl;

class HPControlOwner {
public:
    HPControlOwner();
    // Walks the map in key order: Teardown, then delete, for each control.
    virtual ~HPControlOwner();

    HPControlOwner(const HPControlOwner&) = delete;
    HPControlOwner& operator=(const HPControlOwner&) = delete;

    // Takes ownership of inControl. A control with the same class ID, channel
    // and section already in the map gives 'nope' (after a line on standard
    // error), and inControl stays the caller's.
    virtual void AddControl(HPControl* inControl);
    // Erases the entry with inControl's key, if any; the control is not
    // destroyed and belongs to the caller again.
    virtual void RemoveControl(HPControl* inControl);

    // The control with exactly this key, else (for a specific section) the
    // one registered for all sections, else null. There is no fallback from
    // a channel to the master channel. Never throws.
    virtual HPControl* GetControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const;
    // GetControl (called virtually) filtered by base class: null when the
    // control found is of another kind.
    virtual HPLevelControl* GetLevelControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const;
    virtual HPBooleanControl* GetBooleanControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const;
    virtual HPSelectorControl* GetSelectorControl(UInt32 inClassID, UInt32 inChannel, UInt8 inSection) const;

    // Called by a control of this owner, on the thread that changed it.
    // Nothing here; devices and streams send notifications.
    virtual void ControlValueChanged(HPControl* inControl);
    virtual void ControlRangeChanged(HPControl* inControl);

private:
    // Ordered by class ID, then section, then channel (all unsigned); this
    // order is the teardown order.
    struct ControlKey {
        UInt32 mClassID;
        UInt32 mChannel;
        UInt8 mSection;

        bool operator<(const ControlKey& inOther) const
        {
            if (mClassID != inOther.mClassID) {
                return mClassID < inOther.mClassID;
            }
            if (mSection != inOther.mSection) {
                return mSection < inOther.mSection;
            }
            return mChannel < inOther.mChannel;
        }
    };
    using ControlMap = std::map<ControlKey, HPControl*>;

    static ControlKey MakeKey(const HPControl* inControl);

    ControlMap mControlMap;
};
