// One adjustable thing of a device or a stream (a volume, a mute switch, a
// play-through switch, a data-source or clock-source selector) on one channel
// of one section. The generic classes hold no hardware state: their value
// operations are empty defaults that the concrete controls of a driver
// override. A control belongs to exactly one HPControlOwner (a device or a
// stream), which deletes it.
//
// Value operations run on the thread of the request that reaches them (a
// host client thread for a property call). A concrete control that really
// changes its value calls ValueChanged() on that same thread.
#pragma once

#include "platform/MacTypes.h"

class HPControlOwner;

class HPControl {
public:
    // Sections: the side of the device a control belongs to.
    static constexpr UInt8 kOutputSection = 0;
    static constexpr UInt8 kInputSection = 1;
    // Serves both sides; also found by a lookup for either side.
    static constexpr UInt8 kAllSections = 0xFF;

    // Base class IDs, set by the generic subclasses.
    static constexpr UInt32 kLevelControlBaseClassID = FourCC("levl");
    static constexpr UInt32 kBooleanControlBaseClassID = FourCC("bool");
    static constexpr UInt32 kSelectorControlBaseClassID = FourCC("slct");

    // Throws 'nope' (after a line on standard error) when inOwner is null.
    HPControl(UInt32 inBaseClassID, UInt32 inClassID, UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner);
    virtual ~HPControl();

    HPControl(const HPControl&) = delete;
    HPControl& operator=(const HPControl&) = delete;

    // Two-phase set-up and take-down. The creator calls Initialize before
    // adding the control to its owner; the owner calls Teardown just before
    // deleting it.
    virtual void Initialize();
    virtual void Teardown();

    virtual bool IsActive() const;
    virtual bool IsSettable() const;

    // An untyped view of the value; empty in the base.
    virtual UInt32 GetValueDataSize() const;
    virtual void GetValueData(UInt32& ioSize, void* outData) const;
    virtual void SetValueData(UInt32 inSize, const void* inData);

    // Tell the owner that the value or the range changed, so it can send the
    // property-change notifications. Called by the concrete control on the
    // thread that made the change.
    virtual void ValueChanged();
    virtual void RangeChanged();

    UInt32 GetBaseClassID() const { return mBaseClassID; }
    // Equals the property selector that exposes the control ('volm', 'mute',
    // 'thru', 'ssrc', 'csrc').
    UInt32 GetClassID() const { return mClassID; }
    // 0 is the master channel; 1..n are channels of the owner.
    UInt32 GetChannel() const { return mChannel; }
    UInt8 GetSection() const { return mSection; }
    HPControlOwner* GetOwner() const { return mOwner; }

private:
    UInt32 mBaseClassID;
    UInt32 mClassID;
    UInt32 mChannel;
    UInt8 mSection;
    HPControlOwner* mOwner;  // never null, not owned
};
