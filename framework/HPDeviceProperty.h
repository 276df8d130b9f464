// The base of every device property handler: a handler that knows the
// device it answers for. The device is not owned; it outlives the handler.
#pragma once

#include "framework/HPProperty.h"

class HPDevice;

class HPDeviceProperty : public HPProperty {
public:
    explicit HPDeviceProperty(HPDevice* inDevice);
    ~HPDeviceProperty() override;

    HPDevice* GetDevice() const { return mDevice; }

protected:
    HPDevice* mDevice;
};
