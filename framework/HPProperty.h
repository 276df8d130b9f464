// A pluggable property handler. A property object routes every request for
// an address the handler implements to it (see HPPropertyObject). The base
// answers nothing: it is active and settable, has no data and implements no
// address; subclasses override what they answer.
//
// Handlers are called on whatever thread makes the host request; they take
// no locks of their own (the owning device serialises where needed).
#pragma once

#include "framework/HPPropertyAddress.h"
#include "platform/CoreAudioTypes.h"

class HPProperty {
public:
    HPProperty() = default;
    virtual ~HPProperty();

    HPProperty(const HPProperty&) = delete;
    HPProperty& operator=(const HPProperty&) = delete;

    // Two-phase set-up and take-down, called by the owner around adding the
    // handler to, and removing it from, a property object.
    virtual void Initialize();
    virtual void Teardown();

    // Whether the address is answered right now (an inactive property looks
    // unknown to the host).
    virtual bool IsActive(const HPPropertyAddress& inAddress) const;
    virtual bool IsSettable(const HPPropertyAddress& inAddress) const;
    virtual UInt32 GetDataSize(const HPPropertyAddress& inAddress) const;
    // ioDataSize: in, the size of outData; out, the bytes written.
    virtual void GetData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const;
    virtual void SetData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                         const AudioTimeStamp* inWhen);

    // The addresses under which the handler is entered in a property table.
    virtual UInt32 GetNumberAddressesImplemented() const;
    virtual void GetImplementedAddressByIndex(UInt32 inIndex, HPPropertyAddress& outAddress) const;
};
