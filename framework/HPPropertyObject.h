// An object the host can query by ID (a device or a stream): its object ID
// and a table from property addresses to handlers. Subclasses answer their
// own properties first and pass everything else to these base operations,
// which route it to the handler registered for a matching address.
//
// No locking: handlers are added and removed only while the owner is being
// initialized or torn down; requests are serialised by the device where
// needed.
#pragma once

#include <map>

#include "framework/HPProperty.h"
#include "framework/HPPropertyAddress.h"
#include "platform/CoreAudioTypes.h"

class HPPropertyObject {
public:
    explicit HPPropertyObject(UInt32 inObjectID);
    // Destroys the table only: the handlers belong to whoever added them.
    virtual ~HPPropertyObject();

    HPPropertyObject(const HPPropertyObject&) = delete;
    HPPropertyObject& operator=(const HPPropertyObject&) = delete;

    virtual void Initialize();
    virtual void Teardown();

    // Request operations, called on the host thread making the request.
    // HasProperty answers false for an unknown or inactive address; the other
    // four throw CAException('who?') without a message for one.
    virtual bool HasProperty(const HPPropertyAddress& inAddress) const;
    virtual bool PropertyIsSettable(const HPPropertyAddress& inAddress) const;
    virtual UInt32 GetPropertyDataSize(const HPPropertyAddress& inAddress) const;
    virtual void GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const;
    virtual void SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                                 const AudioTimeStamp* inWhen);

    // Tells listeners that a property changed; nothing in the base.
    virtual void PropertyChanged(const HPPropertyAddress& inAddress) const;

    // Enters the handler under every address it implements. An address that
    // matches one already entered prints a line and throws CAException('nope');
    // the addresses entered before it stay.
    void AddProperty(HPProperty* inProperty);
    // Erases whatever entry matches each address the handler implements.
    void RemoveProperty(HPProperty* inProperty);

    UInt32 GetObjectID() const { return mObjectID; }

protected:
    // The handler entered for a matching address, or null.
    HPProperty* FindProperty(const HPPropertyAddress& inAddress) const;
    // FindProperty, but only if the handler is active; else CAException('who?').
    HPProperty* FindActivePropertyOrThrow(const HPPropertyAddress& inAddress) const;

private:
    // Ordered by the wildcard-aware operator<. That ordering is consistent
    // as long as a selector's keys do not mix wildcard and concrete channels
    // with different sections; handlers register wildcard channel and
    // section, or all-concrete addresses, which keeps it so.
    typedef std::map<HPPropertyAddress, HPProperty*> PropertyMap;

    // The entry matching the address: the lower bound, if the address is not
    // less than its key.
    PropertyMap::const_iterator FindEntry(const HPPropertyAddress& inAddress) const;

    const UInt32 mObjectID;
    PropertyMap mPropertyMap;
};
